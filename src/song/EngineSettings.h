#pragma once
// The values an engine fixes once at start-up, and the rules that settle them: program
// name, default SoundFont, output rate and control ratio, drum channels, audio queue
// settings, version tag. Each engine owns its own record; nothing here is process-wide.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Constants.h"
#include "base/SimdLevel.h"

namespace svt {

// The voice filter a region's cutoff runs through: the two-pole state-variable low-pass or
// the four-pole ladder.
inline constexpr int kFilterTwoPole = 1;
inline constexpr int kFilterFourPole = 2;
inline constexpr int32_t kSampleCacheBudgetBytes = 2 * 1024 * 1024;

struct EngineSettings {
    std::string programName = "sorvanto";
    // Program folder (with its separator) + "Sorvanto.sf2"; empty when the program's
    // own path is unknown.
    std::string defaultSoundFont;
    // Rate, control period and interpolation reach every part of the engine from here: the
    // synthesizer, the effects, the song's sample times and the instruments' regions.
    int outputRateHz = kDefaultOutputRateHz;
    int controlRatio = kDefaultOutputRateHz / 1000;
    InterpolationKind interpolation = InterpolationKind::SineLagrange;
    uint32_t drumChannels = kDefaultDrumChannelMask;
    uint32_t excludedChannels = 0;
    std::array<uint8_t, kChannels> defaultPrograms{};
    std::string sysexCharset = "SJIS";
    std::string audioQueueSeconds = "5.0";
    std::string audioQueueFill = "100%";
    std::string versionTag = kVersionTag;
    int32_t sampleCacheBytes = kSampleCacheBudgetBytes;
    // Decoded samples of compressed fonts kept between songs (the least recently used beyond
    // this go first).
    size_t decodedSampleLimitBytes = kDefaultDecodedSampleLimitBytes;
    // Reverb: 0 none, 1 and 2 the standard reverb (per channel, or at one level for all),
    // 3 and 4 the reverb the song chooses (likewise); negative: every channel at -mode & 0x7F.
    int reverbMode = 3;
    // Chorus: 0 none, 1 each channel's own chorus level.
    int chorusMode = 1;
    // Every note sounds as two voices spread left and right, one slightly late and (melodic)
    // slightly detuned, instead of going through the chorus effect.
    bool surroundChorus = false;
    // Buffers of the live output's pool; 0 keeps the output's own count.
    int outputBuffers = 0;
    int voiceFilter = kFilterTwoPole;
    // A voice panned to one side reaches the other up to 47 frames (about a millisecond)
    // later, as a sound from that side reaches the far ear.
    bool panDelay = false;
    // The peak limiter in front of every output; off, the raw mix is clipped at full scale.
    bool limiter = true;
    // Instruction set of the synthesizer's kernels; unset: the environment variable
    // "SORVANTO_SIMD" or the widest the processor offers. All give the same sound.
    std::optional<SimdLevel> simd;
    bool sampleCacheEnabled() const { return sampleCacheBytes > 0; }
};

// The text after the last separator ('/' or '\\') of the program's path, else "sorvanto".
std::string programNameFrom(std::string_view programPath);

// The program's folder, separator included, + "Sorvanto.sf2"; empty when the path has
// no folder part.
std::string defaultSoundFontFor(std::string_view programPath);

// The output's own rate, 44,100 Hz when that is 0 or unset; a forced rate wins.
int settleOutputRate(int outputRateHz, std::optional<int> forcedRateHz = std::nullopt);

// rate / 1000 clamped to 1..255, unless a ratio is configured.
int settleControlRatio(int outputRateHz, std::optional<int> configuredRatio = std::nullopt);

// Channels from a list of 1-based numbers ended by -1 (or by the end of the list);
// numbers outside 1..32 are passed over.
uint32_t channelMaskFromList(std::span<const int> oneBasedChannels);

// One output as start-up sees it: its identifier character and, for outputs that need a
// device, the question whether one is there.
struct OutputCandidate {
    char id = 0;
    std::function<bool()> detect;  // empty: the output needs no device
};

// Which output the engine starts with, as an index into `outputs`, or nullopt when none
// is usable (the program then exits with code 1). `svtVariable` is the value of the
// "SVT" environment variable when it is set; `frontEndChoice` an output the front-end
// chose before the start.
std::optional<size_t> chooseOutput(std::span<const OutputCandidate> outputs,
                                   std::optional<std::string_view> svtVariable,
                                   std::optional<size_t> frontEndChoice = std::nullopt);

// Folder arguments get a trailing separator so that later steps see them as folders;
// an argument beginning with "@" is a list, never a folder.
std::vector<std::string> markFolderArguments(
    const std::vector<std::string>& arguments,
    const std::function<bool(const std::string&)>& isFolder);

// What the main routine derives from the program's path and the front-end's settings.
struct StartupInput {
    std::string programPath;
    int outputRateHz = 0;  // of the selected output; 0 when it has none
    std::optional<int> forcedRateHz;
    std::optional<int> controlRatio;
    std::vector<int> drumChannelList = {10, -1};
};

EngineSettings makeEngineSettings(const StartupInput& input);

}  // namespace svt
