// waveOut behind the wave-device interface. Under Wine the device is whatever Wine's sound
// driver reaches (test.sh --windows gives it a PulseAudio null sink, which plays in real
// time); without any device the tests are skipped unless SORVANTO_REQUIRE_WAVEOUT is set.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/WaveDevice.h"
#include "platform/WaveDoneLog.h"

namespace svt::platform {
namespace {

#define SKIP_WITHOUT_DEVICE(system)                               \
    if ((system).deviceCount() == 0) {                            \
        if (std::getenv("SORVANTO_REQUIRE_WAVEOUT") != nullptr) { \
            FAIL() << "no waveOut device, and one was required";  \
        }                                                         \
        GTEST_SKIP() << "no waveOut device here";                 \
    }

// Many short buffers at once while every core is busy: each comes back once, in order.
TEST(WaveOut, EveryBufferComesBackOnceInOrderUnderLoad) {
    auto system = makeWaveSystem("");
    SKIP_WITHOUT_DEVICE(*system);
    EXPECT_FALSE(waveDeviceNames().empty());
    DoneLog log;
    std::string error;
    auto device = system->open(WaveFormat{}, log.callback(), &error);
    ASSERT_NE(device, nullptr) << error;
    EXPECT_FALSE(device->description().empty());

    std::atomic<bool> busy{true};
    std::vector<std::thread> load;
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        load.emplace_back([&] {
            volatile uint64_t x = 0;
            while (busy.load(std::memory_order_relaxed)) x = x + 1;
        });

    constexpr size_t kBuffers = 40;
    constexpr size_t kBytes = 4410 * 4;  // a tenth of a second each
    std::vector<std::vector<uint8_t>> data(kBuffers, std::vector<uint8_t>(kBytes, 0));
    std::vector<WaveBuffer> buffers(kBuffers);
    for (size_t i = 0; i < kBuffers; ++i) {
        buffers[i] = {data[i].data(), static_cast<uint32_t>(kBytes), i};
        ASSERT_EQ(device->prepare(buffers[i]), 0);
        ASSERT_EQ(device->write(buffers[i]), 0);
    }
    log.waitFor(kBuffers);
    busy = false;
    for (std::thread& t : load) t.join();

    std::vector<uintptr_t> expected(kBuffers);
    for (size_t i = 0; i < kBuffers; ++i) expected[i] = i;
    {
        std::lock_guard lock(log.mutex);
        EXPECT_EQ(log.done, expected);
    }
    EXPECT_GT(device->playedFrames(), 0);
    device.reset();
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.done.size(), kBuffers) << "closing reports nothing twice";
    EXPECT_EQ(log.opened, 1);
    EXPECT_EQ(log.closed, 1);
}

TEST(WaveOut, ResetGivesBackEveryQueuedBufferBeforeReturning) {
    auto system = makeWaveSystem("");
    SKIP_WITHOUT_DEVICE(*system);
    DoneLog log;
    std::string error;
    auto device = system->open(WaveFormat{}, log.callback(), &error);
    ASSERT_NE(device, nullptr) << error;
    std::vector<std::vector<uint8_t>> data(8, std::vector<uint8_t>(44100 * 4, 0));
    std::vector<WaveBuffer> buffers(8);
    for (size_t i = 0; i < buffers.size(); ++i) {
        buffers[i] = {data[i].data(), static_cast<uint32_t>(data[i].size()), 100 + i};
        ASSERT_EQ(device->write(buffers[i]), 0) << "written without preparing first";
    }
    EXPECT_EQ(device->reset(), 0);
    {
        std::lock_guard lock(log.mutex);
        EXPECT_EQ(log.done.size(), buffers.size()) << "eight seconds queued, all back at once";
    }
    // The device plays again after a reset, and the same headers are used again.
    ASSERT_EQ(device->prepare(buffers[0]), 0);
    ASSERT_EQ(device->write(buffers[0]), 0);
    EXPECT_EQ(device->reset(), 0);
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.done.size(), buffers.size() + 1);
}

TEST(WaveOut, UnknownDeviceIsReportedWithItsName) {
    auto system = makeWaveSystem("no-such-sorvanto-device");
    DoneLog log;
    std::string error;
    EXPECT_EQ(system->open(WaveFormat{}, log.callback(), &error), nullptr);
    EXPECT_NE(error.find("no-such-sorvanto-device"), std::string::npos) << error;
    auto numbered = makeWaveSystem("999");
    EXPECT_EQ(numbered->open(WaveFormat{}, log.callback(), &error), nullptr);
}

}  // namespace
}  // namespace svt::platform
