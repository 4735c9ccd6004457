// What the playlist window shows and asks for, without a window: the lines and the
// count-and-time field, and the conversions started from the window with the question that
// follows them. The search and the snapshot's changes are the window's own tests.

#include <gtest/gtest.h>

#include "desktop/CommandQueue.h"
#include "desktop/FakeFrontEngine.h"
#include "desktop/FrontControl.h"
#include "desktop/MediaPlayerExport.h"
#include "desktop/PlaylistView.h"
#include "support/TempDir.h"

namespace svt {
namespace {

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

using WindowRig = test::ControlRig;

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
