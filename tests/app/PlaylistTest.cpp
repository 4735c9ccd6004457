#include "app/Playlist.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/TempDir.h"

namespace svt {
namespace {

using test::TempDir;

// Files whose contents begin with "MThd" are songs of ten seconds; anything else is not.
std::optional<SongProbeResult> fakeProbe(const std::string& path) {
    const std::vector<uint8_t> bytes = test::readFileBytes(path);
    SongProbeResult r;
    r.isSong = bytes.size() >= 4 && std::string(bytes.begin(), bytes.begin() + 4) == "MThd";
    r.title = std::filesystem::path(path).stem().string();
    r.settings.playingTimeSeconds = 10;
    return r;
}

// The path as a folder listing spells it: with the system's own separators.
std::string song(const TempDir& dir, const std::string& name) {
    return std::filesystem::path(dir.write(name, std::string("MThd"))).make_preferred().string();
}

std::vector<std::string> pathsOf(const Playlist& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count(); ++i) out.push_back(list.entry(i).path);
    return out;
}

TEST(Playlist, PlaylistFilesExpandLinesAsNamesInOrder) {
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "folder/sub");
    const std::string f1 = song(dir, "folder/1.mid");
    const std::string f2 = song(dir, "folder/sub/2.mid");
    const std::string inner = song(dir, "inner.mid");
    const std::string top = song(dir, "top.mid");
    const std::string nested = dir.write("nested.pli", inner + "\r\n");
    // An empty line, a folder line and a line naming another list.
    const std::string list =
        dir.write("list.pli", top + "\r\n\r\n" + dir.file("folder") + "\r\n" + nested + "\n");

    Playlist playlist(fakeProbe, 1);
    EXPECT_EQ(playlist.addNames({"@" + list}, true), 4);
    EXPECT_EQ(pathsOf(playlist), (std::vector<std::string>{top, f1, f2, inner}));

    // Names that do not say where they are lie beside their list, wherever the program runs;
    // the list may begin with a byte-order mark and end its lines with CR alone.
    const std::string beside = dir.write("folder/beside.pli",
                                         "\xEF\xBB\xBF"
                                         "1.mid\rsub/2.mid\r");
    EXPECT_EQ(expandPlaylistNames({beside}), (std::vector<std::string>{f1, f2}));
}

// A list met again while it is being read (itself, or round a cycle, however it is spelt) is
// passed over with a warning naming it, so its songs come once; lists nested too deep are not
// read, and the warning names the list where that happened; so does one for a line too long.
TEST(Playlist, CyclesAndDeepNestingArePassedOverWithAWarning) {
    TempDir dir;
    const std::string top = song(dir, "top.mid");
    const std::string other = song(dir, "other.mid");
    dir.write("self.pli", dir.file("self.pli") + "\n" + top + "\n");
    dir.write("a.pli", top + "\n./b.pli\n");
    dir.write("b.pli", other + "\n" + dir.file("a.pli") + "\n");
    // chain0.pli names chain1.pli, ... one more than the nesting allows.
    for (int i = 0; i <= kMaxPlaylistNesting; ++i)
        dir.write("chain" + std::to_string(i) + ".pli",
                  top + "\n" + dir.file("chain" + std::to_string(i + 1) + ".pli") + "\n");
    dir.write("long.pli", top + "\n\n" + std::string(kMaxPlaylistLine + 1, 'x') + "\r\n");
    const std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir.path());
    struct Case {
        std::string name;
        size_t songs;
        std::string warning;
    };
    const Case cases[] = {
        {"self.pli", 1, "self.pli: names itself; passed over"},
        {"@a.pli", 2, "./b.pli: names " + dir.file("a.pli") + ", which is already being read"},
        {"chain0.pli", static_cast<size_t>(kMaxPlaylistNesting),
         "chain15.pli: lists nest more than 16 deep here; " + dir.file("chain16.pli") +
             " is not read"},
        {"missing.pli", 0, "missing.pli\": file not found"},
        {"long.pli", 1, "long.pli: line 3 is longer than any name can be"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const NameExpansion found = expandNames({c.name});
        EXPECT_EQ(found.names.size(), c.songs);
        ASSERT_EQ(found.warnings.size(), 1u);
        EXPECT_NE(found.warnings[0].find(c.warning), std::string::npos) << found.warnings[0];
    }
    std::filesystem::current_path(cwd);
}

TEST(Playlist, SavedListIsOnePathPerLineWithCrLfAndReadsBack) {
    TempDir dir;
    const std::vector<std::string> songs = {song(dir, "a.mid"), song(dir, "b.mid"),
                                            song(dir, "c.mid")};
    Playlist list(fakeProbe, 1);
    list.addNames(songs, false);
    const std::string out = dir.file("saved.pli");
    ASSERT_TRUE(list.save(out, Language::English).ok());
    const std::vector<uint8_t> bytes = test::readFileBytes(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              songs[0] + "\r\n" + songs[1] + "\r\n" + songs[2] + "\r\n");

    Playlist again(fakeProbe, 1);
    EXPECT_EQ(again.addNames({out}, true), 3);
    EXPECT_EQ(pathsOf(again), songs);

    // Saved again over itself: replaced whole, nothing left beside it.
    list.addNames({song(dir, "d.mid")}, false);
    ASSERT_TRUE(list.save(out, Language::English).ok());
    Playlist longer(fakeProbe, 1);
    EXPECT_EQ(longer.addNames({out}, true), 4);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        files += entry.path().extension() != ".mid";
    EXPECT_EQ(files, 1u) << "only the list itself, no temporary file";

    const Status failed = list.save(dir.file("no/such/folder/x.pli"), Language::German);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().message.rfind("Datei nicht vorhanden (", 0), 0u);
    EXPECT_NE(failed.error().message.find("x.pli"), std::string::npos);
}

TEST(Playlist, RemovingKeepsTheCurrentIndexOnTheSameSong) {
    TempDir dir;
    const std::string a = song(dir, "a.mid"), b = song(dir, "b.mid"), c = song(dir, "c.mid");
    Playlist list(fakeProbe, 1);
    list.addNames({a, b, c}, false);
    EXPECT_EQ(list.addNames({b}, false), 0) << "a listed path is one entry";
    list.select(2, false);
    list.remove(0);
    EXPECT_EQ(list.current()->path, c);
    list.remove(1);  // the last one, which was current
    EXPECT_EQ(list.currentIndex(), 0);
    EXPECT_EQ(list.totalSeconds(), 10);
    EXPECT_TRUE(samePlaylistPath("C:\\Music\\a.mid", "c:\\music\\A.MID\\"));
    EXPECT_FALSE(samePlaylistPath("a.mid", "a.midi"));

    // Duplicates cannot come in through add, but entries can be renamed to match.
    list.clear();
    list.addNames({a, b, c}, false);
    list.entry(2).path = a;
    list.entry(1).isSong = false;
    list.select(2, false);
    EXPECT_TRUE(list.removeDuplicates());
    EXPECT_EQ(pathsOf(list), (std::vector<std::string>{a, b}));
    list.select(0, false);
    EXPECT_FALSE(list.removeInvalid());
    EXPECT_EQ(pathsOf(list), std::vector<std::string>{a});
    list.clear();
    EXPECT_EQ(list.current(), nullptr);
}

SongEvent ev(uint8_t type, uint8_t channel, uint8_t a, uint8_t b = 0) {
    return SongEvent{0, type, channel, a, b};
}

TEST(SongSettings, FirstEventsOfEachKindSetTheFields) {
    struct Case {
        const char* what;
        int key, minor, tempo, num, den;
        std::vector<SongEvent> events;
    };
    // Tempo 500000 us per quarter = 120 bpm (a song without tempo events plays at it);
    // 0x07A120 = 500000, 0x061A80 = 400000.
    const SongEvent tempo400k{0, EV_TEMPO, 0x80, 0x06, 0x1A};
    const SongEvent tempo500k{0, EV_TEMPO, 0x20, 0x07, 0xA1};
    const auto key = [](int sharps, int minor) { return ev(EV_KEY_SIGNATURE, 0, sharps, minor); };
    const auto meter = [](int ch, int num, int den) { return ev(EV_TIME_SIGNATURE, ch, num, den); };
    const Case cases[] = {
        {"three flats minor", 4, 1, 120, -1, -1, {key(0xFD, 1)}},
        {"nothing: the tempo every song starts with", -1, -1, 120, -1, -1, {}},
        {"out-of-range key skipped", 9, 0, 120, -1, -1, {key(9, 0), key(2, 0), key(5, 1)}},
        {"first tempo only", -1, -1, 150, -1, -1, {tempo400k, tempo500k}},
        {"channel 0's meter", -1, -1, 120, 6, 8, {meter(1, 24, 8), meter(0, 6, 8), meter(0, 3, 4)}},
        {"nothing after the end", -1, -1, 120, -1, -1, {ev(EV_END_OF_SONG, 0, 0), key(1, 0)}},
    };
    for (const Case& c : cases) {
        const SongSettings s = makeSongSettings(c.events, 44100 * 95 + 1, 44100);
        EXPECT_EQ(s.originalKey, c.key) << c.what;
        EXPECT_EQ(s.minor, c.minor) << c.what;
        EXPECT_EQ(s.originalTempo, c.tempo) << c.what;
        EXPECT_EQ(s.newTempo, c.tempo) << c.what;
        EXPECT_EQ(s.meterNumerator, c.num) << c.what;
        EXPECT_EQ(s.meterDenominator, c.den) << c.what;
        EXPECT_EQ(s.playingTimeSeconds, 95) << c.what;
    }
    const SongSettings p =
        makeSongSettings(std::vector<SongEvent>{ev(EV_PROGRAM, 0, 0), ev(EV_PROGRAM, 1, 41),
                                                ev(EV_PROGRAM, 1, 5), ev(EV_PROGRAM, 16, 9)},
                         0, 44100);
    EXPECT_EQ(p.program[0], -1) << "a first program of 0 is no choice";
    EXPECT_EQ(p.program[1], 40);
    EXPECT_EQ(p.program[2], -1);
}

TEST(SongSettings, ApplyingMutesChannelEventsAndSetsProgramChoices) {
    std::vector<SongEvent> events = {
        ev(EV_SYSTEM_RESET, 0, SYSTEM_GS_RESET),
        ev(EV_PROGRAM, 0, 10),
        ev(EV_NOTE_ON, 0, 60, 100),
        SongEvent{0, EV_TEMPO, 0, 0x07, 0xA1},
        ev(EV_PROGRAM, 1, 3),
        ev(EV_NOTE_ON, 1, 62, 100),
        ev(EV_END_OF_SONG, 0, 0),
        ev(EV_NOTE_ON, 0, 64, 100),
    };
    SongSettings s = makeSongSettings(events, 0, 44100);
    s.mute[0] = 1;
    s.program[1] = 29;
    applySongSettings(s, events);
    EXPECT_EQ(events[0].type, EV_SYSTEM_RESET) << "song-wide events are not the channel's";
    EXPECT_EQ(events[1].type, EV_NONE);
    EXPECT_EQ(events[2].type, EV_NONE);
    EXPECT_EQ(events[3].type, EV_TEMPO);
    EXPECT_EQ(events[4].a, 30);
    EXPECT_EQ(events[5].type, EV_NOTE_ON);
    EXPECT_EQ(events[7].type, EV_NOTE_ON) << "nothing after the end is touched";

    // A box left at (or set back to) the song's own program leaves every later change alone.
    struct Choice {
        const char* what;
        int item;
        std::vector<int> programs;  // of channel 2's program changes after applying
    };
    const Choice choices[] = {
        {"the song's own (untouched or set back)", 40, {41, 5}},
        {"another instrument", 18, {19, 19}},
        {"no choice", -1, {41, 5}},
    };
    for (const Choice& c : choices) {
        std::vector<SongEvent> song = {ev(EV_PROGRAM, 2, 41), ev(EV_NOTE_ON, 2, 60, 100),
                                       ev(EV_PROGRAM, 2, 5), ev(EV_END_OF_SONG, 0, 0)};
        SongSettings chosen = makeSongSettings(song, 0, 44100);
        chosen.program[2] = c.item;
        applySongSettings(chosen, song);
        EXPECT_EQ((std::vector<int>{song[0].a, song[2].a}), c.programs) << c.what;
    }

    s.originalTempo = 120;
    s.newTempo = 150;
    EXPECT_DOUBLE_EQ(timeRatioOf(s), 0.8);
    s.originalTempo = -1;
    EXPECT_DOUBLE_EQ(timeRatioOf(s), 1.0);
}

}  // namespace
}  // namespace svt
