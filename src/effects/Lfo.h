#pragma once
// A sine LFO in fixed point: a 32-bit phase stepped once per frame, read from a shared
// 1024-step table with linear interpolation. The table is built once and only read.

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "effects/FixedPoint.h"

namespace svt::effects {

inline const std::array<int32_t, 1025>& sineTableQ24() {
    static const std::array<int32_t, 1025> table = [] {
        std::array<int32_t, 1025> t{};
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = toQ24(std::sin(2.0 * std::numbers::pi * double(i) / 1024.0));
        return t;
    }();
    return table;
}

struct Lfo {
    uint32_t phase = 0;
    uint32_t step = 0;

    void set(double hz, int rateHz, double startDegrees = 0.0) {
        step = static_cast<uint32_t>(std::llround(std::max(0.0, hz) / rateHz * 4294967296.0));
        phase = static_cast<uint32_t>(
            std::llround(std::fmod(startDegrees, 360.0) / 360.0 * 4294967296.0));
    }
    // sin of the current phase in Q24, then one step on.
    int32_t next() {
        const auto& t = sineTableQ24();
        const uint32_t i = phase >> 22, frac = (phase >> 6) & 0xFFFF;
        const int32_t a = t[i], b = t[i + 1];
        phase += step;
        return a + static_cast<int32_t>((int64_t(b - a) * frac) >> 16);
    }
};

}  // namespace svt::effects
