// What the front-end is told while a song plays through an engine: the channel notices carrying
// what the channels hold (a reset ending the voices among them), and where a channel or drum
// key panned at random goes.
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
    // The GS reset ends each voice still sounding on channel 1 with a short fade, and says so.
    for (int key : {60, 62, 64}) {
        std::vector<int> statuses;
        for (const PlayerNotice& n : rig.control.of(NoticeNote))
            if (n.args[1] == 1 && n.args[2] == key) statuses.push_back(n.args[0]);
        EXPECT_EQ(statuses, (std::vector<int>{kVoiceOn, kVoiceDying})) << key;
    }
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
