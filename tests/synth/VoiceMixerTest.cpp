// The mixer on its own: a voice lands in the block it is given and nowhere else, filtered
// voices mixed side by side come out as each would alone, and voices that are cut or whose
// data ends fade and free themselves.

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
    std::vector<int64_t> first(2 * kFrames), second(2 * kFrames), untouched(2 * kFrames);
    parts.mixer.mix(a, {first.data(), kFrames});
    parts.mixer.mix(b, {second.data(), kFrames});
    parts.mixer.flush();
    EXPECT_FALSE(silent(first));
    EXPECT_EQ(first, second) << "the same voice, the same values, whichever block";
    EXPECT_TRUE(silent(untouched));
    // Blocks add: a second stretch into the same block lands on top of the first.
    std::vector<int64_t> twice = first;
    Voice c = parts.voice(r);
    parts.mixer.mix(c, {twice.data(), kFrames});
    for (size_t i = 0; i < twice.size(); ++i) ASSERT_EQ(twice[i], 2 * first[i]) << i;
}

TEST(VoiceMixer, FilteredVoicesSideBySideSoundAsEachAlone) {
    // More filtered voices than run side by side, each with a cutoff and a block of its own,
    // and plain voices between them.
    constexpr int kVoices = 2 * kFilterLanes + 3;
    std::vector<int16_t> pcm = sine(4410, 2000);
    std::vector<SampleRegion> regions(kVoices, test::plainRegion(pcm, true));
    for (int i = 0; i < kVoices; ++i) regions[size_t(i)].cutoffHz = i % 5 == 4 ? 0 : 300 + 150 * i;

    SynthParts together, alone;
    std::vector<std::vector<int64_t>> mixed(kVoices, std::vector<int64_t>(2 * kFrames));
    std::vector<std::vector<int64_t>> single = mixed;
    std::vector<Voice> voices;
    for (const SampleRegion& r : regions) voices.push_back(together.voice(r));
    std::vector<Voice> copies = voices;
    for (int i = 0; i < kVoices; ++i)
        together.mixer.mix(voices[size_t(i)], {mixed[size_t(i)].data(), kFrames});
    together.mixer.flush();
    for (int i = 0; i < kVoices; ++i) {
        alone.mixer.mix(copies[size_t(i)], {single[size_t(i)].data(), kFrames});
        alone.mixer.flush();
        EXPECT_FALSE(silent(single[size_t(i)])) << i;
        EXPECT_EQ(mixed[size_t(i)], single[size_t(i)]) << "voice " << i;
        EXPECT_EQ(voices[size_t(i)].filter.s1, copies[size_t(i)].filter.s1) << "voice " << i;
        EXPECT_EQ(voices[size_t(i)].filter.s2, copies[size_t(i)].filter.s2) << "voice " << i;
    }
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

TEST(VoiceMixer, ADelayedVoiceStartsLate) {
    SynthParts parts;
    std::vector<int16_t> pcm = sine(4410, 441);
    SampleRegion r = test::plainRegion(pcm, true);
    r.volEnvDelay = 600;
    Voice v = parts.voice(r);
    std::vector<int64_t> block(2 * kFrames);
    parts.mixer.mix(v, {block.data(), 500});
    EXPECT_TRUE(silent(block));
    parts.mixer.mix(v, {block.data(), 500});
    EXPECT_TRUE(std::all_of(block.begin(), block.begin() + 2 * 100, [](int64_t x) { return !x; }));
    EXPECT_FALSE(silent(block));
}

}  // namespace
}  // namespace svt
