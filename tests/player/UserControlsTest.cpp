// The user's controls as numbers: keys and the tuning table they choose, the transposition into
// a forced key, volume and tempo steps at their limits.

#include "player/UserControls.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "player/PlayerCommands.h"

namespace svt {
namespace {

constexpr int kMinor = 16;

TEST(UserControls, KeyCodesAndTheirTuningTables) {
    struct Case {
        int sharps;
        bool minor;
        int keyCode;
        int table;  // the tonic of the key, or of its relative major, in semitones above C
    } cases[] = {
        {0, false, 0, 0},         {1, false, 1, 7},    {2, false, 2, 2},
        {-1, false, -1, 5},       {-2, false, -2, 10}, {0, true, kMinor, 0},
        {1, true, kMinor + 1, 7}, {9, false, 7, 1},  // beyond seven sharps: seven, C sharp
    };
    for (const Case& c : cases) {
        const SongEvent e{0, EV_KEY_SIGNATURE, 0, uint8_t(int8_t(c.sharps)), uint8_t(c.minor)};
        EXPECT_EQ(keyCodeOf(e), c.keyCode) << c.sharps;
        EXPECT_EQ(temperamentIndexFor(c.keyCode, 0), c.table) << c.sharps;
        EXPECT_EQ(temperamentIndexFor(c.keyCode, -13), (c.table + 11) % 12) << c.sharps;
    }
}

TEST(UserControls, TranspositionIntoAForcedKey) {
    struct Case {
        const char* what;
        int key, offset, forced;
        int expected;
    } cases[] = {
        {"C to D", 0, 0, 2, 2},
        {"C to F", 0, 0, -1, 5},
        {"C to G: down a fourth", 0, 0, 1, -5},
        {"C to C", 0, 0, 0, 0},
        {"A minor to E minor", kMinor, 0, kMinor + 1, -5},
        {"A minor to C major: the tonic moves", kMinor, 0, 0, 3},
        {"C already up 3, to D", 0, 3, 2, 2},
        {"C already down 10, to D", 0, -10, 2, 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(transpositionToKey(c.key, c.offset, c.forced), c.expected) << c.what;
}

TEST(UserControls, TransposeVolumeAndTempoStayInTheirRanges) {
    PlayerControls controls;
    transpose(controls, 5);
    EXPECT_EQ(controls.noteKeyOffset, 5);
    EXPECT_EQ(controls.temperamentIndex, 5);
    transpose(controls, -8);
    EXPECT_EQ(controls.noteKeyOffset, -3);
    EXPECT_EQ(controls.temperamentIndex, 9);
    transpose(controls, INT32_MAX);  // a step is at most kMaxKeyOffset
    EXPECT_EQ(controls.noteKeyOffset, kMaxKeyOffset - 3);
    transpose(controls, INT32_MAX);
    EXPECT_EQ(controls.noteKeyOffset, kMaxKeyOffset);
    transpose(controls, INT32_MIN);
    EXPECT_EQ(controls.noteKeyOffset, 0);

    struct Volume {
        int from;
        int32_t delta;
        int expected;
    } volumes[] = {{70, 20, 90}, {190, 20, 200},     {30, -40, 0},
                   {30, -30, 0}, {70, INT32_MIN, 0}, {70, INT32_MAX, kMaxAmplification},
                   {0, 0, 0}};
    for (const Volume& v : volumes)
        EXPECT_EQ(amplificationAfter(v.from, v.delta), v.expected) << v.from << " " << v.delta;

    const double step = 150.0 / 151.0;
    EXPECT_NEAR(timeRatioAfterSpeedCommand(1.0, CmdSpeedUp, 1), step, 1e-12);
    EXPECT_NEAR(timeRatioAfterSpeedCommand(1.0, CmdSpeedDown, -2), 1 / (step * step), 1e-12);
    EXPECT_EQ(timeRatioAfterSpeedCommand(0.5, CmdSpeedUp, -4), 0.5) << "a step the other way";
    EXPECT_EQ(timeRatioAfterSpeedCommand(0.5, CmdSpeedDown, 4), 0.5);
    EXPECT_NEAR(timeRatioAfterSpeedCommand(1.0, CmdSpeedUp, INT32_MAX), std::pow(step, 1000), 1e-9)
        << "at most a thousand steps at once";
}

}  // namespace
}  // namespace svt
