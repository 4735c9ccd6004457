// The equaliser's gains measured on sines (the XG multi-EQ's bands, and on the channels in an
// engine), and the effect chains: bit reduction, and every type processing a loud block without
// running away.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>

#include "effects/EffectChain.h"
#include "effects/EffectProbe.h"
#include "song/Sysex.h"
#include "support/EngineRig.h"
#include "support/Signal.h"

namespace svt::test {
namespace {

using effects::EffectChain;
using effects::SystemEffects;
using namespace sysex_code;

constexpr int kRate = 44100;

double gainDb(SystemEffects& fx, double hz) {
    const double a = 1 << 26;
    const Stereo out = runBus(fx, BUS_EQ, kRate / 2,
                              [&](int f, int) { return a * std::sin(2 * M_PI * hz * f / kRate); });
    const std::vector<double> settled(out.left.begin() + kRate / 4, out.left.end());
    return 20 * std::log10(rms(settled) / (a / std::sqrt(2.0)));
}

TEST(Equaliser, XgMultiEqBandsReachTheirGains) {
    auto xgEq = [] {
        auto fx = std::make_unique<SystemEffects>(kRate, effects::EffectOptions{3, 1});
        fx->resetEffects(SYSTEM_XG_ON);
        return fx;
    };
    auto set = [](SystemEffects& fx, int address, int value) {
        fx.parameter(EV_SYSEX_XG_LSB, address, value, kXgGroupMultiEq, 0);
    };
    // Flat after the reset: channels skip it.
    EXPECT_FALSE(xgEq()->busActive(BUS_EQ));
    {
        // Band 1 a low shelf of -6 dB at 2 kHz, band 5 a high shelf of +6 dB at 500 Hz: far
        // inside each shelf the whole gain, and band 3 a +9 dB peak at 1280 Hz (Q 0.7).
        auto fx = xgEq();
        set(*fx, 0x01, 64 - 6);
        set(*fx, 0x02, 40);
        set(*fx, 0x11, 64 + 6);
        set(*fx, 0x12, 28);
        EXPECT_TRUE(fx->busActive(BUS_EQ));
        EXPECT_NEAR(gainDb(*fx, 40.0), -6.0, 0.5);
        EXPECT_NEAR(gainDb(*fx, 12000.0), 6.0, 0.5);
        auto peak = xgEq();
        set(*peak, 0x09, 64 + 9);
        set(*peak, 0x0A, 36);
        EXPECT_NEAR(gainDb(*peak, 1280.0), 9.0, 0.5);
        EXPECT_NEAR(gainDb(*peak, 60.0), 0.0, 0.5);
        // Band 1 as a peak instead of a shelf leaves the lowest tones alone.
        auto shaped = xgEq();
        set(*shaped, 0x01, 64 + 12);
        set(*shaped, 0x02, 28);
        EXPECT_NEAR(gainDb(*shaped, 40.0), 12.0, 0.5);
        set(*shaped, 0x04, 1);
        EXPECT_NEAR(gainDb(*shaped, 508.0), 12.0, 0.5);
        EXPECT_LT(gainDb(*shaped, 40.0), 3.0);
    }
    // A preset type sets its gains; the GS equaliser's messages do not reach it.
    auto rock = xgEq();
    set(*rock, 0x00, 3);
    EXPECT_TRUE(rock->busActive(BUS_EQ));
    EXPECT_GT(gainDb(*rock, 40.0), 3.0);
    rock->parameter(EV_SYSEX_GS_LSB, kGsEqLowGain, 0x34, 0, 0);
    EXPECT_GT(gainDb(*rock, 40.0), 3.0);
}

// The level of a 55 Hz note on channel 0 of an engine without reverb and chorus, after `setUp`.
double lowNoteLevel(const std::function<void(EngineRig&)>& setUp) {
    EngineRig rig(effectModes(0, 0));
    rig.program(0, 0);
    setUp(rig);
    rig.noteOn(0, 33, 100);
    rig.render(kRate / 2);
    return rms(rig.left(kRate / 2));
}

TEST(Equaliser, ChannelsWithTheSwitchOrAPartEqGoThroughIt) {
    auto level = [](bool eqSwitch) {
        return lowNoteLevel([&](EngineRig& rig) {
            rig.event(EV_SYSEX_GS_LSB, 0, 0x34, kGsEqHighGain);  // -12 dB above 6 kHz
            rig.event(EV_SYSEX_GS_LSB, 0, 0x4C, kGsEqLowGain);   // +12 dB below 400 Hz
            rig.event(EV_SYSEX_GS_LSB, 0, eqSwitch ? 1 : 0, kGsEqSwitch);
        });
    };
    EXPECT_NEAR(20 * std::log10(level(true) / level(false)), 12.0, 0.5);

    // The XG part's own: NRPN 01 30 bass gain and 01 34 bass frequency, +12 dB under about
    // 500 Hz on the channel.
    auto xgLevel = [](int bassGain) {
        return lowNoteLevel([&](EngineRig& rig) {
            for (auto [lsb, value] : {std::pair{0x34, 28}, {0x30, bassGain}}) {
                rig.event(EV_NRPN_MSB, 0, 0x01);
                rig.event(EV_NRPN_LSB, 0, lsb);
                rig.event(EV_DATA_ENTRY_MSB, 0, value);
            }
        });
    };
    EXPECT_NEAR(20 * std::log10(xgLevel(76) / xgLevel(64)), 12.0, 0.5);
    EXPECT_NEAR(20 * std::log10(xgLevel(58) / xgLevel(64)), -6.0, 0.5);
}

TEST(EffectChains, EveryTypeProcessesLoudSoundWithinBounds) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int32_t> noise(-kFullScale, kFullScale);
    auto check = [&](EffectChain& chain, std::string_view what) {
        double loudest = 0.0;
        std::vector<int32_t> x(2 * kBlockFrames);
        for (int b = 0; b < 20; ++b) {
            for (auto& v : x) v = b < 10 ? noise(random) : 0;
            chain.process(x);
            for (int32_t v : x) loudest = std::max(loudest, std::abs(double(v)));
        }
        EXPECT_LE(loudest, 8.0 * kFullScale) << what;
        EXPECT_GT(loudest, 0.0) << what;
    };
    for (const auto& t : effects::gsInsertionTypes()) {
        if (t.type == 0xFFFF) break;
        EffectChain chain;
        chain.prepare(kRate);
        chain.buildGs(t.type >> 8, t.type & 0xFF);
        check(chain, t.name);
    }
    for (const auto& t : effects::xgEffectTypes()) {
        if (t.type == 0xFFFF) break;
        EffectChain chain;
        chain.prepare(kRate);
        chain.setSystemBlock(true);
        chain.buildXg(t.type >> 8, t.type & 0xFF);
        if (chain.nodeCount() > 0) check(chain, t.name);
    }
}

TEST(EffectChains, GsInsertionTakesTheChannelsSwitchedToIt) {
    EngineRig rig(effectModes(0, 0));
    const SystemEffects& fx = rig.engine.effects();
    rig.program(0, 0);
    rig.event(EV_SYSEX_GS_LSB, 0, 0x01, kGsInsertionTypeMsb);
    rig.event(EV_SYSEX_GS_LSB, 0, 0x72, kGsInsertionTypeMsb + 1);  // Lo-Fi 1
    // Parameters 1..20 follow the type's two codes.
    auto parameter = [](int n) { return kGsInsertionTypeMsb + 1 + n; };
    rig.event(EV_SYSEX_GS_LSB, 0, 8, parameter(2));  // 27 bits go
    rig.event(EV_SYSEX_GS_LSB, 0, 127, parameter(16));
    rig.event(EV_SYSEX_GS_LSB, 0, 127, parameter(20));
    EXPECT_EQ(fx.insertion().typeName(), "Lo-Fi 1");
    rig.noteOn(0, 69, 127);
    const auto dry = rig.left(kRate / 4);
    bool fine = false;
    for (double v : dry) fine = fine || std::fmod(std::abs(v), double(1 << 27)) != 0.0;
    EXPECT_TRUE(fine);  // not switched: the sine as it is
    rig.event(EV_SYSEX_GS_LSB, 0, 1, kGsInsertionSwitch);
    const auto crushed = rig.left(kRate / 4);
    for (double v : crushed) ASSERT_EQ(std::fmod(std::abs(v), double(1 << 27)), 0.0);
    EXPECT_GT(peak(crushed), 0.0);
}

}  // namespace
}  // namespace svt::test
