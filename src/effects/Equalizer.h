#pragma once
// Shelving and peaking biquads with Q24 coefficients, and the two-band equaliser the
// channels that ask for it pass through.

#include <array>
#include <cstdint>

#include "base/StereoView.h"
#include "effects/FixedPoint.h"

namespace svt::effects {

enum class BiquadShape { LowShelf, HighShelf, Peaking };

struct Biquad {
    // b0, b1, b2, a1, a2 in Q24 (a0 divided out); a band outside 0..rate/2 passes through.
    std::array<int32_t, 5> c{kQ24One, 0, 0, 0, 0};
    std::array<int32_t, 2> x{}, y{};

    void design(BiquadShape shape, double hz, double gainDb, double q, int rateHz);
    void passThrough() { c = {kQ24One, 0, 0, 0, 0}; }
    void clear() { x = y = {0, 0}; }
    int32_t run(int32_t in) {
        const int64_t acc = int64_t(c[0]) * in + int64_t(c[1]) * x[0] + int64_t(c[2]) * x[1] -
                            int64_t(c[3]) * y[0] - int64_t(c[4]) * y[1];
        const int32_t out = saturate32((acc + ((acc >> 63) & (kQ24One - 1))) >> kQ24Shift);
        x[1] = x[0];
        x[0] = in;
        y[1] = y[0];
        y[0] = out;
        return out;
    }
};

// Gain in dB of the GS system equaliser's gain value (0x34..0x4C, 0x40 flat).
double gsEqGainDb(int value);

// XG frequency values (4 about 32 Hz, 40 about 2 kHz, 58 about 16 kHz) and gains (64 flat,
// one dB a step, +-12 dB at most).
double xgEqHz(int value);
double xgEqGainDb(int value);

// Low shelf then high shelf on each side; a band with 0 dB is skipped.
class TwoBandEq {
  public:
    void set(double lowHz, double lowDb, double highHz, double highDb, int rateHz);
    bool flat() const { return !lowOn_ && !highOn_; }
    // In place on the frames of `block`.
    void process(StereoView<int32_t> block);
    void clear();

  private:
    std::array<Biquad, 2> low_{}, high_{};
    bool lowOn_ = false, highOn_ = false;
};

// The XG master equaliser: band 1 a low shelf (or a peak), bands 2 to 4 peaks, band 5 a
// high shelf (or a peak). The parameters are those of its addresses 00..14: the type (a
// preset of the five gains), then per band gain, frequency, Q (tenths) and, for the outer
// bands, the shape (0 shelf, 1 peak).
class FiveBandEq {
  public:
    static constexpr int kParams = 0x15;

    FiveBandEq();
    // Back to the flat type with its frequencies.
    void reset(int rateHz);
    // One address changed; the type sets the five gains of its preset.
    void set(int address, int value, int rateHz);
    int parameter(int address) const {
        return (address >= 0 && address < kParams) ? params_[size_t(address)] : 0;
    }
    bool flat() const { return on_ == 0; }
    // In place on the frames of `block`.
    void process(StereoView<int32_t> block);
    void clear();

  private:
    void design(int rateHz);
    std::array<int, kParams> params_{};
    std::array<std::array<Biquad, 2>, 5> bands_{};
    unsigned on_ = 0;  // bit b: band b changes the sound
};

}  // namespace svt::effects
