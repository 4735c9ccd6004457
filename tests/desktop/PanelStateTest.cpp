#include "desktop/PanelState.h"

#include <gtest/gtest.h>

#include "desktop/FakeFrontEngine.h"
#include "desktop/FrontCommands.h"
#include "desktop/WindowTexts.h"

namespace svt {
namespace {

using test::notice;

Playlist::Entry songIn(int originalKey, int minor, int transposition) {
    Playlist::Entry e;
    e.path = "/music/song.mid";
    e.settings.originalKey = originalKey;
    e.settings.minor = minor;
    e.settings.transposition = transposition;
    e.settings.originalTempo = 100;
    e.settings.newTempo = 150;
    e.settings.meterNumerator = 3;
    e.settings.meterDenominator = 4;
    for (auto& p : e.settings.program) p = -1;
    return e;
}

TEST(PanelKeys, KeyBoxAndTransposeFollowEachOther) {
    struct Case {
        const char* what;
        int originalKey, shift, expectedItem;
    };
    // The key box follows the transpose bar round the circle of fifths.
    const Case follow[] = {
        {"D major up 3 is F major", 9, 3, 6},
        {"an octave is no change", 7, 12, 7},
        {"shifts beyond an octave wrap", 7, 13, 14},
        {"C major down one is B major", 7, -1, 12},
        {"C-sharp major up one wraps below 15", 14, 1, 9},
    };
    for (const Case& c : follow)
        EXPECT_EQ(keyItemFollowingTranspose(c.shift, c.originalKey), c.expectedItem) << c.what;
    EXPECT_EQ(keyItemFollowingTranspose(3, -1), -1) << "an unknown key leaves the box alone";

    struct Choice {
        const char* what;
        int item, originalKey, shift;
    };
    const Choice choose[] = {
        {"D major for C major reduces 14 to 2", 9, 7, 2},
        {"B-flat major for E major reduces -42 to -6", 5, 11, -6},
        {"F major for C major is a fifth down", 6, 7, -7},
        {"the unknown item", 15, 7, 0},
        {"seven flats takes one semitone more", 1, 0, 6},
    };
    for (const Choice& c : choose)
        EXPECT_EQ(shiftForKeyItem(c.item, c.originalKey), c.shift) << c.what;

    // The inverse finds the item whose shift matches modulo 12.
    for (int key = 0; key < 15; ++key)
        for (int shift = -11; shift <= 11; ++shift) {
            const int item = keyItemForShift(shift, key);
            ASSERT_LT(item, 15) << "key " << key << " shift " << shift;
            EXPECT_EQ(((shiftForKeyItem(item, key) - shift) % 12 + 12) % 12, 0)
                << "key " << key << " shift " << shift;
        }
    EXPECT_EQ(keyItemForShift(2, -1), 15);
}

TEST(PanelNotices, TimeFieldShowsPositionAndLength) {
    struct Case {
        const char* what;
        int64_t lengthSeconds;
        int positionSeconds;
        const char* expected;
        Language language = Language::English;
    };
    const Case cases[] = {
        {"at start of 1 h 40 min; \"von\" in English too", 6000, 0, " 00:00:00 von 01:40:00"},
        {"longer than 99 hours shows 99", 200 * 3600 + 61, 150 * 3600, " 99:00:00 von 99:01:01"},
        {"German, 1 h 2 min 5 s in", 6000, 3725, " 01:02:05 von 01:40:00", Language::German},
    };
    for (const Case& c : cases) {
        Panel panel(c.language);
        PanelContext context;
        context.outputRateHz = 1000;  // keeps hours beyond 99 within the notice's 32 bits
        panel.notify(notice(NoticeNowLoading), context);
        EXPECT_EQ(panel.view().time, "00:00:00") << c.what;
        panel.notify(notice(NoticePlayStart, static_cast<int32_t>(c.lengthSeconds * 1000)),
                     context);
        if (c.positionSeconds > 0)
            panel.notify(notice(NoticeCurrentTime, c.positionSeconds), context);
        EXPECT_EQ(panel.view().time, c.expected) << c.what;
        EXPECT_EQ(panel.view().positionMax, c.lengthSeconds) << c.what;
        EXPECT_EQ(panel.view().position, c.positionSeconds) << c.what;
        panel.notify(notice(NoticeCurrentTime, -1), context);
        EXPECT_FALSE(panel.view().positionEnabled) << c.what << ": an unknown position";
    }
}

TEST(PanelNotices, MeasureTempoAndALiveTransposition) {
    Panel panel(Language::German);
    Playlist::Entry entry = songIn(7, 0, 2);  // C major, stored two semitones up
    PanelContext context;
    context.current = &entry;
    panel.notify(notice(NoticeNowLoading), context);
    panel.notify(notice(NoticeMetronome, 5, 3), context);
    EXPECT_EQ(panel.view().measure, " 0005:03");
    panel.notify(notice(NoticeMetronome, -98, 4), context);
    EXPECT_EQ(panel.view().measure, " 0005:04") << "-98 keeps the measure";

    panel.notify(notice(NoticeTempo, 500000), context);
    panel.notify(notice(NoticeTimeRatio, 150), context);
    EXPECT_EQ(panel.view().newTempo, "180 bpm (150%)");
    EXPECT_EQ(panel.view().originalTempo, "100 bpm");
    panel.notify(notice(NoticeTimeRatio, -98), context);
    panel.notify(notice(NoticeTempo, 1000000), context);
    EXPECT_EQ(panel.view().newTempo, " 90 bpm (150%)");
    panel.notify(notice(NoticeTimeRatio, 50), context);
    EXPECT_EQ(panel.view().newTempo, " 30 bpm (050%)");

    // A live transposition shows while the song plays only.
    panel.notify(notice(NoticeSongSettings), context);
    EXPECT_EQ(panel.view().semitones, "2");
    panel.notify(notice(NoticeKeyOffset, 5), context);
    EXPECT_EQ(panel.view().semitones, "2") << "between songs the stored setting stands";

    panel.notify(notice(NoticePlayStart, 44100 * 60), context);
    panel.view().changed = 0;
    panel.notify(notice(NoticeKeyOffset, 3), context);  // + pressed once
    EXPECT_EQ(panel.view().semitones, "3");
    EXPECT_EQ(panel.view().transposeBar, 27);
    EXPECT_EQ(panel.view().keyItem, 4) << "C major up three is E-flat major";
    EXPECT_NE(panel.view().changed & FieldSettings, 0u);

    panel.notify(notice(NoticePlayEnd, CmdStop), context);
    EXPECT_EQ(panel.view().semitones, "2") << "the song's own setting comes back";
    EXPECT_EQ(panel.view().transposeBar, 26);
    EXPECT_EQ(panel.view().keyItem, 9);
}

TEST(PanelNotices, LevelMetersAddAndSubtractVelocities) {
    Panel panel(Language::English);
    PanelContext context;
    struct Step {
        int status, channel, velocity, expectedMeter;
    };
    const Step steps[] = {
        {2, 3, 100, 39},   // 100 x 100/127 / 2
        {2, 3, 127, 89},   // 227
        {1, 3, 100, 50},   // ended
        {8, 3, 127, 0},    // released
        {16, 3, 50, 0},    // freed: never below 0
        {2, 3, 10, 3},     // counts from 0 again
        {4, 3, 100, 3},    // other statuses change nothing
        {2, 16, 100, -1},  // a channel out of range is ignored
    };
    for (const Step& s : steps) {
        panel.notify(notice(NoticeNote, s.status, s.channel, 60, s.velocity), context);
        if (s.expectedMeter >= 0) {
            EXPECT_EQ(panel.view().meters[3], s.expectedMeter);
        }
    }
    EXPECT_EQ(panel.state().levels[3], 10);
    panel.notify(notice(NoticePlayEnd, CmdTuneEnd), context);
    EXPECT_EQ(panel.view().meters[3], 0);
    EXPECT_EQ(panel.state().levels[3], 0);
    EXPECT_TRUE(panel.view().songControlsEnabled);
    EXPECT_FALSE(panel.view().playing);
}

TEST(PanelNotices, SongSettingsAndTrackNamesFillTheControls) {
    Panel panel(Language::German);
    Playlist::Entry entry = songIn(9, 0, 3);  // D major, three up
    entry.settings.program[2] = 40;
    entry.settings.mute[5] = 1;
    PanelContext context;
    context.current = &entry;
    panel.notify(notice(NoticePlayStart, 44100), context);
    EXPECT_FALSE(panel.view().songControlsEnabled);
    EXPECT_TRUE(panel.view().playing);
    panel.notify(notice(NoticeSongSettings), context);
    const PanelView& v = panel.view();
    EXPECT_EQ(v.keyItem, 6);
    EXPECT_EQ(v.originalKey, "D-dur (2#)");
    EXPECT_EQ(v.transposeBar, 27);
    EXPECT_EQ(v.semitones, "3");
    EXPECT_EQ(v.meter, "3/4");
    EXPECT_EQ(v.newTempo, "150 bpm (150%)");
    EXPECT_EQ(v.originalTempo, "100 bpm");
    EXPECT_EQ(v.tempoBar, 150);
    EXPECT_EQ(v.instrument[2], 40);
    EXPECT_TRUE(v.mute[5]);
    EXPECT_TRUE(v.songControlsEnabled);

    Playlist::Entry minor = songIn(-1, -1, 0);
    minor.settings.meterNumerator = -1;
    context.current = &minor;
    panel.notify(notice(NoticeSongSettings), context);
    EXPECT_EQ(panel.view().keyItem, 15);
    EXPECT_EQ(panel.view().originalKey, "") << "no dashes for an unknown key";
    EXPECT_EQ(panel.view().meter, "");

    // Track names are emptied at the start of loading and filled when it is done.
    std::array<std::string, 16> names{};
    names[0] = "Spur 1 Klavier";
    panel.notify(notice(NoticeNowLoading), context);
    context.trackNames = &names;
    panel.notify(notice(NoticeLoadingDone), context);
    EXPECT_EQ(panel.view().trackNames[0], "Spur 1 Klavier");
    context.trackNames = nullptr;
    panel.notify(notice(NoticeNowLoading), context);
    EXPECT_EQ(panel.view().trackNames[0], "");
}

TEST(PanelMailbox, WindowIsToldOnceOfTextsAndPollsForMeters) {
    PanelMailbox box;
    PanelView view;
    PanelView out;
    view.changed = FieldMeters;
    view.meters[0] = 40;
    EXPECT_FALSE(box.publish(view)) << "meters alone are left to the window's timer";
    view.changed = FieldTime;
    view.time = " 00:00:01 von 00:01:00";
    EXPECT_TRUE(box.publish(view));
    view.changed = FieldMeasure;
    EXPECT_FALSE(box.publish(view)) << "told once until the window takes";
    ASSERT_TRUE(box.take(out));
    EXPECT_EQ(out.changed, FieldMeters | FieldTime | FieldMeasure);
    EXPECT_EQ(out.time, " 00:00:01 von 00:01:00");
    EXPECT_EQ(out.meters[0], 40);
    EXPECT_FALSE(box.take(out));
    view.changed = FieldTitle;
    EXPECT_TRUE(box.publish(view));
}

}  // namespace
}  // namespace svt
