#include "output/WavOutput.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "output/AudioQueue.h"
#include "support/TempDir.h"

namespace svt::output {
namespace {

// Feeds `frames` frames of a constant value through an audio queue into `wav`.
void feed(AudioQueue& queue, int64_t frames, int32_t value = 1 << 20) {
    std::vector<int32_t> block(2 * 4096, value);
    while (frames > 0) {
        const int n = static_cast<int>(std::min<int64_t>(frames, 4096));
        ASSERT_EQ(queue.add({block.data(), n}), 0);
        frames -= n;
    }
}

// The final name shows either the file that was there before or the complete new one, and no
// temporary file is left whatever happened. A full disk and a file-size limit are met through
// the command line in tests/app/ConversionRulesTest.cpp.
TEST(WavOutput, AFileReplacesTheOldOneOnlyWhenComplete) {
    enum class End { Close, Abandon, KeepOld, AbandonSong };
    struct Case {
        const char* what;
        End end;
        bool replaced;
        int closeResult;
    };
    const Case cases[] = {
        {"a complete file replaces the old one", End::Close, true, 0},
        {"an abandoned file is removed", End::Abandon, false, 0},
        // The command line keeps an old file before it opens one; an old file that appears
        // meanwhile is kept all the same, and the new one fails.
        {"the old file is kept when replacing is not allowed", End::KeepOld, false, -1},
        {"a song that ends unfinished leaves no file", End::AbandonSong, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const std::string final = dir.write("song.wav", std::string("old file"));
        WavOutput wav;
        wav.replaceExisting = c.end != End::KeepOld;
        wav.batchConversion = c.end == End::AbandonSong;
        wav.name = final;
        ASSERT_EQ(wav.openOutput(), 0);
        AudioQueue queue;
        queue.setup(wav, nullptr);
        if (c.end == End::AbandonSong) {
            ASSERT_EQ(queue.control(OUT_REQ_PLAY_START, dir.file("song.mid")), 0);
        }
        feed(queue, 1000);
        if (c.end == End::Abandon) wav.abandonFile();
        if (c.end == End::AbandonSong) {
            EXPECT_EQ(queue.control(OUT_REQ_PLAY_ABANDON, dir.file("song.mid")), 0);
        }
        EXPECT_EQ(wav.closeOutput(), c.closeResult) << wav.lastMessage();
        const auto bytes = test::readFileBytes(final);
        EXPECT_EQ(bytes.size(), c.replaced ? 4000 + kWavHeaderBytes : 8u);
        size_t files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
            ++files;
        EXPECT_EQ(files, 1u) << "no temporary file is left";
    }
}

TEST(WavOutput, FailuresAreReported) {
    WavOutput cannotCreate;
    cannotCreate.name = "/nonexistent-folder/out.wav";
    EXPECT_EQ(cannotCreate.openOutput(), -1);
    EXPECT_NE(cannotCreate.lastMessage().find("Wave file could not be created!"),
              std::string::npos);
}

}  // namespace
}  // namespace svt::output
