// SoundFont modulators heard through the engine: how the lists of the global and local zones
// and of the preset and instrument levels combine, and a font's replacement of the engine's
// own velocity curve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/Engine.h"
#include "instruments/Modulators.h"
#include "support/EngineRig.h"
#include "support/Sf2Builder.h"
#include "support/Signal.h"

namespace svt::test {
namespace {

constexpr int kRate = 44100;
// Velocity through the switch curve: 1 from velocity 64 up, so that the amount arrives whole.
constexpr uint16_t kVelocitySwitch = 0x0C02;
// 160 centibels of attenuation halve the level in the engine's unit.
constexpr double kHalfDb = -6.0206;

Sf2Modulator attenuation(int amount) {
    return {kVelocitySwitch, GEN_INITIAL_ATTENUATION, static_cast<int16_t>(amount), 0, 0};
}

struct Player : SynthDriver {
    std::vector<uint8_t> bytes;
    Engine engine{effectModes(0, 0)};
    explicit Player(std::vector<uint8_t> font) : bytes(std::move(font)) {
        engine.fonts().registerBytes("modulators.sf2", bytes);
        engine.banks().indexFonts();
        driven = &engine.synthesizer();
    }
    // The left side of `program` playing `key` at `velocity`, from 0.2 s to 0.6 s.
    std::vector<double> play(int program, int velocity, int key = 69) {
        this->program(0, program);
        noteOn(0, key, velocity);
        std::vector<double> x = left(kRate * 6 / 10);
        noteOff(0, key);
        render(kRate);  // the release dies away before the next note
        return {x.begin() + kRate / 5, x.end()};
    }
    double levelDb(int program, int velocity) {
        return 20 * std::log10(rms(play(program, velocity)));
    }
};

TEST(EngineModulators, ZoneAndLevelListsMergeByTheRules) {
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 440.0, kRate, 69));
    auto instrument = [&](const char* name, std::vector<Sf2Modulator> global,
                          std::vector<Sf2Modulator> local) {
        const int i = sf.addInstrument(name);
        if (!global.empty()) {
            Sf2Zone& g = sf.instrumentZone(i);
            for (const Sf2Modulator& m : global) g.modulator(m);
        }
        Sf2Zone& z = sf.instrumentZone(i).loopMode(1);
        for (const Sf2Modulator& m : local) z.modulator(m);
        z.sample(sine);
        return i;
    };
    struct Case {
        const char* what;
        std::vector<Sf2Modulator> instrumentGlobal, instrumentLocal, presetGlobal, presetLocal;
        double db;  // against the plain sine
    };
    const Sf2Modulator unknownSource{0x0004, GEN_INITIAL_ATTENUATION, 960, 0, 0};
    const Sf2Modulator linked{kVelocitySwitch, 0x8000, 960, 0, 0};
    const auto a160 = attenuation(160), a320 = attenuation(320);
    const Sf2Modulator secondSource{kVelocitySwitch, GEN_INITIAL_ATTENUATION, 160, kVelocitySwitch,
                                    0};
    // Instrument global and local, preset global and local.
    const std::vector<Case> cases{
        {"plain", {}, {}, {}, {}, 0.0},
        {"an instrument's global zone reaches its local zones", {a160}, {}, {}, {}, kHalfDb},
        {"a local zone replaces the identical global one", {a160}, {a320}, {}, {}, 2 * kHalfDb},
        {"a local zone adds one that differs", {a160}, {secondSource}, {}, {}, 2 * kHalfDb},
        {"a preset's modulator adds to the instrument's", {}, {a160}, {}, {a160}, 2 * kHalfDb},
        {"a preset's local zone replaces its global one", {}, {}, {a320}, {a160}, kHalfDb},
        {"a preset's modulator reaches an instrument", {}, {}, {a160}, {}, kHalfDb},
        {"unknown sources and links are left out", {unknownSource}, {linked}, {}, {}, 0.0},
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        const Case& k = cases[c];
        const int i = instrument(k.what, k.instrumentGlobal, k.instrumentLocal);
        const int p = sf.addPreset(k.what, 0, static_cast<int>(c));
        if (!k.presetGlobal.empty()) {
            Sf2Zone& g = sf.presetZone(p);
            for (const Sf2Modulator& m : k.presetGlobal) g.modulator(m);
        }
        Sf2Zone& z = sf.presetZone(p);
        for (const Sf2Modulator& m : k.presetLocal) z.modulator(m);
        z.instrument(i);
    }
    Player player(sf.build());
    const double plain = player.levelDb(0, 100);
    for (size_t c = 1; c < cases.size(); ++c)
        EXPECT_NEAR(player.levelDb(static_cast<int>(c), 100) - plain, cases[c].db, 0.3)
            << cases[c].what;
}

TEST(EngineModulators, AFontsVelocityCurveReplacesTheEnginesDepth) {
    // The default velocity-to-attenuation modulator with a depth of 0 makes the instrument
    // deaf to velocity; with 480 it keeps half the engine's curve in decibels.
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 440.0, kRate, 69));
    for (int depth : {-1, 0, 480}) {
        const int i = sf.addInstrument("sine");
        Sf2Zone& z = sf.instrumentZone(i).loopMode(1);
        if (depth >= 0)
            z.modulator({0x0502, GEN_INITIAL_ATTENUATION, static_cast<int16_t>(depth), 0, 0});
        z.sample(sine);
        sf.presetZone(sf.addPreset("sine", 0, depth < 0 ? 0 : depth == 0 ? 1 : 2)).instrument(i);
    }
    // A preset's identical modulator adds to the default's depth: 960 - 480.
    const int lessened = sf.addInstrument("sine");
    sf.instrumentZone(lessened).loopMode(1).sample(sine);
    sf.presetZone(sf.addPreset("sine", 0, 3))
        .modulator({0x0502, GEN_INITIAL_ATTENUATION, -480, 0, 0})
        .instrument(lessened);
    Player player(sf.build());
    const double engineCurve = player.levelDb(0, 40) - player.levelDb(0, 127);
    ASSERT_LT(engineCurve, -6.0);
    EXPECT_NEAR(player.levelDb(1, 40) - player.levelDb(1, 127), 0.0, 0.2);
    EXPECT_NEAR(player.levelDb(2, 40) - player.levelDb(2, 127), engineCurve / 2, 0.3);
    EXPECT_NEAR(player.levelDb(3, 40) - player.levelDb(3, 127), engineCurve / 2, 0.3);
}

TEST(Modulators, SourcesFollowTheirCurvesDirectionsAndPolarity) {
    ModulatorInputs in;
    in.velocity = 64;
    in.key = 96;
    struct Case {
        uint16_t source;
        double value;
    };
    const Case cases[] = {
        {0x0002, 0.5},                                     // linear, unipolar
        {0x0003, 0.75},                                    // the key
        {0x0103, 0.25},                                    // the key falling
        {0x0203, 0.5},                                     // the key bipolar
        {0x0303, -0.5},                                    // bipolar, max to min
        {0x0C02, 1.0},                                     // switch
        {0x0D03, 0.0},                                     // switch, max to min
        {0x0E03, 1.0},                                     // bipolar switch
        {0x0403, -(40.0 / 96.0) * std::log10(0.25)},       // concave
        {0x0803, 1.0 + (40.0 / 96.0) * std::log10(0.75)},  // convex
        {0x0000, 1.0},                                     // no controller
    };
    for (const Case& c : cases)
        EXPECT_NEAR(modulatorSource(c.source, in), c.value, 1e-9) << std::hex << c.source;
    // The absolute-value transform and the amount source.
    EXPECT_NEAR(modulatorOutput({0x0303, GEN_PAN, 100, 0, 2}, in), 50.0, 1e-9);
    EXPECT_NEAR(modulatorOutput({0x0003, GEN_PAN, 100, 0x0002, 0}, in), 37.5, 1e-9);
}

}  // namespace
}  // namespace svt::test
