// Presets become regions: global zones and preset-level values combine with instrument
// values, the loop generators place the loop, regions read exactly the sample points they
// should, and broken references and samples are reported.

#include <gtest/gtest.h>

#include <cmath>

#include "FontUnderTest.h"

namespace svt {
namespace {

using test::FontUnderTest;
using test::Sf2Builder;
using test::Sf2Sample;
using test::Sf2Zone;
using test::singleZoneFont;

constexpr int kRate = 44100;
constexpr int kControl = 44;

Sf2Sample sine440() {
    return Sf2Builder::sineSample("a440", 440.0, kRate, 69, 4410);
}

// Frames an envelope stage needs from level `from` to `to` at `rate` per control period.
double stageSeconds(int32_t rate, int64_t distance) {
    return std::ceil(static_cast<double>(distance) / rate) * kControl / kRate;
}

TEST(Region, FixedReleaseAndFastDecayChangeTheRates) {
    InstrumentSettings s = FontUnderTest::defaultSettings();
    s.fixedReleaseMs = 250;
    Sf2Builder sf = singleZoneFont(
        sine440(), [](Sf2Zone& z) { z.gen(GEN_RELEASE_VOL_ENV, Sf2Builder::timecents(3.0)); },
        [](Sf2Zone&) {});
    FontUnderTest fixed(sf, s);
    EXPECT_NEAR(stageSeconds(fixed.only().volEnvRate[ENV_RELEASE1], int64_t{65535} * 16384), 0.25,
                0.002);
    s.fixedReleaseMs = 0;
    s.fastDecay = true;
    FontUnderTest fast(sf, s);
    EXPECT_NEAR(stageSeconds(fast.only().volEnvRate[ENV_RELEASE1], int64_t{65535} * 16384), 1.5,
                0.002);
}

TEST(Region, GlobalZonesApplyToEveryLocalZoneUnlessOverridden) {
    Sf2Builder sf;
    int s = sf.addSample(sine440());
    int i = sf.addInstrument("inst");
    sf.instrumentZone(i).gen(GEN_INITIAL_ATTENUATION, 60).gen(GEN_PAN, 500);  // global
    sf.instrumentZone(i).keyRange(0, 59).sample(s);
    sf.instrumentZone(i).keyRange(60, 127).gen(GEN_PAN, -500).sample(s);
    int p = sf.addPreset("p", 0, 0);
    sf.presetZone(p).gen(GEN_INITIAL_ATTENUATION, 100);  // global preset zone
    sf.presetZone(p).instrument(i);
    FontUnderTest f(sf);
    const PresetIndexEntry* e = f.font().find(0, 0, kAnyKey);
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->regions.size(), 2u);
    for (const PendingRegion& pr : e->regions) EXPECT_NEAR(pr.region.gain, 0.5, 1e-6);
    EXPECT_EQ(e->regions[0].region.pan, 127);
    EXPECT_EQ(e->regions[1].region.pan, 0);

    // A preset with nothing but a global zone makes no regions.
    Sf2Builder onlyGlobal;
    onlyGlobal.addSample(sine440());
    int gi = onlyGlobal.addInstrument("i");
    onlyGlobal.instrumentZone(gi).sample(0);
    onlyGlobal.presetZone(onlyGlobal.addPreset("g", 0, 0)).gen(GEN_PAN, 100);
    FontUnderTest g(onlyGlobal);
    EXPECT_EQ(g.font().find(0, 0, kAnyKey), nullptr);
}

TEST(Region, LoopModesAndLoopPoints) {
    // A ramp of 1000 points looped over 100..900.
    auto ramp = [] {
        Sf2Sample s = Sf2Builder::rampSample("ramp", 1000);
        s.loopStart = 100;
        s.loopEnd = 900;
        return s;
    };
    struct Case {
        const char* what;
        int mode;
        int startOffset, loopStartOffset, loopEndOffset;
        bool loops;
        uint32_t loopStart, loopEnd, end;  // in points
    } cases[] = {
        {"mode 0 plays to the end", 0, 0, 0, 0, false, 1000, 1001, 1001},
        {"mode 1 loops", 1, 0, 0, 0, true, 100, 900, 1001},
        {"mode 3 ends at the loop end", 3, 0, 0, 0, true, 100, 900, 900},
        {"loop offsets move the loop", 1, 0, 5, -5, true, 105, 895, 1001},
        {"start offset shifts everything", 1, 10, 0, 0, true, 90, 890, 991},
        {"loop end past the data is cut", 1, 0, 0, 500, true, 100, 1001, 1001},
        {"loop end before loop start plays without loop", 1, 0, 850, -850, false, 1000, 1001, 1001},
    };
    for (const Case& c : cases) {
        Sf2Builder sf = singleZoneFont(
            ramp(),
            [&](Sf2Zone& z) {
                z.loopMode(c.mode);
                if (c.startOffset) z.gen(GEN_START_ADDRS_OFFSET, c.startOffset);
                if (c.loopStartOffset) z.gen(GEN_STARTLOOP_ADDRS_OFFSET, c.loopStartOffset);
                if (c.loopEndOffset) z.gen(GEN_ENDLOOP_ADDRS_OFFSET, c.loopEndOffset);
            },
            [](Sf2Zone&) {});
        FontUnderTest f(sf);
        std::unique_ptr<Instrument> inst = f.melodic(0, 0);
        ASSERT_TRUE(inst) << c.what;
        ASSERT_EQ(inst->regionCount(), 1);
        const SampleRegion& r = inst->regions[0];
        const int flags =
            kRegion16Bit | kRegionEnvelope | (c.loops ? kRegionLooping | kRegionSustain : 0);
        EXPECT_EQ(r.modeFlags, flags) << c.what;
        EXPECT_EQ(r.loopStartPos, c.loopStart << 12) << c.what;
        EXPECT_EQ(r.loopEndPos, c.loopEnd << 12) << c.what;
        EXPECT_EQ(r.endPos, c.end << 12) << c.what;
        // The data begins at the region's first point and three zeros follow it.
        EXPECT_EQ(r.pcm[0], c.startOffset) << c.what;
        EXPECT_EQ(r.pcm[999 - c.startOffset], 999) << c.what;
        for (int k = 0; k < 3; ++k) EXPECT_EQ(r.pcm[1000 - c.startOffset + k], 0) << c.what;
        if (c.loops) {
            EXPECT_EQ(r.pcm[r.loopStartPos >> 12],
                      static_cast<int16_t>((r.loopStartPos >> 12) + c.startOffset));
        }
    }
}

TEST(Region, BrokenReferencesMakeNoRegionAndAreReported) {
    Sf2Builder sf;
    int s = sf.addSample(sine440());
    int i = sf.addInstrument("bad sample");
    sf.instrumentZone(i).sample(77);
    int deep1 = sf.addInstrument("deep 1");
    int deep2 = sf.addInstrument("deep 2");
    int deep3 = sf.addInstrument("deep 3");
    sf.instrumentZone(deep1).instrument(deep2);
    sf.instrumentZone(deep2).instrument(deep3);
    sf.instrumentZone(deep3).sample(s);
    sf.presetZone(sf.addPreset("bad sample", 0, 0)).instrument(i);
    sf.presetZone(sf.addPreset("bad instrument", 0, 1)).instrument(55);
    sf.presetZone(sf.addPreset("too deep", 0, 2)).instrument(deep1);
    sf.presetZone(sf.addPreset("one level of nesting", 0, 3)).instrument(deep2);
    FontUnderTest f(sf);
    EXPECT_EQ(f.font().find(0, 0, kAnyKey), nullptr);
    EXPECT_EQ(f.font().find(0, 1, kAnyKey), nullptr);
    EXPECT_EQ(f.font().find(0, 2, kAnyKey), nullptr);
    EXPECT_NE(f.font().find(0, 3, kAnyKey), nullptr);
    std::string all;
    for (const SoundFontProblem& p : f.font().problems()) all += p.text + "\n";
    EXPECT_NE(all.find("sample 77"), std::string::npos) << all;
    EXPECT_NE(all.find("instrument 55"), std::string::npos) << all;
    EXPECT_NE(all.find("parse_layer: too deep instrument level"), std::string::npos) << all;
}

}  // namespace
}  // namespace svt
