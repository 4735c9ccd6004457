// The peak limiter in front of the output, heard on real fonts.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Conversion.h"
#include "support/Signal.h"
#include "support/SongRig.h"

namespace svt::test {
namespace {

class DebianFontLevels : public ::testing::TestWithParam<const char*> {};

TEST_P(DebianFontLevels, AtTheDefaultVolumeTheLimiterLeavesASongAlone) {
    // Over full scale the limiter's work is checked on the command line with loud sines.
    const std::string font = std::string("/usr/share/sounds/sf2/") + GetParam();
    if (!std::filesystem::exists(font)) GTEST_SKIP() << font << " is not installed";
    TempDir dir;
    std::vector<uint8_t> files[2];
    for (const bool limiter : {false, true}) {
        ConvertOptions options;
        options.soundFont = font;
        options.settings.limiter = limiter;
        const std::string out = dir.file(limiter ? "on.wav" : "off.wav");
        const BatchOutcome outcome =
            convertSong({std::string(SORVANTO_SOURCE_DIR) + "/data/demo.mid", out}, options);
        ASSERT_EQ(outcome.kind, BatchOutcome::Written) << outcome.message;
        EXPECT_EQ(outcome.clippedSamples, 0);
        const auto wav = readWav(out);
        ASSERT_TRUE(wav.ok());
        EXPECT_GT(peak(toDoubles(wav->samples)), 32768 * 0.05) << "the song is heard";
        files[limiter ? 1 : 0] = readFileBytes(out);
    }
    EXPECT_TRUE(files[0] == files[1]) << "bit for bit the same file";
}

INSTANTIATE_TEST_SUITE_P(Fonts, DebianFontLevels,
                         ::testing::Values("FluidR3_GM.sf2", "TimGM6mb.sf2"));

}  // namespace
}  // namespace svt::test
