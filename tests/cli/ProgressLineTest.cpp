#include "cli/ProgressLine.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace svt {
namespace {

TEST(ProgressLine, BarPercentTimesAndSpeedFitTheWidth) {
    const std::string line = formatProgressLine(60, 120, 2, 80);
    EXPECT_EQ(line.front(), '[');
    EXPECT_NE(line.find(" 50%"), std::string::npos) << line;
    EXPECT_NE(line.find("1:00 / 2:00"), std::string::npos) << line;
    EXPECT_NE(line.find("30.0x"), std::string::npos) << line;
    EXPECT_LT(line.size(), 80u);
    // Half the cells are filled.
    const size_t close = line.find(']');
    EXPECT_EQ(std::count(line.begin(), line.begin() + long(close), '#'), long(close - 1) / 2);

    EXPECT_EQ(formatProgressLine(0, 120, 0, 80).find('x'), std::string::npos)
        << "no speed before time passed";
    EXPECT_NE(formatProgressLine(500, 120, 1, 80).find("100%"), std::string::npos)
        << "never past the end";
    const std::string narrow = formatProgressLine(60, 120, 2, 30);
    EXPECT_EQ(narrow.find('['), std::string::npos) << narrow;
    EXPECT_LT(narrow.size(), 30u);
    const std::string unknown = formatProgressLine(5, 0, 1, 80);
    EXPECT_EQ(unknown.find('%'), std::string::npos) << unknown;
}

}  // namespace
}  // namespace svt
