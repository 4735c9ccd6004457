// The GS chorus and delay skip the blocks of a silent bus without changing what follows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/ChorusDelay.h"
#include "support/Signal.h"

namespace svt::test {
namespace {

using effects::ChorusParams;

constexpr int kRate = 44100;

// Blocks of a silent bus into lines that hold only silence are not computed frame by frame;
// the chorus's LFOs and both units' lines must then stand where computing them would have left
// them, so that the next sound comes out the same.
TEST(ChorusAndDelay, SilentBlocksLeaveThemWhereComputingWould) {
    constexpr int kBlock = 4096;
    // A burst, blocks of silence, a second burst, silence again.
    auto input = [](int f) {
        const bool sounding = f < 3000 || (f >= 5 * kBlock + 100 && f < 6 * kBlock);
        return sounding ? int32_t(std::lround(std::sin(0.05 * f) * (1 << 26))) : 0;
    };
    // The chorus plain, with feedback and pre-filter, and the delay (without feedback: its lines
    // fall silent).
    effects::GsDelaySettings echo;
    echo.feedback = 64;
    echo.timeCentre = 60;
    echo.levelLeft = echo.levelRight = 90;
    echo.ratioLeft = 12;
    echo.sendReverb = 50;
    for (const int unit : {0, 1, 2}) {
        SCOPED_TRACE(unit);
        const bool isChorus = unit < 2;
        std::vector<int64_t> outputs[2];
        for (int skips = 0; skips < 2; ++skips) {
            effects::Chorus chorus;
            effects::GsDelay delay;
            chorus.prepare(kRate);
            delay.prepare(kRate);
            chorus.setSkipsSilence(skips == 1);
            delay.setSkipsSilence(skips == 1);
            if (isChorus)
                chorus.initialise(ChorusParams{3 * unit, 100, 60 * unit, 64, 10, 60, 40, 40}, 0.5,
                                  unit == 1);
            else
                delay.initialise(effects::deriveDelay(echo, kRate), 0.5, false);
            for (int at = 0; at < 9 * kBlock; at += kBlock) {
                std::vector<int32_t> bus(2 * kBlock), reverb(2 * kBlock), delayBus(2 * kBlock);
                std::vector<int64_t> out(2 * kBlock);
                for (int f = 0; f < kBlock; ++f)
                    bus[size_t(2 * f)] = bus[size_t(2 * f + 1)] = input(at + f);
                if (isChorus)
                    chorus.process({bus.data(), kBlock}, {out.data(), kBlock},
                                   {reverb.data(), kBlock}, {delayBus.data(), kBlock});
                else
                    delay.process({bus.data(), kBlock}, {out.data(), kBlock},
                                  {reverb.data(), kBlock});
                for (size_t i = 0; i < out.size(); ++i)
                    outputs[skips].insert(outputs[skips].end(), {out[i], reverb[i], delayBus[i]});
            }
        }
        ASSERT_EQ(outputs[1].size(), outputs[0].size());
        const auto [a, b] = std::mismatch(outputs[0].begin(), outputs[0].end(), outputs[1].begin());
        EXPECT_TRUE(a == outputs[0].end())
            << "first differs at value " << (a - outputs[0].begin()) / 3 / 2;
        EXPECT_GT(rms(std::vector<double>(outputs[0].end() - 4 * 2 * 3 * kBlock, outputs[0].end())),
                  0.0)
            << "the second burst is heard";
    }
}

}  // namespace
}  // namespace svt::test
