// The rooms and halls in each vector form, and with their right side on a helper thread,
// against the scalar form on one thread: every character at short and long times (lines from
// 11 samples to thousands, stretches that wrap), quiet and loud noise, and blocks of odd
// lengths, too short to share and longer than the reverb's own block.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "effects/Reverb.h"
#include "support/SimdForms.h"
#include "synth/Interpolation.h"

namespace svt::effects {
namespace {

std::vector<int64_t> render(SimdLevel level, const ReverbParams& params, int32_t loudness,
                            RenderWorkers* helpers = nullptr) {
    Reverb reverb;
    reverb.prepare(44100, level);
    reverb.initialise(params, ReverbMode(3));
    EXPECT_EQ(reverb.kind(), ReverbKind::RoomHall);
    std::mt19937 random(3);
    std::vector<int64_t> all;
    for (int frames : {4096, 1, 300, 7, 5000, 129}) {
        std::vector<int32_t> bus(size_t(2 * frames));
        for (int32_t& v : bus) v = int32_t(random() % (2u * uint32_t(loudness))) - loudness;
        std::vector<int64_t> out(bus.size());
        reverb.process({bus.data(), frames}, {out.data(), frames}, helpers);
        all.insert(all.end(), out.begin(), out.end());
    }
    return all;
}

TEST(ReverbKernels, RoomsAndHallsSoundAsTheScalarFormOnOneThread) {
    const std::vector<SimdLevel> forms = test::vectorFormsHere(simdLevelAvailable, "reverb");
    // One helper takes the right side; of two, the second has nothing to do.
    RenderWorkers oneHelper(1), twoHelpers(2);
    for (int character = 0; character <= 4; ++character) {
        for (int time : {0, 127}) {
            // Loud, yet short of where the lines' 32-bit sums would wrap.
            for (int32_t loudness : {1 << 12, 1 << 21}) {
                const ReverbParams params{character, 0, 127, time, 0, 0};
                const std::vector<int64_t> scalar = render(SimdLevel::Scalar, params, loudness);
                const auto where = [&](SimdLevel level, const char* threads) {
                    return std::string(simdLevelName(level)) + " " + threads + ": character " +
                           std::to_string(character) + " time " + std::to_string(time) +
                           " loudness " + std::to_string(loudness);
                };
                ASSERT_EQ(render(SimdLevel::Scalar, params, loudness, &twoHelpers), scalar)
                    << where(SimdLevel::Scalar, "on three threads");
                for (SimdLevel level : forms) {
                    ASSERT_EQ(render(level, params, loudness), scalar)
                        << where(level, "on one thread");
                    ASSERT_EQ(render(level, params, loudness, &oneHelper), scalar)
                        << where(level, "on two threads");
                }
            }
        }
    }
}

}  // namespace
}  // namespace svt::effects
