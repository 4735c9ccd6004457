// The GS chorus measured on a sine (the swing and rate of its delay), its sends, and the GS
// delay's taps, levels and feedback from an impulse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/ChorusDelay.h"
#include "effects/EffectProbe.h"
#include "support/Signal.h"

namespace svt::test {
namespace {

using effects::ChorusParams;
using effects::GsDelaySettings;
using effects::SystemEffects;

constexpr int kRate = 44100;

// The delay of `y` behind a sine of `hz` (in samples), measured over windows of whole
// periods: the phase of each window against the sine, unwrapped.
std::vector<double> delayTrack(const std::vector<double>& y, double hz, int window) {
    std::vector<double> track;
    const double w = 2 * M_PI * hz / kRate;
    double last = 0.0;
    for (size_t at = 0; at + size_t(window) <= y.size(); at += size_t(window)) {
        double i = 0, q = 0;
        for (int k = 0; k < window; ++k) {
            const double n = double(at) + k;
            i += y[at + size_t(k)] * std::sin(w * n);
            q += y[at + size_t(k)] * std::cos(w * n);
        }
        double phase = -std::atan2(q, i);
        while (phase - last > M_PI) phase -= 2 * M_PI;
        while (phase - last < -M_PI) phase += 2 * M_PI;
        last = phase;
        track.push_back(phase / w);
    }
    return track;
}

double mean(const std::vector<double>& x) {
    double sum = 0;
    for (double v : x) sum += v;
    return sum / double(x.size());
}

// Frequency of a slowly varying track sampled every `step` frames, from its mean crossings.
double trackRateHz(const std::vector<double>& track, int step) {
    const double middle = mean(track);
    std::vector<double> ups;
    for (size_t i = 1; i < track.size(); ++i)
        if (track[i - 1] < middle && track[i] >= middle) ups.push_back(double(i));
    if (ups.size() < 2) return 0.0;
    return double(ups.size() - 1) / ((ups.back() - ups.front()) * step / kRate);
}

TEST(Chorus, SineShowsTheRateAndDepthAskedFor) {
    struct Case {
        int rate, depth, delay;
    };
    for (const Case c : {Case{10, 40, 64}, Case{4, 100, 80}, Case{20, 10, 32}}) {
        SystemEffects fx(kRate, {3, 1});
        fx.setChorus(ChorusParams{0, 127, 0, c.delay, c.rate, c.depth, 0, 0});
        const double hz = 200.0;
        const Stereo out = runBus(fx, BUS_CHORUS, 6 * kRate, [hz](int f, int) {
            return std::sin(2 * M_PI * hz * f / kRate) * (1 << 26);
        });
        std::vector<double> left(out.left.begin() + kRate / 2, out.left.end());
        const int window = kRate / 200 * 2;  // two periods
        const auto track = delayTrack(left, hz, window);
        const auto [low, high] = std::minmax_element(track.begin(), track.end());
        const double swing = *high - *low;
        const double expectedSwing = std::floor((c.depth + 1) * kRate / 3200.0);
        EXPECT_NEAR(swing / expectedSwing, 1.0, 0.05)
            << "depth " << c.depth << ": " << swing << " samples";
        EXPECT_NEAR(trackRateHz(track, window) / (c.rate * 0.122), 1.0, 0.05) << "rate " << c.rate;
        // The shortest delay is the pre-delay less half the depth (at least a sample).
        const double pd = std::max(std::floor(effects::chorusDelayMs(c.delay) * kRate / 1000) -
                                       std::floor(expectedSwing / 2),
                                   1.0);
        // (The track knows the delay only up to whole periods of the sine.)
        const double period = kRate / hz;
        const double off = std::fmod(std::fmod(*low - pd, period) + period, period);
        EXPECT_LT(std::min(off, period - off), 2.0) << "delay " << c.delay;
        // Level 127 gives 1.7 times the input.
        EXPECT_NEAR(peak(left) / (1 << 26), 1.7, 0.1);

        // The right LFO starts 90 degrees on: r(t) = l(t + quarter period), not l(t - quarter).
        // (Each track is known only up to whole periods of the sine: both are centred.)
        const auto right = delayTrack(
            std::vector<double>(out.right.begin() + kRate / 2, out.right.end()), hz, window);
        const double shift = mean(right) - mean(track);
        const size_t quarter = size_t(std::lround(kRate / (c.rate * 0.122) / 4 / window));
        double at = 0, against = 0;
        for (size_t i = quarter; i + quarter < track.size(); ++i) {
            at += std::abs(right[i] - shift - track[i + quarter]);
            against += std::abs(right[i] - shift - track[i - quarter]);
        }
        EXPECT_LT(at * 5, against) << "rate " << c.rate;
    }
}

TEST(Chorus, SendsIntoReverbAndDelay) {
    auto burst = [](int f, int) {
        return f < kRate / 10 ? std::sin(2 * M_PI * 300.0 * f / kRate) * (1 << 26) : 0.0;
    };
    auto tailAfter = [&](int sendReverb, int sendDelay) {
        SystemEffects fx(kRate, {3, 1});
        fx.setChorus(ChorusParams{0, 64, 0, 64, 3, 19, sendReverb, sendDelay});
        const Stereo out = runBus(fx, BUS_CHORUS, kRate, burst);
        std::vector<double> tail(out.left.begin() + kRate / 2, out.left.end());
        return rms(tail);
    };
    EXPECT_EQ(tailAfter(0, 0), 0.0);
    EXPECT_GT(tailAfter(127, 0), 1e4);  // the hall rings on
    EXPECT_GT(tailAfter(0, 127), 1e4);  // the delay's echoes
}

// Blocks of a silent bus into lines that hold only silence are not computed frame by frame;
// the chorus's LFOs and both units' lines must then stand where computing them would have left
// them, so that the next sound comes out the same.
TEST(ChorusAndDelay, SilentBlocksLeaveThemWhereComputingWould) {
    constexpr int kBlock = 4096;
    // A burst, blocks of silence, a second burst, silence again.
    auto input = [](int f) {
        const bool sounding = f < 3000 || (f >= 5 * kBlock + 100 && f < 6 * kBlock);
        return sounding ? int32_t(std::lround(std::sin(0.05 * f) * (1 << 26))) : 0;
    };
    // The chorus plain, with feedback and pre-filter, and the delay (without feedback: its lines
    // fall silent).
    effects::GsDelaySettings echo;
    echo.feedback = 64;
    echo.timeCentre = 60;
    echo.levelLeft = echo.levelRight = 90;
    echo.ratioLeft = 12;
    echo.sendReverb = 50;
    for (const int unit : {0, 1, 2}) {
        SCOPED_TRACE(unit);
        const bool isChorus = unit < 2;
        std::vector<int64_t> outputs[2];
        for (int skips = 0; skips < 2; ++skips) {
            effects::Chorus chorus;
            effects::GsDelay delay;
            chorus.prepare(kRate);
            delay.prepare(kRate);
            chorus.setSkipsSilence(skips == 1);
            delay.setSkipsSilence(skips == 1);
            if (isChorus)
                chorus.initialise(ChorusParams{3 * unit, 100, 60 * unit, 64, 10, 60, 40, 40}, 0.5,
                                  unit == 1);
            else
                delay.initialise(effects::deriveDelay(echo, kRate), 0.5, false);
            for (int at = 0; at < 9 * kBlock; at += kBlock) {
                std::vector<int32_t> bus(2 * kBlock), reverb(2 * kBlock), delayBus(2 * kBlock);
                std::vector<int64_t> out(2 * kBlock);
                for (int f = 0; f < kBlock; ++f)
                    bus[size_t(2 * f)] = bus[size_t(2 * f + 1)] = input(at + f);
                if (isChorus)
                    chorus.process({bus.data(), kBlock}, {out.data(), kBlock},
                                   {reverb.data(), kBlock}, {delayBus.data(), kBlock});
                else
                    delay.process({bus.data(), kBlock}, {out.data(), kBlock},
                                  {reverb.data(), kBlock});
                for (size_t i = 0; i < out.size(); ++i)
                    outputs[skips].insert(outputs[skips].end(), {out[i], reverb[i], delayBus[i]});
            }
        }
        ASSERT_EQ(outputs[1].size(), outputs[0].size());
        const auto [a, b] = std::mismatch(outputs[0].begin(), outputs[0].end(), outputs[1].begin());
        EXPECT_TRUE(a == outputs[0].end())
            << "first differs at value " << (a - outputs[0].begin()) / 3 / 2;
        EXPECT_GT(rms(std::vector<double>(outputs[0].end() - 4 * 2 * 3 * kBlock, outputs[0].end())),
                  0.0)
            << "the second burst is heard";
    }
}

TEST(Delay, TapsLandAtTheirTimesAndLevels) {
    const double a = 1 << 26;
    {
        // The GS default: the centre tap only, 340 ms, feedback +16.
        SystemEffects fx(kRate, {3, 1});
        const GsDelaySettings s = effects::delayMacro(0);
        EXPECT_EQ(effects::deriveDelay(s, kRate).type, 0);
        const Stereo out = runBus(fx, BUS_DELAY, kRate, impulse(a));
        const int centre = int(0.340 * kRate);
        const double level = 127.0 * 64 / 16129 * 3.25, feedback = (80 - 64) * 0.01526;
        EXPECT_EQ(out.left[size_t(centre - 1)], 0.0);
        EXPECT_NEAR(out.left[size_t(centre)] / a, level, 1e-3);
        EXPECT_NEAR(out.right[size_t(centre)] / a, level, 1e-3);
        // The second echo falls at twice the time, weakened by the feedback.
        EXPECT_NEAR(out.left[size_t(2 * centre)] / a, level * feedback, 1e-3);
    }
    {
        // Three taps: left at half the centre time, right at the centre time, both reading
        // the two lines; a left-only impulse reaches both outputs.
        SystemEffects fx(kRate, {3, 1});
        GsDelaySettings s = effects::delayMacro(4);
        s.timeCentre = 97;
        fx.setDelay(s);
        EXPECT_EQ(effects::deriveDelay(s, kRate).type, 1);
        const Stereo out = runBus(fx, BUS_DELAY, kRate,
                                  [a](int f, int side) { return f == 0 && side == 0 ? a : 0.0; });
        const int centre = int(0.340 * kRate);
        const int left = int(0.340 * 12 / 24 * kRate);
        EXPECT_NEAR(out.left[size_t(left)] / a, s.levelLeft * 64.0 / 16129 * 3.25, 1e-3);
        EXPECT_NEAR(out.right[size_t(centre)] / a, s.levelRight * 64.0 / 16129 * 3.25, 1e-3);
        EXPECT_EQ(out.left[size_t(left - 1)], 0.0);
    }
    // Feedback below 64 turns the echoes over.
    GsDelaySettings inverted = effects::delayMacro(0);
    inverted.feedback = 32;
    EXPECT_LT(effects::deriveDelay(inverted, kRate).feedback, 0.0);
    SystemEffects fx(kRate, {3, 1});
    fx.setDelay(inverted);
    const Stereo out = runBus(fx, BUS_DELAY, kRate, impulse(a));
    EXPECT_LT(out.left[size_t(2 * int(0.340 * kRate))], 0.0);
    // Times beyond the table take its last entry.
    inverted.timeCentre = 200;
    EXPECT_EQ(effects::deriveDelay(inverted, kRate).centreSamples, kRate);
}

}  // namespace
}  // namespace svt::test
