// What the front-end is told while a song plays through an engine: every change of a voice's
// status (a reset's among them), the channel notices carrying what the channels hold, and
// where a channel or drum key panned at random goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "support/Signal.h"
#include "support/SongRig.h"

namespace svt::test {
namespace {

// A front-end that keeps every notice and gives the player the commands queued for the
// blocks it reads them at.
class RecordingControl final : public ControlInterface {
  public:
    std::vector<PlayerNotice> notices;
    // Command to hand out at the n-th read (0-based), once.
    std::map<int, std::pair<int, int32_t>> commandAtRead;

    int read(int32_t& argument) override {
        const auto it = commandAtRead.find(reads_++);
        if (it == commandAtRead.end()) return CmdNone;
        argument = it->second.second;
        const int code = it->second.first;
        commandAtRead.erase(it);
        return code;
    }
    void event(const PlayerNotice& n) override { notices.push_back(n); }
    bool traces() const override { return false; }

    std::vector<PlayerNotice> of(int code, size_t from = 0) const {
        std::vector<PlayerNotice> out;
        for (size_t i = from; i < notices.size(); ++i)
            if (notices[i].code == code) out.push_back(notices[i]);
        return out;
    }

  private:
    int reads_ = 0;
};

struct NoticeRig : SongRig {
    RecordingControl control;

    NoticeRig() : SongRig(sineFont(), EngineSettings{}) { engine.setControl(control); }
};

// Every change of a voice's status is told once and in order for each note of a chord, with
// its channel and velocity; a muted channel's voices are never told.
TEST(EngineNotices, EachVoiceOfAChordIsToldStartedHeldReleasedAndFreed) {
    struct Case {
        const char* what;
        uint32_t muteMask;
        bool pedal;
        std::vector<int> statuses;  // of each note, in order
    };
    for (const Case& c :
         {Case{"played and released", 0, false, {kVoiceOn, kVoiceOff, kVoiceFree}},
          Case{"muted from the start: nothing sounds, nothing is told", 1u << 2, false, {}},
          Case{"held by the pedal, then released with it",
               0,
               true,
               {kVoiceOn, kVoiceSustained, kVoiceOff, kVoiceFree}}}) {
        NoticeRig rig;
        rig.engine.player().options().startMuteMask = c.muteMask;
        SmfBuilder song(0, 480);
        auto& t = song.track();
        if (c.pedal) t.controller(0, 2, 64, 127);
        for (int key : {60, 64, 67}) t.noteOn(0, 2, key, 90 + key % 10);
        t.noteOff(240, 2, 60).noteOff(0, 2, 64).noteOff(0, 2, 67);
        if (c.pedal) t.controller(240, 2, 64, 0);
        t.endOfTrack(480);
        rig.play(song);
        std::map<int, std::vector<int>> statuses;  // key -> statuses told, in order
        for (const PlayerNotice& n : rig.control.of(NoticeNote)) {
            EXPECT_EQ(n.args[1], 2) << "channel";
            if (n.args[0] == kVoiceOn) {
                EXPECT_EQ(n.args[3], 90 + n.args[2] % 10) << "velocity";
            }
            statuses[n.args[2]].push_back(n.args[0]);
        }
        EXPECT_EQ(statuses.size(), c.statuses.empty() ? 0u : 3u) << c.what;
        for (int key : {60, 64, 67}) EXPECT_EQ(statuses[key], c.statuses) << c.what << ", " << key;
    }
}

TEST(EngineNotices, AResetMidChordEndsEveryVoiceWithAShortFadeAndTellsIt) {
    for (const std::vector<uint8_t>& reset :
         {std::vector<uint8_t>{0x7E, 0x7F, 0x09, 0x01, 0xF7}, gsDataSet({0x40, 0x00, 0x7F, 0x00}),
          std::vector<uint8_t>{0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}}) {
        NoticeRig rig;
        SmfBuilder song(0, 480);
        auto& t = song.track();
        for (int key : {60, 64, 67}) t.noteOn(0, 2, key, 100);
        t.sysex(250, reset).endOfTrack(480);
        rig.play(song);
        std::map<int, std::vector<int>> statuses;  // key -> statuses told, in order
        for (const PlayerNotice& n : rig.control.of(NoticeNote))
            statuses[n.args[2]].push_back(n.args[0]);
        for (int key : {60, 64, 67})
            EXPECT_EQ(statuses[key], (std::vector<int>{kVoiceOn, kVoiceDying})) << key;

        // The chord fades out over a few frames: no step as large as the chord's level.
        const auto x = rig.side(0);
        size_t last = x.size();
        while (last > 0 && x[last - 1] == 0.0) --last;
        ASSERT_GT(last, 100u);
        const double level = peak(between(x, 0.1, 0.2));
        EXPECT_LT(largestStep(std::span(x).first(last)), 0.2 * level);
        EXPECT_LT(std::abs(x[last - 1]), 0.2 * level);
    }
}

TEST(EngineNotices, ChannelNoticesCarryWhatTheChannelsHold) {
    NoticeRig rig;
    SmfBuilder song(0, 480);
    song.track()
        .controller(0, 0, 7, 100)
        .controller(0, 0, 11, 80)
        .controller(0, 0, 91, 33)
        .program(0, 0, 0)
        .noteOn(0, 0, 69, 100)
        .noteOn(960, 1, 60, 100)   // notes on channel 1 keep the song going after the reload
        .controller(0, 0, 121, 0)  // reset controllers
        .noteOn(480, 1, 62, 100)
        .sysex(0, gsDataSet({0x40, 0x11, 0x15, 0x01}))  // part 1 becomes a drum part
        .noteOn(480, 1, 64, 100)
        .sysex(0, gsDataSet({0x40, 0x00, 0x7F, 0x00}))  // GS reset
        .noteOn(480, 1, 65, 100)
        .noteOff(480, 0, 69)
        .endOfTrack(480);
    // A reload a few blocks in: playing goes on there, and the front-end hears how the
    // channels stand at that point.
    rig.control.commandAtRead[4] = {CmdReload, 0};
    rig.play(song);

    // Per channel, the values told in order: the song's own controller event (channel 0),
    // the reload's notices, the controller reset's (channel 0) and the GS reset's.
    auto told = [&](int code, int channel) {
        std::vector<int> values;
        for (const PlayerNotice& n : rig.control.of(code))
            if (n.args[0] == channel) values.push_back(n.args[1]);
        return values;
    };
    EXPECT_EQ(told(NoticeVolume, 0), (std::vector<int>{100, 100, 90, 90}));
    EXPECT_EQ(told(NoticeExpression, 0), (std::vector<int>{80, 80, 127, 127}));
    EXPECT_EQ(told(NoticeReverbLevel, 0), (std::vector<int>{33, 33, 40, 40}));
    EXPECT_EQ(told(NoticeVolume, 5), (std::vector<int>{90, 90})) << "the reload and the GS reset";
    EXPECT_EQ(told(NoticeTemperType, 5).size(), 3u) << "song start, reload and GS reset";
    // The drum part change names what the channel now plays.
    bool drumPart = false, programAfter = false;
    for (const PlayerNotice& n : rig.control.notices) {
        if (n.code == NoticeDrumPart && n.args[0] == 0 && n.args[1] == 1) drumPart = true;
        if (drumPart && n.code == NoticeProgram && n.args[0] == 0) programAfter = true;
    }
    EXPECT_TRUE(drumPart);
    EXPECT_TRUE(programAfter) << "a drum part change is followed by NoticeProgram";
}

TEST(EngineNotices, TemperamentKeyChangesAreTold) {
    NoticeRig rig;
    SmfBuilder song(0, 480);
    song.track()
        .sysex(0, {0x7E, 0x7F, 0x08, 0x0A, 0x02, 0x00, 0xF7})  // D major
        .noteOn(0, 0, 60, 100)
        .sysex(480, {0x7E, 0x7F, 0x08, 0x0A, 0x00, 0x01, 0xF7})  // A minor
        .noteOff(480, 0, 60)
        .endOfTrack();
    rig.play(song);
    std::vector<int32_t> keys;
    for (const PlayerNotice& n : rig.control.of(NoticeTemperKeySignature))
        keys.push_back(n.args[0]);
    EXPECT_EQ(keys, (std::vector<int32_t>{0, 2, 16})) << "the song's start, then each message";
}

TEST(EngineNotices, ARandomPanIsToldWithEveryPlaceTheChannelGoesTo) {
    NoticeRig rig;
    SmfBuilder song(0, 480);
    auto& t = song.track();
    t.sysex(0, gsDataSet({0x40, 0x00, 0x7F, 0x00}))
        .sysex(0, gsDataSet({0x40, 0x15, 0x1C, 0x00}))  // part 5 (channel 4): random pan
        .noteOn(10, 4, 60, 100)
        .noteOn(240, 4, 62, 100)
        .noteOn(240, 4, 64, 100)
        .controller(240, 4, 10, 20)  // a pan of its own ends the wandering
        .noteOn(240, 4, 65, 100)
        .endOfTrack(480);
    rig.play(song);
    std::vector<int> told;
    for (const PlayerNotice& n : rig.control.of(NoticePanning))
        if (n.args[0] == 4) told.push_back(n.args[1]);
    // The message, each of the three notes, the controller.
    ASSERT_EQ(told.size(), 5u);
    EXPECT_EQ(told.back(), 20);
    std::vector<int> places(told.begin() + 1, told.end() - 1);
    std::sort(places.begin(), places.end());
    EXPECT_GT(std::unique(places.begin(), places.end()) - places.begin(), 1)
        << "the notes go to different places";
}

TEST(EngineNotices, ADrumKeysPanMovesItsSoundingVoices) {
    SongRig rig(sineFont(), EngineSettings{});
    auto keyPan = [](SmfTrack& t, uint32_t delta, int key, int value) {
        t.controller(delta, 9, 99, 0x1C).controller(0, 9, 98, key).controller(0, 9, 6, value);
    };
    SmfBuilder song(0, 480);
    auto& t = song.track();
    t.noteOn(0, 9, 40, 100).noteOn(0, 9, 42, 100);
    keyPan(t, 480, 40, 1);    // hard left, while it sounds
    keyPan(t, 480, 40, 127);  // hard right
    keyPan(t, 480, 40, 0);    // somewhere at random
    t.noteOff(480, 9, 40).noteOff(0, 9, 42).endOfTrack(0);
    rig.play(song);
    const auto left = rig.side(0), right = rig.side(1);
    // Key 42 stays in the middle; key 40 moves across.
    auto balance = [&](double from) {
        return rms(between(right, from + 0.1, from + 0.4)) -
               rms(between(left, from + 0.1, from + 0.4));
    };
    const double middle = balance(0.0);
    EXPECT_NEAR(middle, 0.0, 0.1 * rms(between(left, 0.1, 0.4)));
    EXPECT_LT(balance(0.5), middle - 0.2 * rms(between(left, 0.1, 0.4)));
    EXPECT_GT(balance(1.0), middle + 0.2 * rms(between(left, 0.1, 0.4)));
    EXPECT_NE(balance(1.5), balance(1.0));
}

}  // namespace
}  // namespace svt::test
