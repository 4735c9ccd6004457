#include "output/SampleConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "output/OutputDevice.h"
#include "output/OutputNames.h"

namespace svt::output {
namespace {

constexpr int32_t kFull = 1 << 28;

std::vector<uint8_t> convert(std::vector<int32_t> stereo, int32_t encoding) {
    const size_t bytes = convertSamples(stereo.data(), stereo.size() / 2, encoding);
    std::vector<uint8_t> out(bytes);
    std::memcpy(out.data(), stereo.data(), bytes);
    return out;
}

TEST(SampleConversion, SixteenBitsClipAtFullScaleOnTheVectorAndTheScalarPath) {
    // Long enough for the vector loop, odd enough for the scalar tail; full scale, the steps
    // around zero (shifts are arithmetic) and values well beyond full scale both ways.
    std::vector<int32_t> in = {kFull, -kFull - 1, kFull * 2 - 1, -(1 << 30),
                               8191,  8192,       -8192,         -8193};
    in.resize(2 * 1001);
    uint32_t x = 12345;
    for (size_t i = 8; i < in.size(); ++i) {
        x = x * 1664525u + 1013904223u;
        in[i] = static_cast<int32_t>(x) >> 1;
    }
    std::vector<int16_t> fast(in.size());
    convertTo16(in.data(), fast.data(), in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        const int32_t expected = std::max(-32768, std::min(32767, in[i] >> 13));
        ASSERT_EQ(fast[i], expected) << i;
    }
}

TEST(SampleConversion, OtherWidthsSignsAndOrders) {
    const std::vector<int32_t> in = {kFull, -kFull - 1};
    EXPECT_EQ(convert(in, 0 | ENC_SIGNED), (std::vector<uint8_t>{127, 0x80}));
    EXPECT_EQ(convert(in, 0), (std::vector<uint8_t>{0xFF, 0x00})) << "8-bit is offset binary";
    EXPECT_EQ(convert(in, ENC_16BIT), (std::vector<uint8_t>{0xFF, 0xFF, 0x00, 0x00}));
    EXPECT_EQ(convert(in, ENC_16BIT | ENC_SIGNED | ENC_BYTESWAP),
              (std::vector<uint8_t>{0x7F, 0xFF, 0x80, 0x00}));
    EXPECT_EQ(convert(in, ENC_24BIT | ENC_SIGNED),
              (std::vector<uint8_t>{0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80}));
    EXPECT_EQ(convert(in, ENC_24BIT), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00}));
    EXPECT_EQ(convert(in, ENC_24BIT | ENC_BYTESWAP),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00}));
    // 32 bits take full scale to the top of their range; float to 1.0, and beyond it unclipped.
    EXPECT_EQ(
        convert({kFull, -kFull - 1, 1, 0}, ENC_32BIT | ENC_SIGNED),
        (std::vector<uint8_t>{0xF8, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0x80, 8, 0, 0, 0, 0, 0, 0, 0}));
    const std::vector<uint8_t> floats = convert({kFull, -2 * kFull, 1, 0}, ENC_FLOAT | ENC_SIGNED);
    float f[3];
    std::memcpy(f, floats.data(), sizeof f);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[1], -2.0f);
    EXPECT_EQ(f[2], std::ldexp(1.0f, -28)) << "the smallest step survives";
    // Mono takes the mean of both sides.
    EXPECT_EQ(convert({kFull / 2, -kFull / 2, kFull, kFull}, ENC_MONO | kSigned16Stereo),
              (std::vector<uint8_t>{0, 0, 0xFF, 0x7F}));
}

TEST(Encodings, LettersAndNormalisation) {
    int32_t e = kSigned16Stereo;
    ASSERT_TRUE(applyEncodingLetters("8U", e));
    EXPECT_EQ(e, ENC_ULAW) << "mu-law has no sign, width or byte order of its own";
    e = kSigned16Stereo;
    ASSERT_TRUE(applyEncodingLetters("2x", e));
    EXPECT_EQ(e, ENC_SIGNED | ENC_24BIT | ENC_BYTESWAP);
    ASSERT_TRUE(applyEncodingLetters("8", e));
    EXPECT_EQ(e, ENC_SIGNED) << "8 bits have no byte order";
    ASSERT_TRUE(applyEncodingLetters("MA", e));
    EXPECT_EQ(e, ENC_MONO | ENC_ALAW);
    ASSERT_TRUE(applyEncodingLetters("fx", e));
    EXPECT_EQ(e, ENC_MONO | ENC_SIGNED | ENC_FLOAT) << "float has no byte order, width or code";
    ASSERT_TRUE(applyEncodingLetters("3", e));
    EXPECT_EQ(e, ENC_MONO | ENC_SIGNED | ENC_32BIT);
    ASSERT_TRUE(applyEncodingLetters("1", e));
    EXPECT_EQ(e, ENC_MONO | ENC_SIGNED | ENC_16BIT) << "a width replaces 32 bits";
    ASSERT_TRUE(applyEncodingLetters("A", e));
    const int32_t before = e;
    EXPECT_FALSE(applyEncodingLetters("1q", e));
    EXPECT_EQ(e, before) << "a rejected text changes nothing";
    EXPECT_EQ(bytesPerFrame(kSigned16Stereo), 4);
    EXPECT_EQ(bytesPerFrame(ENC_24BIT | ENC_MONO), 3);
}

TEST(OutputNames, NamedAfterTheSong) {
    EXPECT_EQ(automaticOutputName("/songs/Tune.mid", "wav"), "/songs/Tune.wav");
    EXPECT_EQ(automaticOutputName("D:\\X\\SONG.MID", "wav"), "D:\\X\\SONG.WAV");
    EXPECT_EQ(automaticOutputName("a.mid.gz", "wav"), "a.wav");
    EXPECT_EQ(automaticOutputName("x.zip#d/s.mid", "wav"), "x.zip_d_s.wav");
    // A "#" of a plain folder or file name is no archive's.
    EXPECT_EQ(automaticOutputName("/home/u/C#/tune.mid", "wav"), "/home/u/C#/tune.wav");
    EXPECT_EQ(automaticOutputName("/m/Best #1/a.mid", "wav"), "/m/Best #1/a.wav");
    // Without an extension the song keeps its name and gains one: it is never overwritten,
    // and a dot in a folder name does not count.
    EXPECT_EQ(automaticOutputName("/my.songs/Tune", "wav"), "/my.songs/Tune.wav");
    EXPECT_EQ(automaticOutputName("/songs/Tune.", "wav"), "/songs/Tune.wav");
}

}  // namespace
}  // namespace svt::output
