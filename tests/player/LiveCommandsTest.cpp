// The user's commands while songs play on a live device: how soon a change is heard. The
// device and its clock are simulated: time passes while blocks render (at half their own
// length, a busy song on a modest machine) and while the output waits, and the device plays
// as it passes. Nothing depends on how fast the test itself runs.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "output/AudioQueue.h"
#include "output/LiveOutput.h"
#include "player/Player.h"
#include "song/SongInput.h"
#include "support/FakeWaveDevice.h"
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
// sample is the key times eight. A released note ends at once. Rendering costs the clock
// kRenderCost of the block's length.
class KeyTone final : public Synthesis {
  public:
    KeyTone(const PlayerControls& controls, output::TickClock& clock)
        : controls_(controls), clock_(clock) {
        keys_.fill(-1);
    }
    void resetChannels() override { keys_.fill(-1); }
    void setSystemMode(int) override {}
    void applyEvent(const SongEvent& e, bool sounding) override {
        if (e.channel >= kChannels) return;
        int& key = keys_[size_t(e.channel)];
        if (e.type == EV_NOTE_ON && sounding && e.b > 0) key = e.a;
        if ((e.type == EV_NOTE_OFF || (e.type == EV_NOTE_ON && e.b == 0)) && key == e.a) key = -1;
    }
    void render(StereoView<int32_t> out) override {
        for (int i = 0; i < out.frames(); ++i) {
            int32_t value = 0;
            for (int c = 0; c < kChannels; ++c) {
                const int key = keys_[size_t(c)];
                if (key < 0 || ((controls_.channelMuteMask >> c) & 1u) || value != 0) continue;
                value = (key + controls_.noteKeyOffset) << 16;
            }
            out[2 * i] = out[2 * i + 1] = value;
        }
        clock_.sleepSeconds(kRenderCost * out.frames() / kRate);
    }
    int voicesInUse() const override {
        return int(std::count_if(keys_.begin(), keys_.end(), [](int k) { return k >= 0; }));
    }
    void releaseAllNotes() override { keys_.fill(-1); }
    void cutAllVoices() override { keys_.fill(-1); }
    void clearEffectTails() override {}

  private:
    const PlayerControls& controls_;
    output::TickClock& clock_;
    std::array<int, kChannels> keys_;  // of each channel's note, -1 for none
};

// Hands out each command once the listener hears the song at its time.
class Listener final : public ControlInterface {
  public:
    struct Step {
        double songSeconds;  // heard song position
        int code;
        int32_t argument = 0;
    };
    struct Issued {
        double at;           // the clock when it was handed out
        int64_t heardFrame;  // frames played by then
    };
    std::deque<Step> steps;
    std::vector<Issued> issued;
    Player* player = nullptr;
    ListeningClock* clock = nullptr;

    int read(int32_t& argument) override {
        if (steps.empty() || !playing_) return CmdNone;
        const Step& step = steps.front();
        if (player->heardPosition() < static_cast<int64_t>(step.songSeconds * kRate))
            return CmdNone;
        issued.push_back({clock->nowSeconds(), clock->playedFrames()});
        argument = step.argument;
        const int code = step.code;
        steps.pop_front();
        return code;
    }
    void event(const PlayerNotice& n) override {
        if (n.code == NoticePlayStart) playing_ = true;
        if (n.code == NoticePlayEnd) playing_ = false;
    }
    bool traces() const override { return true; }

  private:
    bool playing_ = false;
};

struct Heard {
    std::vector<int> results;
    std::vector<int16_t> left;  // every frame the device played
    std::vector<Listener::Issued> issued;
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
Heard play(const std::vector<std::vector<uint8_t>>& songs, std::deque<Listener::Step> steps) {
    auto owned = std::make_unique<test::FakeWaveSystem>();
    test::FakeWaveSystem& system = *owned;
    ListeningClock clock(system);
    output::LiveOutput live(std::move(owned), &clock);
    EngineSettings settings;
    SongInput input(settings);
    PlayerControls controls;
    KeyTone tone(controls, clock);
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
    for (size_t at = 0; at + 3 < system.played.size(); at += 4)
        run.left.push_back(static_cast<int16_t>(system.played[at] | system.played[at + 1] << 8));
    run.stretches = clock.stretches();
    return run;
}

// The first frame from `from` on that sounds `key` for a while; -1 when none does.
int64_t firstWithKey(const Heard& run, int64_t from, int key) {
    constexpr int64_t kWhile = 64;
    const int64_t size = static_cast<int64_t>(run.left.size());
    for (int64_t f = from, same = 0; f < size; ++f) {
        same = run.left[size_t(f)] == key * 8 ? same + 1 : 0;
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
// waits long for a note to show it.
std::vector<uint8_t> climbingSong(int segments) {
    test::SmfBuilder smf(0, 480);
    auto& t = smf.track();
    t.tempo(0, 500000);
    constexpr int kStrike = kSecond / 20;
    for (int i = 0; i < segments * 40; ++i) {
        const int key = 50 + i / 40;
        t.noteOn(0, 0, key, 100).noteOn(0, 1, 80, 100);
        t.noteOff(kStrike, 0, key).noteOff(0, 1, 80);
    }
    t.endOfTrack();
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

}  // namespace
}  // namespace svt
