#pragma once
// Shelving and peaking biquads with Q24 coefficients, and the two-band equaliser the
// channels that ask for it pass through.

#include <array>
#include <cstdint>

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

// Low shelf then high shelf on each side; a band with 0 dB is skipped.
class TwoBandEq {
public:
    void set(double lowHz, double lowDb, double highHz, double highDb, int rateHz);
    bool flat() const { return !lowOn_ && !highOn_; }
    // In place on `values` interleaved stereo values.
    void process(int32_t* block, int values);
    void clear();

private:
    std::array<Biquad, 2> low_{}, high_{};
    bool lowOn_ = false, highOn_ = false;
};

}  // namespace svt::effects
