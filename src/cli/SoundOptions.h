#pragma once
// Options that convert and play share: the SoundFont the songs sound with, the resampling and
// the range of the tempo.

#include <optional>
#include <string>

#include "base/Result.h"
#include "song/EngineSettings.h"
#include "synth/Resampler.h"

namespace svt::cli {

// --tempo, in percent of the written tempo.
inline constexpr int kMinTempoPercent = 10;
inline constexpr int kMaxTempoPercent = 1000;

// --threads N: the threads that render one song, 1..kMaxRenderThreads. The error says what
// was wrong with the text.
Result<int> parseRenderThreads(const std::string& text);

// "none", "linear" or "default"; nothing for any other text.
std::optional<InterpolationKind> parseInterpolation(const std::string& text);

// The font named with -s when it exists, else the default one (Sorvanto.sf2 beside the
// program, else the system's General MIDI font); the error names what is missing.
Result<std::string> chooseSoundFont(const std::optional<std::string>& named);

// The font chosen as above and read once before any song plays: an error when it cannot be
// used or nothing in it can sound. Problems found in a usable font come back as one line for
// `warning` (empty when there are none).
Result<std::string> chooseUsableSoundFont(const std::optional<std::string>& named,
                                          std::string& warning);

}  // namespace svt::cli
