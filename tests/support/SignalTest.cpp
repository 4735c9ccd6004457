// The sound tests of the whole project measure with these helpers; a wrong helper would let a
// wrong pitch or a click pass, so each is checked on signals whose answer is known.

#include "support/Signal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

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

TEST(Signal, MagnitudeSnrAndEnergyOutsideBands) {
    const double rate = 48000;
    std::vector<double> x = tone(8192, rate, {{1000, 0.5}, {5000, 0.5e-3}});
    EXPECT_NEAR(magnitudeDb(x, rate, 1000), 20 * std::log10(0.5), 0.05);
    EXPECT_NEAR(magnitudeDb(x, rate, 5000), 20 * std::log10(0.5e-3), 0.5);
    EXPECT_NEAR(magnitudeDb(x, rate, 1000, 0.5), 0.0, 0.05);
    EXPECT_LT(magnitudeDb(x, rate, 12000), -90);

    std::vector<double> reference = tone(8192, rate, {{1000, 0.5}});
    EXPECT_NEAR(snrDb(x, reference), 60.0, 0.1);
    EXPECT_TRUE(std::isinf(snrDb(reference, reference)));

    // The stray partial 60 dB down lies outside the bands of the wanted one.
    const Band wanted[] = {{950, 1050}};
    EXPECT_NEAR(energyOutsideBandsDb(x, rate, wanted), -60.0, 0.5);
    Band both[] = {{950, 1050}, {4950, 5050}};
    EXPECT_LT(energyOutsideBandsDb(x, rate, both), -85);
}

}  // namespace
}  // namespace svt::test
