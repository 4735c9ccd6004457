#pragma once
// Drives a SystemEffects rack directly: a signal is sent into one bus block by block and the
// effect output (nothing else reaches it) is collected, left and right apart.

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "base/Constants.h"
#include "effects/effects.h"

namespace svt::test {

struct Stereo {
    std::vector<double> left, right;
    size_t frames() const { return left.size(); }
};

// `input(frame, side)` is the value sent at each frame (full scale 2^28); `frames` long.
inline Stereo runBus(effects::SystemEffects& fx, EffectBus bus, int frames,
                     const std::function<double(int, int)>& input, int level = 127) {
    Stereo out;
    std::vector<int64_t> block(2 * kBlockFrames), mix(2 * kBlockFrames);
    for (int done = 0; done < frames;) {
        const int n = std::min(kBlockFrames, frames - done);
        for (int i = 0; i < n; ++i)
            for (int s = 0; s < 2; ++s) block[size_t(2 * i + s)] = std::llround(input(done + i, s));
        std::fill(mix.begin(), mix.end(), 0);
        fx.send(bus, {block.data(), n}, level);
        fx.process({mix.data(), n});
        for (int i = 0; i < n; ++i) {
            out.left.push_back(double(mix[size_t(2 * i)]));
            out.right.push_back(double(mix[size_t(2 * i + 1)]));
        }
        done += n;
    }
    return out;
}

inline std::function<double(int, int)> impulse(double amplitude = 1 << 26) {
    return [amplitude](int frame, int) { return frame == 0 ? amplitude : 0.0; };
}

// Decay time from the energy decay curve (backward-integrated energy of both sides): the
// line through its -5 dB and -25 dB points, extended to 60 dB.
inline double rt60Seconds(const Stereo& s, double rateHz) {
    std::vector<double> edc(s.frames() + 1, 0.0);
    for (size_t i = s.frames(); i-- > 0;)
        edc[i] = edc[i + 1] + s.left[i] * s.left[i] + s.right[i] * s.right[i];
    if (edc[0] <= 0.0) return 0.0;
    auto crossing = [&](double db) {
        const double threshold = edc[0] * std::pow(10.0, db / 10.0);
        for (size_t i = 0; i < edc.size(); ++i)
            if (edc[i] <= threshold) return double(i);
        return double(edc.size());
    };
    const double t5 = crossing(-5.0), t25 = crossing(-25.0);
    return (t25 - t5) / rateHz * 3.0;
}

// Correlation coefficient of the two sides over [from, to).
inline double correlation(const Stereo& s, size_t from, size_t to) {
    double lr = 0, ll = 0, rr = 0;
    for (size_t i = from; i < std::min(to, s.frames()); ++i) {
        lr += s.left[i] * s.right[i];
        ll += s.left[i] * s.left[i];
        rr += s.right[i] * s.right[i];
    }
    return (ll > 0 && rr > 0) ? lr / std::sqrt(ll * rr) : 0.0;
}

inline double peakOf(const Stereo& s) {
    double p = 0;
    for (size_t i = 0; i < s.frames(); ++i)
        p = std::max({p, std::abs(s.left[i]), std::abs(s.right[i])});
    return p;
}

}  // namespace svt::test
