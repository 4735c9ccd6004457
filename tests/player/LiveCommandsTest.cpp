// The user's commands while songs play on a live device: how soon a change is heard, what
// they do while a song's end plays out, and how long the listener waits between songs. The
// device and its clock are simulated: time passes while blocks render (at half their own
// length, a busy song on a modest machine) and while the output waits, and the device plays
// as it passes. Nothing depends on how fast the test itself runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "output/AudioQueue.h"
#include "output/LiveOutput.h"
#include "player/Player.h"
#include "song/SongInput.h"
#include "support/FakeWaveDevice.h"
#include "support/OfflineSink.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt {
namespace {

constexpr int kRate = 44100;
constexpr double kRenderCost = 0.5;  // seconds of rendering per second of audio
constexpr int kSecond = 960;         // ticks at 120 bpm, 480 a quarter

// The fake device's clock, noting after every stretch of time how much the device had played
// by its end, so each played frame can be given the moment it was heard.
class ListeningClock final : public output::TickClock {
  public:
    explicit ListeningClock(test::FakeWaveSystem& system) : system_(system), inner_(system) {}
    double nowSeconds() override { return inner_.nowSeconds(); }
    void sleepSeconds(double seconds) override {
        const double from = inner_.nowSeconds();
        const int64_t before = playedFrames();
        inner_.sleepSeconds(seconds);
        if (playedFrames() > before) stretches_.push_back({from, before});
    }
    int64_t playedFrames() const { return static_cast<int64_t>(system_.played.size() / 4); }
    struct Stretch {
        double start;
        int64_t firstFrame;
    };
    const std::vector<Stretch>& stretches() const { return stretches_; }

  private:
    test::FakeWaveSystem& system_;
    test::FakeWaveClock inner_;
    std::vector<Stretch> stretches_;
};

// Sounds what the song holds in a form the test can read back: every frame carries the key of
// the lowest unmuted channel's note (transposed, drums aside) as key << 16, so a played 16-bit
// sample is the key times eight. A released note dies away at `releaseDbPerSecond` (0: at
// once). Rendering costs the clock kRenderCost of the block's length.
class KeyTone final : public Synthesis {
  public:
    KeyTone(const PlayerControls& controls, output::TickClock& clock)
        : controls_(controls), clock_(clock) {}
    double releaseDbPerSecond = 0;
    int shift = 16;

    void resetChannels() override { voices_ = {}; }
    void setSystemMode(int) override {}
    void applyEvent(const SongEvent& e, bool sounding) override {
        if (e.channel >= kChannels) return;
        Voice& v = voices_[e.channel];
        if (e.type == EV_NOTE_ON && sounding && e.b > 0) v = {e.a, 1.0, false};
        if ((e.type == EV_NOTE_OFF || (e.type == EV_NOTE_ON && e.b == 0)) && v.key == e.a)
            release(v);
    }
    void render(StereoView<int32_t> out) override {
        const double fall = std::pow(10.0, -releaseDbPerSecond / 20.0 / kRate);
        for (int i = 0; i < out.frames(); ++i) {
            int32_t value = 0;
            for (int c = 0; c < kChannels; ++c) {
                Voice& v = voices_[c];
                if (v.key < 0) continue;
                if (v.released) v.gain *= fall;
                if (v.gain < 1e-5) v.key = -1;
                if (v.key < 0 || ((controls_.channelMuteMask >> c) & 1u) || value != 0) continue;
                value = static_cast<int32_t>(
                    std::lround(double((v.key + controls_.noteKeyOffset) << shift) * v.gain));
            }
            out[2 * i] = out[2 * i + 1] = value;
        }
        clock_.sleepSeconds(kRenderCost * out.frames() / kRate);
    }
    int voicesInUse() const override {
        int n = 0;
        for (const Voice& v : voices_) n += v.key >= 0;
        return n;
    }
    void releaseAllNotes() override {
        for (Voice& v : voices_)
            if (v.key >= 0) release(v);
    }
    void cutAllVoices() override { voices_ = {}; }
    void clearEffectTails() override {}

  private:
    struct Voice {
        int key = -1;
        double gain = 0;
        bool released = false;
    };
    void release(Voice& v) const {
        if (releaseDbPerSecond <= 0)
            v.key = -1;
        else
            v.released = true;
    }
    const PlayerControls& controls_;
    output::TickClock& clock_;
    std::array<Voice, kChannels> voices_{};
};

// Hands out each command once the listener hears the song at its time; a step without a time
// follows the one before it at once.
class Listener final : public ControlInterface {
  public:
    struct Step {
        double songSeconds;  // heard song position; below 0: right after the step before
        int code;
        int32_t argument = 0;
    };
    struct Issued {
        double at;           // the clock when it was handed out
        int64_t heardFrame;  // frames played by then
    };
    std::deque<Step> steps;
    std::vector<Issued> issued;
    struct Shown {
        int seconds;
        double at;  // the clock when the notice arrived
    };
    std::vector<Shown> times;
    Player* player = nullptr;
    ListeningClock* clock = nullptr;

    int read(int32_t& argument) override {
        if (steps.empty() || !playing_) return CmdNone;
        const Step& step = steps.front();
        if (step.songSeconds >= 0 &&
            player->heardPosition() < static_cast<int64_t>(step.songSeconds * kRate))
            return CmdNone;
        issued.push_back({clock->nowSeconds(), clock->playedFrames()});
        argument = step.argument;
        const int code = step.code;
        steps.pop_front();
        return code;
    }
    void event(const PlayerNotice& n) override {
        if (n.code == NoticeCurrentTime) times.push_back({n.args[0], clock->nowSeconds()});
        if (n.code == NoticePlayStart) playing_ = true;
        if (n.code == NoticePlayEnd) playing_ = false;
    }
    bool traces() const override { return true; }

  private:
    bool playing_ = false;
};

struct Heard {
    int shift = 16;  // of the keys in the samples
    std::vector<int> results;
    std::vector<int16_t> left;  // every frame the device played
    std::vector<Listener::Issued> issued;
    std::vector<Listener::Shown> times;
    std::vector<ListeningClock::Stretch> stretches;
    // When frame `frame` of everything played was heard: the device plays what it holds from
    // the start of each stretch of time on.
    double heardAtFrame(int64_t frame) const {
        auto after = std::upper_bound(
            stretches.begin(), stretches.end(), frame,
            [](int64_t f, const ListeningClock::Stretch& s) { return f < s.firstFrame; });
        if (after == stretches.begin()) return 0;
        --after;
        return after->start + double(frame - after->firstFrame) / kRate;
    }
};

// Plays `songs` as the command line does (previous and restart step back) with the steps.
Heard play(const std::vector<std::vector<uint8_t>>& songs, std::deque<Listener::Step> steps,
           double releaseDbPerSecond = 0, int shift = 16) {
    auto owned = std::make_unique<test::FakeWaveSystem>();
    test::FakeWaveSystem& system = *owned;
    ListeningClock clock(system);
    output::LiveOutput live(std::move(owned), &clock);
    EngineSettings settings;
    SongInput input(settings);
    PlayerControls controls;
    KeyTone tone(controls, clock);
    tone.releaseDbPerSecond = releaseDbPerSecond;
    tone.shift = shift;
    Listener listener;
    Player player(input, nullptr, tone, listener, &controls);
    output::AudioQueue queue(&clock);
    EXPECT_EQ(live.openOutput(), 0);
    queue.setup(live, &player);
    EXPECT_TRUE(queue.setQueueFromSettings("5.0", "100%"));
    player.setSink(&queue);
    listener.player = &player;
    listener.clock = &clock;
    listener.steps = std::move(steps);

    test::TempDir dir;
    Heard run;
    run.shift = shift;
    for (size_t i = 0; i < songs.size() && run.results.size() < 10;) {
        const int result =
            player.playFile(dir.write("song" + std::to_string(i) + ".mid", songs[i]));
        run.results.push_back(result);
        if (result == CmdReallyPrevious) {
            if (i > 0) --i;
        } else if (result != CmdRestart) {
            ++i;
        }
    }
    live.closeOutput();
    EXPECT_TRUE(listener.steps.empty()) << "commands left unsent";
    run.issued = listener.issued;
    run.times = listener.times;
    for (size_t at = 0; at + 3 < system.played.size(); at += 4)
        run.left.push_back(static_cast<int16_t>(system.played[at] | system.played[at + 1] << 8));
    run.stretches = clock.stretches();
    return run;
}

// The first frame from `from` on that sounds `key` for a while (a tail dying away passes
// through every value on its way); -1 when none does.
int64_t firstWithKey(const Heard& run, int64_t from, int key) {
    constexpr int64_t kWhile = 64;
    const int64_t size = static_cast<int64_t>(run.left.size());
    for (int64_t f = from, same = 0; f < size; ++f) {
        same = run.left[size_t(f)] == (key << run.shift) >> 13 ? same + 1 : 0;
        if (same == kWhile) return f - kWhile + 1;
    }
    return -1;
}

// Seconds from command `index` until `key` was first heard after it; a large value when never.
double latency(const Heard& run, size_t index, int key) {
    if (index >= run.issued.size()) return 1e9;
    const int64_t frame = firstWithKey(run, run.issued[index].heardFrame, key);
    if (frame < 0) return 1e9;
    return run.heardAtFrame(frame) - run.issued[index].at;
}

// Channel 0 climbs a key every two seconds from key 50 (key 50 + n from second 2n), channel 1
// plays key 80 throughout; both strike their notes twenty times a second, so a change never
// waits long for a note to show it. `heldAtEnd`: the song ends on the two held.
std::vector<uint8_t> climbingSong(int segments, bool heldAtEnd = false) {
    test::SmfBuilder smf(0, 480);
    auto& t = smf.track();
    t.tempo(0, 500000);
    constexpr int kStrike = kSecond / 20;
    for (int i = 0; i < segments * 40; ++i) {
        const int key = 50 + i / 40;
        t.noteOn(0, 0, key, 100).noteOn(0, 1, 80, 100);
        if (i + 1 < segments * 40 || !heldAtEnd) t.noteOff(kStrike, 0, key).noteOff(0, 1, 80);
    }
    t.endOfTrack(heldAtEnd ? kStrike : 0);
    return smf.build();
}

std::vector<uint8_t> oneKey(int key, int seconds) {
    test::SmfBuilder smf(0, 480);
    smf.track()
        .tempo(0, 500000)
        .noteOn(0, 0, key, 100)
        .noteOff(seconds * kSecond, 0, key)
        .endOfTrack();
    return smf.build();
}

int64_t samplesAt(double seconds) {
    return static_cast<int64_t>(seconds * kRate);
}

TEST(LiveCommands, AChangeIsHeardWithinAFewTenthsOfASecond) {
    const auto climbing = climbingSong(8);
    const auto other = oneKey(90, 4);
    struct Case {
        const char* what;
        double atSeconds;
        int code;
        int32_t argument;
        int keyAfter;
        double songDelay;  // when the key is due after the command at the song's new pace
    } cases[] = {
        {"seek forward", 3, CmdJump, int32_t(samplesAt(13)), 56, 0},
        {"seek back", 5, CmdJump, 0, 50, 0},
        {"transpose", 3, CmdKeyUp, 12, 63, 0},
        {"mute", 3, CmdToggleMute, 0, 80, 0},
        // Four times as fast: the key of second 6 comes three quarters of a second on.
        {"tempo", 3, CmdSetTempo, 400, 53, 0.75},
        {"next", 3, CmdNext, 0, 90, 0},
        {"previous", 5, CmdPrevious, 0, 50, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Heard run = play({climbing, other}, {{c.atSeconds, c.code, c.argument}});
        // Timed from the moment the listener heard the song reach the command's time, as a
        // key pressed then: the wait for the player to read it counts too.
        ASSERT_EQ(run.issued.size(), 1u);
        const double pressed = run.heardAtFrame(samplesAt(c.atSeconds));
        const double seconds = latency(run, 0, c.keyAfter) - c.songDelay;
        EXPECT_GE(seconds, 0.0);
        EXPECT_LT(seconds + run.issued[0].at - pressed, 0.3);
        // What was heard up to the command is the song at its own pace.
        const int heardKey = run.left[size_t(run.issued[0].heardFrame - 1)] / 8;
        EXPECT_EQ(heardKey, 50 + int(c.atSeconds) / 2);
    }
}

// The time shown is the second being heard: each second's notice arrives as its first sound
// is heard, neither ahead of it nor late, never backwards, and a live change in the middle
// (its queued audio dropped and rendered again) does not hold the clock up.
TEST(LiveCommands, TheTimeShownFollowsWhatIsHeard) {
    // Key 40 + n throughout second n, struck twenty times a second. The first twelve seconds
    // are watched: the song's end, and the queue's last buckets waiting for room in the device,
    // are still a long way ahead of what is heard then.
    constexpr int kWatched = 12;
    test::SmfBuilder smf(0, 480);
    auto& t = smf.track();
    t.tempo(0, 500000);
    for (int i = 0; i < 2 * kWatched * 20; ++i)
        t.noteOn(0, 0, 40 + i / 20, 100).noteOff(kSecond / 20, 0, 40 + i / 20);
    t.endOfTrack();
    const auto seconds = smf.build();
    struct Case {
        const char* what;
        std::deque<Listener::Step> steps;
        int shiftAfter;  // of the keys heard after the command
    } cases[] = {
        {"plain", {}, 0},
        {"transpose", {{3.5, CmdKeyUp, 12}}, 12},
        {"twice as fast", {{3.5, CmdSetTempo, 200}}, 0},
        {"mute and back", {{3.5, CmdToggleMute, 0}, {3.6, CmdToggleMute, 0}}, 0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Heard run = play({seconds}, std::move(c.steps));
        const double changedAt = run.issued.empty() ? 1e9 : run.issued.back().at;
        const int64_t changedFrame = run.issued.empty() ? 0 : run.issued.back().heardFrame;
        ASSERT_GE(run.times.size(), size_t{kWatched});
        int previous = -1;
        for (const Listener::Shown& shown : run.times) {
            EXPECT_GE(shown.seconds, previous) << "the clock ran backwards";
            // A notice repeats the second when only the voice count changed.
            if (shown.seconds == previous || shown.seconds == 0) continue;
            previous = shown.seconds;
            if (shown.seconds > kWatched) continue;
            const bool after = shown.at > changedAt;
            const int key = 40 + shown.seconds + (after ? c.shiftAfter : 0);
            const int64_t frame = firstWithKey(run, after ? changedFrame : 0, key);
            ASSERT_GE(frame, 0) << "second " << shown.seconds << " was never heard";
            const double heardAt = run.heardAtFrame(frame);
            EXPECT_GT(shown.at, heardAt - 0.02) << "second " << shown.seconds << " shown early";
            EXPECT_LT(shown.at, heardAt + 0.15) << "second " << shown.seconds << " shown late";
        }
        EXPECT_EQ(previous, 2 * kWatched - 1);
    }
}

TEST(LiveCommands, CommandsActOnTheSongUntilItsEndHasBeenHeard) {
    // The song ends with both notes held: its last second holds them, then a second of
    // silence ends it. Each command comes a tenth of a second into that last held second.
    const auto ending = climbingSong(2, true);
    const auto next = oneKey(90, 2);
    constexpr double kAt = 4.1;
    struct Case {
        const char* what;
        std::deque<Listener::Step> steps;
        int keyAfter;  // heard again before the next song, or 0: the rest is silence
        std::vector<int> results;
    } cases[] = {
        {"restart", {{kAt, CmdRestart}}, 50, {CmdTuneEnd, CmdTuneEnd}},
        {"seek back", {{kAt, CmdJump, int32_t(samplesAt(1))}}, 50, {CmdTuneEnd, CmdTuneEnd}},
        {"transpose", {{kAt, CmdKeyUp, 2}}, 0, {CmdTuneEnd, CmdTuneEnd}},
        {"mute", {{kAt, CmdToggleMute, 1}}, 0, {CmdTuneEnd, CmdTuneEnd}},
        {"tempo", {{kAt, CmdSpeedUp, 3}}, 0, {CmdTuneEnd, CmdTuneEnd}},
        {"pause", {{kAt, CmdTogglePause}, {-1, CmdTogglePause}}, 0, {CmdTuneEnd, CmdTuneEnd}},
        {"previous", {{kAt, CmdPrevious}}, 50, {CmdRestart, CmdTuneEnd, CmdTuneEnd}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t commands = c.steps.size();
        const Heard run = play({ending, next}, std::move(c.steps));
        EXPECT_EQ(run.results, c.results);
        ASSERT_EQ(run.issued.size(), commands);
        const Listener::Issued& last = run.issued.back();
        const int64_t nextSong = firstWithKey(run, last.heardFrame, 90);
        ASSERT_GE(nextSong, 0) << "the next song never sounded";
        if (c.keyAfter != 0) {
            const int64_t again = firstWithKey(run, last.heardFrame, c.keyAfter);
            EXPECT_GE(again, 0) << "the song did not go on";
            EXPECT_LT(again, nextSong) << "the next song came first";
            EXPECT_LT(latency(run, commands - 1, c.keyAfter), 0.3);
        } else {
            // The song's last second, silent after the change, is still played before the next
            // song begins.
            EXPECT_GT(double(nextSong - last.heardFrame) / kRate, 0.9);
        }
    }
}

// A note just under full scale that dies away at 11.43 dB a second (and ends 100 dB down): the
// quiet level, 90 dB under full scale, is 7.7 s away; 60 dB under the song, 5.25 s.
TEST(LiveCommands, BetweenLiveSongsTheTailEndsWhenItIsInaudibleAgainstTheSong) {
    const auto note = oneKey(100, 1);
    const auto next = oneKey(90, 1);
    constexpr double kFall = 60.0 / 5.25;
    const Heard run = play({note, next}, {}, kFall, 21);
    const int64_t nextSong = firstWithKey(run, 0, 90);
    ASSERT_GT(nextSong, 0);
    int64_t lastOfTail = nextSong - 1;
    while (lastOfTail > 0 && run.left[size_t(lastOfTail)] == 0) --lastOfTail;
    const double tailSeconds = double(lastOfTail) / kRate - 1.0;
    EXPECT_GT(tailSeconds, 5.0) << "the tail was cut while it could still be heard";
    EXPECT_LT(tailSeconds, 6.3);
    // Where it ends it is 60 dB under the song's loudest: no step to be heard.
    EXPECT_LE(std::abs(run.left[size_t(lastOfTail)]), (100 << 8) / 1000);

    // A file keeps the tail down to the quiet level.
    PlayerControls controls;
    test::FakeWaveSystem system;
    ListeningClock clock(system);
    KeyTone tone(controls, clock);
    tone.releaseDbPerSecond = kFall;
    tone.shift = 21;
    EngineSettings settings;
    SongInput input(settings);
    QuietControl quiet;
    Player player(input, nullptr, tone, quiet, &controls);
    test::StereoRecorder file;
    player.setSink(&file);
    test::TempDir dir;
    ASSERT_EQ(player.playFile(dir.write("note.mid", note)), CmdTuneEnd);
    int64_t last = static_cast<int64_t>(file.samples.size() / 2) - 1;
    while (last > 0 && file.samples[size_t(2 * last)] == 0) --last;
    EXPECT_GT(double(last) / kRate - 1.0, 7.6);
}

}  // namespace
}  // namespace svt
