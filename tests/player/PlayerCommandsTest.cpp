// The user's commands against a real render: songs over the test font, commands handed to
// the player at chosen song positions, and the audio compared with an undisturbed render of
// the same song.

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "player/Player.h"
#include "song/SongInput.h"
#include "support/OfflineSink.h"
#include "support/Signal.h"
#include "support/SmfBuilder.h"
#include "support/SynthRig.h"
#include "support/TempDir.h"

namespace svt {
namespace {

using test::SynthRig;

// Keeps everything it is given. As a live device it has "heard" all of it at once, so the
// player can tell the heard position; otherwise it cannot (like a file). Its waits for the
// device end early when the player has a command waiting, as the audio queue's do.
class Sink final : public test::OfflineSink {
  public:
    using OfflineSink::OfflineSink;
    std::vector<int32_t> samples;
    bool live = false;
    bool acceptsRate = false;
    int starts = 0, discards = 0, outputChanges = 0;
    AudioQueueHooks* hooks = nullptr;
    bool draining = false;
    int interruptedDrains = 0, drains = 0;

    int64_t frames() const { return static_cast<int64_t>(samples.size() / 2); }
    bool realTime() const override { return live; }
    int control(int request, const std::string&) override {
        starts += request == OUT_REQ_PLAY_START;
        return 0;
    }
    int add(StereoView<const int32_t> block) override {
        samples.insert(samples.end(), block.span().begin(), block.span().end());
        sinceDiscard_ += block.frames();
        return 0;
    }
    FlushResult flush(bool discard) override {
        if (discard) {
            ++discards;
            sinceDiscard_ = 0;
            return FlushResult::Done;
        }
        return drain();
    }
    FlushResult softFlush() override { return drain(); }
    bool changeRate(int) override { return acceptsRate; }
    void outputChanged() override { ++outputChanges; }
    int64_t playedFrames() override { return live ? sinceDiscard_ : -1; }

  private:
    FlushResult drain() {
        draining = true;
        const bool waiting = hooks && hooks->commandWaiting();
        draining = false;
        ++(waiting ? interruptedDrains : drains);
        return waiting ? FlushResult::CommandWaiting : FlushResult::Done;
    }
    int64_t sinceDiscard_ = 0;
};

// A Script step's `at` for a command that comes while the output drains the song's end.
constexpr int64_t kWhileTheEndDrains = -2;

// Hands out each command at the first read once the song has reached its sample (`at` -1:
// at once, even while the song loads) and notes where the output stood at that moment.
class Script final : public ControlInterface {
  public:
    struct Step {
        int64_t at;
        int code;
        int32_t argument = 0;
    };
    std::deque<Step> steps;
    std::vector<PlayerNotice> notices;
    std::vector<int64_t> issuedAtFrame;   // output frames when each command was handed out
    std::vector<int64_t> issuedAtSample;  // and the song position
    const Player* player = nullptr;
    const Sink* sink = nullptr;

    int read(int32_t& argument) override {
        if (steps.empty()) return CmdNone;
        const Step step = steps.front();
        if (step.at >= 0 && (!playing_ || player->currentSample() < step.at)) return CmdNone;
        if (step.at == kWhileTheEndDrains && (!sink->draining || player->currentSample() == 0))
            return CmdNone;
        steps.pop_front();
        issuedAtFrame.push_back(sink->frames());
        issuedAtSample.push_back(player->currentSample());
        argument = step.argument;
        return step.code;
    }
    void event(const PlayerNotice& n) override {
        notices.push_back(n);
        if (n.code == NoticePlayStart) playing_ = true;
        if (n.code == NoticePlayEnd) playing_ = false;
    }
    bool traces() const override { return false; }

    std::vector<PlayerNotice> all(int code) const {
        std::vector<PlayerNotice> out;
        for (const auto& n : notices)
            if (n.code == code) out.push_back(n);
        return out;
    }

  private:
    bool playing_ = false;
};

struct CommandRig {
    explicit CommandRig(int rate = 44100) : synth(rate), sink(rate) {
        player.setSink(&sink);
        script.player = &player;
        script.sink = &sink;
    }
    int play(const std::vector<uint8_t>& smf, double timeRatio = 1.0) {
        path = dir.write("song.mid", smf);
        return player.playFile(path, timeRatio);
    }
    std::vector<double> left() const { return SynthRig::side(sink.samples, 0); }

    SynthRig synth;
    SongInput input{synth.settings};
    Script script;
    Sink sink;
    Player player{input, &synth.banks, *synth.synth, script, &synth.controls};
    test::TempDir dir;
    std::string path;
};

constexpr int kRate = 44100;
constexpr int kQuarter = kRate / 2;  // 480 ticks at 120 bpm

// `count` notes of key 69 (440 Hz) on channel 0, one every half second, each a quarter of a
// second long: a fresh note starts on every half second and the one before has died away.
std::vector<uint8_t> pulses(int count) {
    test::SmfBuilder smf(0, 480);
    auto& t = smf.track();
    t.program(0, 0, 0);
    for (int i = 0; i < count; ++i) t.noteOn(i == 0 ? 0 : 240, 0, 69, 100).noteOff(240, 0, 69);
    t.endOfTrack();
    return smf.build();
}

// A song's clock starts with its first note: a silent one on channel 15 at tick 0 keeps the
// later notes at their own times. `endSilent` ends it.
test::SmfTrack& silentStart(test::SmfTrack& t) {
    return t.program(0, 15, 2).noteOn(0, 15, 60, 100);
}
test::SmfTrack& endSilent(test::SmfTrack& t) {
    return t.noteOff(0, 15, 60).endOfTrack();
}

std::vector<double> slice(const std::vector<double>& x, int64_t from, int64_t frames) {
    from = std::clamp<int64_t>(from, 0, static_cast<int64_t>(x.size()));
    const int64_t to = std::min<int64_t>(from + frames, static_cast<int64_t>(x.size()));
    return {x.begin() + from, x.begin() + to};
}

// The output from `frame` on sounds as the undisturbed song from `songSample` on.
void expectContinuesAs(const std::vector<double>& out, int64_t frame,
                       const std::vector<double>& ref, int64_t songSample, int64_t frames) {
    SCOPED_TRACE(testing::Message() << "output frame " << frame << ", song sample " << songSample);
    const auto got = slice(out, frame, frames);
    const auto want = slice(ref, songSample, frames);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_GT(test::rms(want), 1000.0) << "the compared stretch is not silent";
    EXPECT_GT(test::snrDb(got, want), 60.0);
}

// The song is as long as undisturbed and its third note lands where it belongs.
void expectSongInPlace(const std::vector<double>& out, const std::vector<double>& ref) {
    EXPECT_EQ(out.size(), ref.size());
    expectContinuesAs(out, 2 * kQuarter, ref, 2 * kQuarter, kQuarter);
}

std::vector<double> reference(const std::vector<uint8_t>& smf) {
    CommandRig rig;
    EXPECT_EQ(rig.play(smf), CmdTuneEnd);
    return rig.left();
}

TEST(PlayerCommands, PausingKeepsThePositionAndAJumpWhilePausedMovesIt) {
    const auto song = pulses(8);
    const auto ref = reference(song);
    for (bool live : {false, true}) {
        SCOPED_TRACE(live ? "live output" : "file output");
        CommandRig rig;
        rig.sink.live = live;
        rig.script.steps = {{30000, CmdTogglePause}, {30000, CmdTogglePause}};
        EXPECT_EQ(rig.play(song), CmdTuneEnd);
        ASSERT_EQ(rig.script.issuedAtFrame.size(), 2u);
        expectSongInPlace(rig.left(), ref);  // nothing of the song is lost or repeated
        const auto pauses = rig.script.all(NoticePause);
        ASSERT_EQ(pauses.size(), 2u);
        EXPECT_EQ(pauses[0].args[0], 1);
        EXPECT_EQ(pauses[1].args[0], 0);
        EXPECT_EQ(pauses[0].args[1], 0) << "song seconds of the restart position";
        EXPECT_GE(rig.sink.discards, 1);
    }
    // A jump while paused only moves the restart position.
    CommandRig rig;
    rig.script.steps = {
        {10000, CmdTogglePause}, {10000, CmdJump, 4 * kQuarter}, {10000, CmdTogglePause}};
    EXPECT_EQ(rig.play(song), CmdTuneEnd);
    ASSERT_EQ(rig.script.issuedAtFrame.size(), 3u);
    expectContinuesAs(rig.left(), rig.script.issuedAtFrame[2], ref, 4 * kQuarter, kQuarter);
    const auto pauses = rig.script.all(NoticePause);
    ASSERT_EQ(pauses.size(), 3u);
    EXPECT_EQ(pauses[1].args[0], 1);
    EXPECT_EQ(pauses[1].args[1], 2) << "the new restart position, in song seconds";
    EXPECT_EQ(pauses[2].args[0], 0);
}

TEST(PlayerCommands, JumpsAndRestartLandOnTheirSample) {
    const auto song = pulses(8);
    const auto ref = reference(song);
    CommandRig rig;
    rig.script.steps = {{10000, CmdJump, 4 * kQuarter},                // forward to 2 s
                        {6 * kQuarter + 5000, CmdJump, 2 * kQuarter},  // back from past 3 s to 1 s
                        {3 * kQuarter, CmdRestart}};
    EXPECT_EQ(rig.play(song), CmdTuneEnd);
    ASSERT_EQ(rig.script.issuedAtFrame.size(), 3u);
    const auto out = rig.left();
    const auto& at = rig.script.issuedAtFrame;
    // Each stretch is compared up to the next command.
    expectContinuesAs(out, at[0], ref, 4 * kQuarter, kQuarter);
    expectContinuesAs(out, at[1], ref, 2 * kQuarter, kQuarter / 2);
    expectContinuesAs(out, at[2], ref, 0, kQuarter);
    // After the restart the whole song plays to its end.
    EXPECT_EQ(static_cast<int64_t>(out.size()), at[2] + static_cast<int64_t>(ref.size()));

    // The jumps replayed the song's events up to their target silently: the notes they passed
    // would sound in the compared stretches otherwise. Each reports the reset and where the
    // song is now.
    EXPECT_FALSE(rig.script.all(NoticeReset).empty());
    const auto times = rig.script.all(NoticeCurrentTime);
    auto reported = [&](int seconds) {
        for (const auto& n : times)
            if (n.args[0] == seconds && n.args[1] == 0) return true;
        return false;
    };
    EXPECT_TRUE(reported(2));
    EXPECT_TRUE(reported(1));
    EXPECT_TRUE(reported(0));
}

// 2 s at 22528 Hz are exactly 11 blocks, so commands are read exactly 2 s into the song and
// one block before.
TEST(PlayerCommands, PreviousRestartsOnlyAfterTwoSeconds) {
    constexpr int rate = 22528;
    test::SmfBuilder smf(0, 480);
    smf.track().noteOn(0, 0, 69, 100).noteOff(480 * 10, 0, 69).endOfTrack();
    const auto song = smf.build();
    struct Case {
        int64_t at;
        int code;
        int expected;
    };
    // The song's beat marks end a stretch one sample before 2 s: a command is read there.
    for (const Case c : {Case{2 * rate, CmdPrevious, CmdRestart},
                         Case{2 * rate - 1, CmdPrevious, CmdReallyPrevious},
                         Case{0, CmdPrevious, CmdReallyPrevious}, Case{rate, CmdStop, CmdStop}}) {
        SCOPED_TRACE(c.at);
        CommandRig rig(rate);
        rig.script.steps = {{c.at, c.code}};
        EXPECT_EQ(rig.play(song), c.expected);
        ASSERT_EQ(rig.script.issuedAtSample.size(), 1u);
        if (c.code == CmdPrevious && c.at > 0) {
            EXPECT_EQ(rig.script.issuedAtSample[0], c.at);
        }
        EXPECT_GE(rig.sink.discards, 1) << "the queued audio is dropped";
    }
}

// (Setting the tempo outright: LiveCommands.AChangeIsHeardWithinAFewTenthsOfASecond.)
TEST(PlayerCommands, SpeedStepsChangeTheTempoAndAreReported) {
    // A non-negative argument to slower changes nothing but is still reported.
    CommandRig rig;
    rig.script.steps = {{0, CmdSpeedUp, 3}, {0, CmdSpeedDown, -5}, {0, CmdSpeedDown, 3}};
    rig.play(pulses(1));
    EXPECT_NEAR(rig.synth.controls.timeRatio, std::pow(150.0 / 151.0, -2), 1e-9);
    const auto ratios = rig.script.all(NoticeTimeRatio);
    EXPECT_EQ(ratios.size(), 4u) << "song start and every command";
    EXPECT_EQ(ratios.back().args[0], 99);
}

TEST(PlayerCommands, MasterVolumeScalesTheOutputWithinItsRange) {
    const auto song = pulses(4);
    const double normal = test::peak(slice(reference(song), 0, kQuarter));
    // The song starts at 70; the change is added and held within 0..200.
    for (const auto& [change, amplification] : {std::pair{70, 140}, {-500, 0}, {500, 200}}) {
        SCOPED_TRACE(change);
        CommandRig rig;
        rig.script.steps = {{0, CmdChangeVolume, change}};
        rig.play(song);
        EXPECT_NEAR(test::peak(slice(rig.left(), 0, kQuarter)) / normal, amplification / 70.0,
                    0.01);
        EXPECT_EQ(rig.synth.controls.amplification, amplification);
        EXPECT_EQ(rig.script.all(NoticeMasterVolume).back().args[0], amplification);
    }
}

TEST(PlayerCommands, LoadingReadsOneCommand) {
    {
        // A final command while loading: nothing plays.
        CommandRig rig;
        rig.script.steps = {{-1, CmdStop}};
        EXPECT_EQ(rig.play(pulses(2)), CmdStop);
        EXPECT_EQ(rig.sink.starts, 0);
        // The same at the second look, once the song is read and before its instruments load.
        CommandRig late;
        late.script.steps = {{-1, CmdChangeVolume, 70}, {-1, CmdStop}};
        EXPECT_EQ(late.play(pulses(2)), CmdStop);
        EXPECT_EQ(late.sink.starts, 0);
    }
    {
        // Volume is taken while loading; the song then plays at it.
        CommandRig rig;
        rig.script.steps = {{-1, CmdChangeVolume, 70}, {-1, CmdChangeVolume, -70}};
        EXPECT_EQ(rig.play(pulses(2)), CmdTuneEnd);
        EXPECT_EQ(rig.synth.controls.amplification, 70);
        EXPECT_EQ(rig.script.all(NoticeMasterVolume).size(), 2u);
    }
    {
        // A song from standard input is read without interruption.
        CommandRig rig;
        rig.script.steps = {{-1, CmdStop}};
        EXPECT_EQ(rig.player.pollLoadingCommands(true), CmdNone);
        EXPECT_EQ(rig.player.pollLoadingCommands(false), CmdStop);
    }
}

TEST(PlayerCommands, MutingSilencesItsChannelAndIsReported) {
    // 440 Hz on channel 0 and 220 Hz on channel 1, both from 0.5 to 2.5 s.
    test::SmfBuilder smf(0, 480);
    smf.track()
        .noteOn(480, 0, 69, 100)
        .noteOn(0, 1, 57, 100)
        .noteOff(1920, 0, 69)
        .noteOff(0, 1, 57)
        .endOfTrack();
    const auto song = smf.build();
    auto levels = [](const std::vector<double>& out) {
        const auto part = slice(out, 44100, 44100);
        return std::pair{test::magnitudeDb(part, kRate, 440.0),
                         test::magnitudeDb(part, kRate, 220.0)};
    };
    const auto [ref440, ref220] = levels(reference(song));
    struct Case {
        const char* what;
        std::deque<Script::Step> steps;
        bool quiet440, quiet220;
        size_t notices;  // of muting, 16 at the song's start
        std::pair<int, int> last;
        uint32_t mask;
    };
    const Case cases[] = {
        {"mute", {{0, CmdToggleMute, 0}}, true, false, 17, {0, 1}, 1u},
        // Solo: every channel reported muted, then the soloed one unmuted. Again: no change.
        {"solo twice", {{0, CmdSoloPlay, 0}, {0, CmdSoloPlay, 0}}, false, true, 33, {0, 0}, ~1u},
        // Clearing reports every channel again.
        {"mute both, clear twice",
         {{0, CmdToggleMute, 0}, {0, CmdToggleMute, 1}, {0, CmdMuteClear}, {0, CmdMuteClear}},
         false,
         false,
         34,
         {15, 0},
         0u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommandRig rig;
        rig.script.steps = c.steps;
        rig.play(song);
        const auto [l440, l220] = levels(rig.left());
        EXPECT_TRUE(c.quiet440 ? l440 < ref440 - 60.0 : std::abs(l440 - ref440) < 0.5) << l440;
        EXPECT_TRUE(c.quiet220 ? l220 < ref220 - 60.0 : std::abs(l220 - ref220) < 0.5) << l220;
        const auto mutes = rig.script.all(NoticeMute);
        ASSERT_EQ(mutes.size(), c.notices);
        EXPECT_EQ(std::pair(mutes.back().args[0], mutes.back().args[1]), c.last);
        if (c.notices == 33) {
            for (int ch = 0; ch < 16; ++ch) EXPECT_EQ(mutes[size_t(16 + ch)].args[1], 1);
        }
        EXPECT_EQ(rig.synth.controls.channelMuteMask, c.mask);
    }
}

TEST(PlayerCommands, DrumChannelToggleReloadsWhereTheSongIsHeard) {
    // Key 36 on channel 0 twice: a melodic note (65 Hz) at 0.2 s and at 1.5 s.
    test::SmfBuilder smf(0, 480);
    endSilent(silentStart(smf.track())
                  .noteOn(192, 0, 36, 100)
                  .noteOff(384, 0, 36)
                  .noteOn(864, 0, 36, 100)
                  .noteOff(384, 0, 36));
    const auto song = smf.build();
    CommandRig rig;
    rig.script.steps = {{kRate, CmdToggleDrumChannel, 0}};
    EXPECT_EQ(rig.play(song), CmdTuneEnd);
    ASSERT_EQ(rig.script.issuedAtFrame.size(), 1u);
    EXPECT_EQ(rig.sink.starts, 2) << "the song was loaded and started again";
    EXPECT_EQ(rig.script.all(NoticeNowLoading).size(), 2u);
    EXPECT_EQ(rig.player.restartPosition(), rig.script.issuedAtFrame[0]);

    // The output runs on without a gap: the second note starts at 1.5 s, now as the drum.
    const auto out = rig.left();
    int64_t onset = -1;
    for (int64_t i = kRate; i < static_cast<int64_t>(out.size()); ++i)
        if (std::abs(out[size_t(i)]) > 1e5) {
            onset = i;
            break;
        }
    EXPECT_NEAR(double(onset), 66150.0, 200.0);
    EXPECT_NEAR(test::cents(test::pitchByFft(slice(out, 67000, 8192), kRate), 1000.0), 0.0, 5.0);
    EXPECT_LT(test::magnitudeDb(slice(out, 9000, 8192), kRate, 1000.0),
              test::magnitudeDb(slice(out, 67000, 8192), kRate, 1000.0) - 40.0)
        << "before the toggle the key was a melodic note";
    const SongInfo* info = rig.input.infos().find(rig.path, false);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->drumMask & 1u, 1u);

    // The song record keeps the change: played again, the channel is a drum channel at once.
    EXPECT_EQ(rig.player.playFile(rig.path), CmdTuneEnd);
    const auto second = slice(rig.left(), static_cast<int64_t>(out.size()), 40000);
    EXPECT_NEAR(test::cents(test::pitchByFft(slice(second, 9000, 8192), kRate), 1000.0), 0.0, 5.0);
}

TEST(PlayerCommands, VoiceLimitFallsAndComesBack) {
    CommandRig rig;
    rig.script.steps = {{0, CmdVoiceDecrease, 250}};
    rig.play(pulses(1));
    EXPECT_EQ(rig.synth.synth->voiceLimit(), kMaxVoices - 250);
    rig.script.steps = {{0, CmdVoiceDecrease, 1000}};
    rig.play(pulses(1));
    EXPECT_EQ(rig.synth.synth->voiceLimit(), 1) << "every song starts at the remembered limit";
    rig.script.steps = {{0, CmdVoiceDecrease, 10}, {0, CmdVoiceIncrease}};
    rig.play(pulses(1));
    EXPECT_EQ(rig.synth.synth->voiceLimit(), kMaxVoices);
}

TEST(PlayerCommands, SongStartReportsAndSetsTheControls) {
    CommandRig rig;
    rig.player.options().startKeyOffset = -2;
    rig.player.options().startMuteMask = 1u << 3;
    EXPECT_EQ(rig.play(pulses(1)), CmdTuneEnd);
    EXPECT_EQ(rig.synth.controls.noteKeyOffset, -2);
    EXPECT_EQ(rig.script.all(NoticeKeyOffset).front().args[0], -2);
    EXPECT_EQ(rig.script.all(NoticeTimeRatio).front().args[0], 100);
    const auto mutes = rig.script.all(NoticeMute);
    ASSERT_EQ(mutes.size(), 16u);
    for (int c = 0; c < 16; ++c) EXPECT_EQ(mutes[size_t(c)].args[1], c == 3 ? 1 : 0);

    // A program change reports the instrument by name (of those the song loads) and the bank
    // as selected; a bank the font lacks sounds bank 0's instrument, and that name is shown.
    test::SmfBuilder smf(0, 480);
    smf.track()
        .controller(0, 0, 0, 1)
        .controller(0, 0, 32, 2)
        .program(0, 0, 3)
        .program(0, 9, 0)
        .noteOn(0, 0, 69, 100)
        .noteOn(0, 9, 38, 100)
        .noteOff(240, 0, 69)
        .noteOff(0, 9, 38)
        .endOfTrack();
    CommandRig named;
    EXPECT_EQ(named.play(smf.build()), CmdTuneEnd);
    std::vector<PlayerNotice> changes;
    for (const PlayerNotice& n : named.script.all(NoticeProgram))
        if (n.text[0] != '\0') changes.push_back(n);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].args[0], 0);
    EXPECT_EQ(changes[0].args[1], 3);
    EXPECT_STREQ(changes[0].text, "Cosine");
    EXPECT_EQ(changes[0].args[3] >> 8, (1 << 8) | 2) << "bank MSB 1, LSB 2";
    EXPECT_EQ(changes[1].args[0], 9);
    EXPECT_STREQ(changes[1].text, "Drums");

    // A song in E minor forced to A minor plays five semitones higher.
    test::SmfBuilder minor(0, 480);
    minor.track().keySignature(0, 1, true).noteOn(0, 0, 69, 100).noteOff(480, 0, 69).endOfTrack();
    CommandRig forced;
    forced.player.options().forcedKeySignature = 16;
    EXPECT_EQ(forced.play(minor.build()), CmdTuneEnd);
    EXPECT_EQ(forced.synth.controls.noteKeyOffset, 5);
    EXPECT_EQ(forced.synth.controls.keySignature, 1 + 16);
}

// Each renders the song again from where the output stands; the output changes load and
// start it again.
TEST(PlayerCommands, ResynchronisingAndOutputChangesKeepTheSongInPlace) {
    const auto song = pulses(8);
    const auto ref = reference(song);
    for (int code : {CmdResyncEffects, CmdResyncEffectTime, CmdSyncRestart, CmdChangeRate,
                     CmdOutputChanged, CmdReload}) {
        SCOPED_TRACE(code);
        const bool reloads = code == CmdChangeRate || code == CmdOutputChanged || code == CmdReload;
        CommandRig rig;
        rig.sink.acceptsRate = true;
        rig.script.steps = {{30000, code, reloads ? 48000 : 0}};
        EXPECT_EQ(rig.play(song), CmdTuneEnd);
        if (!reloads) {
            EXPECT_GE(rig.sink.discards, 1);
        }
        EXPECT_EQ(rig.sink.starts, reloads ? 2 : 1);
        EXPECT_EQ(rig.sink.outputChanges, code == CmdOutputChanged ? 1 : 0);
        expectSongInPlace(rig.left(), ref);
    }
    // Only-if-heard on an output that cannot tell, and a rate the output refuses: nothing
    // happens.
    for (const auto& [code, argument] : {std::pair{CmdSyncRestart, 1}, {CmdChangeRate, 48000}}) {
        SCOPED_TRACE(code);
        CommandRig rig;
        rig.script.steps = {{30000, code, argument}};
        EXPECT_EQ(rig.play(song), CmdTuneEnd);
        EXPECT_EQ(rig.sink.discards, 0);
        EXPECT_EQ(rig.sink.starts, 1);
        EXPECT_EQ(rig.left(), ref);
    }
}

TEST(PlayerCommands, ACommandWhileTheEndDrainsIsHandledWhenTheWaitHasEnded) {
    const auto song = pulses(2);
    struct Case {
        const char* what;
        int code;
        int32_t argument;
        int result;
        int drainsAfterIt;
    } cases[] = {
        {"volume: the drain goes on", CmdChangeVolume, -20, CmdTuneEnd, 1},
        {"stop: the song ends there", CmdStop, 0, CmdStop, 0},
        {"next: likewise", CmdNext, 0, CmdNext, 0},
        {"pause in the drain, resumed at once", CmdTogglePause, 0, CmdTuneEnd, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommandRig rig;
        rig.sink.hooks = &rig.player;
        rig.script.steps = {{kWhileTheEndDrains, c.code, c.argument}};
        if (c.code == CmdTogglePause) rig.script.steps.push_back({-1, CmdTogglePause});
        EXPECT_EQ(rig.play(song), c.result);
        EXPECT_TRUE(rig.script.steps.empty());
        EXPECT_EQ(rig.sink.interruptedDrains, 1);
        EXPECT_EQ(rig.sink.drains, 1 + c.drainsAfterIt) << "the start's wait and what follows";
        if (c.code == CmdChangeVolume) {
            const auto volume = rig.script.all(NoticeMasterVolume);
            ASSERT_EQ(volume.size(), 1u);
            EXPECT_EQ(volume[0].args[0], 50);
        }
        if (c.result != CmdTuneEnd) {
            EXPECT_GE(rig.sink.discards, 1) << "what waited is dropped";
        }
    }
}

}  // namespace
}  // namespace svt
