#include "synth/Resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
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

TEST(Resampler, LoopModeFollowsFlagsAndKeyState) {
    struct Case {
        uint8_t flags;
        uint8_t status;
        int64_t loopStart, loopEnd;
        LoopMode expected;
    } cases[] = {
        {0x65, kVoiceOn, 10, 20, LoopMode::Forward},
        {0x65, 8 /* off */, 10, 20, LoopMode::Forward},  // the envelope ends it, not the data
        {0x41, kVoiceOn, 10, 20, LoopMode::None},        // not looping
        {0x04, kVoiceOn, 10, 20, LoopMode::Forward},
        {0x04, kVoiceSustained, 10, 20, LoopMode::Forward},
        {0x04, 8, 10, 20, LoopMode::None},  // released without envelope: plays to the end
        {0x4C, 16 /* dying */, 10, 20, LoopMode::Bidirectional},
        {0x65, kVoiceOn, 20, 20, LoopMode::None},      // empty loop
        {0x65, kVoiceOn, 90, 200, LoopMode::Forward},  // end beyond the data: cut to the data end
        {0x65, kVoiceOn, 100, 200, LoopMode::None},    // wholly beyond the data
        {0x65, kVoiceOn, -5, 20, LoopMode::None},
    };
    for (const Case& c : cases) {
        Sample s(std::vector<int16_t>(100), c.loopStart, c.loopEnd, c.flags);
        EXPECT_EQ(loopModeFor(s.view, c.status), c.expected)
            << "flags " << int(c.flags) << " status " << int(c.status) << " loop " << c.loopStart
            << ".." << c.loopEnd;
    }
}

TEST(Resampler, IncrementFromFrequencies) {
    struct Case {
        int64_t frequency;
        int32_t sampleRate, root, outputRate, expected;
    } cases[] = {
        // Middle C from an A4 root: 2237.62. (Every key's pitch: SynthSoundTest.)
        {261626, 44100, 440000, 48000, 2238},
        {440000, 44100, 0, 44100, 0},
        {0, 44100, 440000, 44100, 0},
        {440000, -1, 440000, 44100, 0},
        {int64_t(1) << 40, 1 << 30, 1, 1, INT32_MAX},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sampleIncrementFor(c.frequency, c.sampleRate, c.root, c.outputRate), c.expected)
            << c.frequency;
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
    }
}

TEST(Resampler, NonLoopingDataEndsAfterItsLastFrame) {
    struct Case {
        int32_t increment;
        int64_t startPosition;
        std::vector<int> blocks;
        std::vector<int> produced;
        std::vector<int> timeouts;
    } cases[] = {
        {4096, 0, {1024}, {1000}, {1}},    {4096, 0, {600, 600, 600}, {600, 400, 0}, {-1, 1, 1}},
        {3000, 0, {4096}, {1366}, {1}},   // ceil(1000 * 4096 / 3000)
        {-4096, 0, {4096}, {1000}, {1}},  // released while playing backwards
        {4096, 999 << 12, {10}, {1}, {1}}, {4096 * 3 + 5, 100, {100, 4096}, {100, 234}, {-1, 1}},
    };
    std::vector<int16_t> data = noise(1000, 2);
    Sample s(data, 0, 0, 0x41);
    for (InterpolationKind kind : kAllKinds) {
        Resampler r = makeResampler(kind);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << int(kind) << " increment " << c.increment);
            ResampleState st = stateAt(c.startPosition, c.increment);
            for (size_t b = 0; b < c.blocks.size(); ++b) {
                auto got = r.resample(st, s.view, c.blocks[b]);
                EXPECT_EQ(int(got.size()), c.produced[b]) << "block " << b;
                EXPECT_EQ(st.timeout, c.timeouts[b]) << "block " << b;
            }
        }
    }
}

TEST(Resampler, ForwardLoopOfOneSampleKeepsPlayingIt) {
    std::vector<int16_t> data = noise(600, 3);
    Sample s(data, 500, 501, 0x65);
    for (InterpolationKind kind : kAllKinds) {
        SCOPED_TRACE(int(kind));
        Resampler r = makeResampler(kind);
        ResampleState st = stateAt(0, 8192);
        std::vector<int32_t> out = renderAll(r, st, s.view, 3 * kBlockFrames);
        ASSERT_EQ(out.size(), size_t(3 * kBlockFrames));
        for (size_t k = 0; k < 250; ++k) ASSERT_EQ(out[k], data[2 * k]);
        for (size_t k = 250; k < out.size(); ++k) ASSERT_EQ(out[k], data[500]) << "frame " << k;
        EXPECT_EQ(st.timeout, -1);
    }
}

// A sine whose loop holds a whole number of periods, with the data continuing past the loop end
// as SoundFont samples do: the looped output must be the endless sine itself.
TEST(Resampler, LoopedSineKeepsItsLevelPitchAndShape) {
    const double period = 37.5, amplitude = 20000;
    const int loopStart = 200, loopLength = 300;  // 8 periods
    Sample s(sine(loopStart + loopLength + 40, period, amplitude), loopStart,
             loopStart + loopLength, 0x65);
    // Linear interpolation loses some level at this pitch; the Lagrange kernel keeps it.
    struct Case {
        InterpolationKind kind;
        double minSnrDb;
        double levelTolerance;
    } kinds[] = {{InterpolationKind::SineLagrange, 80, 0.002},
                 {InterpolationKind::Linear, 40, 0.01}};
    for (int32_t increment : {5057, 2048, 7782}) {
        for (const Case& c : kinds) {
            SCOPED_TRACE(testing::Message() << int(c.kind) << " increment " << increment);
            Resampler r = makeResampler(c.kind);
            ResampleState st = stateAt(0, increment);
            std::vector<double> out = toDoubles(renderAll(r, st, s.view, 12000, 1000));
            ASSERT_EQ(out.size(), 12000u);

            double cyclesPerFrame = increment / 4096.0 / period;
            std::vector<double> ideal(out.size());
            for (size_t k = 0; k < out.size(); ++k)
                ideal[k] = amplitude * std::sin(2 * kPi * cyclesPerFrame * double(k));
            EXPECT_GE(test::snrDb(out, ideal), c.minSnrDb);

            double ownStep = 2 * amplitude * std::sin(kPi * cyclesPerFrame);
            EXPECT_LE(test::largestStep(out), ownStep + 2.0);
            // The level over stretches of whole cycles, from first to last.
            size_t part = size_t(std::lround(std::floor(2000 * cyclesPerFrame) / cyclesPerFrame));
            double firstLevel = test::rms(std::span(out).first(part));
            EXPECT_NEAR(firstLevel, amplitude / std::sqrt(2.0), amplitude * c.levelTolerance);
            for (size_t at = part; at + part <= out.size(); at += part)
                EXPECT_NEAR(test::rms(std::span(out).subspan(at, part)), firstLevel,
                            firstLevel * 0.001)
                    << "at " << at;
            double expectedHz = cyclesPerFrame * kRate;
            EXPECT_NEAR(1200 * std::log2(test::pitchByFft(out, kRate) / expectedHz), 0.0, 0.1);
        }
    }
}

TEST(Resampler, BidirectionalLoopReversesExactlyAtBothEnds) {
    const int64_t loopStart = 1000 << 12, loopEnd = 1500 << 12;
    std::vector<int16_t> ramp(4000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = int16_t(3 * int(i) - 6000);
    Sample s(ramp, 1000, 1500, 0x4C);
    struct Case {
        int64_t start;
        int32_t increment;
    } cases[] = {{0, 5096},          {0, 3 * 4096 + 77},  {1200 << 12, 700},
                 {1499 << 12, 4096}, {1300 << 12, -2000}, {0, 4096 * 7 + 3}};
    Resampler r = makeResampler(InterpolationKind::Linear);
    for (const Case& c : cases) {
        SCOPED_TRACE("increment " + std::to_string(c.increment));
        ResampleState st = stateAt(c.start, c.increment);
        const int frames = 8000;
        std::vector<int32_t> stepped;
        std::vector<int64_t> positions;
        bool inLoop = false;
        int turnsAtEnd = 0, turnsAtStart = 0;
        for (int k = 0; k < frames; ++k) {
            int64_t p = st.position;
            int32_t a = st.increment;
            positions.push_back(p);
            auto got = r.resample(st, s.view, 1);
            ASSERT_EQ(got.size(), 1u);
            stepped.push_back(got[0]);
            int64_t next = p + a;
            if (a > 0 && p < loopEnd && next >= loopEnd) {
                EXPECT_EQ(st.position, loopEnd - (next - loopEnd)) << "frame " << k;
                EXPECT_LT(st.increment, 0);
                ++turnsAtEnd;
            } else if (a < 0 && p > loopStart && next <= loopStart) {
                EXPECT_EQ(st.position, loopStart + (loopStart - next)) << "frame " << k;
                EXPECT_GT(st.increment, 0);
                ++turnsAtStart;
            } else {
                EXPECT_EQ(st.position, next) << "frame " << k;
                EXPECT_EQ(st.increment, a);
            }
            inLoop = inLoop || st.position >= loopStart;
            if (inLoop) {
                EXPECT_TRUE(st.position >= loopStart && st.position <= loopEnd) << "frame " << k;
            }
        }
        EXPECT_GE(turnsAtEnd, 2);
        EXPECT_GE(turnsAtStart, 1);
        // Each value is the ramp at the position the frame was taken from.
        for (int k = 0; k < frames; ++k) {
            int64_t i = positions[k] >> 12, f = positions[k] & 0xFFF;
            ASSERT_EQ(stepped[k], ramp[i] + ((3 * f) >> 12)) << "frame " << k;
        }
        // The same frames in whole blocks: runs must end exactly where single frames do.
        ResampleState whole = stateAt(c.start, c.increment);
        std::vector<int32_t> blocks = renderAll(r, whole, s.view, frames, 997);
        EXPECT_EQ(blocks, stepped);
        EXPECT_EQ(whole.position, st.position);
        EXPECT_EQ(whole.increment, st.increment);
    }
}

TEST(Resampler, ReduceQualitySwitchesLagrangeToLinearOnly) {
    Sample looped(noise(5000, 4), 1000, 4000, 0x65);
    Sample bidi(noise(5000, 5), 1000, 4000, 0x4C);
    auto render = [](InterpolationKind kind, bool reduce, const Sample& s, bool vibrato) {
        Resampler r = makeResampler(kind);
        r.setReduceQuality(reduce);
        ResampleState st = stateAt(17, 5000);
        if (vibrato) {
            st.vibrato.controlRatio = 100;
            st.vibrato.depth = 50;
        }
        return renderAll(r, st, s.view, 20000, 3000);
    };
    for (const Sample* s : {&looped, &bidi}) {
        for (bool vibrato : {false, true}) {
            EXPECT_EQ(render(InterpolationKind::SineLagrange, true, *s, vibrato),
                      render(InterpolationKind::Linear, false, *s, vibrato));
            EXPECT_EQ(render(InterpolationKind::None, true, *s, vibrato),
                      render(InterpolationKind::None, false, *s, vibrato));
            EXPECT_NE(render(InterpolationKind::SineLagrange, false, *s, vibrato),
                      render(InterpolationKind::Linear, false, *s, vibrato));
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

// A loop that ends just short of the data's end passes the Newton edge on every pass, and the
// resampler keeps what it computed there. What it keeps must follow the data: the same
// resampler, after other data took the same place, gives what a fresh one gives.
TEST(Resampler, EdgeFramesAreThoseOfTheDataPlayedNow) {
    const InterpolationTables& t = interpolationTables();
    Sample s(noise(400, 11), 380, 392, 0x44);
    Resampler kept = makeResampler(InterpolationKind::SineLagrange);
    for (uint32_t seed : {11u, 12u, 13u}) {
        SCOPED_TRACE(seed);
        const std::vector<int16_t> data = noise(400, seed);
        std::copy(data.begin(), data.end(), s.pcm.begin());
        Resampler fresh = makeResampler(InterpolationKind::SineLagrange);
        ResampleState a = stateAt(int64_t(370) << 12, 4096 + 355);
        ResampleState b = a;
        const std::vector<int32_t> expected = renderAll(fresh, a, s.view, 3000, 97);
        ASSERT_EQ(renderAll(kept, b, s.view, 3000, 97), expected);
        // The frames in the edge are the polynomial's.
        ResampleState c = stateAt(int64_t(388) << 12, 4096 + 355);
        const std::vector<int32_t> edge = renderAll(kept, c, s.view, 3);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(edge[size_t(k)],
                      newtonFrame(s.pcm.data(), 400, (int64_t(388) << 12) + k * (4096 + 355), t));
    }
    // The polynomial follows a slow sine at every kind of position: the start edge, the middle,
    // the end edge (up to the last whole interval; the final one falls towards the padding).
    const double period = 1000, amplitude = 20000;
    const int n = 300;
    std::vector<int16_t> data = sine(n, period, amplitude);
    data.resize(n + 3, 0);
    for (int64_t p = 0; p < int64_t(n - 1) << 12; p += 613) {
        double exact = amplitude * std::sin(2 * kPi * (double(p) / 4096) / period);
        ASSERT_NEAR(newtonFrame(data.data(), n, p, t), exact, 2.0) << "position " << p / 4096.0;
    }
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

struct Glide {
    int calls = 0;
    static void step(void* context, ResampleState& state) {
        auto* g = static_cast<Glide*>(context);
        ++g->calls;
        state.increment += 64;
        if (g->calls == 5) state.portamento.controlRatio = 0;
    }
};

TEST(Resampler, PortamentoHookSetsTheIncrementEveryControlPeriod) {
    Sample s(noise(200000, 9), 0, 0, 0x41);
    Resampler r = makeResampler(InterpolationKind::Linear);
    Glide glide;
    ResampleState st = stateAt(0, 4096);
    st.portamento = {&Glide::step, &glide, 100, 0};
    st.vibrato.controlRatio = 10;  // ignored while the glide runs
    st.vibrato.depth = 300;
    auto got = r.resample(st, s.view, 400);
    ASSERT_EQ(got.size(), 400u);
    EXPECT_EQ(glide.calls, 4);
    // 100 frames at each of 4096+64 .. 4096+256, untouched by the vibrato.
    int64_t expected = 0;
    for (int i = 1; i <= 4; ++i) expected += 100 * (4096 + 64 * i);
    EXPECT_EQ(st.position, expected);
    // The fifth step ends the glide; from there on the vibrato applies.
    got = r.resample(st, s.view, 50);
    ASSERT_EQ(got.size(), 50u);
    EXPECT_EQ(glide.calls, 5);
    EXPECT_EQ(st.increment, 4096 + 5 * 64);
    EXPECT_NE(st.position, expected + 50 * (4096 + 320));
    EXPECT_EQ(st.portamento.controlRatio, 0);
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
