// The reverb measured from its impulse response: decay time against the time table, stereo
// spread, silence at the end, the first reflection and pre-delay, XG's initial delay and
// low-pass, and loud input kept within full scale.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "effects/EffectProbe.h"
#include "effects/Reverb.h"
#include "song/Sysex.h"

namespace svt::test {
namespace {

using effects::ReverbParams;
using effects::SystemEffects;
using namespace sysex_code;

constexpr int kRate = 44100;

Stereo impulseResponse(SystemEffects& fx, const ReverbParams& p, double seconds) {
    fx.setReverb(p);
    return runBus(fx, BUS_REVERB, static_cast<int>(seconds * kRate), impulse());
}

// The first frame where either side sounds, or -1.
int firstSound(const Stereo& s) {
    for (size_t i = 0; i < s.frames(); ++i)
        if (s.left[i] != 0.0 || s.right[i] != 0.0) return static_cast<int>(i);
    return -1;
}

TEST(Reverb, DecayTimeFollowsTheTimeTable) {
    // Rooms and halls ring for their size factor times the table's seconds. The plate's tank
    // grows with the time by half as much, at a fixed decay: the table's seconds at time 64,
    // shorter above, longer below.
    constexpr double kSize[] = {0.516850262, 1.004226004, 0.691046825, 0.893006004, 1.0};
    for (int character = 0; character <= 5; ++character) {
        for (int time : {16, 64, 90}) {
            SystemEffects fx(kRate, {3, 1});
            const double seconds = effects::reverbSeconds(time);
            if (time == 64) {
                EXPECT_NEAR(seconds, 1.8187, 1e-4) << "the table's middle";
            }
            const double plateSize = (seconds / effects::reverbSeconds(64) - 1) * 0.5 + 1;
            const double expected = character == 5 ? effects::reverbSeconds(64) * plateSize
                                                   : kSize[character] * seconds;
            const Stereo ir =
                impulseResponse(fx, {character, 0, 127, time, 0, 0}, expected * 2.5 + 0.5);
            const double measured = rt60Seconds(ir, kRate);
            EXPECT_NEAR(measured / expected, 1.0, 0.15)
                << "character " << character << " time " << time << ": " << measured
                << " s, expected " << expected << " s";
        }
    }
}

TEST(Reverb, TailIsStereoAndDiesToExactSilence) {
    for (int character = 0; character <= 7; ++character) {
        SystemEffects fx(kRate, {3, 1});
        const Stereo ir = impulseResponse(fx, {character, 0, 127, 32, 64, 0}, 1.0);
        if (character <= 5) {
            // The two sides of a room, hall or plate tail are different reflections; the rooms
            // mix a quarter of each side into the other (0.6 for unrelated sides).
            EXPECT_LT(std::abs(correlation(ir, kRate / 20, ir.frames())), 0.65)
                << "character " << character;
        }
        // Long after the sound, every value is exactly 0: no limit cycle in the loops.
        const Stereo later = runBus(fx, BUS_REVERB, 40 * kRate, [](int, int) { return 0.0; });
        const size_t last = later.frames() - kRate / 10;
        double rest = 0;
        for (size_t i = last; i < later.frames(); ++i)
            rest += std::abs(later.left[i]) + std::abs(later.right[i]);
        EXPECT_EQ(rest, 0.0) << "character " << character;
    }
}

TEST(Reverb, RoomNetworkLengthsAndPreDelay) {
    // Hall 2 at time 64: the comb lengths are primes.
    SystemEffects fx(kRate, {3, 1});
    fx.setReverb({4, 0, 64, 64, 0, 0});
    const int32_t comb = fx.reverb().combLength(0, 0);
    for (int32_t dv = 3; dv * dv <= comb; dv += 2) EXPECT_NE(comb % dv, 0);
    EXPECT_EQ(effects::primeAtLeast(4), 11);
    EXPECT_EQ(effects::primeAtLeast(14), 17);

    // The first reflection comes from the shortest comb; a pre-delay moves it later.
    const int direct = firstSound(impulseResponse(fx, {4, 0, 64, 64, 0, 0}, 0.2));
    EXPECT_EQ(direct, comb);
    const int delayed = firstSound(impulseResponse(fx, {4, 0, 64, 64, 0, 20}, 0.2));
    EXPECT_EQ(delayed, comb + kRate * 20 / 1000);
}

TEST(Reverb, XgInitialDelayAndLowPass) {
    auto xgReverb = [](std::initializer_list<std::pair<int, int>> parameters) {
        auto fx = std::make_unique<SystemEffects>(kRate, effects::EffectOptions{3, 1});
        fx->resetEffects(SYSTEM_XG_ON);
        for (auto [code, value] : parameters)
            fx->parameter(EV_SYSEX_XG_LSB, code, value, kXgGroupEffect, 0);
        return fx;
    };
    // Initial delay 40 of 63 is 63 ms: the first reflection comes that much later.
    auto plain = xgReverb({{0x04, 0}}), delayed = xgReverb({{0x04, 40}});
    const int shift = firstSound(runBus(*delayed, BUS_REVERB, kRate / 2, impulse())) -
                      firstSound(runBus(*plain, BUS_REVERB, kRate / 2, impulse()));
    EXPECT_EQ(shift, kRate * 63 / 1000);
    // A low-pass at 1 kHz darkens a 10 kHz tone; 60 (through) does not.
    auto tone = [](int f, int) { return std::sin(2 * M_PI * 10000.0 * f / kRate) * (1 << 26); };
    auto dark = xgReverb({{0x06, 34}}), through = xgReverb({{0x06, 34}, {0x06, 60}});
    EXPECT_LT(peakOf(runBus(*dark, BUS_REVERB, kRate, tone)),
              0.3 * peakOf(runBus(*through, BUS_REVERB, kRate, tone)));
}

TEST(Reverb, FullScaleInputStaysWithinFullScale) {
    // A full-scale tone sent at a channel's default reverb level through every character,
    // and at the highest level through the chorus as a GS reset leaves it.
    auto tone = [](int f, int side) {
        return std::sin(2 * M_PI * (side ? 331.0 : 440.0) * f / kRate) * kFullScale;
    };
    for (int macro = 0; macro < 8; ++macro) {
        SystemEffects fx(kRate, {3, 1});
        fx.setReverb(effects::reverbMacro(macro));
        EXPECT_LE(peakOf(runBus(fx, BUS_REVERB, 3 * kRate, tone, 40)), kFullScale)
            << "reverb macro " << macro;
    }
    SystemEffects fx(kRate, {3, 1});
    EXPECT_LE(peakOf(runBus(fx, BUS_CHORUS, 2 * kRate, tone)), kFullScale);
}

}  // namespace
}  // namespace svt::test
