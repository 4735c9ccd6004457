// The synthesizer behind the playback loop: a song's notes sound where their events lie,
// the song ends once its last note has died away, and a jump into the song sounds only the
// notes struck after it.

#include <gtest/gtest.h>

#include "player/Player.h"
#include "song/SongInput.h"
#include "support/OfflineSink.h"
#include "support/SynthRig.h"

namespace svt {
namespace {

using test::SynthRig;

using RecordingSink = test::StereoRecorder;

struct LoopRig {
    SynthRig synth;
    SongInput input{synth.settings};
    QuietControl control;
    RecordingSink sink;
    Player player{input, &synth.banks, *synth.synth, control};
    LoopRig() { player.setSink(&sink); }
    std::vector<double> left(int fromFrame, int frames) const {
        std::vector<double> x;
        for (int i = fromFrame; i < fromFrame + frames && size_t(2 * i) < sink.samples.size(); ++i)
            x.push_back(sink.samples[size_t(2 * i)]);
        return x;
    }
};

constexpr int kSecond = 44100;

TEST(SynthesizerInTheLoop, NotesSoundWhereTheyLieAndTheSongEnds) {
    LoopRig rig;
    const std::vector<SongEvent> song = {
        {0, EV_PROGRAM, 0, 0, 0},
        {kSecond / 2, EV_NOTE_ON, 0, 69, 100},
        {kSecond, EV_NOTE_OFF, 0, 69, 0},
        {kSecond + 10, EV_VOLUME, 0, 100, 0},
        {3 * kSecond, EV_END_OF_SONG, 0, 0, 0},
    };
    EXPECT_EQ(rig.player.playEvents(song, 3 * kSecond), CmdTuneEnd);
    EXPECT_EQ(test::peak(rig.left(0, kSecond / 2)), 0.0);
    const auto note = rig.left(kSecond / 2, kSecond / 2);
    EXPECT_GT(test::rms(note), 1e6);
    EXPECT_NEAR(test::pitchByZeroCrossings(note, kSecond), 440.0, 1.0);
    // The release (0.2 s) is over long before the end; nothing sounds after it.
    EXPECT_EQ(test::peak(rig.left(kSecond + kSecond / 2, kSecond / 2)), 0.0);
    EXPECT_EQ(rig.synth.synth->voicesInUse(), 0);
}

// A front-end that asks for one jump as soon as the loop first looks.
class JumpOnce final : public ControlInterface {
  public:
    explicit JumpOnce(int32_t to) : to_(to) {}
    int read(int32_t& argument) override {
        if (done_) return CmdNone;
        done_ = true;
        argument = to_;
        return CmdJump;
    }
    void event(const PlayerNotice&) override {}
    bool traces() const override { return false; }

  private:
    int32_t to_;
    bool done_ = false;
};

TEST(SynthesizerInTheLoop, AJumpSoundsOnlyLaterNotesWithTheStateReached) {
    SynthRig synth;
    SongInput input{synth.settings};
    JumpOnce control(3 * kSecond / 2);
    RecordingSink sink;
    Player player{input, &synth.banks, *synth.synth, control};
    player.setSink(&sink);
    const std::vector<SongEvent> song = {
        {0, EV_NOTE_ON, 0, 60, 100},
        {0, EV_PAN, 0, 127, 0},
        {kSecond, EV_NOTE_ON, 0, 69, 100},
        {2 * kSecond, EV_NOTE_ON, 0, 72, 100},
        {3 * kSecond, EV_ALL_NOTES_OFF, 0, 0, 0},
        {4 * kSecond, EV_END_OF_SONG, 0, 0, 0},
    };
    EXPECT_EQ(player.playEvents(song, 4 * kSecond), CmdTuneEnd);
    // The recording starts at the jump, 1.5 s into the song.
    auto side = [&](int which, int from, int frames) {
        std::vector<double> x;
        for (int i = from; i < from + frames; ++i) x.push_back(sink.samples[size_t(2 * i + which)]);
        return x;
    };
    ASSERT_GT(sink.samples.size(), size_t(2 * 2 * kSecond));
    EXPECT_EQ(test::peak(side(1, 0, kSecond / 2)), 0.0)
        << "notes struck before the jump stay silent";
    const auto right = side(1, kSecond / 2 + 4410, kSecond / 4);
    EXPECT_NEAR(test::pitchByZeroCrossings(right, kSecond), 523.25, 1.0) << "the later note sounds";
    EXPECT_EQ(test::peak(side(0, kSecond / 2, kSecond / 2)), 0.0)
        << "on the right, as the pan before the jump set";
}

}  // namespace
}  // namespace svt
