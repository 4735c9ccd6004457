#include "output/AudioQueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace svt::output {
namespace {

class ManualClock final : public TickClock {
  public:
    double now = 100.0;
    double slept = 0;
    double nowSeconds() override { return now; }
    void sleepSeconds(double s) override {
        slept += s;
        now += s;
    }
};

// A live-like device: 32 buffers of 4096 frames, timed, counting what it was given.
class TimedDevice final : public OutputDevice {
  public:
    TimedDevice() {
        flags = OF_PCM_STREAM | OF_CAN_TIME;
        idCharacter = 'd';
    }
    int64_t written = 0;
    bool fail = false;
    int discards = 0;
    int openOutput() override { return 0; }
    int closeOutput() override { return 0; }
    int outputData(const uint8_t*, size_t count) override {
        if (fail) return -1;
        written += static_cast<int64_t>(count);
        return static_cast<int>(count);
    }
    int acntl(int request, void* argument) override {
        if (request == OUT_REQ_GET_QUEUE_SIZE) {
            *static_cast<int*>(argument) = 32 * 4096 * 4;
            return 0;
        }
        if (request == OUT_REQ_DISCARD) {
            ++discards;
            return 0;
        }
        return -1;
    }
};

class Hooks final : public AudioQueueHooks {
  public:
    bool commandWaiting() override { return false; }
    void runDueNotices() override {}
    int64_t framesToNextNotice() override { return -1; }
    void dropNotices() override {}
    bool tracing() override { return false; }
};

struct Live {
    ManualClock clock;
    TimedDevice device;
    Hooks hooks;
    AudioQueue queue{&clock};
    std::vector<int32_t> block = std::vector<int32_t>(2 * 4096, 0);
    Live() { queue.setup(device, &hooks); }
};

TEST(AudioQueue, BucketsFollowTheDeviceQueue) {
    Live live;
    ASSERT_TRUE(live.queue.setQueueFromSettings("5.0", "100%"));
    EXPECT_EQ(live.queue.bucketCount(), 53) << "truncate(5.0 / 0.0929)";
    EXPECT_EQ(live.queue.startCount(), 32 * 4096) << "100% is one device queue";
    ASSERT_TRUE(live.queue.setQueueFromSettings("150%", "50%"));
    EXPECT_EQ(live.queue.bucketCount(),
              static_cast<int>(0.5 * 32 * 4096 / 44100.0 / (4096 / 44100.0)));
    EXPECT_FALSE(live.queue.setQueueFromSettings("five", "100%"));
}

TEST(AudioQueue, PlaybackStartsOnlyAfterTheFillTarget) {
    Live live;
    ASSERT_TRUE(live.queue.setQueueFromSettings("5.0", "100%"));
    for (int i = 0; i < 32; ++i) ASSERT_EQ(live.queue.add({live.block.data(), 4096}), 0);
    EXPECT_EQ(live.device.written, 0) << "still filling";
    EXPECT_EQ(live.queue.bucketFrames(), 32 * 4096);
    ASSERT_EQ(live.queue.add({live.block.data(), 4096}), 0);
    EXPECT_EQ(live.device.written, 32 * 4096 * 4) << "the device takes what fits into its queue";

    // As the clock runs, the device plays; the queue estimates the position heard.
    EXPECT_EQ(live.queue.currentSample(), 0);
    live.clock.now += 1.0;
    EXPECT_EQ(live.queue.currentSample(), 44100);
    live.clock.now += 10.0;
    EXPECT_EQ(live.queue.currentSample(), 32 * 4096) << "never beyond what was written";
    EXPECT_EQ(live.queue.queuedSamples(), 0);
}

TEST(AudioQueue, FlushDrainsOrDiscards) {
    Live live;
    live.queue.setQueue(5.0, 0.0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(live.queue.add({live.block.data(), 4096}), 0);
    ASSERT_EQ(live.queue.add({live.block.data(), 100}), 0);
    ASSERT_EQ(live.queue.flush(false), FlushResult::Done);
    EXPECT_EQ(live.device.written, 4 * 4096 * 4) << "the partial bucket is padded to full size";
    EXPECT_GT(live.clock.slept, 0.0) << "drain waits for the device to play";
    EXPECT_EQ(live.queue.bucketFrames(), 0);

    ASSERT_EQ(live.queue.add({live.block.data(), 4096}), 0);
    ASSERT_EQ(live.queue.flush(true), FlushResult::Done);
    EXPECT_EQ(live.device.discards, 1);
    EXPECT_EQ(live.queue.bucketFrames(), 0);
}

// A command waiting while the queue drains is followed through the player, song end and all,
// in tests/player/LiveCommandsTest.cpp.
TEST(AudioQueue, DeviceFailuresPropagate) {
    Live live;
    live.queue.setQueue(5.0, 0.0);
    live.device.fail = true;
    ASSERT_EQ(live.queue.add({live.block.data(), 4096}), 0) << "kept in a bucket";
    EXPECT_EQ(live.queue.softFlush(), FlushResult::Failed);
}

TEST(AudioQueue, UntimedDevicesGetEveryByteAtOnce) {
    TimedDevice file;
    file.flags = OF_PCM_STREAM;
    AudioQueue queue;
    queue.setup(file, nullptr);
    EXPECT_EQ(queue.bucketCount(), 0);
    std::vector<int32_t> block(2 * 4096, 0);
    ASSERT_EQ(queue.add({block.data(), 4096}), 0);
    EXPECT_EQ(file.written, 4096 * 4);
    EXPECT_EQ(queue.currentSample(), -1) << "a file cannot say what was heard";
    file.fail = true;
    EXPECT_EQ(queue.add({block.data(), 10}), -1);
}

}  // namespace
}  // namespace svt::output
