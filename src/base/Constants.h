#pragma once
// Engine constants in one place. Units are in the names where the type does not carry them.

#include <cstddef>
#include <cstdint>

namespace svt {

inline constexpr int kChannels = 16;
inline constexpr int kMaxVoices = 256;

// One rendered block: 4096 stereo frames of 32-bit samples.
inline constexpr int kBlockFrames = 4096;

// Synthesizer samples are 32-bit with full scale at +-2^28 until the audio queue
// converts them to the output encoding.
inline constexpr int32_t kFullScale = 1 << 28;
// The mix may run above full scale (by up to 18 dB) until the output's peak limiter brings it
// back under; only beyond this it is clamped.
inline constexpr int32_t kMixLimit = 0x7FFFFFFF;

// Sample positions and increments carry 12 fraction bits.
inline constexpr int kPositionFractionBits = 12;

// Effects compute in Q24 fixed point.
inline constexpr int kEffectFractionBits = 24;

// How sample data is read between its points: chosen once per engine, used by the voices and
// by the instruments that are resampled when they load.
enum class InterpolationKind : uint8_t {
    None = 0,          // s[i]
    Linear = 1,        // s[i] + ((s[i+1] - s[i]) * f) >> 12
    SineLagrange = 2,  // 26-tap sine-window Lagrange with Newton edges (the default)
};

inline constexpr int kDefaultOutputRateHz = 44100;
inline constexpr int kMinControlRatio = 1;
inline constexpr int kMaxControlRatio = 255;

// Channel 10 (index 9) is the drum channel of General MIDI.
inline constexpr uint32_t kDefaultDrumChannelMask = 1u << 9;

inline constexpr const char* kDefaultSoundFontName = "Sorvanto.sf2";
inline constexpr const char* kSystemSoundFontPath = "/usr/share/sounds/sf2/default-GM.sf2";
// Decoded samples of compressed fonts an engine keeps between songs unless told otherwise:
// enough for the instruments of a few General MIDI songs of a large compressed font.
inline constexpr size_t kDefaultDecodedSampleLimitBytes = size_t{96} << 20;
// Sample points a song's instruments may hold at once (decoded samples and copies): more than
// a whole large General MIDI font decodes to (MuseScore General, 466 MiB), so only a font made
// to fill the memory meets it.
inline constexpr size_t kMaxDecodedSampleBytesPerSong = size_t{512} << 20;
// The same for compressed (SoundFont 3) fonts, tried when there is no SoundFont 2 default.
inline constexpr const char* kSystemCompressedSoundFontPath =
    "/usr/share/sounds/sf3/default-GM.sf3";

}  // namespace svt
