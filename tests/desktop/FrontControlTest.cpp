#include "desktop/FrontControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <tuple>

#include "desktop/CommandQueue.h"
#include "desktop/FakeFrontEngine.h"
#include "desktop/StartArguments.h"

namespace svt {
namespace {

using test::FakeEngine;
using test::notice;

using test::drain;

using Rig = test::ControlRig;

TEST(FrontControl, EachUserActionQueuesExactlyItsCommands) {
    Rig rig;
    // Without a song the keys that need one ask for it; A, H and Q are the window's tests.
    for (ShortcutKey key : {ShortcutKey::Space, ShortcutKey::N, ShortcutKey::S})
        EXPECT_EQ(rig.control.pressKey(key), UiOutcome::ShortcutsNeedAFile);
    EXPECT_EQ(rig.control.pressPlay(), UiOutcome::NoMidiFileOpen);
    EXPECT_EQ(rig.control.convertCurrent(OutputKind::WavFile), UiOutcome::NoMidiFileOpen);
    EXPECT_EQ(rig.control.commandQueue().count(), 0);
    rig.list({"a.mid", "b.mid"});
    CommandQueue& q = rig.control.commandQueue();
    drain(q);

    // A conversion of one file plays the current song only; one of the playlist plays it all.
    FrontControl& c = rig.control;
    const OutputKind W = OutputKind::WavFile, M = OutputKind::Mp3File;
    const std::tuple<std::function<void()>, std::vector<int32_t>, bool> cases[] = {
        {[&] { c.pressPlay(); }, {FcSelectOutput, FcReinitialise, CmdLoadFile}, false},
        {[&] { c.pressPause(); }, {CmdTogglePause}, false},
        {[&] { c.pressStop(); }, {CmdStop}, false},
        {[&] { c.positionReleased(12); }, {CmdJump}, false},
        {[&] { c.tempoReleased(90); }, {CmdSetTempo}, false},
        {[&] { c.pressKey(ShortcutKey::Space); }, {FcSelectOutput, CmdLoadFile}, false},
        {[&] { c.closeCurrentFile(); }, {FcRemoveEntry, FcRefreshList}, false},
        {[&] { c.clearPlaylist(); }, {FcClearPlaylist}, false},
        {[&] { c.convertCurrent(W); }, {FcReinitialise, FcSelectOutput, CmdLoadFile}, true},
        {[&] { c.convertPlaylist(M); }, {FcReinitialise, FcSelectOutput, FcPlayIndex}, false},
        {[&] { c.convertTo(W, "/x.wav"); },
         {FcReinitialise, FcSelectOutput, FcSetOutputFile, CmdLoadFile},
         true},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& [act, expected, currentOnly] = cases[i];
        act();
        EXPECT_EQ(test::codesOf(drain(q)), expected) << "case " << i;
        EXPECT_EQ((c.interfaceFlags() & kFlagCurrentSongOnly) != 0, currentOnly) << "case " << i;
    }
}

TEST(FrontControl, RepeatCurrentSongOnlyAndErrorsShapeTheLoop) {
    struct Case {
        const char* what;
        uint32_t flags;
        std::vector<int> results;  // what each play returns; CmdTuneEnd once they run out
        std::vector<std::string> expected;
    };
    constexpr int E = CmdTuneEnd;
    const Case cases[] = {
        {"in order, then idle", 0, {}, {"a.mid", "b.mid", "c.mid"}},
        {"repeat", kFlagRepeat, {E, E, E, CmdQuit}, {"a.mid", "b.mid", "c.mid", "a.mid"}},
        {"current song only", kFlagCurrentSongOnly, {}, {"a.mid"}},
        {"next with current only", kFlagCurrentSongOnly, {CmdNext}, {"a.mid", "b.mid"}},
        {"an error goes idle", 0, {CmdError}, {"a.mid"}},
        {"stop goes idle", 0, {CmdStop}, {"a.mid"}},
        {"previous goes back and idles", 0, {E, CmdReallyPrevious}, {"a.mid", "b.mid"}},
        {"end after the list", kFlagEndAfterList, {}, {"a.mid", "b.mid", "c.mid"}},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.engine.results = c.results;
        rig.control.setInterfaceFlags(c.flags);
        // The loop plays until it goes idle; the quit waiting behind the start ends it then.
        rig.run(rig.songs({"a.mid", "b.mid", "c.mid"}), {CmdLoadFile, CmdQuit});
        EXPECT_EQ(rig.engine.played, c.expected) << c.what;
        EXPECT_FALSE(rig.engine.open) << c.what << ": the output is closed at the end";
        EXPECT_FALSE(rig.control.playingOrConverting()) << c.what;
    }
}

TEST(FrontControl, APauseBetweenSongsDoesNotHoldTheNextSong) {
    Rig rig;
    int polled = -1;
    // The player reads commands between blocks; a read that waited here would never return.
    rig.engine.onPlay = [&] {
        int32_t argument = 0;
        polled = rig.control.readCommand(argument);
    };
    rig.engine.results = {CmdQuit};
    rig.run(rig.songs({"a.mid"}), {CmdTogglePause, CmdLoadFile});
    EXPECT_EQ(rig.engine.played.size(), 1u);
    EXPECT_EQ(polled, CmdNone) << "nothing is queued, and the song is not paused";
}

// The command line decides the window and whether its songs start by themselves; the
// playlist of the last run (listed when nothing is named) waits for Play, and so do opened
// songs when the window has just said that there is no sound device.
TEST(FrontControl, TheCommandLineChoosesTheWindowAndWhetherSongsStart) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        WindowForm form;
        bool opened;
        size_t files;
        bool plays;
        bool noDevice = false;
    };
    const Case cases[] = {
        {"nothing named: last run's list", {}, WindowForm::Full, false, 0, false},
        {"songs alone: converted", {"a.mid", "b.mid"}, WindowForm::Compact, false, 2, true},
        {"association: played", {"--open", "a.mid"}, WindowForm::Full, true, 1, true},
        {"option after the song", {"a.mid", "--open"}, WindowForm::Full, true, 1, true},
        {"open without songs", {"--open"}, WindowForm::Full, true, 0, false},
        {"opened, no device", {"--open", "a.mid"}, WindowForm::Full, true, 1, false, true},
        {"converted, no device", {"a.mid"}, WindowForm::Compact, false, 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const StartArguments start = readStartArguments(c.args);
        EXPECT_EQ(start.form, c.form);
        EXPECT_EQ(start.opened, c.opened);
        ASSERT_EQ(start.files.size(), c.files);

        Rig rig;
        rig.control.setCompact(start.form == WindowForm::Compact);
        rig.control.setInterfaceFlags(startInterfaceFlags(start, c.noDevice));
        rig.engine.results = {CmdQuit};
        // Without songs named the loop gets the list kept from the last run.
        std::vector<std::string> files;
        for (const std::string& n : start.files) files.push_back(rig.song(n.c_str()));
        if (files.empty()) files = rig.songs({"kept.mid"});
        if (!c.plays) rig.control.queue(CmdQuit);
        rig.control.runPlaylist(files);
        EXPECT_EQ(rig.engine.played.empty(), !c.plays);
        if (c.plays) {
            EXPECT_EQ(rig.engine.played.front(), start.files.front());
        }
    }
}

TEST(FrontControl, PlayingUsesTheEntrysTranspositionAndNeedsAnOutput) {
    Rig rig;
    rig.list({"c-major.mid"});
    EXPECT_EQ(rig.control.keyBoxChosen(11), 4) << "E major for a C major song";
    EXPECT_EQ(rig.control.userTranspose(), 4);
    EXPECT_EQ(rig.control.keyBoxChosen(11), std::nullopt) << "the same key changes nothing";
    EXPECT_TRUE(rig.control.pressLoop());
    EXPECT_FALSE(rig.control.pressLoop());
    rig.control.transposeReleased(20);  // the bar's middle is 24
    rig.run({}, {CmdLoadFile, CmdQuit});
    EXPECT_EQ(rig.engine.transposes, std::vector<int>{-4});

    Rig closed;
    closed.engine.failOpen = true;
    closed.run(closed.songs({"a.mid"}), {CmdLoadFile, CmdQuit});
    EXPECT_TRUE(closed.engine.played.empty()) << "no song starts without an output";
    EXPECT_FALSE(closed.control.playingOrConverting());
}

TEST(FrontControl, FrontCommandsChangeThePlaylistInTheEngineThread) {
    Rig rig;
    const auto files = rig.songs({"a.mid", "b.mid", "notes.txt"});
    rig.control.openFiles({files[0], files[2]});
    EXPECT_TRUE(rig.control.dialogBusy());
    rig.control.openFiles({files[1]});  // ignored while the first result is handled
    int32_t argument = 0;
    EXPECT_EQ(rig.control.readCommand(argument), CmdNone);
    EXPECT_FALSE(rig.control.dialogBusy());
    EXPECT_EQ(rig.control.playlistCount(), 1) << "a file that is not a song is not listed";
    PanelView shown;
    ASSERT_TRUE(rig.control.mailbox().take(shown));
    EXPECT_EQ(shown.title, "no title") << "a song without a title shows the list's text";
    EXPECT_EQ(shown.path, files[0]);

    // A dialog's command the full queue drops no longer keeps the dialogs closed.
    rig.control.openFiles({files[1]});
    for (int i = 0; i < CommandQueue::kCapacity; ++i) rig.control.queue(FcRefreshList);
    EXPECT_FALSE(rig.control.dialogBusy());
    drain(rig.control.commandQueue());

    const std::string list = rig.dir.write("list.pli", files[1] + "\r\n" + files[0] + "\r\n");
    rig.control.openListFile(list);
    EXPECT_EQ(rig.control.readCommand(argument), CmdNone);
    EXPECT_EQ(rig.control.playlistCount(), 2);
    // The playlist field names the list; a later full redraw must not empty it.
    ASSERT_TRUE(rig.control.mailbox().take(shown));
    EXPECT_EQ(shown.playlist, "list.pli");
    rig.control.notify(notice(NoticeNowLoading));
    ASSERT_TRUE(rig.control.mailbox().take(shown));
    EXPECT_EQ(shown.playlist, "list.pli");

    rig.control.savePlaylist(rig.dir.file("out/missing/x.pli"));
    rig.control.readCommand(argument);
    EXPECT_EQ(rig.view.messages,
              (std::vector<FrontMessage>{FrontMessage::NotSongs, FrontMessage::FileNotFound}))
        << "a file named in the dialog that is no song is reported";
    rig.control.mailbox().take(shown);
    EXPECT_EQ(shown.playlist, "list.pli") << "a list that was not saved is not named";
    rig.control.savePlaylist(rig.dir.file("saved.pli"));
    rig.control.readCommand(argument);
    ASSERT_TRUE(rig.control.mailbox().take(shown));
    EXPECT_EQ(shown.playlist, "saved.pli");

    rig.control.queue(FcPlayIndex, 1);
    EXPECT_EQ(rig.control.readCommand(argument), CmdLoadFile);
    rig.control.clearPlaylist();
    EXPECT_EQ(rig.control.readCommand(argument), CmdStop);
    EXPECT_EQ(rig.control.playlistCount(), 0);
    ASSERT_TRUE(rig.control.mailbox().take(shown));
    EXPECT_EQ(shown.title, "Please open file, folder or playlist!");
    EXPECT_EQ(shown.path, "") << "no dashes where nothing is to be shown";
}

TEST(FrontControl, EverySongOfAConversionOrCompactRunIsWritten) {
    // Random order: the list ends when every song was drawn, not at the last index.
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
        Rig rig(seed);
        rig.control.setInterfaceFlags(kFlagRandom);
        rig.list({"a.mid", "b.mid", "c.mid", "d.mid"});
        size_t playedAtEnd = 0;
        rig.engine.onPlay = [&] {
            rig.control.notify(notice(NoticePlayEnd, CmdTuneEnd));
            if (!rig.view.ends.empty() && playedAtEnd == 0) playedAtEnd = rig.engine.played.size();
        };
        rig.control.convertPlaylist(OutputKind::WavFile);
        rig.run({}, {CmdQuit});
        std::vector<std::string> played = rig.engine.played;
        std::sort(played.begin(), played.end());
        EXPECT_EQ(played, (std::vector<std::string>{"a.mid", "b.mid", "c.mid", "d.mid"}))
            << "seed " << seed;
        EXPECT_EQ(playedAtEnd, 4u) << "seed " << seed << ": the listen question comes last, once";
        EXPECT_EQ(rig.view.ends.size(), 1u) << "seed " << seed;
    }

    // The compact window: a song that cannot be written does not stop the others, a file
    // dropped meanwhile joins the run instead of ending it, and the window closes at the end.
    Rig rig;
    rig.control.setCompact(true);
    rig.engine.results = {CmdError};
    const auto dropped = rig.songs({"d.mid"});
    rig.engine.onPlay = [&] {
        if (rig.engine.played.size() == 2) {
            rig.control.dropFiles(dropped);
            int32_t argument = 0;  // the player reads it between two blocks
            EXPECT_EQ(rig.control.readCommand(argument), CmdNone);
        }
        if (rig.engine.played.size() == 4) rig.control.queue(CmdQuit);
    };
    rig.run(rig.songs({"a.mid", "b.mid", "c.mid"}), {CmdLoadFile});
    EXPECT_EQ(rig.engine.played, (std::vector<std::string>{"a.mid", "b.mid", "c.mid", "d.mid"}));
    EXPECT_EQ(rig.view.messages, (std::vector<FrontMessage>{FrontMessage::CouldNotPlay,
                                                            FrontMessage::OperationCompleted}));
    EXPECT_TRUE(rig.view.closed);
}

TEST(FrontControl, LiveKeysChangeOnlyTheSongThatIsHeard) {
    Rig rig;
    rig.list({"a.mid"});
    CommandQueue& q = rig.control.commandQueue();
    drain(q);

    // Between songs the live keys queue nothing: the panel's own controls are there.
    for (ShortcutKey key : {ShortcutKey::SeekForward, ShortcutKey::TransposeUp, ShortcutKey::Faster,
                            ShortcutKey::Slower})
        EXPECT_EQ(rig.control.pressKey(key), UiOutcome::None);
    EXPECT_EQ(q.count(), 0);
    rig.engine.volume = 50;
    for (int i = 0; i < 30; ++i) rig.control.pressKey(ShortcutKey::VolumeDown);
    EXPECT_EQ(rig.engine.volume, 0) << "the volume needs no song, and stops at 0";

    struct Step {
        const char* what;
        std::vector<PlayerNotice> heard;  // what the engine thread was told before the key
        ShortcutKey key;
        int32_t code;      // what the player reads
        int32_t argument;  // samples at 1000 Hz for a seek
    };
    using K = ShortcutKey;
    const Step steps[] = {
        {"never before the start", {notice(NoticeCurrentTime, 3)}, K::SeekBack, CmdJump, 0},
        {"paused: from there", {notice(NoticePause, 1, 20)}, K::SeekBack, CmdJump, 15000},
        {"a new song starts at 0", {notice(NoticePlayStart, 9000)}, K::SeekForward, CmdJump, 5000},
        {"+ transposes up", {}, K::TransposeUp, CmdKeyUp, 1},
        {"] faster", {}, K::Faster, CmdSpeedUp, 1},
    };
    int stepsTaken = 0;
    rig.engine.onPlay = [&] {
        for (const Step& step : steps) {
            for (const PlayerNotice& n : step.heard) rig.control.notify(n);
            rig.control.pressKey(step.key);
            int32_t argument = 0;
            const int code = rig.control.readCommand(argument);
            EXPECT_EQ(std::pair(code, argument), std::pair(step.code, step.argument)) << step.what;
            ++stepsTaken;
        }
        rig.control.queue(CmdQuit);
    };
    rig.run({}, {CmdLoadFile});
    EXPECT_EQ(stepsTaken, 5);

    // A file being written keeps the settings it started with.
    int queuedWhileWriting = -1;
    rig.engine.onPlay = [&] {
        const int before = q.count();
        for (ShortcutKey key :
             {ShortcutKey::SeekForward, ShortcutKey::TransposeUp, ShortcutKey::Faster})
            rig.control.pressKey(key);
        queuedWhileWriting = q.count() - before;
    };
    rig.control.convertCurrent(OutputKind::WavFile);
    rig.run({}, {CmdQuit});
    EXPECT_EQ(queuedWhileWriting, 0);
}

TEST(FrontControl, ThePlaylistComesBackAtTheNextStart) {
    Rig rig;
    rig.list({"a.mid", "b.mid"});
    const std::string kept = rig.dir.file("session.pli");
    ASSERT_TRUE(rig.control.keepPlaylist(kept).ok());

    FakeEngine engine;
    FrontControl next(engine, Language::English);
    next.setInterfaceFlags(0);
    next.open({"@" + kept});
    next.queue(CmdQuit);
    next.close();
    EXPECT_EQ(next.playlistCount(), 2);
    EXPECT_TRUE(engine.played.empty()) << "a list that comes back waits for Play";

    // A cleared list is kept as empty: the songs do not come back.
    rig.control.clearPlaylist();
    int32_t argument = 0;
    rig.control.readCommand(argument);
    ASSERT_TRUE(rig.control.keepPlaylist(kept).ok());
    FrontControl third(engine, Language::English);
    third.open({"@" + kept});
    third.queue(CmdQuit);
    third.close();
    EXPECT_EQ(third.playlistCount(), 0);
}

TEST(FrontControl, TheWindowChangesSongSettingsWhileAFolderIsRead) {
    Rig rig;
    rig.list({"a.mid"});
    const auto more = rig.songs({"b.mid", "c.mid"});
    int edits = 0;
    rig.engine.onProbe = [&] {
        // The window thread's handlers take the playlist lock; the reading must not hold it.
        std::thread window([&] { rig.control.muteClicked(3, true); });
        window.join();
        ++edits;
    };
    rig.control.openFiles(more);
    int32_t argument = 0;
    rig.control.readCommand(argument);
    EXPECT_EQ(edits, 2);
    EXPECT_EQ(rig.control.playlistCount(), 3);
}

}  // namespace
}  // namespace svt
