// A live output the machine cannot keep fed: its queue drains, the player sheds released voices
// and turns to the cheaper interpolation. The device and its clock are simulated: each block
// the device takes lets the clock run on by a multiple of the block's length.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Engine.h"
#include "output/AudioQueue.h"
#include "support/Sf2Builder.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt::test {
namespace {

constexpr int kRate = 44100;

class ManualClock final : public output::TickClock {
  public:
    double now = 10.0;
    double nowSeconds() override { return now; }
    void sleepSeconds(double s) override { now += s; }
};

// A live-like device of 32 buffers of 4096 frames. Rendering a block takes `slowness` times
// the block's own length: above 1 the device plays faster than it is fed.
class SlowMachineDevice final : public output::OutputDevice {
  public:
    SlowMachineDevice(ManualClock& clock, double slowness) : clock_(clock), slowness_(slowness) {
        flags = output::OF_PCM_STREAM | output::OF_CAN_TIME;
        idCharacter = 'd';
    }
    int openOutput() override { return 0; }
    int closeOutput() override { return 0; }
    int outputData(const uint8_t*, size_t count) override {
        clock_.now += slowness_ * double(count / 4) / kRate;
        return static_cast<int>(count);
    }
    int acntl(int request, void* argument) override {
        if (request != OUT_REQ_GET_QUEUE_SIZE) return -1;
        *static_cast<int*>(argument) = 31 * 4096 * 4;
        return 0;
    }

  private:
    ManualClock& clock_;
    double slowness_;
};

// Keeps the voice counts of the time notices.
class VoiceCounts final : public ControlInterface {
  public:
    std::vector<int> voices;
    int read(int32_t&) override { return CmdNone; }
    void event(const PlayerNotice& n) override {
        if (n.code == NoticeCurrentTime) voices.push_back(n.args[1]);
    }
    bool traces() const override { return false; }
};

// Ninety-six short notes a second over all the keys, each dying away over four seconds after
// its release: a second and a half in, over a hundred released voices sound at once.
std::vector<uint8_t> denseSong() {
    SmfBuilder song(0, 480);
    SmfTrack& t = song.track();
    for (int i = 0; i < 8 * 96; ++i)
        t.noteOn(i == 0 ? 0 : 5, 0, i % 128, 100).noteOff(5, 0, i % 128);
    t.endOfTrack();
    return song.build();
}

std::vector<uint8_t> longReleaseFont() {
    Sf2Builder sf;
    const int s = sf.addSample(Sf2Builder::sineSample("sine", 440.0, kRate, 69));
    const int inst = sf.addInstrument("Long release");
    sf.instrumentZone(inst)
        .keyRange(0, 127)
        .loopMode(1)
        .gen(GEN_RELEASE_VOL_ENV, Sf2Builder::timecents(4.0))
        .sample(s);
    sf.presetZone(sf.addPreset("Long release", 0, 0)).instrument(inst);
    return sf.build();
}

struct Outcome {
    int mostVoicesLate = 0;  // the most voices in use told after the first few seconds
    bool reducedQuality = false;
    int voiceLimit = 0;
};

Outcome playOn(double slowness, int reductionThreshold = -1) {
    TempDir dir;
    const std::vector<uint8_t> font = longReleaseFont();
    Engine engine;
    engine.fonts().registerBytes("release.sf2", font);
    engine.banks().indexFonts();
    ManualClock clock;
    SlowMachineDevice device(clock, slowness);
    output::AudioQueue queue(&clock);
    VoiceCounts counts;
    Player player(engine.songInput(), &engine.banks(), engine.synthesizer(), counts,
                  &engine.controls());
    queue.setup(device, &player);
    EXPECT_TRUE(queue.setQueueFromSettings("5.0", "100%"));
    player.setSink(&queue);
    player.options().reductionThreshold = reductionThreshold;
    EXPECT_EQ(player.playFile(dir.write("dense.mid", denseSong())), CmdTuneEnd);
    Outcome o;
    // A notice after every block that changed the count: the first twenty come while the
    // voices pile up.
    for (size_t i = 20; i < counts.voices.size(); ++i)
        o.mostVoicesLate = std::max(o.mostVoicesLate, counts.voices[i]);
    o.reducedQuality = engine.synthesizer().resampler().reduceQuality();
    o.voiceLimit = engine.synthesizer().voiceLimit();
    return o;
}

TEST(LiveReduction, AStarvedQueueShedsReleasedVoicesAndInterpolatesMoreCheaply) {
    const Outcome fed = playOn(0.25);
    ASSERT_GT(fed.mostVoicesLate, 100) << "a machine that keeps up plays every voice";
    EXPECT_FALSE(fed.reducedQuality);
    EXPECT_EQ(fed.voiceLimit, kMaxVoices);

    const Outcome starved = playOn(3.0);
    EXPECT_LT(starved.mostVoicesLate, fed.mostVoicesLate / 2);
    EXPECT_TRUE(starved.reducedQuality);
    EXPECT_LT(starved.voiceLimit, kMaxVoices) << "the voice limit follows what was kept up with";

    // With the reduction switched off every voice plays on; only the interpolation gives way.
    const Outcome unreduced = playOn(3.0, 0);
    EXPECT_GT(unreduced.mostVoicesLate, 100);
    EXPECT_TRUE(unreduced.reducedQuality);
}

}  // namespace
}  // namespace svt::test
