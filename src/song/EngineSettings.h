#pragma once
// The values an engine fixes once at start-up: output rate and control ratio, interpolation,
// drum channels, caches, effects and limiter. Each engine owns its own record; nothing here is
// process-wide. The output's own start values (which output, how long the live queue is) live
// with the outputs.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/Constants.h"
#include "base/SimdLevel.h"

namespace svt {

// The voice filter a region's cutoff runs through: the two-pole state-variable low-pass or
// the four-pole ladder.
inline constexpr int kFilterTwoPole = 1;
inline constexpr int kFilterFourPole = 2;
inline constexpr int32_t kSampleCacheBudgetBytes = 2 * 1024 * 1024;
inline constexpr int kMaxRenderThreads = 64;

struct EngineSettings {
    // Rate, control period and interpolation reach every part of the engine from here: the
    // synthesizer, the effects, the song's sample times and the instruments' regions.
    int outputRateHz = kDefaultOutputRateHz;
    int controlRatio = kDefaultOutputRateHz / 1000;
    InterpolationKind interpolation = InterpolationKind::SineLagrange;
    uint32_t drumChannels = kDefaultDrumChannelMask;
    uint32_t excludedChannels = 0;
    std::array<uint8_t, kChannels> defaultPrograms{};
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
    // Threads that render one song's voices (1..kMaxRenderThreads): the song's own and
    // helpers that share its larger stretches. Any number gives the same samples.
    int renderThreads = 1;
    // No listener can move a song's notes once it is loaded (a batch conversion): instruments
    // of uncompressed fonts, too, keep only the regions the song's notes reach.
    bool songKeysFixed = false;
    bool sampleCacheEnabled() const { return sampleCacheBytes > 0; }
};

// The threads one song renders with when `jobs` songs render side by side: the cores the
// other jobs leave, at least one.
int renderThreadsBeside(int jobs);

// rate / 1000 clamped to 1..255, unless a ratio is configured.
int settleControlRatio(int outputRateHz, std::optional<int> configuredRatio = std::nullopt);

}  // namespace svt
