// The file reader: version-1 fonts, and what it does with files that are no fonts, are cut
// short, lie about their sizes or point past their tables.

#include <gtest/gtest.h>

#include "instruments/SoundFontFile.h"
#include "streams/streams.h"
#include "support/Sf2Builder.h"

namespace svt {
namespace {

using test::Sf2Builder;
using test::Sf2Sample;

Result<SoundFontFile> readBytes(const std::vector<uint8_t>& bytes) {
    InputStreamPtr in = openMemoryStream(std::span<const uint8_t>(bytes), "test.sf2");
    return readSoundFont(*in);
}

bool hasProblem(const SoundFontFile& f, const std::string& part) {
    for (const SoundFontProblem& p : f.problems) {
        if (p.text.find(part) != std::string::npos) return true;
    }
    return false;
}

// One preset over one instrument over one sample: the smallest useful font.
Sf2Builder onePresetFont(const std::string& presetName = "Piano") {
    Sf2Builder sf;
    int s = sf.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69, 2000));
    int i = sf.addInstrument("Sine inst");
    sf.instrumentZone(i).sample(s);
    int p = sf.addPreset(presetName, 0, 5);
    sf.presetZone(p).instrument(i);
    return sf;
}

TEST(SoundFontReader, ReadsTablesAndLocatesSampleData) {
    Sf2Builder sf;
    sf.setName("Test font");
    sf.addRawChunk("INFO", "ICMT", {'h', 'i', 0, 0});
    sf.addRawChunk("pdta", "xxxx", std::vector<uint8_t>(10, 0xAB));
    sf.withSm24();
    int s0 = sf.addSample(Sf2Builder::rampSample("ramp", 100));
    int s1 = sf.addSample(Sf2Builder::sineSample("sine", 1000.0, 22050, 69, 500));
    int i = sf.addInstrument("Two");
    sf.instrumentZone(i).gen(GEN_PAN, -200);  // global zone
    sf.instrumentZone(i).keyRange(0, 59).sample(s0);
    sf.instrumentZone(i).keyRange(60, 127).sample(s1);
    int p = sf.addPreset("Both", 3, 17);
    sf.presetZone(p).instrument(i);
    std::vector<uint8_t> bytes = sf.build();

    Result<SoundFontFile> r = readBytes(bytes);
    ASSERT_TRUE(r.ok());
    const SoundFontFile& f = *r;
    EXPECT_EQ(f.name, "Test font");
    EXPECT_EQ(f.sampleDataPos, static_cast<int64_t>(*Sf2Builder::findChunk(bytes, "smpl") + 8));
    EXPECT_EQ(f.sampleDataSize, 2 * (100 + 46 + 500 + 46));
    EXPECT_EQ(f.sample24Size, 100 + 46 + 500 + 46);
    ASSERT_EQ(f.presetCount(), 2);  // with the closing record
    EXPECT_EQ(f.presets[0].bank, 3);
    EXPECT_EQ(f.presets[0].program, 17);
    ASSERT_EQ(f.instruments[0].zones.size(), 3u);
    ASSERT_EQ(f.instruments[0].zones[0].generators.size(), 1u);
    EXPECT_EQ(f.instruments[0].zones[0].generators[0].oper, GEN_PAN);
    EXPECT_EQ(static_cast<int16_t>(f.instruments[0].zones[0].generators[0].amount), -200);
    // Key range first, sample last, as written.
    ASSERT_EQ(f.instruments[0].zones[2].generators.size(), 2u);
    EXPECT_EQ(f.instruments[0].zones[2].generators[0].amount, rangeAmount(60, 127));
    EXPECT_EQ(f.instruments[0].zones[2].generators[1].amount, s1);
    ASSERT_EQ(f.sampleCount(), 3);
    const SampleHeader& h = f.sampleHeaders[1];
    EXPECT_EQ(h.start, 146u);
    EXPECT_EQ(h.end, 646u);
    EXPECT_EQ(h.sampleRate, 22050u);
    EXPECT_TRUE(f.problems.empty()) << f.problems[0].text;
}

TEST(SoundFontReader, VersionOneTakesNamesFromSnamMovesLoopsAndKnowsRomSamples) {
    Sf2Builder sf = onePresetFont();
    sf.setVersion(1, 0);
    Sf2Sample s = Sf2Builder::rampSample("second", 300);
    s.loopStart = 10;
    s.loopEnd = 200;
    sf.addSample(s);
    Result<SoundFontFile> r = readBytes(sf.build());
    ASSERT_TRUE(r.ok());
    SoundFontFile f = std::move(*r);
    ASSERT_EQ(f.sampleCount(), 3);
    EXPECT_EQ(f.sampleHeaders[0].name, "sine");
    EXPECT_EQ(f.sampleHeaders[1].name, "second");
    EXPECT_EQ(f.sampleHeaders[1].sampleRate, 44100u);
    EXPECT_EQ(f.sampleHeaders[1].originalKey, 60);
    // The first header starts at 0, so every header is a RAM sample.
    EXPECT_EQ(f.sampleHeaders[1].sampleType, kSampleMono);
    uint32_t start = 2000 + 46;
    EXPECT_EQ(f.sampleHeaders[1].loopStart, start + 10);
    correctSampleHeaders(f);
    EXPECT_EQ(f.sampleHeaders[1].loopStart, start + 11);
    EXPECT_EQ(f.sampleHeaders[1].loopEnd, start + 202);

    // Headers before the first that starts at 0 are ROM samples.
    Sf2Sample rom = Sf2Builder::rampSample("rom", 10);
    rom.rawStart = 5000;
    rom.rawEnd = 5010;
    // Move the real sample behind the ROM one: header 0 starts at 5000, header 1 at 0.
    Sf2Builder sf2;
    sf2.setVersion(1, 0);
    sf2.addSample(rom);
    Sf2Sample ram = Sf2Builder::rampSample("ram", 10);
    ram.rawStart = 0;
    ram.rawEnd = 10;
    sf2.addSample(ram);
    Result<SoundFontFile> withRom = readBytes(sf2.build());
    ASSERT_TRUE(withRom.ok());
    EXPECT_EQ(withRom->sampleHeaders[0].sampleType, kSampleRomBit | kSampleMono);
    EXPECT_EQ(withRom->sampleHeaders[1].sampleType, kSampleMono);
    EXPECT_EQ(withRom->sampleHeaders[2].sampleType, kSampleMono);  // the closing record starts at 0
}

TEST(SoundFontReader, RefusesWhatIsNotASoundFont) {
    std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 36,  0,   0,   0,
                                'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    std::vector<uint8_t> midi = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96};
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* reason;
    } cases[] = {
        {"0-byte file", {}, "empty"},
        {"WAV renamed .sf2", wav, "\"WAVE\""},
        {"MIDI file", midi, "no RIFF header"},
        {"RIFF cut inside its header", {'R', 'I', 'F', 'F', 4, 0}, "RIFF header"},
    };
    for (const Case& c : cases) {
        Result<SoundFontFile> r = readBytes(c.bytes);
        ASSERT_FALSE(r.ok()) << c.what;
        EXPECT_NE(r.error().message.find(c.reason), std::string::npos)
            << c.what << ": " << r.error().message;
    }
}

// Every prefix of a font loads without harm; what was complete before the cut stays, and
// sizes that claim more than the file holds are cut to what is there.
TEST(SoundFontReader, EveryTruncationLoadsWhatCameBefore) {
    std::vector<uint8_t> full = onePresetFont().build();
    size_t smpl = Sf2Builder::findChunk(full, "smpl").value();
    size_t pdta = Sf2Builder::findChunk(full, "pdta").value();
    for (size_t cut = 12; cut < full.size(); ++cut) {
        std::vector<uint8_t> part(full.begin(), full.begin() + static_cast<long>(cut));
        Result<SoundFontFile> r = readBytes(part);
        ASSERT_TRUE(r.ok()) << cut;
        for (const PresetHeader& p : r->presets) {
            for (const Zone& z : p.zones) EXPECT_LE(z.generators.size(), 2u);
        }
        EXPECT_LE(r->sampleDataSize, static_cast<int64_t>(cut));
        if (cut > smpl + 8 && cut < pdta) {
            EXPECT_TRUE(hasProblem(*r, "sample data claims")) << cut;
        }
        if (cut < pdta) {
            EXPECT_TRUE(r->presets.empty()) << cut;
        }
    }
}

TEST(SoundFontReader, BrokenTablesEndTheZonesThatUseThem) {
    struct Case {
        const char* what;
        void (*damage)(std::vector<uint8_t>&);
        const char* problem;
        size_t presetZones;      // zones of preset 0 that survive
        size_t instrumentZones;  // zones of instrument 0 that survive
    } cases[] = {
        {"record count not matching the record size",
         [](std::vector<uint8_t>& f) {
             size_t pos = Sf2Builder::findChunk(f, "pbag").value();
             Sf2Builder::patchU32(f, pos + 4,
                                  4 * 2 + 3);  // the following chunks now start 3 bytes early
         },
         "not a multiple", 1, 0},
        {"bag generator index going backwards",
         [](std::vector<uint8_t>& f) {
             size_t pos = Sf2Builder::findChunk(f, "ibag").value() + 8;
             Sf2Builder::patchU16(f, pos + 4, 0);  // terminal bag before the first
             Sf2Builder::patchU16(f, pos, 1);
         },
         "negative generator count", 1, 0},
        {"bag generator index past the generator table",
         [](std::vector<uint8_t>& f) {
             size_t pos = Sf2Builder::findChunk(f, "ibag").value() + 8;
             Sf2Builder::patchU16(f, pos + 4, 500);
         },
         "past the end of the \"igen\"", 1, 0},
        {"preset zone index past the bag table",
         [](std::vector<uint8_t>& f) {
             size_t pos = Sf2Builder::findChunk(f, "phdr").value() + 8;
             Sf2Builder::patchU16(f, pos + 38 + 24, 900);  // closing record's zone index
         },
         "past the end of the \"pbag\"", 1, 1},
        // Modulators only add to a zone: the zone stays without them.
        {"bag modulator index past the modulator table",
         [](std::vector<uint8_t>& f) {
             size_t pos = Sf2Builder::findChunk(f, "ibag").value() + 8;
             Sf2Builder::patchU16(f, pos + 4 + 2, 40);  // the terminal bag's modulator index
         },
         "modulators lie outside the modulator table", 1, 1},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = onePresetFont().build();
        c.damage(bytes);
        Result<SoundFontFile> r = readBytes(bytes);
        ASSERT_TRUE(r.ok()) << c.what;
        EXPECT_TRUE(hasProblem(*r, c.problem))
            << c.what << (r->problems.empty() ? "" : ": " + r->problems[0].text);
        if (!r->presets.empty()) {
            EXPECT_LE(r->presets[0].zones.size(), c.presetZones) << c.what;
        }
        if (!r->instruments.empty()) {
            EXPECT_LE(r->instruments[0].zones.size(), c.instrumentZones) << c.what;
        }
    }
}

TEST(SoundFontReader, MissingClosingRecordsAndListsAreReported) {
    Sf2Builder noTerminals = onePresetFont();
    noTerminals.omitTerminalRecords();
    Result<SoundFontFile> a = readBytes(noTerminals.build());
    ASSERT_TRUE(a.ok());
    EXPECT_TRUE(hasProblem(*a, "no closing \"EOP\""));
    EXPECT_TRUE(hasProblem(*a, "no closing \"EOI\""));
    // The only preset is taken as the closing record and has no zones.
    ASSERT_EQ(a->presetCount(), 1);
    EXPECT_TRUE(a->presets[0].zones.empty());

    Sf2Builder noPdta = onePresetFont();
    noPdta.omitPdta();
    Result<SoundFontFile> b = readBytes(noPdta.build());
    ASSERT_TRUE(b.ok());
    EXPECT_TRUE(b->presets.empty());
    EXPECT_TRUE(hasProblem(*b, "no preset data"));

    Sf2Builder noVersion = onePresetFont();
    noVersion.omitVersion();
    Result<SoundFontFile> c = readBytes(noVersion.build());
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c->versionMajor, 2);
    EXPECT_TRUE(hasProblem(*c, "no version"));
}

}  // namespace
}  // namespace svt
