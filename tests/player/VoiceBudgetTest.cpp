// The voice budget of a live output that falls behind, block by block against a queue whose fill
// each step chooses: which voices go and where the limit moves.

#include <gtest/gtest.h>

#include <vector>

#include "player/VoiceBudget.h"
#include "synth/Synthesis.h"

namespace svt {
namespace {

// Sounds a chosen number of voices, some of them released, and notes what the budget asks.
class Voices final : public Synthesis {
  public:
    int voices = 0, releasedVoices = 0, limit = kMaxVoices;
    std::vector<int> cuts, limits;

    void resetChannels() override {}
    void setSystemMode(int) override {}
    void applyEvent(const SongEvent&, bool) override {}
    void render(StereoView<int32_t>) override {}
    int voicesInUse() const override { return voices; }
    void releaseAllNotes() override {}
    void cutAllVoices() override {}
    void clearEffectTails() override {}
    void setVoiceLimit(int v) override { limits.push_back(limit = v); }
    int voiceLimit() const override { return limit; }
    int reducibleVoices() const override { return releasedVoices; }
    int cutQuietestReleased(int count) override {
        cuts.push_back(count);
        return count;
    }
};

struct Step {
    int64_t filled;  // frames waiting, of a device queue of 10,000
    int voices, releasedVoices;
};

struct Case {
    const char* what;
    BudgetMode mode;
    std::vector<Step> steps;
    std::vector<int> cuts;
};

TEST(VoiceBudget, ADrainingQueueCutsReleasedVoicesAsItsModelSays) {
    // A reserve of 100 ms is 4,411 frames at 44.1 kHz; thresholdMs 0 leaves a reserve of one frame.
    const Case cases[] = {
        // A stream under its reserve keeps one voice when all could go, and cuts more than the
        // released voices when few are.
        {"stream", {true, false, 100}, {{3000, 6, 6}, {2000, 6, 6}}, {5}},
        {"stream, few released", {true, false, 100}, {{3000, 10, 4}, {2000, 10, 4}}, {5}},
        // A file draining above the starved rate with 10 voices learns that 10 are too many:
        // with 14 the next drain cuts down to 10.
        {"file", {false, false, 0}, {{3500, 10, 0}, {3000, 10, 0}, {2900, 14, 8}}, {4}},
        {"file keeping up", {false, false, 0}, {{9000, 30, 20}, {9500, 30, 20}}, {}},
    };
    for (const auto& c : cases) {
        Voices synth;
        VoiceBudget budget(kMaxVoices);
        int64_t now = 0;
        for (const Step& s : c.steps) {
            synth.voices = s.voices;
            synth.releasedVoices = s.releasedVoices;
            budget.afterBlock(synth, QueueFill{s.filled, 0, 10000}, c.mode, 44100, now += 1024);
        }
        EXPECT_EQ(synth.cuts, c.cuts) << c.what;
    }
}

TEST(VoiceBudget, TheLimitFallsToWhatTheMachineBoreAndComesBackWhenTheQueueIsHealthy) {
    Voices synth;
    VoiceBudget budget(200);
    const BudgetMode file{false, true, 0};
    int64_t now = 0;
    auto block = [&](int64_t filled, int voices) {
        synth.voices = voices;
        budget.afterBlock(synth, QueueFill{filled, 0, 10000}, file, 44100, now += 1024);
    };
    // Starved and not falling any more with 40 voices: the average of what it bore sinks toward
    // 40, and the limit follows it down.
    for (int i = 0; i < 8; ++i) block(1000, 40);
    block(900, 40);
    ASSERT_FALSE(synth.limits.empty());
    EXPECT_LT(synth.limit, 200);
    EXPECT_GE(synth.limit, 1);
    // A full queue that rises again brings back the remembered limit.
    block(9000, 40);
    block(9500, 40);
    EXPECT_EQ(synth.limit, 200);
}

}  // namespace
}  // namespace svt
