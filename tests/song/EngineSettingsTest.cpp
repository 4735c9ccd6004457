#include "song/EngineSettings.h"

#include <gtest/gtest.h>

namespace svt {
namespace {

TEST(EngineSettings, ControlRatioFollowsTheRateWithinItsRange) {
    const struct {
        int rate;
        std::optional<int> ratio;
        int controlRatio;
    } cases[] = {
        {44100, std::nullopt, 44}, {8000, std::nullopt, 8}, {300000, std::nullopt, 255},
        {500, std::nullopt, 1},    {22050, 0, 22},          {44100, 100, 100},
        {44100, 1000, 255},
    };
    for (const auto& c : cases)
        EXPECT_EQ(settleControlRatio(c.rate, c.ratio), c.controlRatio) << c.rate;
}

}  // namespace
}  // namespace svt
