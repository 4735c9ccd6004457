// The live output against a fake sound device whose clock the test owns: nothing plays
// until the clock moves, so every buffer and wait can be followed exactly. That the player's
// time notices follow what the device plays is checked in tests/player/LiveCommandsTest.cpp.
#include "output/LiveOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "output/WavOutput.h"
#include "support/FakeWaveDevice.h"
#include "support/TempDir.h"

namespace svt::output {
namespace {

struct Rig {
    test::FakeWaveSystem* system;  // owned by the output
    std::unique_ptr<test::FakeWaveClock> clock;
    std::unique_ptr<LiveOutput> live;
    std::vector<std::string> lines;

    Rig() {
        auto fake = std::make_unique<test::FakeWaveSystem>();
        system = fake.get();
        clock = std::make_unique<test::FakeWaveClock>(*fake);
        live = std::make_unique<LiveOutput>(std::move(fake), clock.get());
        live->setDebugLog([this](const char* line) { lines.emplace_back(line); });
    }
    ~Rig() { live.reset(); }
    test::FakeWaveDevice& device() { return *system->current; }
    bool said(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

std::vector<uint8_t> pattern(size_t bytes) {
    std::vector<uint8_t> out(bytes);
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return out;
}

std::vector<int> range(int from, int to) {
    std::vector<int> out(static_cast<size_t>(to - from));
    std::iota(out.begin(), out.end(), from);
    return out;
}

TEST(LiveOutput, AMissingOrRefusingDeviceIsReportedInTheInterfaceLanguage) {
    Rig rig;
    EXPECT_TRUE(rig.live->detect());
    rig.system->devices = 0;
    EXPECT_FALSE(rig.live->detect());
    EXPECT_EQ(rig.live->openOutput(), -1);
    EXPECT_EQ(rig.live->lastMessage(), "There is no audio device available!");
    rig.live->language = Language::German;
    EXPECT_EQ(rig.live->openOutput(), -1);
    EXPECT_EQ(rig.live->lastMessage(), "Kein Audiotreiber vorhanden!");

    rig.system->devices = 1;
    rig.system->failOpen = true;
    rig.live->language = Language::English;
    EXPECT_EQ(rig.live->openOutput(), -1);
    EXPECT_EQ(rig.live->lastMessage(), "Audio device could not be opened! (fake: cannot open)");
    EXPECT_EQ(rig.live->outputData(pattern(4).data(), 4), -1);  // nothing open to write to

    rig.system->failOpen = false;
    EXPECT_EQ(rig.live->openOutput(), 0);
    EXPECT_EQ(rig.live->lastMessage(), "");
}

// A discard drops what is queued, a flush plays it out first; either way the device reopens
// with every buffer free and keeps its volume.
TEST(LiveOutput, DiscardAndFlushLeaveEveryBufferFreeAndReopenTheDevice) {
    for (const int request : {OUT_REQ_DISCARD, OUT_REQ_FLUSH}) {
        const bool flush = request == OUT_REQ_FLUSH;
        SCOPED_TRACE(flush ? "flush" : "discard");
        Rig rig;
        ASSERT_EQ(rig.live->openOutput(), 0);
        rig.live->setVolume(0x4000, 0x8000);
        const std::vector<uint8_t> data = pattern(10 * 16384 + 400);
        ASSERT_EQ(rig.live->outputData(data.data(), data.size()), 0);
        rig.device().advance(5000);
        ASSERT_EQ(rig.live->acntl(request, nullptr), 0);
        EXPECT_EQ(rig.live->busyCount(), 0);
        EXPECT_EQ(rig.live->freeIndices(), range(0, 32));
        EXPECT_EQ(rig.system->opens, 2);
        if (flush) {
            EXPECT_TRUE(rig.system->played == data);
            EXPECT_GT(rig.clock->sleptSeconds(), 0.0);
        } else {
            EXPECT_EQ(rig.system->played.size(), 5000u * 4);  // nothing more was played
        }
        EXPECT_EQ(rig.system->volumeLeft, 0x4000);
        EXPECT_EQ(rig.system->volumeRight, 0x8000);
        ASSERT_EQ(rig.live->outputData(data.data(), 16384), 0);
        EXPECT_EQ(rig.system->writtenUsers.back(), 0u);
    }
}

TEST(LiveOutput, ABufferTheDeviceRefusesGoesBackToThePool) {
    for (bool preparation : {true, false}) {
        SCOPED_TRACE(preparation ? "preparation" : "queueing");
        Rig rig;
        ASSERT_EQ(rig.live->openOutput(), 0);
        (preparation ? rig.system->failPrepare : rig.system->failWrite) = true;
        const std::vector<uint8_t> data = pattern(20000);
        EXPECT_EQ(rig.live->outputData(data.data(), data.size()), -1);
        EXPECT_EQ(rig.live->busyCount(), 0);
        EXPECT_EQ(rig.live->freeIndices(), range(0, 32));
        EXPECT_TRUE(rig.said(preparation ? " 1: Buffer preparation failed.\n"
                                         : " 1: Buffer queueing failed.\n"));
        EXPECT_TRUE(rig.system->writtenSizes.empty());
    }
}

// The queue in front of the live output, as a player drives it, with the time each block
// takes to render passing on the device's clock.
struct QueueRig : Rig, AudioQueueHooks {
    AudioQueue queue{clock.get()};
    std::vector<int32_t> block = std::vector<int32_t>(2 * 4096, 1 << 20);

    QueueRig() {
        live->setDebugLog(nullptr);
        EXPECT_EQ(live->openOutput(), 0);
        queue.setup(*live, this);
        EXPECT_TRUE(queue.setQueueFromSettings("5.0", "100%"));
    }
    void addBlocks(int blocks, double renderSeconds) {
        for (int i = 0; i < blocks; ++i) {
            clock->sleepSeconds(renderSeconds);
            ASSERT_EQ(queue.add({block.data(), 4096}), 0);
        }
    }
    bool commandWaiting() override { return false; }
    void runDueNotices() override {}
    int64_t framesToNextNotice() override { return -1; }
    void dropNotices() override {}
    bool tracing() override { return false; }
};

TEST(LiveOutput, ARateChangeReopensTheDeviceAndRebuildsTheQueue) {
    QueueRig rig;
    rig.addBlocks(40, 0.0);
    EXPECT_FALSE(rig.queue.changeRate(48000))
        << "the engine renders at one rate unless told otherwise";
    EXPECT_EQ(rig.system->opens, 1);

    std::vector<int> asked;
    rig.queue.setRateAcceptor([&](int hz) {
        asked.push_back(hz);
        return hz != 11025;
    });
    EXPECT_FALSE(rig.queue.changeRate(11025));
    EXPECT_FALSE(rig.queue.changeRate(44100)) << "already at that rate";
    EXPECT_FALSE(rig.queue.changeRate(0));
    EXPECT_EQ(asked, std::vector<int>{11025});

    ASSERT_TRUE(rig.queue.changeRate(48000));
    EXPECT_EQ(rig.device().format().rateHz, 48000);
    EXPECT_EQ(rig.queue.bucketCount(), 58) << "truncate(5.0 / (4096 / 48000))";
    EXPECT_NEAR(static_cast<double>(rig.queue.startCount()), 31 * 4096, 1)
        << "the fill target is still one device queue";
    EXPECT_EQ(rig.queue.bucketFrames(), 0) << "what was queued at the old rate is gone";
    EXPECT_EQ(rig.live->busyCount(), 0);
    // The queue works at the new rate.
    rig.addBlocks(40, 0.01);
    EXPECT_GT(rig.device().heardFrames(), 0);

    // A rate the device refuses leaves it playing at the old one.
    rig.system->refusedRateHz = 22050;
    EXPECT_FALSE(rig.queue.changeRate(22050));
    EXPECT_EQ(rig.live->fd, 0);
    EXPECT_EQ(rig.device().format().rateHz, 48000);
    EXPECT_EQ(rig.queue.rate(), 48000);
}

TEST(LiveOutput, AChangedRecordTakesEffectWhenTheOutputIsToldSo) {
    QueueRig rig;
    rig.addBlocks(40, 0.0);
    rig.live->extra[0] = 12;
    ASSERT_TRUE(applyEncodingLetters("8M", rig.live->encoding));
    rig.queue.outputChanged();
    EXPECT_GT(rig.system->opens, 1);
    EXPECT_EQ(rig.live->bufferCount(), 12);
    EXPECT_EQ(rig.device().format().channels, 1);
    EXPECT_EQ(rig.queue.deviceQueueFrames(), 11 * 4096);
    EXPECT_EQ(rig.queue.bucketBytes(), 4096) << "a block of one-byte frames";
    EXPECT_EQ(rig.queue.startCount(), 11 * 4096);
    EXPECT_EQ(rig.queue.bucketFrames(), 0);

    // A file output keeps its file open: only the queue in front of it is rebuilt.
    test::TempDir dir;
    WavOutput wav;
    wav.name = dir.file("kept.wav");
    ASSERT_EQ(wav.openOutput(), 0);
    AudioQueue fileQueue;
    fileQueue.setup(wav, nullptr);
    std::vector<int32_t> block(2 * 4096, 1 << 20);
    ASSERT_EQ(fileQueue.add({block.data(), 4096}), 0);
    fileQueue.outputChanged();
    ASSERT_EQ(fileQueue.add({block.data(), 4096}), 0);
    ASSERT_EQ(wav.closeOutput(), 0);
    EXPECT_EQ(std::filesystem::file_size(dir.file("kept.wav")), kWavHeaderBytes + 2 * 4096 * 4);
}

}  // namespace
}  // namespace svt::output
