// The estimate of the frame heard now for a device that cannot tell: it must never run ahead
// of the sound, and the time the device stood idle must not count as playing.

#include "output/PlayClock.h"

#include <gtest/gtest.h>

namespace svt::output {
namespace {

class ManualClock final : public TickClock {
  public:
    double now = 50.0;
    double nowSeconds() override { return now; }
    void sleepSeconds(double s) override { now += s; }
};

struct Clocked {
    ManualClock tick;
    PlayClock clock{tick};
    Clocked() {
        clock.setRate(1000);
        clock.reset();
    }
};

TEST(PlayClock, CountsTheTimeSinceTheDeviceStartedOnWhatItWasGiven) {
    Clocked c;
    EXPECT_EQ(c.clock.heard(std::nullopt), 0);
    c.tick.now += 5.0;  // idle: the device has nothing to play
    c.clock.handedOver(1000);
    EXPECT_EQ(c.clock.heard(std::nullopt), 0) << "the idle time before does not count";
    c.tick.now += 0.25;
    EXPECT_EQ(c.clock.heard(std::nullopt), 250);
    EXPECT_EQ(c.clock.queued(std::nullopt), 750);
    c.clock.handedOver(1000);  // while it plays: it follows on
    c.tick.now += 1.0;
    EXPECT_EQ(c.clock.heard(std::nullopt), 1250);
    c.tick.now += 10.0;
    EXPECT_EQ(c.clock.heard(std::nullopt), 2000) << "never beyond what it was given";
    EXPECT_EQ(c.clock.queued(std::nullopt), 0);

    // Idle again for a while: the next bucket starts playing when it is handed over.
    c.tick.now += 3.0;
    c.clock.handedOver(500);
    c.tick.now += 0.125;
    EXPECT_EQ(c.clock.heard(std::nullopt), 2125);
    EXPECT_EQ(c.clock.handedFrames(), 2500);
}

TEST(PlayClock, TheDevicesReportAndAFinishedDrainWin) {
    Clocked c;
    c.clock.handedOver(1000);
    c.tick.now += 0.5;
    EXPECT_EQ(c.clock.heard(int64_t{123}), 123);
    EXPECT_EQ(c.clock.queued(int64_t{77}), 77);
    c.clock.markAllPlayed();
    EXPECT_EQ(c.clock.heard(int64_t{123}), 1000) << "everything handed over has been heard";
    c.clock.reset();
    EXPECT_FALSE(c.clock.allPlayed());
    EXPECT_EQ(c.clock.heard(std::nullopt), 0);
    EXPECT_EQ(c.clock.handedFrames(), 0);
}

}  // namespace
}  // namespace svt::output
