#pragma once
// The fixed tables of the player panel: the sixteen items of the key box with their major
// and minor texts, and the General MIDI instrument names of the instrument boxes.

#include <array>
#include <string_view>

#include "base/Language.h"

namespace svt {

inline constexpr int kKeyItems = 16;
inline constexpr int kUnknownKeyItem = 15;
inline constexpr int kInstrumentItems = 127;  // programs 1..127; program 0 has no item

// Item index = number of sharps + 7; item 15 is "unknown".
std::string_view keyBoxText(int item, Language language);
std::string_view keyText(int item, bool minor, Language language);
// The General MIDI name of `program` (0..127).
std::string_view instrumentName(int program);

}  // namespace svt
