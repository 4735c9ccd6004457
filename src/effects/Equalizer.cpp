#include "effects/Equalizer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace svt::effects {

void Biquad::design(BiquadShape shape, double hz, double gainDb, double q, int rateHz) {
    clear();
    if (!(hz > 0.0) || hz >= rateHz / 2.0) {
        passThrough();
        return;
    }
    const double a = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2.0 * std::numbers::pi * hz / rateHz;
    const double cs = std::cos(w0), sn = std::sin(w0);
    double b0, b1, b2, a0, a1, a2;
    if (shape == BiquadShape::Peaking) {
        const double alpha = sn / (2.0 * std::max(q, 0.1));
        b0 = 1.0 + alpha * a;
        b1 = -2.0 * cs;
        b2 = 1.0 - alpha * a;
        a0 = 1.0 + alpha / a;
        a1 = -2.0 * cs;
        a2 = 1.0 - alpha / a;
    } else {
        // Shelf slope 1.
        const double alpha = sn / 2.0 * std::sqrt(2.0);
        const double root = 2.0 * std::sqrt(a) * alpha;
        const double sign = shape == BiquadShape::LowShelf ? 1.0 : -1.0;
        b0 = a * ((a + 1) - sign * (a - 1) * cs + root);
        b1 = sign * 2 * a * ((a - 1) - sign * (a + 1) * cs);
        b2 = a * ((a + 1) - sign * (a - 1) * cs - root);
        a0 = (a + 1) + sign * (a - 1) * cs + root;
        a1 = -sign * 2 * ((a - 1) + sign * (a + 1) * cs);
        a2 = (a + 1) + sign * (a - 1) * cs - root;
    }
    c = {toQ24(b0 / a0), toQ24(b1 / a0), toQ24(b2 / a0), toQ24(a1 / a0), toQ24(a2 / a0)};
}

double gsEqGainDb(int value) { return std::clamp(value, 0x34, 0x4C) - 64.0; }

void TwoBandEq::set(double lowHz, double lowDb, double highHz, double highDb, int rateHz) {
    lowOn_ = std::abs(lowDb) > 1e-9;
    highOn_ = std::abs(highDb) > 1e-9;
    for (Biquad& b : low_) b.design(BiquadShape::LowShelf, lowHz, lowDb, 0.7, rateHz);
    for (Biquad& b : high_) b.design(BiquadShape::HighShelf, highHz, highDb, 0.7, rateHz);
}

void TwoBandEq::process(int32_t* block, int values) {
    const int frames = values / 2;
    for (size_t s = 0; s < 2; ++s) {
        for (int i = 0; i < frames; ++i) {
            int32_t v = block[2 * size_t(i) + s];
            if (lowOn_) v = low_[s].run(v);
            if (highOn_) v = high_[s].run(v);
            block[2 * size_t(i) + s] = v;
        }
    }
}

void TwoBandEq::clear() {
    for (Biquad& b : low_) b.clear();
    for (Biquad& b : high_) b.clear();
}

}  // namespace svt::effects
