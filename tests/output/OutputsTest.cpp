#include "output/Outputs.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace svt::output {
namespace {

TEST(Outputs, StartsWithThePreselectedThenTheChosenThenADetectedOutput) {
    bool liveDevice = true;
    int liveProbes = 0;
    const std::vector<OutputCandidate> outputs = {
        {'d',
         [&] {
             ++liveProbes;
             return liveDevice;
         }},
        {'w', {}},
        {'g', {}},
    };
    const struct {
        bool device;
        std::optional<std::string_view> svt;
        std::optional<size_t> front;
        std::optional<size_t> chosen;
    } cases[] = {
        {true, std::nullopt, std::nullopt, 0},
        {true, "w", std::nullopt, 1},
        {true, "gogo", std::nullopt, 2},           // first character counts
        {false, "d", std::nullopt, std::nullopt},  // preselected device missing, none detected
        {false, "d", 1, 1},
        {true, "x", std::nullopt, 0},  // unknown letter: ordinary choice
        {true, "", 2, 2},
        {false, std::nullopt, std::nullopt, std::nullopt},  // no device: the program exits with 1
        {true, std::nullopt, 7, 0},                         // a choice beyond the list is none
    };
    for (const auto& c : cases) {
        liveDevice = c.device;
        EXPECT_EQ(chooseOutput(outputs, c.svt, c.front), c.chosen)
            << "device " << c.device << " SVT " << c.svt.value_or("(unset)");
    }
    EXPECT_GT(liveProbes, 0);
}

}  // namespace
}  // namespace svt::output
