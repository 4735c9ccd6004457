// The master peak limiter: what goes over full scale comes out under it with little
// distortion, and what stays under passes bit for bit and in place. That the limiter on and
// off changes a loud render is checked through the command line in tests/app/ConversionTest.cpp.
#include "output/PeakLimiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "base/Constants.h"
#include "support/Signal.h"

namespace svt::output {
namespace {

constexpr int kRate = 44100;
const double kCeiling = kFullScale * std::pow(10.0, PeakLimiter::kCeilingDb / 20.0);

// Stereo frames whose sides are `left(frame)` and the same at half level.
std::vector<int32_t> stereo(int frames, const std::function<double(int)>& left) {
    std::vector<int32_t> out(size_t(2 * frames));
    for (int i = 0; i < frames; ++i) {
        out[size_t(2 * i)] = static_cast<int32_t>(std::lround(left(i)));
        out[size_t(2 * i + 1)] = static_cast<int32_t>(std::lround(left(i) / 2));
    }
    return out;
}

// The whole stream through a fresh limiter in blocks of `block` frames, then drained.
std::vector<int32_t> limit(const std::vector<int32_t>& in, int block = kBlockFrames) {
    PeakLimiter limiter;
    limiter.prepare(kRate);
    std::vector<int32_t> out, work(size_t(2 * kBlockFrames));
    const int frames = int(in.size() / 2);
    for (int at = 0; at < frames; at += block) {
        const int n = std::min(block, frames - at);
        std::copy_n(in.begin() + 2 * at, 2 * n, work.begin());
        const int kept = limiter.process(work.data(), n);
        out.insert(out.end(), work.begin(), work.begin() + 2 * kept);
    }
    const int held = limiter.drain(work.data(), kBlockFrames);
    out.insert(out.end(), work.begin(), work.begin() + 2 * held);
    return out;
}

std::vector<double> side(const std::vector<int32_t>& frames, int which, size_t from = 0) {
    std::vector<double> x;
    for (size_t i = 2 * from + size_t(which); i < frames.size(); i += 2) x.push_back(frames[i]);
    return x;
}

TEST(PeakLimiter, SineOverFullScaleComesOutUnderItWithoutHarmonics) {
    for (const double hz : {40.0, 440.0, 3000.0}) {
        SCOPED_TRACE(hz);
        const auto in = stereo(2 * kRate, [&](int i) {
            return 2.0 * kFullScale * std::sin(2 * M_PI * hz * i / kRate);  // 6 dB over
        });
        const auto out = limit(in);
        ASSERT_EQ(out.size(), in.size()) << "every frame leaves";
        EXPECT_LE(test::peak(side(out, 0)), kCeiling + 1);
        EXPECT_LE(test::peak(side(out, 1)), kCeiling + 1);
        // Once the gain has settled it holds still: the sine keeps its shape.
        const auto settled = side(out, 0, kRate / 2);
        const double fundamental = test::magnitudeDb(settled, kRate, hz);
        EXPECT_NEAR(fundamental, 20 * std::log10(kCeiling), 0.5);
        for (int harmonic = 2; harmonic <= 5; ++harmonic)
            EXPECT_LT(test::magnitudeDb(settled, kRate, harmonic * hz) - fundamental, -80.0)
                << "harmonic " << harmonic;
        // Nor does the gain jump while it settles: no step is larger than the sine's own.
        EXPECT_LE(test::largestStep(side(out, 0)), test::largestStep(side(in, 0)));
    }
}

TEST(PeakLimiter, WhatStaysUnderPassesBitForBitAndInPlace) {
    // Under the ceiling from the start; and after a loud second the gain returns all the way,
    // so that the quiet end passes unchanged again.
    struct Case {
        const char* what;
        double loudSeconds;  // 0: none
        double checkFromSeconds;
    };
    for (const Case c : {Case{"never loud", 0.0, 0.0}, Case{"after a loud second", 1.0, 3.0}}) {
        SCOPED_TRACE(c.what);
        uint32_t noise = 12345;
        const auto in = stereo(5 * kRate, [&](int i) {
            noise = noise * 1103515245u + 12345u;
            const double quiet = 0.8 * kCeiling * (double(noise >> 8) / double(1u << 24) - 0.5);
            return i < c.loudSeconds * kRate ? 3 * kFullScale * std::sin(i * 0.05) : quiet;
        });
        for (const int block : {kBlockFrames, 777}) {
            const auto out = limit(in, block);
            ASSERT_EQ(out.size(), in.size());
            const size_t from = size_t(2 * c.checkFromSeconds * kRate);
            EXPECT_TRUE(
                std::equal(out.begin() + ptrdiff_t(from), out.end(), in.begin() + ptrdiff_t(from)))
                << "block " << block;
        }
    }
}

}  // namespace
}  // namespace svt::output
