// The mixing loops in their vector and scalar forms: whatever runs, every voice must reach the
// block exactly as the scalar form would put it there.

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "support/SimdForms.h"
#include "synth/MixKernels.h"

namespace svt {
namespace {

TEST(SynthMix, ConstantMixAddsTheSameProductsInEveryForm) {
#if defined(__x86_64__) || defined(__i386__)
    if (!simdLevelAvailable(SimdLevel::Avx2)) GTEST_SKIP() << "no AVX2 here";
    std::mt19937 gen(3);
    // Samples as the interpolators give them: mostly within 16 bits, sometimes beyond (the
    // Lagrange kernel overshoots) and sometimes the extremes.
    std::uniform_int_distribution<int32_t> value(-40000, 40000), kind(0, 9);
    std::uniform_int_distribution<int32_t> mix(0, kMaxMix);
    std::uniform_int_distribution<int64_t> start(-(int64_t(1) << 40), int64_t(1) << 40);
    const std::vector<std::pair<int32_t, int32_t>> fixed = {
        {0, 0}, {kMaxMix, 0}, {0, kMaxMix}, {4096, 4096}, {1, kMaxMix}, {kMaxMix, kMaxMix}};
    for (int trial = 0; trial < 300; ++trial) {
        const int count = trial % 41;
        const auto [left, right] =
            trial < int(fixed.size()) ? fixed[size_t(trial)] : std::pair{mix(gen), mix(gen)};
        std::vector<int32_t> s(size_t(count) + 1);
        for (int32_t& x : s) {
            const int k = kind(gen);
            x = k == 0 ? 32767 : k == 1 ? -32768 : k == 2 ? 131071 : value(gen);
        }
        s[0] =
            trial % 2 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
        // One frame of room in front, so that the block is not always 32-byte aligned.
        std::vector<int64_t> expected(size_t(2 * count + 2));
        for (int64_t& x : expected) x = start(gen);
        std::vector<int64_t> got = expected;
        const size_t at = size_t(trial % 2);
        mixConstantScalar(s.data(), count, left, right, expected.data() + 2 * at);
        mixConstantAvx2(s.data(), count, left, right, got.data() + 2 * at);
        ASSERT_EQ(got, expected) << "count " << count << " mix " << left << "/" << right;
    }
#else
    GTEST_SKIP() << "no vector form on this processor family";
#endif
}

TEST(SynthMix, LinearRunsReadNothingPastTheirLastSample) {
    // The data ends right after the last sample a run needs, so that any read beyond it lands
    // outside the allocation (the sanitizer build sees it) and any wrong pair shows as a
    // wrong value. Backward runs start at the top and end at the lowest point.
    std::mt19937 gen(9);
    std::uniform_int_distribution<int> value(-32768, 32767);
    for (SimdLevel level : test::vectorFormsHere(simdLevelAvailable, "linear run")) {
        SCOPED_TRACE(simdLevelName(level));
        const LinearRunFn vector = linearRunFor(level);
        for (int32_t increment : {1, 4095, 4096, 4097, 8191, 8192, 8193, 12000, -1, -9000}) {
            for (int count : {8, 9, 16, 17, 100, 4352}) {
                for (int64_t low : {int64_t(0), int64_t(4095), int64_t(3 << 12) + 1234}) {
                    const int64_t span = int64_t(std::abs(increment)) * (count - 1);
                    const int64_t first = increment > 0 ? low : low + span;
                    std::vector<int16_t> data(size_t(((low + span) >> 12) + 2));
                    for (int16_t& x : data) x = int16_t(value(gen));
                    std::vector<int32_t> expected(static_cast<size_t>(count)),
                        got(static_cast<size_t>(count));
                    linearRunScalar(data.data(), first, increment, count, expected.data());
                    vector(data.data(), first, increment, count, got.data());
                    ASSERT_EQ(got, expected)
                        << "increment " << increment << " count " << count << " from " << first;
                }
            }
        }
    }
}

}  // namespace
}  // namespace svt
