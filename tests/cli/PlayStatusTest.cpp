#include "cli/PlayStatus.h"

#include <gtest/gtest.h>

namespace svt {
namespace {

TEST(PlayStatus, ShowsWhatIsHeardAndGivesWayWithTheTitle) {
    PlayStatus s;
    s.title = "Prélude in C";
    s.heardSeconds = 65.2;
    s.totalSeconds = 3725;
    s.measure = 12;
    s.beat = 3;
    s.microsPerQuarter = 600000;
    s.key = "C-major";
    s.voices = 37;
    EXPECT_EQ(formatPlayStatus(s, 120),
              "Prélude in C  1:05 / 1:02:05   12:3  100 bpm  C-major   37 voices");

    s.tempoPercent = 110;
    s.transpose = -2;
    s.volumePercent = 150;
    s.mutedChannels = (1u << 0) | (1u << 9) | (1u << 15);
    s.paused = true;
    const std::string wide = formatPlayStatus(s, 200);
    for (const char* part : {"110 bpm (110%)", "-2 st", "vol 150%", "muted 1,10,16", "[paused]"})
        EXPECT_NE(wide.find(part), std::string::npos) << part << " in " << wide;

    // Narrow terminals: the title is cut first (never inside a UTF-8 character), and the
    // line never reaches the last column, which would wrap it.
    for (int columns : {90, 80, 60, 20, 5}) {
        const std::string line = formatPlayStatus(s, columns);
        EXPECT_LE(line.size(), static_cast<size_t>(columns - 1)) << columns << ": " << line;
    }
    s.title = "ééééééééééééééééééééééééééééé";
    s.mutedChannels = 0;
    s.paused = false;
    const std::string cut = formatPlayStatus(s, 100);
    EXPECT_NE(cut.find("é..."), std::string::npos) << cut;
}

}  // namespace
}  // namespace svt
