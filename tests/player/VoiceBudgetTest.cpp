// The voice budget of a live output that falls behind, block by block against a queue whose fill
// each step chooses: where the limit moves. (Which voices go: LiveReduction in tests/app.)

#include <gtest/gtest.h>

#include <vector>

#include "player/VoiceBudget.h"
#include "synth/Synthesis.h"

namespace svt {
namespace {

// Sounds a chosen number of voices and notes the limits the budget sets.
class Voices final : public Synthesis {
  public:
    int voices = 0, limit = kMaxVoices;
    std::vector<int> limits;

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
    int cutQuietestReleased(int count) override { return count; }
};

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
