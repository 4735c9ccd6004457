#include "player/Player.h"

#include <gtest/gtest.h>

#include <vector>

#include "song/SongInput.h"
#include "support/OfflineSink.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt {
namespace {

// Numbers its frames modulo this on the right side: every frame can be told from its
// neighbours, and the sound stays under the level the end of a song waits for.
constexpr int kFrameNumbers = 8192;

// Holds a note as a voice from its note-on to its note-off, and remembers at which rendered
// frame each event arrived.
class CountingSynthesis final : public Synthesis {
  public:
    struct Applied {
        SongEvent event;
        int64_t frame;
        bool sounding;
    };
    std::vector<Applied> applied;
    int64_t rendered = 0;
    int held = 0;
    bool endless = false;   // released notes sound on until they are cut
    int32_t heldLevel = 0;  // added to the frame numbers while a note is held

    void resetChannels() override { held = 0; }
    void setSystemMode(int) override {}
    void applyEvent(const SongEvent& e, bool sounding) override {
        applied.push_back({e, rendered, sounding});
        if (!sounding) return;
        if (e.type == EV_NOTE_ON) ++held;
        if (e.type == EV_NOTE_OFF && held > 0) --held;
    }
    void render(StereoView<int32_t> out) override {
        const int frames = out.frames();
        for (int i = 0; i < frames; ++i) {
            out[2 * i] = held;
            out[2 * i + 1] =
                static_cast<int32_t>((rendered + i) % kFrameNumbers) + (held > 0 ? heldLevel : 0);
        }
        rendered += frames;
    }
    int voicesInUse() const override { return held; }
    void releaseAllNotes() override {
        if (!endless) held = 0;
    }
    void cutAllVoices() override { held = 0; }
    void clearEffectTails() override {}
};

class RecordingSink final : public test::OfflineSink {
  public:
    explicit RecordingSink(int rate) : OfflineSink(rate) {}
    std::vector<int32_t> right;  // the frame numbers the synthesizer wrote (modulo kFrameNumbers)
    std::vector<int> addSizes;
    std::vector<int32_t> left;  // the voices in use, as the synthesizer wrote them
    int starts = 0, ends = 0;
    bool failAdds = false;
    bool live = false;
    bool realTime() const override { return live; }

    int control(int request, const std::string&) override {
        if (request == OUT_REQ_PLAY_START) ++starts;
        if (request == OUT_REQ_PLAY_END) ++ends;
        return 0;
    }
    int add(StereoView<const int32_t> samples) override {
        const int frames = samples.frames();
        if (failAdds) return -1;
        addSizes.push_back(frames);
        for (int i = 0; i < frames; ++i) {
            left.push_back(samples[2 * i]);
            right.push_back(samples[2 * i + 1]);
        }
        return 0;
    }
};

struct Rig {
    explicit Rig(int rate) : sink(rate) {
        settings.outputRateHz = rate;
        input = std::make_unique<SongInput>(settings);
        player = std::make_unique<Player>(*input, nullptr, synth, control);
        player->setSink(&sink);
    }
    int play(const std::vector<uint8_t>& smf) {
        path = dir.write("song.mid", smf);
        return player->playFile(path);
    }
    EngineSettings settings;
    std::unique_ptr<SongInput> input;
    CountingSynthesis synth;
    QuietControl control;
    RecordingSink sink;
    std::unique_ptr<Player> player;
    test::TempDir dir;
    std::string path;
};

// 480 ticks at 120 bpm (0.5 s), then 480 ticks at 60 bpm (1 s): a note from 0 to 1.5 s, a
// second one struck at tick 720 (1.0 s) that ends with it.
std::vector<uint8_t> twoTempoSong() {
    test::SmfBuilder smf(0, 480);
    smf.track()
        .tempo(0, 500000)
        .noteOn(0, 0, 60, 100)
        .tempo(480, 1000000)
        .noteOn(240, 0, 64, 100)
        .noteOff(240, 0, 60)
        .noteOff(0, 0, 64)
        .endOfTrack();
    return smf.build();
}

TEST(PlaybackLoop, SongLengthAndEventSamplesAreExactAtEveryRate) {
    for (int rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        Rig rig(rate);
        EXPECT_EQ(rig.play(twoTempoSong()), CmdTuneEnd);
        // 1.5 s of song, then one second of silence after the last voice has ended.
        const int64_t expected = rate * 3 / 2 + rate;
        EXPECT_EQ(static_cast<int64_t>(rig.sink.right.size()), expected);
        EXPECT_EQ(rig.player->currentSample(), expected);
        // Whole blocks, and one partial block at the very end.
        for (size_t i = 0; i + 1 < rig.sink.addSizes.size(); ++i)
            EXPECT_EQ(rig.sink.addSizes[i], kBlockFrames);
        EXPECT_EQ(rig.sink.addSizes.back(), expected % kBlockFrames);
        // The frames reached the sink in order, none lost or repeated.
        for (int64_t i = 0; i < expected; ++i)
            ASSERT_EQ(rig.sink.right[static_cast<size_t>(i)], i % kFrameNumbers);

        std::vector<int64_t> noteOnFrames;
        for (const auto& a : rig.synth.applied)
            if (a.event.type == EV_NOTE_ON && a.sounding) noteOnFrames.push_back(a.frame);
        ASSERT_EQ(noteOnFrames.size(), 2u);
        EXPECT_EQ(noteOnFrames[0], 0);
        EXPECT_EQ(noteOnFrames[1], rate) << "tick 720 lies one second in";
        EXPECT_EQ(rig.sink.starts, 1);
        EXPECT_EQ(rig.sink.ends, 1);
    }
}

TEST(PlaybackLoop, TrailingControllersDoNotKeepTheSongGoing) {
    // The note ends at 0.5 s; controllers follow 4.5 s later. Once no voice sounds and the end
    // lies within the next few events, the song ends after the current block.
    test::SmfBuilder smf(0, 480);
    smf.track()
        .noteOn(0, 0, 60, 100)
        .noteOff(480, 0, 60)
        .controller(4320, 0, 7, 90)
        .controller(0, 0, 10, 64)
        .endOfTrack();
    Rig rig(44100);
    EXPECT_EQ(rig.play(smf.build()), CmdTuneEnd);
    const int64_t firstSilentBlockEnd = (22050 / kBlockFrames + 1) * kBlockFrames;
    EXPECT_EQ(static_cast<int64_t>(rig.sink.right.size()), firstSilentBlockEnd + 44100);
}

TEST(PlaybackLoop, ATailThatWillNotEndFadesOutAtTheCap) {
    // The note sounds on, well above the quiet level, after its release: the end plays on for
    // the cap, then fades out over 50 ms, is cut, and is silent from there.
    for (const auto& [live, capSeconds] : {std::pair{false, 30}, std::pair{true, 10}}) {
        SCOPED_TRACE(live ? "live" : "file");
        test::SmfBuilder smf(0, 480);
        smf.track().noteOn(0, 0, 60, 100).controller(480, 0, 7, 100).endOfTrack();
        Rig rig(44100);
        rig.synth.endless = true;
        rig.synth.heldLevel = 1 << 20;
        rig.sink.live = live;
        EXPECT_EQ(rig.play(smf.build()), CmdTuneEnd);
        const size_t fadeFrom = size_t(22050 + 44100 + capSeconds * 44100), fade = 2205;
        ASSERT_EQ(rig.sink.left.size(), fadeFrom + fade + 20);
        EXPECT_EQ(rig.sink.left[fadeFrom - 1], 1) << "the voice sounds up to the cap";
        for (size_t i = fadeFrom + 1; i < fadeFrom + fade; ++i)
            ASSERT_LE(rig.sink.left[i], rig.sink.left[i - 1]) << "frame " << i;
        EXPECT_EQ(rig.sink.left[fadeFrom + fade / 4], 1);
        EXPECT_EQ(rig.sink.left[fadeFrom + 3 * fade / 4], 0);
        for (size_t i = fadeFrom + fade; i < rig.sink.right.size(); ++i)
            ASSERT_EQ(rig.sink.right[i], 0) << "frame " << i;
        EXPECT_EQ(rig.synth.held, 0);
    }
}

// (A song that cannot be opened: Convert.OneThreadsAndTempoRangeForConvertAndPlay.)
TEST(PlaybackLoop, AnOutputThatFailsEndsTheSong) {
    Rig rig(44100);
    rig.sink.failAdds = true;
    EXPECT_EQ(rig.play(twoTempoSong()), CmdError);
}

}  // namespace
}  // namespace svt
