#include "song/EventList.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace svt {
namespace {

SongEvent ev(int32_t time, uint8_t type, uint8_t channel = 0, uint8_t a = 0, uint8_t b = 0) {
    return SongEvent{time, type, channel, a, b};
}

TEST(EventList, LeadingSilenceIsCutAtTheFirstNote) {
    EventList list;
    list.add(ev(0, EV_PROGRAM, 0, 5));
    list.add(ev(960, EV_VOLUME, 0, 100));
    list.add(ev(1920, EV_NOTE_ON, 0, 60, 100));
    list.add(ev(2400, EV_NOTE_OFF, 0, 60));
    list.addBeatMarks(480);
    auto song = list.convert(480, {});
    ASSERT_TRUE(song.ok());
    const std::vector<SongEvent>& e = song->events;
    ASSERT_GE(e.size(), 4u);
    EXPECT_EQ(e[0], ev(0, EV_PROGRAM, 0, 5));
    EXPECT_EQ(e[1], ev(0, EV_VOLUME, 0, 100));
    // Beat marks before the note are gone; the one at the note's tick follows it.
    EXPECT_EQ(e[2], ev(0, EV_NOTE_ON, 0, 60, 100));
    EXPECT_EQ(e[3].type, EV_BEAT_MARK);
    EXPECT_EQ(e[3].time, 0);
    EXPECT_EQ(song->totalSamples, 22050);
}

TEST(EventList, BeatMarksFollowTheMeter) {
    struct Case {
        std::vector<SongEvent> meters;
        int32_t end;
        std::vector<std::tuple<int32_t, int, int>> marks;  // tick, measure, beat (from 1)
    };
    const Case cases[] = {
        {{}, 1920, {{0, 0, 1}, {480, 0, 2}, {960, 0, 3}, {1440, 0, 4}}},
        // 3/8: a beat every division * 4 / 8 = 240 ticks, three beats a measure.
        {{ev(0, EV_TIME_SIGNATURE, 0, 3, 8)},
         960,
         {{0, 0, 1}, {240, 0, 2}, {480, 0, 3}, {720, 1, 1}}},
        // A change in the middle of a measure closes it.
        {{ev(720, EV_TIME_SIGNATURE, 0, 2, 4)}, 1440, {{0, 0, 1}, {480, 0, 2}, {960, 1, 1}}},
    };
    for (const Case& c : cases) {
        EventList list;
        for (const SongEvent& m : c.meters) list.add(m);
        list.add(ev(0, EV_NOTE_ON, 0, 60, 1));
        list.add(ev(c.end, EV_NOTE_OFF, 0, 60));
        list.addBeatMarks(480);
        std::vector<std::tuple<int32_t, int, int>> marks;
        for (const SongEvent& e : list.events())
            if (e.type == EV_BEAT_MARK)
                marks.emplace_back(e.time, e.a | ((e.b & 0x0F) << 8), e.b >> 4);
        EXPECT_EQ(marks, c.marks);
    }
    // An endless silence gets no more marks than a song may hold.
    EventList endless;
    endless.add(ev(0, EV_NOTE_ON, 0, 60, 1));
    endless.add(ev(1 << 28, EV_NOTE_OFF, 0, 60));
    endless.addBeatMarks(480);
    EXPECT_EQ(endless.count(), 3 + kMaxBeatMarks);
    EXPECT_FALSE(endless.overflow());
}

TEST(EventList, EmptySongsTextsAndExcludedChannels) {
    EventList empty;
    auto nothing = empty.convert(480, {});
    ASSERT_TRUE(nothing.ok());
    ASSERT_EQ(nothing->events.size(), 1u);
    EXPECT_EQ(nothing->events[0], ev(0, EV_END_OF_SONG));

    EventList list;
    SongEvent lyric = list.makeTextEvent(EV_LYRIC, "la");
    lyric.time = 10;
    list.add(ev(0, EV_NOTE_ON, 0, 60, 1));
    list.add(lyric);
    list.add(ev(20, EV_LYRIC));                 // index 0: dropped
    list.add(ev(30, EV_NOTE_ON, 3, 60, 1));     // excluded channel 4
    list.add(ev(40, EV_NOTE_ON, 0x14, 61, 1));  // second port, folds onto free channel 5
    ConversionSettings settings;
    settings.excludedChannels = 1u << 3;
    auto song = list.convert(480, settings);
    ASSERT_TRUE(song.ok());
    std::vector<uint8_t> types;
    for (const SongEvent& e : song->events) types.push_back(e.type);
    EXPECT_EQ(types, (std::vector<uint8_t>{EV_NOTE_ON, EV_LYRIC, EV_NOTE_ON, EV_END_OF_SONG}));
    EXPECT_EQ(song->events[2].channel, 4);
    ASSERT_EQ(song->strings.size(), 2u);
    EXPECT_EQ(song->strings[0], "");
    EXPECT_EQ(song->strings[1], std::string(1, static_cast<char>(EV_LYRIC)) + "la");
    EXPECT_EQ(stringIndexOf(song->events[1]), 1);

    EventList bad;
    bad.add(ev(0, EV_NOTE_ON, 0, 60, 1));
    EXPECT_FALSE(bad.convert(0, {}).ok()) << "division 0";
    // The longest tick time at the slowest tempo overflows the sample clock.
    EventList longSong;
    longSong.add(ev(0, EV_TEMPO, 0xFF, 0xFF, 0xFF));
    longSong.add(ev(0, EV_NOTE_ON, 0, 60, 1));
    longSong.add(ev(0x7FFFFFFF, EV_NOTE_OFF, 0, 60));
    EXPECT_FALSE(longSong.convert(1, {}).ok());
}

}  // namespace
}  // namespace svt
