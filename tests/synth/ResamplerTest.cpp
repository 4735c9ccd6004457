#include "synth/Resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "support/Signal.h"
#include "support/SimdForms.h"

namespace svt {
namespace {

using test::Band;
using test::toDoubles;

constexpr double kPi = std::numbers::pi;
constexpr double kRate = 44100.0;
constexpr InterpolationKind kAllKinds[] = {InterpolationKind::None, InterpolationKind::Linear,
                                           InterpolationKind::SineLagrange};

// Sample data owned by the test: exactly the three zero samples of padding after the data, so
// that the address sanitizer reports any read beyond them.
struct Sample {
    std::vector<int16_t> pcm;
    SampleView view;

    Sample(std::vector<int16_t> data, int64_t loopStart = 0, int64_t loopEnd = 0,
           uint8_t flags = 0x41) {
        int64_t n = int64_t(data.size());
        pcm = std::move(data);
        pcm.resize(size_t(n + kPcmPaddingSamples), 0);
        pcm.shrink_to_fit();
        view.pcm = pcm.data();
        view.endPos = n << 12;
        view.loopStartPos = loopStart << 12;
        view.loopEndPos = loopEnd << 12;
        view.modeFlags = flags;
    }
};

std::vector<int16_t> noise(size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(-32768, 32767);
    std::vector<int16_t> v(n);
    for (auto& s : v) s = int16_t(d(gen));
    return v;
}

std::vector<int16_t> sine(size_t n, double periodSamples, double amplitude) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = int16_t(std::lround(amplitude * std::sin(2 * kPi * double(i) / periodSamples)));
    return v;
}

ResampleState stateAt(int64_t position, int32_t increment) {
    ResampleState s;
    s.position = position;
    s.increment = increment;
    return s;
}

// Renders up to `frames` frames in calls of `block` frames; stops early when the voice ends.
std::vector<int32_t> renderAll(Resampler& r, ResampleState& state, const SampleView& view,
                               int frames, int block = kBlockFrames) {
    std::vector<int32_t> out;
    while (int(out.size()) < frames) {
        int ask = std::min(block, frames - int(out.size()));
        auto got = r.resample(state, view, ask);
        out.insert(out.end(), got.begin(), got.end());
        if (int(got.size()) < ask) break;
    }
    return out;
}

Resampler makeResampler(InterpolationKind kind, SimdLevel simd = bestSimdLevel()) {
    Resampler r(simd);
    r.setInterpolation(kind);
    return r;
}

// A sine sweep stored as a sample is played at several speeds; in every stretch of the output
// the energy outside the band the sweep crosses there counts as aliasing.
TEST(Resampler, SineSweepAliasingStaysFarBelowTheSignal) {
    const int n = 50000;
    const double f0 = 100, f1 = 15000, amplitude = 16000;
    auto sweepHz = [&](double x) { return f0 + (f1 - f0) * x / n; };
    std::vector<int16_t> data(n);
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        data[i] = int16_t(std::lround(amplitude * std::sin(phase)));
        phase += 2 * kPi * sweepHz(i + 0.5) / kRate;
    }
    Sample s(data, 0, 0, 0x41);
    const int stretch = 2048;
    for (double ratio : {0.91875, 0.5, 1.37}) {
        int32_t increment = int32_t(std::lround(ratio * 4096));
        double worst[3] = {-1e9, -1e9, -1e9};
        for (InterpolationKind kind :
             {InterpolationKind::Linear, InterpolationKind::SineLagrange}) {
            Resampler r = makeResampler(kind);
            ResampleState st = stateAt(0, increment);
            std::vector<double> out = toDoubles(renderAll(r, st, s.view, 1 << 20));
            double& w = worst[int(kind)];
            // Leave out the stretches that touch the ends of the data.
            for (size_t at = stretch; at + 2 * stretch <= out.size(); at += stretch) {
                double x0 = double(at) * increment / 4096,
                       x1 = double(at + stretch) * increment / 4096;
                Band band{sweepHz(x0) * increment / 4096, sweepHz(x1) * increment / 4096};
                w = std::max(w, test::energyOutsideBandsDb(std::span(out).subspan(at, stretch),
                                                           kRate, std::span<const Band>(&band, 1)));
            }
        }
        EXPECT_LE(worst[int(InterpolationKind::SineLagrange)], -60.0) << "speed " << ratio;
        EXPECT_GT(worst[int(InterpolationKind::Linear)],
                  worst[int(InterpolationKind::SineLagrange)] + 20.0);
    }
}

TEST(Resampler, VibratoBendsThePitchByTheDepthInCents) {
    const double period = 100, amplitude = 20000;
    Sample s(sine(100 * 42, period, amplitude), 100, 100 * 41, 0x65);
    const int ratio = 4410;
    const int depth = 64;  // 64 * 400 / 256 = 100 cents
    struct Case {
        int delaySteps;
        int sweepSteps;  // 0 = no sweep
    } cases[] = {{0, 0}, {3, 0}, {0, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE("delay " + std::to_string(c.delaySteps) + " sweep " +
                     std::to_string(c.sweepSteps));
        Resampler r = makeResampler(InterpolationKind::SineLagrange);
        ResampleState st = stateAt(0, 4096);
        st.vibrato.controlRatio = ratio;
        st.vibrato.depth = depth;
        st.vibrato.delay = c.delaySteps * ratio;
        if (c.sweepSteps) st.vibrato.sweepStep = 65536 / c.sweepSteps;
        const int steps = c.delaySteps + 2 * 64;
        std::vector<double> out = toDoubles(renderAll(r, st, s.view, steps * ratio, 1500));
        ASSERT_EQ(out.size(), size_t(steps * ratio));
        int phase = 0;
        double widest = 0;
        for (int step = 0; step < steps; ++step) {
            double expectedCents = 0;
            if (step >= c.delaySteps) {
                phase = (phase + 1) & 63;
                double full = depth * 400.0 / 256 * std::sin(2 * kPi * (phase * 16 + 8) / 1024);
                double sweep = c.sweepSteps ? std::min(1.0, double(step + 1) / c.sweepSteps) : 1.0;
                expectedCents = full * sweep;
            }
            std::span<const double> part(out.data() + size_t(step) * ratio, ratio);
            double cents =
                1200 * std::log2(test::pitchByZeroCrossings(part, kRate) / (kRate / period));
            // The increment is rounded to whole 1/4096 steps: about 0.4 cent at this pitch.
            ASSERT_NEAR(cents, expectedCents, 0.5) << "step " << step;
            widest = std::max(widest, std::abs(cents));
        }
        EXPECT_GT(widest, 99.0);
    }
}

TEST(Resampler, WholeSampleStepsReproduceTheStoredSamples) {
    std::vector<int16_t> data = noise(3000, 1);
    for (InterpolationKind kind : kAllKinds) {
        SCOPED_TRACE(int(kind));
        Resampler r = makeResampler(kind);

        Sample plain(data, 0, 0, 0x41);
        ResampleState st = stateAt(0, 4096);
        std::vector<int32_t> out = renderAll(r, st, plain.view, 5000, 1234);
        ASSERT_EQ(out.size(), data.size());
        for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(out[i], data[i]) << "frame " << i;
        EXPECT_EQ(st.timeout, 1);

        Sample looped(data, 1000, 2000, 0x65);
        st = stateAt(0, 4096);
        out = renderAll(r, st, looped.view, 6000, 777);
        ASSERT_EQ(out.size(), 6000u);
        for (size_t i = 0; i < out.size(); ++i) {
            size_t source = i < 2000 ? i : 1000 + (i - 2000) % 1000;
            ASSERT_EQ(out[i], data[source]) << "frame " << i;
        }
        EXPECT_EQ(st.timeout, -1);

        // A loop played both ways turns at each end on the frame it reaches.
        Sample bidi(data, 1000, 2000, 0x4C);
        st = stateAt(0, 4096);
        out = renderAll(r, st, bidi.view, 6000, 777);
        ASSERT_EQ(out.size(), 6000u);
        for (size_t i = 0; i < out.size(); ++i) {
            size_t source = i < 2000 ? i : size_t(1000 + std::abs(1000 - int(i - 2000) % 2000));
            ASSERT_EQ(out[i], data[source]) << "frame " << i;
        }
    }
}

TEST(Resampler, VectorKernelsGiveTheScalarResultsBitForBit) {
    std::vector<int16_t> data = noise(20000, 6);
    data.resize(20003, 0);
    const LagrangeRow* table = interpolationTables().lagrange;
    std::mt19937 gen(7);
    std::uniform_int_distribution<int32_t> inc(-5 * 4096, 5 * 4096);
    for (SimdLevel level : test::vectorFormsHere(simdLevelAvailable, "lagrange run")) {
        LagrangeRunFn run = lagrangeRunFor(level);
        for (int trial = 0; trial < 150; ++trial) {
            int32_t a = inc(gen);
            int count = 1 + trial % 37 * 3;
            int64_t margin = int64_t(std::abs(a)) * count + (20 << 12);
            std::uniform_int_distribution<int64_t> pos(margin, (int64_t(20000) << 12) - margin);
            int64_t p = pos(gen);
            std::vector<int32_t> expected(static_cast<size_t>(count)),
                got(static_cast<size_t>(count));
            lagrangeRunScalar(data.data(), p, a, count, expected.data(), table);
            run(data.data(), p, a, count, got.data(), table);
            ASSERT_EQ(got, expected)
                << simdLevelName(level) << " position " << p << " increment " << a;
        }
        // (Linear runs are held against the scalar form in SynthMixKernelTest.)
        // Lagrange runs as long as a block, which the vector form takes in several stretches.
        for (int32_t a : {4095, 1, 4097, 4 * 4096, 4 * 4096 + 1, -9000}) {
            const int count = 4352;
            const int64_t length = int64_t(std::abs(a)) * (count - 1);
            const int64_t p = (a > 0 ? 12 << 12 : length + (12 << 12)) + 1234;
            ASSERT_LT(((a > 0 ? p + length : p) >> 12) + 13, 20000);
            std::vector<int32_t> expected(count), got(count);
            lagrangeRunScalar(data.data(), p, a, count, expected.data(), table);
            run(data.data(), p, a, count, got.data(), table);
            ASSERT_EQ(got, expected) << simdLevelName(level) << " long run, increment " << a;
        }
        // (The resampler with loops and edges in every form: SimdFormsTest's demo song.)
    }
}

TEST(Resampler, HostileValuesStayInsideTheDataAndEnd) {
    struct Case {
        const char* name;
        int64_t loopStartPos, loopEndPos;
        uint8_t flags;
        int64_t position;
        int32_t increment;
        bool vibrato = false;
        int samples = 500;
        int64_t endPos = -1;  // -1: the data length
    } cases[] = {
        {"zero-length loop", 100 << 12, 100 << 12, 0x65, 0, 4096},
        {"loop of one step", 100 << 12, (100 << 12) + 1, 0x65, 0, 300000},
        {"bidi loop of one step", 100 << 12, (100 << 12) + 1, 0x6D, 0, 300000},
        {"loop beyond the data", 400 << 12, 9000 << 12, 0x65, 0, 5000},
        {"bidi loop beyond the data", 400 << 12, 9000 << 12, 0x6D, 0, 5000},
        {"loop wholly beyond", 800 << 12, 9000 << 12, 0x65, 0, 5000},
        {"reversed loop", 300 << 12, 100 << 12, 0x6D, 0, 5000},
        {"loop from zero bidi", 0, 13 << 12, 0x6D, 0, 4095},
        {"increment zero", 100 << 12, 200 << 12, 0x65, 0, 0},
        {"increment huge", 100 << 12, 200 << 12, 0x65, 0, INT32_MAX},
        {"increment most negative", 100 << 12, 200 << 12, 0x6D, 0, INT32_MIN},
        {"negative no loop", 0, 0, 0x41, 0, INT32_MIN},
        {"position beyond the end", 0, 0, 0x41, int64_t(1) << 40, 4096},
        {"position beyond a loop", 100 << 12, 200 << 12, 0x65, INT64_MAX / 2, 4097},
        {"position beyond a bidi loop", 100 << 12, 200 << 12, 0x6D, INT64_MAX / 2, -4097},
        {"negative position", 100 << 12, 200 << 12, 0x65, -12345678, 4097},
        {"end with fraction", 100 << 12, (500 << 12) + 4095, 0x6D, 0, 3333, false, 500,
         (500 << 12) + 4095},
        {"tiny data", 0, 2 << 12, 0x6D, 0, 1234, false, 2},
        {"no data", 0, 0, 0x65, 0, 4096, false, 0},
        {"vibrato on a tiny increment", 100 << 12, 200 << 12, 0x65, 0, 1, true},
        {"vibrato on a huge increment", 100 << 12, 200 << 12, 0x6D, 0, INT32_MAX - 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sample s(noise(size_t(c.samples), 10), 0, 0, c.flags);
        s.view.loopStartPos = c.loopStartPos;
        s.view.loopEndPos = c.loopEndPos;
        if (c.endPos >= 0) s.view.endPos = c.endPos;
        for (InterpolationKind kind : kAllKinds) {
            Resampler r = makeResampler(kind);
            ResampleState st = stateAt(c.position, c.increment);
            if (c.vibrato) {
                st.vibrato.controlRatio = 1;
                st.vibrato.depth = 384;
                st.vibrato.sweepStep = 1;
            }
            for (int block = 0; block < 4; ++block) {
                auto got = r.resample(st, s.view, kBlockFrames + 100);
                ASSERT_LE(got.size(), size_t(kBlockFrames + 100));
                for (int32_t v : got) ASSERT_LE(std::abs(v), 1 << 20);
                if (got.size() < size_t(kBlockFrames + 100)) {
                    EXPECT_EQ(st.timeout, 1);
                    break;
                }
            }
        }
    }
    // A request beyond the buffer is cut to its capacity.
    Sample long_(noise(100000, 11), 0, 0, 0x41);
    Resampler r;
    ResampleState st = stateAt(0, 4096);
    EXPECT_EQ(r.resample(st, long_.view, 1 << 20).size(), size_t(Resampler::kCapacityFrames));
}

}  // namespace
}  // namespace svt
