#include "output/WavOutput.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "output/AudioQueue.h"
#include "support/TempDir.h"

namespace svt::output {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

struct Header {
    uint32_t riffSize, tag, channels, rate, byteRate, align, bits, dataSize;
};
Header headerOf(const std::vector<uint8_t>& b) {
    EXPECT_GE(b.size(), kWavHeaderBytes);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    return {le32(b, 4),  le16(b, 20), le16(b, 22), le32(b, 24),
            le32(b, 28), le16(b, 32), le16(b, 34), le32(b, 40)};
}

// Feeds `frames` frames of a constant value through an audio queue into `wav`.
void feed(AudioQueue& queue, int64_t frames, int32_t value = 1 << 20) {
    std::vector<int32_t> block(2 * 4096, value);
    while (frames > 0) {
        const int n = static_cast<int>(std::min<int64_t>(frames, 4096));
        ASSERT_EQ(queue.add({block.data(), n}), 0);
        frames -= n;
    }
}

TEST(WavOutput, HeaderFollowsTheDataAtEveryUpdateAndAtClose) {
    test::TempDir dir;
    WavOutput wav;
    wav.name = dir.file("out.wav");
    ASSERT_EQ(wav.openOutput(), 0);
    AudioQueue queue;
    queue.setup(wav, nullptr);
    // Until it is complete the file has a name of its own beside the final one.
    const std::string writing = wav.writingPath();
    EXPECT_NE(writing, wav.name);
    EXPECT_EQ(std::filesystem::path(writing).parent_path(), dir.path());
    EXPECT_FALSE(std::filesystem::exists(wav.name));

    auto h = headerOf(test::readFileBytes(writing));
    EXPECT_EQ(h.riffSize, 0xFFFFFFFFu);
    EXPECT_EQ(h.dataSize, 0xFFFFFFFFu);
    EXPECT_EQ(h.byteRate, 176400u);

    feed(queue, 32767);  // 131,068 bytes: one frame short of the first update
    EXPECT_EQ(headerOf(test::readFileBytes(writing)).dataSize, 0xFFFFFFFFu);
    feed(queue, 1);
    EXPECT_EQ(headerOf(test::readFileBytes(writing)).dataSize, 131072u);
    feed(queue, 3 * 44100 - 32768);
    EXPECT_EQ(headerOf(test::readFileBytes(writing)).dataSize, 131072u * 4)
        << "updated every 128 KiB";

    ASSERT_EQ(wav.closeOutput(), 0);
    EXPECT_FALSE(std::filesystem::exists(writing));
    const auto bytes = test::readFileBytes(wav.name);
    h = headerOf(bytes);
    EXPECT_EQ(h.dataSize, 529200u);
    EXPECT_EQ(h.riffSize, 529236u);
    EXPECT_EQ(bytes.size(), 529200u + kWavHeaderBytes);
    EXPECT_EQ(le16(bytes, 44), 128) << "(1 << 20) >> 13";
}

TEST(WavOutput, EncodingsGiveTheirFormatTags) {
    test::TempDir dir;
    struct Case {
        int32_t encoding;
        uint32_t tag, align, bits;
        uint8_t firstByte;
    };
    for (const Case& c :
         {Case{ENC_SIGNED, 1, 2, 8, 0x80}, Case{0, 1, 2, 8, 0x80}, Case{ENC_ULAW, 7, 2, 8, 0xFF},
          Case{ENC_ALAW, 6, 2, 8, 0xD5}, Case{ENC_24BIT | ENC_BYTESWAP, 1, 6, 24, 0}}) {
        SCOPED_TRACE(c.encoding);
        WavOutput wav;
        wav.encoding = c.encoding;
        wav.name = dir.file("enc.wav");
        ASSERT_EQ(wav.openOutput(), 0);
        AudioQueue queue;
        queue.setup(wav, nullptr);
        feed(queue, 10, 0);
        ASSERT_EQ(wav.closeOutput(), 0);
        const auto bytes = test::readFileBytes(wav.name);
        const Header h = headerOf(bytes);
        EXPECT_EQ(h.tag, c.tag);
        EXPECT_EQ(h.align, c.align);
        EXPECT_EQ(h.bits, c.bits);
        EXPECT_EQ(h.dataSize, 10 * c.align);
        EXPECT_EQ(bytes[kWavHeaderBytes], c.firstByte) << "silence in this encoding";
    }
}

TEST(WavOutput, FailuresAreReported) {
    WavOutput cannotCreate;
    cannotCreate.name = "/nonexistent-folder/out.wav";
    EXPECT_EQ(cannotCreate.openOutput(), -1);
    EXPECT_NE(cannotCreate.lastMessage().find("Wave file could not be created!"),
              std::string::npos);
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

TEST(WavOutput, AutomaticNamesOpenOneFilePerSong) {
    test::TempDir dir;
    WavOutput wav;
    wav.batchConversion = true;
    wav.name = "ignored.wav";
    ASSERT_EQ(wav.openOutput(), 0);
    EXPECT_TRUE(wav.flags & OF_AUTO_NAME);
    EXPECT_TRUE(wav.name.empty());
    AudioQueue queue;
    queue.setup(wav, nullptr);
    for (const char* song : {"First.MID", "second"}) {
        ASSERT_EQ(queue.control(OUT_REQ_PLAY_START, dir.file(song)), 0);
        feed(queue, 100);
        ASSERT_EQ(queue.control(OUT_REQ_PLAY_END, dir.file(song)), 0);
    }
    EXPECT_EQ(headerOf(test::readFileBytes(dir.file("First.WAV"))).dataSize, 400u);
    EXPECT_EQ(headerOf(test::readFileBytes(dir.file("second.wav"))).dataSize, 400u);
    EXPECT_EQ(wav.lastOutputPath(), dir.file("second.wav"));
    ASSERT_EQ(queue.control(OUT_REQ_PLAY_START, "/nonexistent-folder/x.mid"), -1);
    EXPECT_EQ(wav.closeOutput(), 0);
}

}  // namespace
}  // namespace svt::output
