// The rooms and halls in each vector form against the scalar one: every character at short and
// long times (lines from 11 samples to thousands, stretches that wrap), quiet and loud noise,
// and blocks of odd lengths.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "effects/Reverb.h"
#include "support/SimdForms.h"
#include "synth/Interpolation.h"

namespace svt::effects {
namespace {

std::vector<int64_t> render(SimdLevel level, const ReverbParams& params, int32_t loudness) {
    Reverb reverb;
    reverb.prepare(44100, level);
    reverb.initialise(params, ReverbMode(3));
    EXPECT_EQ(reverb.kind(), ReverbKind::RoomHall);
    std::mt19937 random(3);
    std::vector<int64_t> all;
    for (int frames : {4096, 1, 300, 7, 4096, 129}) {
        std::vector<int32_t> bus(size_t(2 * frames));
        for (int32_t& v : bus) v = int32_t(random() % (2u * uint32_t(loudness))) - loudness;
        std::vector<int64_t> out(bus.size());
        reverb.process({bus.data(), frames}, {out.data(), frames});
        all.insert(all.end(), out.begin(), out.end());
    }
    return all;
}

TEST(ReverbKernels, RoomsAndHallsSoundAsTheScalarForm) {
    const std::vector<SimdLevel> forms = test::vectorFormsHere(simdLevelAvailable, "reverb");
    if (forms.empty()) GTEST_SKIP() << "only the scalar form runs on this processor";
    for (int character = 0; character <= 4; ++character) {
        for (int time : {0, 127}) {
            // Loud, yet short of where the lines' 32-bit sums would wrap.
            for (int32_t loudness : {1 << 12, 1 << 21}) {
                const ReverbParams params{character, 0, 127, time, 0, 0};
                const std::vector<int64_t> scalar = render(SimdLevel::Scalar, params, loudness);
                for (SimdLevel level : forms)
                    ASSERT_EQ(render(level, params, loudness), scalar)
                        << simdLevelName(level) << ": character " << character << " time " << time
                        << " loudness " << loudness;
            }
        }
    }
}

}  // namespace
}  // namespace svt::effects
