// The live output on the system's waveOut device: a stream of buffers plays to its end, all
// buffers come back to the pool, and the diagnostic lines follow each step.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "output/LiveOutput.h"

namespace svt::output {
namespace {

TEST(LiveWaveOut, ASecondOfSoundPlaysOutAndEveryBufferComesBack) {
    if (platform::makeWaveSystem("")->deviceCount() == 0) {
        if (std::getenv("SORVANTO_REQUIRE_WAVEOUT") != nullptr) {
            FAIL() << "no waveOut device, and one was required";
        }
        GTEST_SKIP() << "no waveOut device here";
    }
    LiveOutput live;
    std::mutex mutex;
    std::string lines;
    live.setDebugLog([&](const char* line) {
        std::lock_guard lock(mutex);
        lines += line;
    });
    live.extra[0] = 4;  // raised to the least the pool may have
    ASSERT_EQ(live.openOutput(), 0) << live.lastMessage();
    EXPECT_EQ(live.bufferCount(), kLiveMinimumBuffers);
    EXPECT_EQ(live.waitPeriodMs(), 371);

    // More than the pool holds, so that the player waits for buffers to come back.
    std::vector<uint8_t> second(44100 * 4);
    for (size_t i = 0; i < second.size(); i += 4) second[i + 1] = (i / 400) % 2 ? 0x10 : 0xF0;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(live.outputData(second.data(), second.size()), 0);
    EXPECT_EQ(live.closeOutput(), 0);
    EXPECT_EQ(live.busyCount(), 0);

    std::lock_guard lock(mutex);
    for (const char* expected :
         {"Gerät wird geöffnet...\n", "Gerät offen.\n", "Device opened.\n", "Waiting 371ms...\n",
          "All buffers dequeued.\n", "Closing device...\n", "Device closed.\n"}) {
        EXPECT_NE(lines.find(expected), std::string::npos) << expected;
    }
    // 3 s in buffers of 16384 bytes: each one taken, queued and put back.
    const size_t buffers = (3 * second.size() + kLiveBufferBytes - 1) / kLiveBufferBytes;
    size_t put = 0;
    for (size_t at = lines.find("Buffer put."); at != std::string::npos;
         at = lines.find("Buffer put.", at + 1))
        ++put;
    EXPECT_EQ(put, buffers);
}

}  // namespace
}  // namespace svt::output
