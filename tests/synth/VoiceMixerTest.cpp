// The mixer on its own: a voice lands in the block it is given, and voices that are cut or
// whose data ends fade and free themselves. Filtered voices side by side: SynthMixKernelTest.

#include "synth/VoiceMixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "support/SynthParts.h"

namespace svt {
namespace {

using test::SynthParts;

constexpr int kFrames = 1000;

std::vector<int16_t> sine(int frames, double hz) {
    std::vector<int16_t> pcm;
    for (int n = 0; n < frames; ++n)
        pcm.push_back(int16_t(std::lround(12000 * std::sin(2 * M_PI * hz * n / 44100))));
    return pcm;
}

bool silent(const std::vector<int64_t>& block, size_t from = 0) {
    return std::all_of(block.begin() + ptrdiff_t(from), block.end(),
                       [](int64_t x) { return x == 0; });
}

TEST(VoiceMixer, AVoiceLandsInTheBlockItIsGiven) {
    SynthParts parts;
    std::vector<int16_t> pcm = sine(4410, 441);
    const SampleRegion r = test::plainRegion(pcm, true);
    Voice a = parts.voice(r), b = a;
    std::vector<int64_t> first(2 * kFrames), second(2 * kFrames);
    parts.mixer.mix(a, {first.data(), kFrames});
    parts.mixer.mix(b, {second.data(), kFrames});
    parts.mixer.flush();
    EXPECT_FALSE(silent(first));
    EXPECT_EQ(first, second) << "the same voice, the same values, whichever block";
    // Blocks add: a second stretch into the same block lands on top of the first.
    std::vector<int64_t> twice = first;
    Voice c = parts.voice(r);
    parts.mixer.mix(c, {twice.data(), kFrames});
    for (size_t i = 0; i < twice.size(); ++i) ASSERT_EQ(twice[i], 2 * first[i]) << i;
}

TEST(VoiceMixer, EndsFadeAndFree) {
    SynthParts parts;
    std::vector<int16_t> looped = sine(4410, 441);
    const SampleRegion loop = test::plainRegion(looped, true);
    Voice v = parts.voice(loop);
    std::vector<int64_t> warm(2 * kFrames), cut(2 * kFrames);
    parts.mixer.mix(v, {warm.data(), kFrames});
    v.cut();
    parts.mixer.mix(v, {cut.data(), kFrames});
    EXPECT_FALSE(silent(cut)) << "the cut fades, it does not stop dead";
    EXPECT_TRUE(silent(cut, 2 * VoiceMixer::kDyingFrames));
    EXPECT_FALSE(v.inUse());

    // A one-shot sample shorter than the stretch: its end, then silence, then a free voice.
    std::vector<int16_t> shot = sine(300, 441);
    const SampleRegion once = test::plainRegion(shot, false);
    Voice s = parts.voice(once);
    std::vector<int64_t> block(2 * kFrames);
    parts.mixer.mix(s, {block.data(), kFrames});
    EXPECT_FALSE(silent(block));
    EXPECT_TRUE(silent(block, 2 * (300 + VoiceMixer::kDyingFrames)));
    EXPECT_FALSE(s.inUse());
}

}  // namespace
}  // namespace svt
