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
