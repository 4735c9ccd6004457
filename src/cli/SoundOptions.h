#pragma once
// Options that convert and play share: the SoundFont the songs sound with, the resampling and
// the range of the tempo.

#include <cstdint>
#include <optional>
#include <string>

#include "base/Result.h"
#include "song/EngineSettings.h"
#include "synth/Resampler.h"

namespace svt::cli {

class ArgParser;

// --tempo, in percent of the written tempo.
inline constexpr int kMinTempoPercent = 10;
inline constexpr int kMaxTempoPercent = 1000;

// The options that shape how songs sound, as the command line gave them: convert and play take
// the same ones, so a song played sounds as its converted file does.
struct SoundOptionTexts {
    std::optional<std::string> rate, interp, transpose, tempo, volume, mute, solo, reverb, chorus,
        filter, panDelay, limiter;
};
// Takes them out of the arguments (before the parser's operands are asked for).
SoundOptionTexts takeSoundOptions(ArgParser& parser);

// What they mean. `settings` carries the engine's part (rate, resampling, effects, filter,
// limiter); the rest is what every song starts with.
struct SoundChoices {
    EngineSettings settings;
    bool rateGiven = false;
    int keyOffset = 0;       // semitones; drums are never transposed
    int tempoPercent = 100;  // of the written tempo
    int amplification = 70;  // master volume 0..200
    uint32_t muteMask = 0;   // bit c: channel c (0-based) is silent
};
// Fills `choices` from the texts over what it holds; the usage error for the first text that
// is wrong, empty when all are right.
std::string applySoundOptions(const SoundOptionTexts& texts, SoundChoices& choices);

// The help lines of these options, one block for both commands.
std::string soundOptionsHelp();

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
