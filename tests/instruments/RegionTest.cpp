// Presets become regions: every generator lands in its region field in engine units,
// global zones and preset-level values combine with instrument values, and regions
// read exactly the sample points they should.

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

// The one region of a font whose only instrument zone `izone` fills.
template <class InstZone>
SampleRegion regionWith(InstZone izone, Sf2Sample sample = sine440()) {
    FontUnderTest f(singleZoneFont(std::move(sample), izone, [](Sf2Zone&) {}));
    return f.only();
}

// Frames an envelope stage needs from level `from` to `to` at `rate` per control period.
double stageSeconds(int32_t rate, int64_t distance) {
    return std::ceil(static_cast<double>(distance) / rate) * kControl / kRate;
}

TEST(Region, EnvelopeDefaultsAndSustainLevels) {
    // Unset times are instantaneous.
    const SampleRegion r = regionWith([](Sf2Zone&) {});
    for (int s = 0; s < kEnvelopeStages; ++s)
        EXPECT_EQ(r.volEnvRate[static_cast<size_t>(s)], kEnvelopeInstantRate) << s;
    // The sustain level in centibels below the top (0: stays at full level).
    struct Sustain {
        int value;
        int32_t level;
    } sustains[] = {{0, 65533}, {-5, 65533}, {500, 32766}, {1000, 0}, {1440, 0}};
    for (const Sustain& s : sustains) {
        const SampleRegion g = regionWith([&](Sf2Zone& z) { z.gen(GEN_SUSTAIN_VOL_ENV, s.value); });
        EXPECT_EQ(g.volEnvTarget[ENV_DECAY], s.level * 16384) << s.value;
    }
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

TEST(Region, AttenuationAddsPresetToInstrumentLevel) {
    struct Case {
        int instrumentCb, presetCb;
        double gain;
    } cases[] = {
        {60, 100, 0.5},
        {2000, 0, 1.0 / 64},
        {-100, 0, 1.0},
    };
    for (const Case& c : cases) {
        Sf2Builder sf = singleZoneFont(
            sine440(), [&](Sf2Zone& z) { z.gen(GEN_INITIAL_ATTENUATION, c.instrumentCb); },
            [&](Sf2Zone& z) {
                if (c.presetCb != 0) z.gen(GEN_INITIAL_ATTENUATION, c.presetCb);
            });
        FontUnderTest f(sf);
        EXPECT_NEAR(f.only().gain, c.gain, 1e-6) << c.instrumentCb << " + " << c.presetCb;
    }
}

TEST(Region, KeyAndVelocityRangesIntersect) {
    struct Case {
        int iLow, iHigh, pLow, pHigh;
        bool region;
        int low, high;
    } cases[] = {
        {50, 70, 40, 60, true, 50, 60}, {0, 127, 60, 60, true, 60, 60},
        {50, 70, 80, 90, false, 0, 0},   // no overlap: no region
        {70, 50, 0, 127, false, 0, 0},   // reversed range
        {0, 200, 0, 200, false, 0, 0},   // high key above 127
        {0, 200, 0, 127, true, 0, 127},  // the preset's range cuts it back
    };
    const SynthTables& t = synthTables();
    for (const Case& c : cases) {
        Sf2Builder sf = singleZoneFont(
            sine440(), [&](Sf2Zone& z) { z.keyRange(c.iLow, c.iHigh).velRange(10, 100); },
            [&](Sf2Zone& z) { z.keyRange(c.pLow, c.pHigh).velRange(50, 127); });
        FontUnderTest f(sf);
        const PresetIndexEntry* e = f.font().find(0, 0, kAnyKey);
        if (!c.region) {
            EXPECT_TRUE(e == nullptr) << c.iLow << ".." << c.iHigh;
            continue;
        }
        ASSERT_NE(e, nullptr);
        const SampleRegion& r = e->regions[0].region;
        EXPECT_EQ(r.lowKeyFreq, t.noteFreqMilliHz[static_cast<size_t>(c.low)]);
        EXPECT_EQ(r.highKeyFreq, t.noteFreqMilliHz[static_cast<size_t>(c.high)]);
        EXPECT_EQ(r.lowVelocity, 50);
        EXPECT_EQ(r.highVelocity, 100);
    }
    EXPECT_EQ(t.noteFreqMilliHz[60], 261626) << "key frequencies are rounded to the milli-hertz";
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

TEST(Region, PitchComesFromRootKeyAndTuning) {
    struct Case {
        const char* what;
        int rootKeyOverride;  // -1: none
        int coarse, fine, correction;
        double hz;
    } cases[] = {
        {"recorded at A4", -1, 0, 0, 0, 440.0},
        {"root key 60 overrides", 60, 0, 0, 0, 261.6256},
        {"coarse +12 plays an octave up", -1, 12, 0, 0, 220.0},
        {"fine +50 cents", -1, 0, 50, 0, 427.4745},
        {"sample correction -20 cents", -1, 0, 0, -20, 445.1205},
    };
    for (const Case& c : cases) {
        Sf2Sample s = sine440();
        s.pitchCorrection = static_cast<int8_t>(c.correction);
        const SampleRegion r = regionWith(
            [&](Sf2Zone& z) {
                if (c.rootKeyOverride >= 0) z.rootKey(c.rootKeyOverride);
                if (c.coarse != 0) z.gen(GEN_COARSE_TUNE, c.coarse);
                if (c.fine != 0) z.gen(GEN_FINE_TUNE, c.fine);
            },
            s);
        // Fine steps are 1/256 semitone: within 0.4 cent.
        EXPECT_NEAR(r.rootFreq / 1000.0, c.hz, c.hz * 0.00025) << c.what;
        EXPECT_EQ(r.sampleRateHz, kRate) << c.what;
    }
}

TEST(Region, PanFollowsGeneratorAndStereoSide) {
    struct Case {
        uint16_t type;
        int pan;
        uint8_t expected;
    } cases[] = {
        {kSampleMono, 0, 63},   {kSampleMono, -800, 0}, {kSampleMono, 250, 95},
        {kSampleRight, 0, 127}, {kSampleLeft, 0, 0},    {kSampleLeft, 500, 127},
    };
    for (const Case& c : cases) {
        Sf2Sample s = sine440();
        s.sampleType = c.type;
        EXPECT_EQ(regionWith([&](Sf2Zone& z) { z.gen(GEN_PAN, c.pan); }, s).pan, c.expected)
            << "type " << c.type << " pan " << c.pan;
    }
}

TEST(Region, FilterCutoffOnlyInsideItsRange) {
    struct Case {
        int fc;  // -1: generator not set
        int32_t hz;
    } cases[] = {{-1, 0}, {13500, 19912}, {1500, 19}, {13501, 0}, {1499, 0}, {6900, 440}};
    for (const Case& c : cases) {
        const SampleRegion r = regionWith([&](Sf2Zone& z) {
            if (c.fc >= 0) z.gen(GEN_INITIAL_FILTER_FC, c.fc).gen(GEN_INITIAL_FILTER_Q, 60);
        });
        EXPECT_EQ(r.cutoffHz, c.hz) << c.fc;
        EXPECT_EQ(r.resonanceCb, c.fc >= 0 ? 60 : 0);
    }
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

TEST(Region, ZonesOfOneSampleShareItsData) {
    Sf2Builder sf;
    Sf2Sample looped = sine440();
    int s = sf.addSample(looped);
    int other = sf.addSample(Sf2Builder::sawSample("saw", 220.0, kRate, 57, 2205));
    int i = sf.addInstrument("inst");
    sf.instrumentZone(i).keyRange(0, 59).loopMode(1).sample(s);
    sf.instrumentZone(i).keyRange(60, 127).loopMode(1).sample(s);
    sf.instrumentZone(i).keyRange(0, 127).velRange(100, 127).sample(other);
    sf.presetZone(sf.addPreset("p", 0, 0)).instrument(i);
    FontUnderTest f(sf);
    std::unique_ptr<Instrument> inst = f.melodic(0, 0);
    ASSERT_TRUE(inst);
    ASSERT_EQ(inst->regionCount(), 3);
    EXPECT_EQ(inst->regions[0].ownsPcm, 1);
    EXPECT_EQ(inst->regions[1].ownsPcm, 0);
    EXPECT_EQ(inst->regions[1].pcm, inst->regions[0].pcm);
    EXPECT_EQ(inst->regions[2].ownsPcm, 1);
    EXPECT_NE(inst->regions[2].pcm, inst->regions[0].pcm);
    EXPECT_EQ(inst->pcmBuffers.size(), 2u);
    // Regions come in the order of their data in the file.
    EXPECT_EQ(inst->regions[2].sfSampleIndex, other);

    // A region that starts at the same point but reads further gets a buffer of its own.
    Sf2Builder longer;
    int ls = longer.addSample(sine440());
    int li = longer.addInstrument("inst");
    longer.instrumentZone(li).keyRange(0, 59).gen(GEN_END_ADDRS_OFFSET, -2000).sample(ls);
    longer.instrumentZone(li).keyRange(60, 127).sample(ls);
    longer.presetZone(longer.addPreset("p", 0, 0)).instrument(li);
    FontUnderTest g(longer);
    std::unique_ptr<Instrument> two = g.melodic(0, 0);
    ASSERT_TRUE(two);
    ASSERT_EQ(two->regionCount(), 2);
    EXPECT_EQ(two->regions[1].ownsPcm, 1);
    EXPECT_EQ(two->regions[1].pcm[3000], sine440().pcm[3000]);
}

TEST(Region, DrumKitFilesOneEntryPerKey) {
    Sf2Builder sf;
    int s = sf.addSample(Sf2Builder::noiseSample("snare", kRate, 2000));
    int i = sf.addInstrument("kit");
    sf.instrumentZone(i).keyRange(35, 81).sample(s);
    int k = sf.addInstrument("fixed");
    sf.instrumentZone(k).keyRange(90, 91).gen(GEN_KEYNUM, 40).sample(s);
    int p = sf.addPreset("Standard", kPercussionBank, 0);
    sf.presetZone(p).instrument(i);
    sf.presetZone(p).instrument(k);
    FontUnderTest f(sf);
    int entries = 0;
    for (int key = 0; key < 128; ++key) {
        const PresetIndexEntry* e = f.font().find(kPercussionBank, 0, key);
        if (e == nullptr) continue;
        ++entries;
        ASSERT_EQ(e->regions.size(), 1u);
        EXPECT_EQ(e->regions[0].region.fixedNote, key >= 90 ? 40 : key) << key;
    }
    EXPECT_EQ(entries, 47 + 2);
    EXPECT_EQ(f.font().find(kPercussionBank, 0, 34), nullptr);
    ASSERT_EQ(f.font().drumSets().size(), 1u);
    EXPECT_EQ(f.font().drumSets()[0], 0);
    EXPECT_EQ(f.font().presetSummaries()[0].keyCount, 49);
    // How a drum hit is resampled as it loads is heard in tests/app/EngineSoundTest.cpp.
}

TEST(Region, ModulationSourcesBecomeLfoSettings) {
    struct Case {
        const char* what;
        bool vibratoFrequency, tremoloFrequency;
        int32_t controlRatio, phaseStep;
    };
    // 8.176 Hz: 64 vibrato steps a cycle at 44,100 Hz; the tremolo's phase per period.
    const int32_t step = ((44 * 8176) >> 5) / kControl;
    for (const Case c : {Case{"both frequencies", true, true, 84, step},
                         Case{"a vibrato without a frequency does not move", false, true, 0, step},
                         Case{"neither frequency", false, false, 0, 0}}) {
        const SampleRegion r = regionWith([&](Sf2Zone& z) {
            z.gen(GEN_VIB_LFO_TO_PITCH, 50).gen(GEN_DELAY_VIB_LFO, Sf2Builder::timecents(0.5));
            z.gen(GEN_MOD_LFO_TO_VOLUME, 60);
            if (c.vibratoFrequency) z.gen(GEN_FREQ_VIB_LFO, 0);
            if (c.tremoloFrequency) z.gen(GEN_FREQ_MOD_LFO, 0);
        });
        EXPECT_EQ(r.pitchLfoControlRatio, c.controlRatio) << c.what;
        EXPECT_EQ(r.ampLfoPhaseStep, c.phaseStep) << c.what;
        EXPECT_EQ(r.pitchLfoDepth, 32) << "50 cents in 400/256-cent steps";
        EXPECT_NEAR(r.pitchLfoDelay, 22050, 1);
        EXPECT_EQ(r.ampLfoDepth, 127) << "6 dB of tremolo swing is about half the amplitude";
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

TEST(Region, SamplesOutsideTheDataAreCutToIt) {
    Sf2Builder sf;
    Sf2Sample outside = Sf2Builder::rampSample("outside", 100);
    outside.rawEnd = 4000000000u;
    Sf2Sample badLoop = Sf2Builder::rampSample("bad loop", 100);
    badLoop.loopStart = 50;
    badLoop.loopEnd = 5000;
    int a = sf.addSample(outside);
    int b = sf.addSample(badLoop);
    int i = sf.addInstrument("i");
    sf.instrumentZone(i).keyRange(0, 60).loopMode(1).sample(a);
    sf.instrumentZone(i).keyRange(61, 127).loopMode(1).sample(b);
    sf.presetZone(sf.addPreset("p", 0, 0)).instrument(i);
    FontUnderTest f(sf);
    std::string all;
    for (const SoundFontProblem& p : f.font().problems()) all += p.text + "\n";
    EXPECT_NE(all.find("\"outside\" lies outside the sample data"), std::string::npos) << all;
    EXPECT_NE(all.find("\"bad loop\" has a loop outside its sample"), std::string::npos) << all;
    std::unique_ptr<Instrument> inst = f.melodic(0, 0);
    ASSERT_TRUE(inst);
    int64_t dataPoints = f.font().sampleDataSize() / 2;
    for (const SampleRegion& r : inst->regions) {
        EXPECT_LE(static_cast<int64_t>(r.endPos >> 12), dataPoints + 1);
        EXPECT_LE(r.loopStartPos, r.loopEndPos);
        EXPECT_LE(r.loopEndPos, r.endPos);
    }
}

}  // namespace
}  // namespace svt
