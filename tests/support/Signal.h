#pragma once
// Measurements on rendered sound for the tests: level, steps, pitch, spectrum, noise and
// aliasing, and a small WAV reader. Signals are sequences of doubles in any scale (the
// helpers never assume full scale); toDoubles() converts what the engine produces.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

namespace svt::test {

std::vector<double> toDoubles(std::span<const int32_t> samples);
std::vector<double> toDoubles(std::span<const int16_t> samples);

// Root mean square; 0 for an empty signal.
double rms(std::span<const double> x);
// Largest absolute value.
double peak(std::span<const double> x);
// Largest absolute difference of two neighbouring samples: a click shows up here.
double largestStep(std::span<const double> x);

// Frequency in Hz from the rising zero crossings (mean removed first, each crossing placed by
// linear interpolation between its two samples). 0 with fewer than two crossings. Exact for
// clean periodic signals; use the FFT form for signals with strong harmonics or noise.
double pitchByZeroCrossings(std::span<const double> x, double rateHz);

// Frequency in Hz of the strongest spectral peak: Blackman-Harris window, zero-padded FFT,
// parabolic interpolation of the log magnitude around the peak bin. DC is ignored.
double pitchByFft(std::span<const double> x, double rateHz);

// Amplitude of the component at `freqHz`, in dB relative to `reference`: a sine of amplitude
// A at exactly that frequency reads 20 log10(A / reference). Evaluated directly (Hann-windowed
// DFT at that one frequency), so it does not depend on a bin grid.
double magnitudeDb(std::span<const double> x, double rateHz, double freqHz, double reference = 1.0);

// Signal-to-noise ratio in dB of `signal` against the expected `reference` (the noise is their
// difference), over the shorter of the two. +infinity when they are identical.
double snrDb(std::span<const double> signal, std::span<const double> reference);

struct Band {
    double lowHz;
    double highHz;
};

// Energy outside the given bands relative to the energy inside them, in dB (-70 means the
// products outside lie 70 dB below the wanted signal). Each band is widened by the main lobe
// of the 4-term Blackman-Harris window used (4 bins each side); the window's sidelobes lie
// near -92 dB, the floor of this measurement. Returns +infinity when nothing lies inside.
double energyOutsideBandsDb(std::span<const double> x, double rateHz, std::span<const Band> bands);

// A decoded PCM WAV file. Samples are interleaved and keep their integer scale: 16-bit data
// reads -32768..32767, 24-bit data -2^23..2^23-1, 8-bit data is made signed.
struct WavData {
    int rateHz = 0;
    int channels = 0;
    int bitsPerSample = 0;
    std::vector<int32_t> samples;

    size_t frames() const { return channels > 0 ? samples.size() / size_t(channels) : 0; }
    std::vector<double> channel(int index) const;
};

// Integer PCM (format 1, or WAVE_FORMAT_EXTENSIBLE with PCM data) at 8, 16, 24 or 32 bits.
Result<WavData> parseWav(std::span<const uint8_t> bytes);
Result<WavData> readWav(const std::string& path);
// Writes 16-bit PCM (interleaved when channels > 1); false when the file cannot be written.
bool writeWav16(const std::string& path, int rateHz, int channels,
                std::span<const int16_t> samples);

}  // namespace svt::test
