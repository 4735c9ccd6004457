// The sound tests of the whole project measure with these helpers; a wrong helper would let a
// wrong pitch or a click pass, so each is checked on signals whose answer is known.

#include "support/Signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace svt::test {
namespace {

constexpr double kPi = std::numbers::pi;

std::vector<double> tone(size_t n, double rate,
                         std::initializer_list<std::pair<double, double>> partials) {
    std::vector<double> x(n, 0.0);
    for (auto [hz, amplitude] : partials)
        for (size_t i = 0; i < n; ++i)
            x[i] += amplitude * std::sin(2 * kPi * hz * double(i) / rate + 0.3);
    return x;
}

TEST(Signal, LevelAndStep) {
    std::vector<double> x = {0, 3, -4, 1};
    EXPECT_DOUBLE_EQ(rms(x), std::sqrt(26.0 / 4));
    EXPECT_DOUBLE_EQ(peak(x), 4);
    EXPECT_DOUBLE_EQ(largestStep(x), 7);
    EXPECT_EQ(rms({}), 0.0);
    std::vector<double> s = tone(44100, 44100, {{1000, 0.5}});
    EXPECT_NEAR(rms(s), 0.5 / std::sqrt(2.0), 1e-4);
    EXPECT_NEAR(largestStep(s), 2 * 0.5 * std::sin(kPi * 1000 / 44100), 1e-4);
}

TEST(Signal, FftMatchesTheDefinition) {
    std::mt19937 gen(1);
    std::normal_distribution<double> d;
    const size_t n = 64;
    std::vector<std::complex<double>> x(n);
    for (auto& v : x) v = {d(gen), d(gen)};
    std::vector<std::complex<double>> y = x;
    fft(y);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (size_t i = 0; i < n; ++i)
            sum += x[i] * std::polar(1.0, -2 * kPi * double(k * i) / double(n));
        EXPECT_NEAR(std::abs(y[k] - sum), 0.0, 1e-9) << "bin " << k;
    }
}

TEST(Signal, PitchOfKnownTones) {
    const double rate = 44100;
    struct Case {
        double hz;
        bool harmonics;
    } cases[] = {{27.5, false},  {440.0, false},  {440.0, true},
                 {1234.5, true}, {4186.0, false}, {12000, false}};
    for (const Case& c : cases) {
        std::vector<double> x =
            c.harmonics ? tone(16384, rate, {{c.hz, 1.0}, {2 * c.hz, 0.3}, {3 * c.hz, 0.2}})
                        : tone(16384, rate, {{c.hz, 1.0}});
        double cents = 1200 * std::log2(pitchByFft(x, rate) / c.hz);
        EXPECT_NEAR(cents, 0.0, 0.05) << c.hz;
        if (!c.harmonics) {
            EXPECT_NEAR(1200 * std::log2(pitchByZeroCrossings(x, rate) / c.hz), 0.0, 0.05) << c.hz;
        }
    }
    // A DC offset does not disturb either measurement.
    std::vector<double> x = tone(8192, rate, {{300, 1.0}});
    for (double& v : x) v += 0.4;
    EXPECT_NEAR(pitchByZeroCrossings(x, rate), 300, 0.01);
    EXPECT_NEAR(pitchByFft(x, rate), 300, 0.05);
    EXPECT_EQ(pitchByZeroCrossings(std::vector<double>(100, 1.0), rate), 0.0);
}

TEST(Signal, MagnitudeSnrAndAliasing) {
    const double rate = 48000;
    std::vector<double> x = tone(8192, rate, {{1000, 0.5}, {5000, 0.5e-3}});
    EXPECT_NEAR(magnitudeDb(x, rate, 1000), 20 * std::log10(0.5), 0.05);
    EXPECT_NEAR(magnitudeDb(x, rate, 5000), 20 * std::log10(0.5e-3), 0.5);
    EXPECT_NEAR(magnitudeDb(x, rate, 1000, 0.5), 0.0, 0.05);
    EXPECT_LT(magnitudeDb(x, rate, 12000), -90);

    std::vector<double> reference = tone(8192, rate, {{1000, 0.5}});
    EXPECT_NEAR(snrDb(x, reference), 60.0, 0.1);
    EXPECT_TRUE(std::isinf(snrDb(reference, reference)));

    // The stray partial 60 dB down is found; the wanted partial alone reads near the floor.
    const double wanted[] = {1000};
    EXPECT_NEAR(aliasingDb(x, rate, wanted, 50), -60.0, 0.5);
    EXPECT_LT(aliasingDb(reference, rate, wanted, 50), -85);
    Band both[] = {{950, 1050}, {4950, 5050}};
    EXPECT_LT(energyOutsideBandsDb(x, rate, both), -85);
}

std::vector<uint8_t> wavBytes(uint16_t format, uint16_t channels, uint32_t rate, uint16_t bits,
                              const std::vector<uint8_t>& data, bool oddChunkFirst = false) {
    std::vector<uint8_t> b;
    auto put16 = [&](uint32_t v) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    auto tag = [&](const char* t) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(t[i]));
    };
    tag("RIFF");
    put32(0);
    tag("WAVE");
    if (oddChunkFirst) {
        tag("LIST");
        put32(3);
        b.insert(b.end(), {1, 2, 3, 0});  // odd size: one pad byte
    }
    tag("fmt ");
    put32(16);
    put16(format);
    put16(channels);
    put32(rate);
    put32(rate * channels * bits / 8);
    put16(channels * bits / 8);
    put16(bits);
    tag("data");
    put32(uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

TEST(Signal, WavReaderDecodesPcmAndRefusesBrokenFiles) {
    auto stereo =
        parseWav(wavBytes(1, 2, 44100, 16, {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F}, true));
    ASSERT_TRUE(stereo.ok()) << stereo.error().message;
    EXPECT_EQ(stereo->rateHz, 44100);
    EXPECT_EQ(stereo->frames(), 2u);
    EXPECT_EQ(stereo->samples, (std::vector<int32_t>{1, -1, -32768, 32767}));
    EXPECT_EQ(stereo->channel(1), (std::vector<double>{-1, 32767}));

    auto deep = parseWav(wavBytes(1, 1, 8000, 24, {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80}));
    ASSERT_TRUE(deep.ok()) << deep.error().message;
    EXPECT_EQ(deep->samples, (std::vector<int32_t>{-1, -(1 << 23)}));
    auto narrow = parseWav(wavBytes(1, 1, 8000, 8, {0x00, 0x80, 0xFF}));
    ASSERT_TRUE(narrow.ok());
    EXPECT_EQ(narrow->samples, (std::vector<int32_t>{-128, 0, 127}));

    std::vector<uint8_t> good = wavBytes(1, 1, 8000, 16, {1, 0, 2, 0});
    std::vector<uint8_t> longChunk = good;
    longChunk[40] = 0xFF;  // data size far beyond the file
    struct Case {
        std::vector<uint8_t> bytes;
        const char* reason;
    } broken[] = {
        {{'R', 'I', 'F', 'F'}, "not a RIFF WAVE"},
        {wavBytes(3, 1, 8000, 32, {0, 0, 0, 0}), "not integer PCM"},
        {wavBytes(1, 1, 8000, 12, {0, 0}), "unsupported sample size"},
        {wavBytes(1, 0, 8000, 16, {0, 0}), "no channels"},
        {longChunk, "runs past the end"},
        {std::vector<uint8_t>(good.begin(), good.begin() + 36), "no data chunk"},
    };
    for (const Case& c : broken) {
        auto r = parseWav(c.bytes);
        ASSERT_FALSE(r.ok()) << c.reason;
        EXPECT_NE(r.error().message.find(c.reason), std::string::npos) << r.error().message;
    }
    auto missing = readWav("/nonexistent/x.wav");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("/nonexistent/x.wav"), std::string::npos);
}

}  // namespace
}  // namespace svt::test
