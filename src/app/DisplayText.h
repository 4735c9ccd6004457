#pragma once
// Texts as the programs show them: cleaned (song/CleanText.h), and as JSON strings.

#include <string>
#include <string_view>

#include "song/CleanText.h"

namespace svt {

// The cleaned text as a JSON string, quotes included.
std::string jsonString(std::string_view text);

}  // namespace svt
