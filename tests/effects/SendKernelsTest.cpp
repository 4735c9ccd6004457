// The send loops in each vector form against the scalar one: values beyond the limit, sums that
// saturate, negative products that round, gains the vector form hands back, and lengths that
// leave a tail.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "effects/SendKernels.h"
#include "support/SimdForms.h"
#include "synth/Interpolation.h"

namespace svt::effects {
namespace {

TEST(SendKernels, EveryFormAddsAsTheScalarOne) {
    const std::vector<SimdLevel> forms = test::vectorFormsHere(simdLevelAvailable, "send loops");
    if (forms.empty()) GTEST_SKIP() << "only the scalar form runs on this processor";
    std::mt19937_64 random(7);
    // Block values: quiet and loud mixes, values just inside and beyond the limit, extremes.
    const int64_t edges[] = {
        0,         1,         -1,          kSendLimit, kSendLimit + 1, -kSendLimit, -kSendLimit - 1,
        INT64_MAX, INT64_MIN, 123456789012};
    std::vector<int64_t> block(1027);
    for (size_t i = 0; i < block.size(); ++i) {
        switch (i % 4) {
            case 0:
                block[i] = edges[(i / 4) % std::size(edges)];
                break;
            case 1:
                block[i] = int64_t(random() % (1u << 26)) - (1 << 25);
                break;
            default:
                block[i] = int64_t(random() >> 30) - (int64_t(1) << 33);
        }
    }
    // Bus contents: silence, and sums near either end of 32 bits so that adding saturates.
    std::vector<int32_t> bus(block.size());
    for (size_t i = 0; i < bus.size(); ++i)
        bus[i] = i % 3 == 0 ? 0 : i % 3 == 1 ? INT32_MAX - int32_t(i) : INT32_MIN + int32_t(i);

    struct Case {
        bool reverb;
        int64_t gain;
    };
    const Case cases[] = {
        {true, 0},
        {true, 1},
        {true, 127 * 132104},      // level 127 at the usual reverb input gain
        {true, -5000},             // a negative product rounds towards zero
        {true, int64_t(1) << 31},  // beyond 32 bits: the scalar way
        {true, (int64_t(1) << 31) - 1},
        {false, 0},
        {false, 516},
        {false, 65536},
        {false, 65537},  // beyond 2^16: the scalar way
    };
    for (SimdLevel level : forms) {
        const SendKernels vector = sendKernelsFor(level);
        for (const Case& c : cases) {
            for (int values : {1027, 4, 3, 0}) {
                SCOPED_TRACE(std::string(simdLevelName(level)) +
                             (c.reverb ? " reverb " : " level ") + std::to_string(c.gain) + " x " +
                             std::to_string(values));
                std::vector<int32_t> expected = bus, got = bus;
                const std::span<const int64_t> in(block.data(), size_t(values));
                if (c.reverb) {
                    reverbSendScalar(in, c.gain, expected);
                    vector.reverb(in, c.gain, got);
                } else {
                    levelSendScalar(in, c.gain, expected);
                    vector.level(in, c.gain, got);
                }
                ASSERT_EQ(got, expected);
            }
        }
    }
}

}  // namespace
}  // namespace svt::effects
