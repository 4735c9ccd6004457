// What the playlist window shows and asks for, without a window: the lines and the
// count-and-time field, the search over a snapshot, removing lines and the conversions
// started from the window with the question that follows them.

#include <gtest/gtest.h>

#include "desktop/CommandQueue.h"
#include "desktop/FakeFrontEngine.h"
#include "desktop/FrontControl.h"
#include "desktop/MediaPlayerExport.h"
#include "desktop/PlaylistView.h"
#include "support/TempDir.h"

namespace svt {
namespace {

PlaylistSnapshot snapshotOf(std::vector<PlaylistLine> lines, int current) {
    for (PlaylistLine& line : lines) line.text = playlistLineText(line, false, Language::English);
    PlaylistSnapshot s;
    s.lines = std::make_shared<const std::vector<PlaylistLine>>(std::move(lines));
    s.current = current;
    return s;
}

TEST(PlaylistLines, TextsOfLinesAndOfTheCountField) {
    struct Case {
        PlaylistLine line;
        bool current;
        Language language;
        const char* expected;
    };
    using L = Language;
    const Case cases[] = {
        {{"Bach", "/b.mid", 3725, true, {}}, false, L::English, "Bach - 01:02:05 (/b.mid)"},
        {{"Bach", "/b.mid", 59, true, {}}, true, L::English, "Current: Bach - 00:00:59 (/b.mid)"},
        {{"Bach", "/b.mid", 59, true, {}}, true, L::German, "aktiv: Bach - 00:00:59 (/b.mid)"},
        {{"", "/x.mid", 0, true, {}}, false, L::German, "ohne Titel - 00:00:00 (/x.mid)"},
        {{"", "/x.txt", 0, false, {}}, false, L::German, "- keine Mididatei - - 00:00:00 (/x.txt)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(playlistLineText(c.line, c.current, c.language), c.expected);

    const int64_t total = 125 * 60 + 7;
    EXPECT_EQ(playlistCountText(3, total, Language::English), "3 files, total time 125:07 ");
    EXPECT_EQ(playlistCountText(3, total, Language::German), "3 Dateien, Gesamtspielzeit 125:07 ");
    EXPECT_EQ(playlistCountText(1, total, Language::English), "1 file");
    EXPECT_EQ(playlistCountText(0, 0, Language::English), "");
}

TEST(PlaylistSearch, CaseSensitiveSubstringFromTheStartGiven) {
    const PlaylistSnapshot s = snapshotOf({{"Bach Fugue", "/a.mid", 1, true, {}},
                                           {"Mozart", "/b.mid", 1, true, {}},
                                           {"More Bach", "/c.mid", 1, true, {}},
                                           {std::string(3000, 'B'), "/d.mid", 1, true, {}}},
                                          1);
    struct Case {
        const char* text;
        int start;
        int expected;
    };
    const Case cases[] = {
        {"Bach", 0, 0},   {"Bach", 1, 2},  {"bach", 0, -1}, {"", 0, -1},       {"Current", 0, 1},
        {"/c.mid", 0, 2}, {"Bach", 3, -1}, {"BBBB", 0, -1}, {"Mozart", -5, 1}, {"Bach", 99, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(findInPlaylist(s, c.text, c.start, Language::English), c.expected)
            << c.text << " from " << c.start;
}

using WindowRig = test::ControlRig;

TEST(PlaylistWindowLogic, SnapshotFollowsEveryChange) {
    WindowRig rig;
    EXPECT_EQ(rig.control.playlistSnapshot()->count(), 0);
    EXPECT_EQ(rig.control.playlistSnapshot()->current, -1);
    rig.list({"a.mid", "b.mid", "c.mid"});
    auto s = rig.control.playlistSnapshot();
    ASSERT_EQ(s->count(), 3);
    EXPECT_EQ(s->current, 0);
    EXPECT_GE(rig.view.playlistSignals, 1);

    // A new current entry keeps the lines (shared), a removal makes new ones.
    rig.control.playIndex(2);
    EXPECT_EQ(rig.step(), CmdNone) << "the live output first";
    EXPECT_EQ(rig.step(), CmdLoadFile);
    auto moved = rig.control.playlistSnapshot();
    EXPECT_EQ(moved->current, 2);
    EXPECT_EQ(moved->lines, s->lines);
    EXPECT_TRUE(moved->lineText(2, Language::English).starts_with("Current: "));

    rig.control.removeEntry(0);
    rig.step();
    rig.step();
    auto removed = rig.control.playlistSnapshot();
    ASSERT_EQ(removed->count(), 2);
    EXPECT_NE(removed->contentsGeneration, s->contentsGeneration);
    EXPECT_NE((*removed->lines)[0].path.find("b.mid"), std::string::npos);
    EXPECT_EQ(removed->current, 1) << "the current entry moves down with the lines before it";

    rig.control.clearPlaylist();
    rig.step();
    EXPECT_EQ(rig.control.playlistSnapshot()->count(), 0);
}

TEST(PlaylistWindowLogic, NamedConversionReachesTheEngineAndAsksToListen) {
    WindowRig rig;
    rig.list({"a.mid", "b.mid"});
    test::drain(rig.control.commandQueue());
    // A whole path on either system: the listen question hands it to the desktop as it is.
    const std::string out = rig.dir.file("x.wav");
    rig.engine.lastPath = out;
    rig.control.convertTo(OutputKind::WavFile, out);
    std::string namedWhilePlaying;
    rig.engine.onPlay = [&] {
        namedWhilePlaying = rig.engine.outputFile;
        rig.control.notify(test::notice(NoticePlayEnd, CmdTuneEnd));
        rig.control.queue(CmdQuit);
    };
    rig.control.runPlaylist({});
    EXPECT_EQ(namedWhilePlaying, out);
    EXPECT_EQ(rig.engine.outputFile, "") << "the next conversion names its files itself";
    ASSERT_EQ(rig.engine.played.size(), 1u) << "one song, not the whole list";
    ASSERT_EQ(rig.view.ends.size(), 1u);
    EXPECT_TRUE(rig.view.ends[0].singleFile);
    EXPECT_EQ(rig.view.ends[0].lastOutputPath, out);
    EXPECT_EQ(rig.engine.selected, OutputKind::Live) << "back to the live output";
    EXPECT_FALSE(rig.control.convertingSingleFile());
}

TEST(PlaylistWindowLogic, AStoppedConversionGoesBackToTheLiveOutput) {
    WindowRig rig;
    rig.list({"a.mid", "b.mid"});
    test::drain(rig.control.commandQueue());
    rig.control.convertPlaylist(OutputKind::WavFile);
    rig.engine.results = {CmdStop};
    rig.engine.onPlay = [&] {
        rig.control.notify(test::notice(NoticePlayEnd, CmdStop));
        rig.engine.onPlay = nullptr;
        rig.control.queue(FcPlayIndex, 1);  // a double click in the list afterwards
        rig.control.queue(CmdQuit);
    };
    rig.control.runPlaylist({});
    EXPECT_TRUE(rig.view.ends.empty()) << "no question about files that were not finished";
    ASSERT_EQ(rig.engine.played.size(), 2u);
    EXPECT_EQ(rig.engine.selected, OutputKind::Live) << "the second song is heard, not converted";
}

TEST(PlaylistWindowLogic, PlaylistConversionEndsAfterTheLastSongWithTheCdCheck) {
    struct Case {
        OutputKind output;
        int32_t secondsEach;
        bool tooLong;
    };
    const Case cases[] = {{OutputKind::WavFile, 40 * 60, true},
                          {OutputKind::Mp3File, 40 * 60, false},
                          {OutputKind::WavFile, 30 * 60, false}};
    for (const Case& c : cases) {
        WindowRig rig;
        rig.engine.playingSeconds = c.secondsEach;
        rig.list({"a.mid", "b.mid"});
        test::drain(rig.control.commandQueue());
        rig.control.convertPlaylist(c.output);
        rig.engine.onPlay = [&] { rig.control.notify(test::notice(NoticePlayEnd, CmdTuneEnd)); };
        rig.control.queue(CmdQuit);
        rig.control.runPlaylist({});
        EXPECT_EQ(rig.engine.played.size(), 2u);
        ASSERT_EQ(rig.view.ends.size(), 1u) << "asked once, after the last song";
        EXPECT_FALSE(rig.view.ends[0].singleFile);
        EXPECT_EQ(rig.view.ends[0].output, c.output);
        EXPECT_EQ(rig.view.ends[0].tooLongForCd, c.tooLong);
    }
}

// A list written is the main window model's test (ExportAsks...) and its contents the XML
// parser's (MediaPlayerExportTest); one that cannot be written is told and frees the dialogs.
TEST(PlaylistWindowLogic, AnExportThatFailsIsTold) {
    WindowRig rig;
    rig.list({"a.mid", "b.mid"});
    rig.control.exportMediaPlayer(rig.dir.file("missing/folder/list.wpl"), OutputKind::WavFile);
    rig.step();
    EXPECT_EQ(rig.view.messages.back(), FrontMessage::ExportFailed);
    EXPECT_FALSE(rig.control.dialogBusy());
}

}  // namespace
}  // namespace svt
