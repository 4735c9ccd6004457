#include "app/Engine.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt {
namespace {

TEST(Engine, TwoEnginesShareNoSongState) {
    test::TempDir dir;
    test::SmfBuilder one(0, 480);
    one.track().trackName(0, "One").noteOn(0, 0, 60, 100).noteOff(480, 0, 60).endOfTrack();
    test::SmfBuilder two(0, 480);
    two.track().trackName(0, "Two").noteOn(0, 0, 60, 100).noteOff(960, 0, 60).endOfTrack();
    const std::string path = dir.file("song.mid");

    EngineSettings slow;
    slow.outputRateHz = 22050;
    slow.excludedChannels = 1u;
    Engine a;
    Engine b(slow);
    dir.write("song.mid", one.build());
    auto readA = a.songInput().load(path);
    dir.write("song.mid", two.build());
    auto readB = b.songInput().load(path);
    ASSERT_TRUE(readA.ok());
    ASSERT_TRUE(readB.ok());

    // Each engine keeps the record of what it read, at its own rate and channel mask.
    EXPECT_EQ(a.songInput().infos().find(path, false)->title, "One");
    EXPECT_EQ(b.songInput().infos().find(path, false)->title, "Two");
    EXPECT_EQ(readA->song.totalSamples, 22050);
    EXPECT_EQ(readB->song.events.size(), 1u) << "channel 1 is excluded in the second engine";
    EXPECT_EQ(readB->song.totalSamples, 0);

    // What the live queue holds unless the settings say otherwise: five seconds, played once full.
    EXPECT_EQ(a.settings().audioQueueSeconds, "5.0");
    EXPECT_EQ(a.settings().audioQueueFill, "100%");
}

}  // namespace
}  // namespace svt
