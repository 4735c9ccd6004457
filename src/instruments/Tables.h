#pragma once
// Read-only tables shared by every engine in the process. Built on first use (the
// compiler makes that thread-safe) and never changed afterwards.

#include <array>
#include <cstddef>
#include <cstdint>

namespace svt {

struct SynthTables {
    // Equal-temperament frequency of each key, thousandths of a hertz (key 69 = 440000).
    std::array<int32_t, 128> noteFreqMilliHz;
    // 2^(t / 3072): t/256 of a semitone, for the fine part of a pitch.
    std::array<double, 256> fineBend;
    // 2^(n / 12): whole semitones.
    std::array<double, 128> coarseBend;
    // 2^(-a / 160), a in centibels 0..960: the gain of an initial attenuation.
    std::array<float, 961> attenuationGain;
    // Envelope level (volume >> 20, 0..1023) to amplitude factor.
    std::array<double, 1024> attackVolume;       // i / 1023
    std::array<double, 1024> soundFontVolume;    // 0 dB at 1023 down to -96 dB at 0
    std::array<double, 1024> defaultVolumeGm;    // 2^(6 (i/1023 - 1)): no system mode, GM, GM2
    std::array<double, 1024> defaultVolumeGsXg;  // 2^(8 (i/1023 - 1)): GS and XG
};

const SynthTables& synthTables();

// Shorthand for the table used everywhere: frequency of `key` (clamped into 0..127).
inline int32_t noteFrequencyMilliHz(int key) {
    return synthTables().noteFreqMilliHz[static_cast<size_t>(key < 0 ? 0 : key > 127 ? 127 : key)];
}

}  // namespace svt
