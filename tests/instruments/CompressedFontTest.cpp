// Compressed (SoundFont 3) fonts: headers checked by their own rules, a broken stream a
// problem of its sample only, fonts that cannot be played refused with the reason, and the
// memory of a song's decoded samples bounded.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "FontUnderTest.h"
#include "support/CliRun.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt {
namespace {

using test::FontUnderTest;
using test::Sf2Builder;
using test::Sf2Sample;

Sf2Sample sine(const char* name, double hz, uint8_t key, int frames = 44100) {
    return Sf2Builder::sineSample(name, hz, 44100, key, frames);
}

// Program 0 plays a good sine, program 1 the sample `broken`.
Sf2Builder goodAndBroken(Sf2Sample broken) {
    Sf2Builder sf;
    int good = sf.addSample(sine("good", 440.0, 69));
    int bad = sf.addSample(std::move(broken));
    for (int s : {good, bad}) {
        int i = sf.addInstrument(s == good ? "Good" : "Broken");
        sf.instrumentZone(i).loopMode(1).sample(s);
        sf.presetZone(sf.addPreset(s == good ? "Good" : "Broken", 0, s)).instrument(i);
    }
    sf.compress();
    return sf;
}

std::vector<uint8_t> streamOf(const Sf2Sample& s) {
    return Sf2Builder::encodeVorbis(s.pcm, s.sampleRate);
}

// One Ogg page (checksum left 0) whose only packet is `packet`.
std::vector<uint8_t> oggPage(const std::string& packet) {
    std::vector<uint8_t> page = {'O', 'g', 'g', 'S', 0, 2};
    page.resize(26, 0);
    page.push_back(1);
    page.push_back(static_cast<uint8_t>(packet.size()));
    page.insert(page.end(), packet.begin(), packet.end());
    return page;
}

// The stream with a byte changed inside the page before its last: that page fails its
// checksum, which only decoding finds.
std::vector<uint8_t> damagedInside(std::vector<uint8_t> stream) {
    std::string bytes(stream.begin(), stream.end());
    size_t last = bytes.rfind("OggS");
    stream.at(last - 20) ^= 0x5A;
    return stream;
}

// A first page holding only a Vorbis identification header of these channels and rate.
std::vector<uint8_t> vorbisHeader(int channels, uint32_t rate) {
    std::string packet("\x01vorbis\0\0\0\0", 11);
    packet += static_cast<char>(channels);
    for (int i = 0; i < 4; ++i) packet += static_cast<char>(rate >> (8 * i));
    packet += std::string(14, '\0');
    return oggPage(packet);
}

Sf2Sample withStream(std::vector<uint8_t> stream) {
    Sf2Sample s = sine("broken", 220.0, 57);
    s.stream = std::move(stream);
    return s;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CompressedFont, ABrokenSampleIsAProblemOfItsOwnAndTheRestPlays) {
    const Sf2Sample reference = sine("broken", 220.0, 57, 3 * 44100);
    std::vector<uint8_t> whole = streamOf(reference);
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + long(whole.size() / 2));
    std::vector<uint8_t> flipped = damagedInside(whole);
    Sf2Sample outside = reference;
    outside.rawEnd = 0x7FFFFFF0;
    Sf2Sample unknownType = reference;
    unknownType.sampleType = 0x41;

    struct Case {
        const char* what;
        Sf2Sample sample;
        const char* reason;
    };
    const Case cases[] = {
        {"cut in half", withStream(cut), "is cut short"},
        {"a damaged page", withStream(flipped), "is damaged"},
        {"Opus", withStream(oggPage("OpusHead\x01\x01\x38\x01\x80\xbb\0\0\0\0\0")),
         "is compressed as Opus, which cannot be played"},
        {"FLAC", withStream({'f', 'L', 'a', 'C', 0, 0, 0, 34}), "is compressed as FLAC"},
        {"not Ogg", withStream(std::vector<uint8_t>(64, 0x55)), "does not begin with an Ogg page"},
        // Refused before decoding, which would take hundreds of times as long.
        {"255 channels", withStream(vorbisHeader(255, 44100)), "is a stream of 255 channels"},
        {"a rate of 4 GHz", withStream(vorbisHeader(1, 4000000000u)),
         "claims a rate of 4000000000 Hz"},
        {"outside the data", outside, "has its stream outside the sample data"},
        {"unknown type", unknownType, "has the unknown sample type 0x0051"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FontUnderTest f(goodAndBroken(c.sample));
        ASSERT_TRUE(f.font().usable()) << f.font().lastError();

        std::unique_ptr<Instrument> good = f.melodic(0, 0);
        ASSERT_NE(good, nullptr);
        ASSERT_EQ(good->regionCount(), 1);
        const SampleRegion& r = good->regions[0];
        std::span<const int16_t> points(r.pcm, (r.endPos >> 12) + 3);
        EXPECT_GT(*std::max_element(points.begin(), points.end()), 8000);
        EXPECT_TRUE(f.registry().takeSampleWarnings().empty());

        EXPECT_EQ(f.melodic(0, 1), nullptr);
        std::vector<std::string> warnings = f.registry().takeSampleWarnings();
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_TRUE(contains(warnings[0], "test.sf2: sample 1 \"broken\" " + std::string(c.reason)))
            << warnings[0];
        EXPECT_TRUE(contains(warnings[0], "; it is not played")) << warnings[0];
        EXPECT_EQ(f.melodic(0, 1), nullptr);
        EXPECT_TRUE(f.registry().takeSampleWarnings().empty()) << "warned twice";
        ASSERT_EQ(f.font().sampleProblems().size(), 1u);
        EXPECT_EQ(f.font().sampleProblems()[0].sample, 1);
    }
}

TEST(CompressedFont, FontsThatCannotBePlayedAreRefusedWithTheReason) {
    Sf2Builder newer = goodAndBroken(sine("other", 220.0, 57));
    newer.setVersion(4, 0);
    Sf2Builder opusOnly;
    opusOnly.addSample(withStream(oggPage("OpusHead\x01\x01\x38\x01\x80\xbb\0\0\0\0\0")));
    int i = opusOnly.addInstrument("i");
    opusOnly.instrumentZone(i).sample(0);
    opusOnly.presetZone(opusOnly.addPreset("p", 0, 0)).instrument(i);
    opusOnly.compress();

    struct Case {
        const char* what;
        const Sf2Builder& font;
        const char* reason;
    };
    const Case cases[] = {
        {"version 4", newer, "\"test.sf2\": SoundFont version 4.00 cannot be played"},
        {"only Opus", opusOnly,
         "\"test.sf2\": no sample can be played (sample 0 \"broken\" is compressed as Opus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FontUnderTest f(c.font);
        EXPECT_FALSE(f.font().usable());
        EXPECT_TRUE(contains(f.font().lastError(), c.reason)) << f.font().lastError();
        EXPECT_EQ(f.melodic(0, 0), nullptr);
    }
}

TEST(CompressedFont, HeadersAreCheckedAgainstTheDecodedSound) {
    Sf2Sample longLoop = sine("long loop", 440.0, 69, 1000);
    longLoop.loopStart = 100;
    longLoop.rawLoopEnd = 1500;  // beyond the 1000 points the stream decodes to
    FontUnderTest f(goodAndBroken(longLoop));
    ASSERT_TRUE(f.font().usable());

    EXPECT_TRUE(f.font().sampleProblems().empty());
    std::string all;
    for (const SoundFontProblem& p : f.font().problems()) all += p.text + "\n";
    EXPECT_TRUE(contains(all,
                         "\"long loop\" has a loop outside its sample (100..1500 in the 1000 "
                         "points it decodes to)"))
        << all;

    std::unique_ptr<Instrument> inst = f.melodic(0, 1);
    ASSERT_NE(inst, nullptr);
    ASSERT_EQ(inst->regionCount(), 1);
    const SampleRegion& r = inst->regions[0];
    EXPECT_LE(r.loopStartPos, r.loopEndPos);
    EXPECT_EQ(r.endPos, uint32_t(1001) << 12);
    EXPECT_EQ(r.loopEndPos, uint32_t(1001) << 12);
    for (uint32_t k = 1001; k < 1004; ++k) EXPECT_EQ(r.pcm[k], 0);
    // Mono stays mono: the compressed bit is no side of a stereo pair.
    EXPECT_EQ(r.sfSampleType, kSampleMono);
    EXPECT_EQ(r.pan, 63);
}

// A stream that many headers name is decoded once, and samples
// beyond the song's bound (decoded, or copied into an instrument) are left out with one
// warning that counts them instead of filling the memory.
TEST(CompressedFont, SampleMemoryStaysWithinItsBoundWithinASong) {
    enum Kind { SharedStream, DistinctStreams, StretchesOfStoredPoints, StretchesOfAStream };
    struct Case {
        Kind kind;
        int regions;
        size_t decoded;
        const char* warning;  // "" for none
    };
    const Case cases[] = {
        {SharedStream, 64, 1, ""},
        {DistinctStreams, 3, 3,
         "\"h3\" is not decoded, and so are 60 more samples: with them the song's samples would "
         "take more than "},
        // Each zone starts one point later (and a stream's ends one earlier): 88 KB copies.
        {StretchesOfStoredPoints, 3, 0, "\"plain\" is left out: with it the song's "},
        // The first plays the decoded stream in place, the next two are copies.
        {StretchesOfAStream, 3, 1, "\"tone\" is left out: with it the song's "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        Sf2Builder sf;
        const std::vector<uint8_t> stream = streamOf(sine("tone", 440.0, 69));
        const int i = sf.addInstrument("many");
        int one = -1;
        if (c.kind == StretchesOfStoredPoints) one = sf.addSample(sine("plain", 440.0, 69));
        if (c.kind == StretchesOfAStream) one = sf.addSample(sine("tone", 440.0, 69));
        for (int z = 0; z < 64; ++z) {
            if (one >= 0) {
                sf.instrumentZone(i)
                    .gen(GEN_START_ADDRS_OFFSET, z)
                    .gen(GEN_END_ADDRS_OFFSET, c.kind == StretchesOfAStream ? -z : 0)
                    .sample(one);
                continue;
            }
            Sf2Sample s = sine(("h" + std::to_string(z)).c_str(), 440.0, 69);
            s.stream = stream;
            if (c.kind == SharedStream && z > 0) {
                s.stream = std::vector<uint8_t>();  // the header names the first one's bytes
                s.rawStart = 0;
                s.rawEnd = static_cast<uint32_t>(stream.size());
            }
            sf.instrumentZone(i).sample(sf.addSample(s));
        }
        sf.presetZone(sf.addPreset("Many", 0, 0)).instrument(i);
        if (c.kind != StretchesOfStoredPoints) sf.compress();
        FontUnderTest f(sf);
        const size_t oneSample = DecodedSample{nullptr, 44100}.bytes();
        f.registry().setDecodedSongLimit(7 * oneSample / 2);
        InstrumentBanks banks(f.registry());
        banks.indexFonts();
        banks.markNote(false, 0, 0, 69, 100);
        EXPECT_EQ(banks.loadMarkedInstruments(), 0);
        const Instrument* inst = banks.loadedInstrument(false, 0, 0);
        ASSERT_NE(inst, nullptr);
        EXPECT_EQ(inst->regionCount(), c.regions);
        EXPECT_EQ(f.registry().decodedSamples().count(), c.decoded);
        const std::vector<std::string> warnings = f.registry().takeSampleWarnings();
        ASSERT_EQ(warnings.size(), *c.warning != 0 ? 1u : 0u);
        if (*c.warning != 0) {
            EXPECT_TRUE(contains(warnings.front(), c.warning)) << warnings.front();
        }
        // The next song starts afresh: what it needs again is named again.
        banks.songEnded();
        banks.freeAllInstruments();
        banks.markNote(false, 0, 0, 69, 100);
        EXPECT_EQ(banks.loadMarkedInstruments(), 0);
        ASSERT_NE(banks.loadedInstrument(false, 0, 0), nullptr);
        EXPECT_EQ(banks.loadedInstrument(false, 0, 0)->regionCount(), c.regions);
        EXPECT_EQ(f.registry().takeSampleWarnings().size(), *c.warning != 0 ? 1u : 0u);
    }
}

// The font beside the program first, then the system's, the compressed one after the other.
TEST(DefaultSoundFont, ProgramFolderFirstThenTheSystemFontsInTheirOrder) {
    test::TempDir dir;
    const std::string sf2 = dir.write("default-GM.sf2", std::vector<uint8_t>{1});
    const std::string sf3 = dir.write("default-GM.sf3", std::vector<uint8_t>{1});
    const std::string own = dir.write("program/Sorvanto.sf2", std::vector<uint8_t>{1});
    const std::string none = dir.file("missing.sf2");
    struct Case {
        std::string folder;
        std::vector<std::string> system;
        std::string found;  // empty: nothing found
    };
    const Case cases[] = {
        {dir.file("program"), {sf2, sf3}, own},
        {dir.file("bin"), {sf2, sf3}, sf2},
        {dir.file("bin"), {none, sf3}, sf3},
        {dir.file("bin"), {none, dir.file("missing.sf3")}, ""},
    };
    for (const Case& c : cases) {
        Result<std::string> r = findDefaultSoundFont(c.folder, c.system);
        if (c.found.empty()) {
            ASSERT_FALSE(r.ok());
            EXPECT_TRUE(contains(r.error().message, "missing.sf3\" exists")) << r.error().message;
        } else {
            ASSERT_TRUE(r.ok());
            // Windows joins the program's folder and the name with its own separator.
            EXPECT_EQ(std::filesystem::path(*r).make_preferred().string(),
                      std::filesystem::path(c.found).make_preferred().string());
        }
    }
}

// The fonts command shows the compression and names the sample that fails to decode; a
// conversion warns about it once and writes the rest.
TEST(CompressedFontCommands, FontsNamesAndConvertWarnsOnceAboutASampleThatFailsToDecode) {
    test::TempDir dir;
    std::vector<uint8_t> stream = damagedInside(streamOf(sine("broken", 220.0, 57, 3 * 44100)));
    const std::string font = dir.write("compressed.sf3", goodAndBroken(withStream(stream)).build());

    test::CliRun full = test::runCli("fonts " + font);
    EXPECT_EQ(full.exitCode, 0) << full.out;
    for (const char* expected :
         {"version:      3.01", "compressed:   2 of 2 samples (Ogg Vorbis streams of",
          "decoded:      352800 bytes (0.3 MiB)", "sample 1 \"broken\" is damaged"}) {
        EXPECT_TRUE(contains(full.out, expected)) << expected << "\n" << full.out;
    }
    // Without decoding, only the headers are checked: the damage inside stays unseen.
    test::CliRun quick = test::runCli("fonts --quick " + font);
    EXPECT_EQ(quick.exitCode, 0);
    EXPECT_FALSE(contains(quick.out, "is damaged")) << quick.out;

    test::SmfBuilder smf(0, 480);
    smf.track()
        .tempo(0, 500000)
        .program(0, 0, 0)
        .program(0, 1, 1)
        .noteOn(0, 0, 69, 100)
        .noteOn(0, 1, 57, 100)
        .noteOff(480, 1, 57)
        .noteOn(0, 1, 57, 100)
        .noteOff(480, 1, 57)
        .noteOff(0, 0, 69)
        .endOfTrack();
    const std::string song = dir.write("song.mid", smf.build());
    test::CliRun run =
        test::runCli("convert " + song + " -s " + font + " -o " + dir.file("song.wav"));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const std::string warning = "sample 1 \"broken\" is damaged";
    size_t first = run.out.find(warning);
    ASSERT_NE(first, std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(warning, first + 1), std::string::npos) << run.out;
    EXPECT_TRUE(contains(run.out, "song.mid: warning:")) << run.out;
}

}  // namespace
}  // namespace svt
