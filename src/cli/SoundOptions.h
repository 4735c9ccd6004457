#pragma once
// Options that convert and play share: the SoundFont the songs sound with, the resampling and
// the range of the tempo.

#include <optional>
#include <string>

#include "base/Result.h"
#include "player/Resampler.h"

namespace svt::cli {

// --tempo, in percent of the written tempo.
inline constexpr int kMinTempoPercent = 10;
inline constexpr int kMaxTempoPercent = 1000;

// "none", "linear" or "default"; nothing for any other text.
std::optional<InterpolationKind> parseInterpolation(const std::string& text);

// The font named with -s when it exists, else the default one (Sorvanto.sf2 beside the
// program, else the system's General MIDI font); the error names what is missing.
Result<std::string> chooseSoundFont(const std::optional<std::string>& named);

}  // namespace svt::cli
