#include "song/SmfReader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt {
namespace {

using test::SmfBuilder;

struct Read {
    Result<SongReadResult> result;
    SongInfo info;
};

Read readBytes(const std::vector<uint8_t>& bytes, const ReadOptions& options = {}) {
    SongInfo info;
    EventList list;
    auto stream = openMemoryStream(bytes, "song.mid");
    auto result = readSong(*stream, info, list, options);
    return Read{std::move(result), std::move(info)};
}

TEST(SmfReader, BrokenTracksKeepWhatWasReadAndSayWhere) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int notes;            // note-ons that survive
        const char* warning;  // part of the warning text
    };
    std::vector<Case> cases;
    {
        SmfBuilder smf(1, 480);
        smf.track().noteOn(0, 0, 60, 100).endOfTrack();
        smf.track().noteOn(0, 1, 62, 100).endOfTrack().lengthOverride = 0xFFFFFFF0u;
        std::vector<uint8_t> bytes = smf.build();
        bytes.resize(bytes.size() - 6);  // cut inside the second note
        cases.push_back(
            {"length near 2^32 and cut data", bytes, 1, "track 2 ends inside an event"});
    }
    // One note, then the given bytes to the end of the file.
    auto noteThen = [](const std::vector<uint8_t>& raw) {
        SmfBuilder smf(1, 480);
        smf.track().noteOn(0, 0, 60, 100).raw(raw);
        return smf.build();
    };
    cases.push_back({"sysex length beyond the file",
                     noteThen({0x00, 0xF0, 0x8F, 0xFF, 0xFF, 0x7F, 0x41}), 1, "system-exclusive"});
    cases.push_back({"meta length beyond the file",
                     noteThen({0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}), 1, "meta event"});
    cases.push_back({"five-byte delta time", noteThen({0xFF, 0xFF, 0xFF, 0xFF, 0x00}), 1,
                     "longer than four bytes"});
    {
        SmfBuilder smf(1, 480);
        smf.track().noteOn(0, 0, 60, 100).endOfTrack();
        smf.trackCountOverride = 3;
        cases.push_back(
            {"fewer tracks than the header says", smf.build(), 1, "ends before track 2"});
    }
    for (const Case& c : cases) {
        Read r = readBytes(c.bytes);
        ASSERT_TRUE(r.result.ok()) << c.what << ": " << r.result.error().message;
        int notes = 0;
        for (const SongEvent& e : r.result->song.events) notes += e.type == EV_NOTE_ON;
        EXPECT_EQ(notes, c.notes) << c.what;
        std::string all;
        for (const std::string& w : r.result->warnings) all += w + "; ";
        EXPECT_NE(all.find(c.warning), std::string::npos) << c.what << ": " << all;
    }
}

// What the file says decides what is read: format 1 merges its tracks and format 2 plays them
// one after the other, chunks of other kinds are passed over, a track
// ends at its length, SMPTE ticks are real time whatever the tempo events say, an RMID song
// may follow information chunks, a header may announce 65535 tracks, a tempo of the wrong length
// is passed over and time stands still at tempo 0.
TEST(SmfReader, ChunksTrackLengthsAndTimeBasesReadAsTheFileSays) {
    // Three notes of a second each, one per track, the last at 2 s.
    auto threeTracks = [](SmfBuilder& smf) {
        smf.track().tempo(0, 500000).noteOn(0, 0, 60, 100).noteOff(960, 0, 60).endOfTrack();
        smf.track().noteOn(960, 1, 62, 100).noteOff(960, 1, 62).endOfTrack();
        smf.track().noteOn(1920, 2, 64, 100).noteOff(960, 2, 64).endOfTrack();
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int seconds;  // the song's length
        int notes;
        int tracks;       // as the header says
        int tempos = -1;  // tempo events kept, where that matters
    };
    std::vector<Case> cases;
    for (int format : {1, 2}) {
        SmfBuilder smf(format, 480);
        smf.track().tempo(0, 500000).noteOn(0, 0, 60, 100).noteOff(960, 0, 60).endOfTrack();
        smf.track().noteOn(0, 1, 64, 100).noteOff(960, 1, 64).endOfTrack();
        cases.push_back({format == 1 ? "format 1" : "format 2", smf.build(), format, 2, 2});
    }
    {
        SmfBuilder smf(1, 480);
        threeTracks(smf);
        smf.chunkBefore(1, "XFIH", {1, 2, 3, 4, 5});
        cases.push_back({"a chunk of another kind between tracks", smf.build(), 3, 3, 3});
    }
    {
        SmfBuilder smf(1, 480);
        smf.track().tempo(0, 500000).noteOn(0, 0, 60, 100).noteOff(960, 0, 60);  // no end event
        smf.track().noteOn(960, 1, 62, 100).noteOff(960, 1, 62).endOfTrack();
        smf.track().noteOn(1920, 2, 64, 100).noteOff(960, 2, 64).endOfTrack();
        cases.push_back({"a track without its end event", smf.build(), 3, 3, 3});
    }
    {
        SmfBuilder smf(1, 480);
        threeTracks(smf);
        smf.chunkBefore(1, "MTrk", {});  // an empty track
        smf.trackCountOverride = 4;
        cases.push_back({"an empty track", smf.build(), 3, 3, 4});
    }
    {
        // The length says less than there is: what follows is no chunk, so the track goes on.
        SmfBuilder smf(0, 480);
        smf.track()
            .tempo(0, 500000)
            .noteOn(0, 0, 60, 100)
            .noteOff(1920, 0, 60)
            .endOfTrack()
            .lengthOverride = 4;
        cases.push_back({"a track length that is too short", smf.build(), 2, 1, 1});
    }
    for (const auto& [raw, seconds] : {std::pair{0xE728, 11}, std::pair{0xE31E, 11}}) {
        // 25 frames of 40 ticks, and 29.97 frames of 30: 1000 and 899.1 ticks a second; the
        // tempo events (4 and 2 times the default speed) change nothing.
        SmfBuilder smf(0, 0);
        smf.divisionRaw = static_cast<uint16_t>(raw);
        const uint32_t second = raw == 0xE728 ? 1000 : 899;
        smf.track()
            .tempo(0, 125000)
            .noteOn(0, 0, 60, 100)
            .noteOff(second, 0, 60)
            .tempo(0, 250000)
            .noteOn(9 * second, 0, 62, 100)
            .noteOff(second, 0, 62)
            .endOfTrack();
        cases.push_back({raw == 0xE728 ? "SMPTE, 25 frames" : "SMPTE, 29.97 frames", smf.build(),
                         seconds, 2, 1, 0});
    }
    {
        SmfBuilder smf(1, 480);
        threeTracks(smf);
        const std::vector<uint8_t> info = {'L', 'I', 'S', 'T', 13,  0, 0, 0, 'I', 'N', 'F',
                                           'O', 'I', 'N', 'A', 'M', 1, 0, 0, 0,   'x', 0};
        cases.push_back({"RMID with an information list first", smf.buildRmid(info), 3, 3, 3});
        // The wrapper's sizes are not trusted: the song inside is read as it is.
        std::vector<uint8_t> b = smf.buildRmid();
        for (size_t i : {4, 5, 6, 7}) b[i] = 0xFF;
        for (size_t i : {16, 17, 18, 19}) b[i] = 0;
        cases.push_back({"RMID sizes 2^32-1 and 0", b, 3, 3, 3});
    }
    {
        SmfBuilder smf(1, 480);
        threeTracks(smf);
        smf.trackCountOverride = 0xFFFF;
        cases.push_back({"65535 tracks announced", smf.build(), 3, 3, 65535});
    }
    {
        SmfBuilder smf(0, 480);
        smf.track()
            .meta(0, 0x51, {0x07, 0xA1, 0x20, 0x00})  // length 4: skipped whole
            .noteOn(0, 0, 60, 100)
            .tempo(960, 0)
            .noteOff(480, 0, 60)
            .endOfTrack();
        cases.push_back({"a tempo of the wrong length, then tempo 0", smf.build(), 1, 1, 1, 1});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Read r = readBytes(c.bytes);
        ASSERT_TRUE(r.result.ok()) << r.result.error().message;
        EXPECT_NEAR(r.info.totalSamples, c.seconds * 44100, 441);
        EXPECT_EQ(r.info.trackCount, c.tracks);
        int notes = 0, tempos = 0;
        for (const SongEvent& e : r.result->song.events) {
            notes += e.type == EV_NOTE_ON;
            tempos += e.type == EV_TEMPO;
        }
        EXPECT_EQ(notes, c.notes);
        if (c.tempos >= 0) {
            EXPECT_EQ(tempos, c.tempos) << "none for SMPTE songs";
        }
    }
}

TEST(SmfReader, FilesThatAreNoSongAreRefusedWithAReason) {
    SmfBuilder good(0, 480);
    good.track().noteOn(0, 0, 60, 100).endOfTrack();
    const std::vector<uint8_t> smf = good.build();

    std::vector<uint8_t> wave = {'R', 'I', 'F', 'F', 36,  0,   0,   0,
                                 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    std::vector<uint8_t> brokenRmid = good.buildRmid();
    brokenRmid[12] = 'x';  // "data" spelt wrong
    SmfBuilder format3(3, 480);
    format3.track().endOfTrack();
    SmfBuilder division0(0, 0);
    division0.track().noteOn(0, 0, 60, 100).endOfTrack();
    std::vector<uint8_t> cutRmid = good.buildRmid();
    cutRmid.resize(18);
    SmfBuilder hugeHeader(0, 480);
    hugeHeader.headerLengthOverride = 0xFFFFFFF0u;
    hugeHeader.track().noteOn(0, 0, 60, 100).endOfTrack();

    const std::string text = "MIDI notes, but as text\n";
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        int code;
    } cases[] = {
        {"empty file", {}, kSongNotMidi},
        {"text renamed .mid", {text.begin(), text.end()}, kSongNotMidi},
        {"WAV renamed .mid", wave, kSongBroken},
        {"RMID with a broken wrapper", brokenRmid, kSongBroken},
        {"RMID cut inside its wrapper", cutRmid, kSongBroken},
        {"header length near 2^32", hugeHeader.build(), kSongBroken},
        {"header cut short", {smf.begin(), smf.begin() + 9}, kSongBroken},
        {"format 3", format3.build(), kSongBroken},
        {"division 0", division0.build(), kSongBroken},
    };
    for (const auto& c : cases) {
        Read r = readBytes(c.bytes);
        ASSERT_FALSE(r.result.ok()) << c.what;
        EXPECT_EQ(r.result.error().code, c.code) << c.what;
        EXPECT_FALSE(r.result.error().message.empty()) << c.what;
    }
    EXPECT_EQ(notMidiMessage("a.mid", Language::German), "\"a.mid\"\n\nDies ist keine Mididatei!");
}

TEST(SmfReader, TitlesTextsMeterAndKeyGoIntoTheSongInformation) {
    SmfBuilder smf(1, 480);
    smf.track()
        .trackName(0, "  My   Song\t ")
        .trackName(0, "second name is ignored")
        .text(0, 1, "first text")
        .text(0, 2, "(C) 1999 Someone")
        .text(0, 1, "Music by  Jane Doe")
        .text(0, 2, "a second notice is ignored")
        .text(0, 6, "Verse")
        .text(0, 6, "  ")
        .timeSignature(0, 6, 3)
        .timeSignature(0, 0, 2)  // impossible: a warning, no event
        .keySignature(0, -3, true)
        .timeSignature(960, 3, 2)
        .noteOn(0, 0, 60, 100)
        .noteOff(480, 0, 60)
        .endOfTrack();
    smf.track().trackName(0, "Piano").text(0, 5, "la").endOfTrack();
    Read r = readBytes(smf.build(), ReadOptions{{}, false, Language::German});
    ASSERT_TRUE(r.result.ok());
    EXPECT_EQ(r.info.title, "My Song");
    EXPECT_EQ(r.info.firstText, "first text");
    EXPECT_EQ(r.info.copyright, "(C) 1999 Someone");
    EXPECT_EQ(r.info.composer, "Jane Doe");
    EXPECT_EQ(r.info.meterNumerator, 6);
    EXPECT_EQ(r.info.meterDenominator, 8);
    EXPECT_EQ(r.info.trackNames[0], "Piano");
    EXPECT_EQ(keyName(r.info.keyIndex, r.info.minor, Language::German), std::string("c-moll (3b)"));
    ASSERT_EQ(r.result->warnings.size(), 1u);
    EXPECT_EQ(r.result->warnings[0], "Keine mögliche Taktart");

    std::vector<std::string> texts;
    int meters = 0;
    for (const SongEvent& e : r.result->song.events) {
        if (isTextEvent(e.type))
            texts.push_back(r.result->song.strings[static_cast<size_t>(stringIndexOf(e))]);
        meters += e.type == EV_TIME_SIGNATURE;
    }
    EXPECT_EQ(texts,
              (std::vector<std::string>{std::string(1, static_cast<char>(EV_MARKER)) + "(Verse)",
                                        std::string(1, static_cast<char>(EV_LYRIC)) + "la"}));
    EXPECT_EQ(meters, 4) << "two events per valid signature";
}

TEST(SongInfo, DisplayTitleFallsBackAndQuickScanReadsOnce) {
    test::TempDir dir;
    SmfBuilder smf(1, 480);
    smf.track().text(0, 1, "@KMIDI KARAOKE FILE").endOfTrack();
    smf.track().text(0, 1, "@KMIDI KARAOKE FILE").endOfTrack();
    smf.track()
        .trackName(0, "Words")
        .text(0, 1, "@TSunny")
        .text(0, 1, "@TDay")
        .text(0, 1, "\\first line")
        .endOfTrack();
    smf.track().noteOn(0, 0, 60, 1).endOfTrack();
    const std::string path = dir.write("karaoke.kar", smf.build());

    SongInfoList infos;
    EXPECT_EQ(infos.quickTitle(path), "Sunny Day");
    std::filesystem::remove(path);
    EXPECT_EQ(infos.quickTitle(path), "Sunny Day") << "the second question does not read the file";

    SongInfo info;
    info.format = 1;
    info.firstText = "   ";
    EXPECT_EQ(displayTitle(info), std::nullopt);
    info.format = 2;
    info.title = "x";
    EXPECT_EQ(displayTitle(info), std::nullopt) << "format 2 shows no title";
    EXPECT_EQ(trimText("  a \t\r\n  b  "), "a b");
    // Only a text that credits someone names a composer.
    for (const auto& [text, composer] :
         {std::pair<const char*, const char*>{"Composer: J. S. Bach", "J. S. Bach"},
          {"Musik: Heinz", "Heinz"},
          {"Music - Ann", nullptr},  // "Music" needs its colon
          {"Composers' Guild", nullptr}}) {
        EXPECT_EQ(composerIn(text).value_or("(none)"), composer ? composer : "(none)") << text;
    }
}

TEST(SmfReader, AMillionNotesFillTheListAndThePartReadPlays) {
    SmfBuilder smf(0, 96);
    test::SmfTrack& t = smf.track().runningStatus();
    for (int i = 0; i < 1000000; ++i) t.noteOn(0, 0, 60, 100).noteOn(1, 0, 60, 0);
    t.endOfTrack();
    Read r = readBytes(smf.build());
    ASSERT_TRUE(r.result.ok());
    // Every node but the head becomes an event; the end marker takes the head's place.
    EXPECT_EQ(r.result->song.events.size(), static_cast<size_t>(kMaxEventNodes));
    ASSERT_FALSE(r.result->warnings.empty());
    EXPECT_NE(r.result->warnings[0].find("more events than a song may hold"), std::string::npos);
    EXPECT_EQ(r.result->song.events.back().type, EV_END_OF_SONG);
}

TEST(SmfReader, TheFirstSystemExclusiveMessageNamesTheMaker) {
    const struct {
        uint8_t recorded;
        std::vector<uint8_t> makers;
        uint8_t expected;
    } cases[] = {
        {0, {0x7E, 0x41}, 0x7E}, {0, {0x43}, 0x43},
        {0x7F, {0x41}, 0x41},  // a universal message on record gives way
        {0x41, {0x43}, 0x41},    {0, {}, 0},
    };
    for (const auto& c : cases) {
        SmfBuilder smf(0, 480);
        test::SmfTrack& t = smf.track();
        for (uint8_t maker : c.makers) t.sysex(0, {maker, 0x10, 0xF7});
        t.noteOn(0, 0, 60, 1).endOfTrack();
        SongInfo info;
        info.makerId = c.recorded;
        EventList list;
        const std::vector<uint8_t> bytes = smf.build();
        auto stream = openMemoryStream(bytes);
        ASSERT_TRUE(readSong(*stream, info, list, {}).ok());
        EXPECT_EQ(info.makerId, c.expected);
    }
}

}  // namespace
}  // namespace svt
