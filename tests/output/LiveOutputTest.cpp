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

TEST(LiveOutput, OpensTheFormatAndPoolItsSettingsAsk) {
    struct Case {
        const char* letters;
        int bufferSetting;
        int buffers, channels, bits, blockAlign, waitMs;
        bool signedSamples;
    };
    const Case cases[] = {
        {"", 32, 32, 2, 16, 4, 371, true},
        {"", 4, 8, 2, 16, 4, 371, true},     // fewer than eight are raised to eight
        {"8M", 12, 12, 1, 8, 1, 92, false},  // mono 8-bit: unsigned, one byte a frame
        {"U", 32, 32, 2, 8, 2, 185, false},  // µ-law becomes plain 8-bit
        {"x", 32, 32, 2, 16, 4, 371, true},  // the device takes its own byte order
        {"2", 32, 32, 2, 24, 6, 557, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("letters \"") + c.letters + "\", setting " +
                     std::to_string(c.bufferSetting));
        Rig rig;
        ASSERT_TRUE(applyEncodingLetters(c.letters, rig.live->encoding));
        rig.live->extra[0] = c.bufferSetting;
        ASSERT_EQ(rig.live->openOutput(), 0);
        EXPECT_EQ(rig.live->freeIndices(), range(0, c.buffers));
        const platform::WaveFormat& f = rig.device().format();
        EXPECT_EQ(f.channels, c.channels);
        EXPECT_EQ(f.bitsPerSample, c.bits);
        EXPECT_EQ(f.blockAlign(), c.blockAlign);
        EXPECT_EQ(rig.live->waitPeriodMs(), c.waitMs);
        EXPECT_EQ((rig.live->encoding & ENC_SIGNED) != 0, c.signedSamples);
        EXPECT_EQ(rig.live->encoding & (ENC_ULAW | ENC_ALAW | ENC_BYTESWAP), 0);
        // The device queue the audio queue fills: one buffer less than the pool, 4096 frames each.
        int queueBytes = 0;
        ASSERT_EQ(rig.live->acntl(OUT_REQ_GET_QUEUE_SIZE, &queueBytes), 0);
        EXPECT_EQ(queueBytes, (c.buffers - 1) * 4096 * c.blockAlign);
        rig.live->closeOutput();
        EXPECT_EQ(rig.live->fd, -1);
        EXPECT_EQ(rig.system->current, nullptr);
    }
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

TEST(LiveOutput, ALongWriteFillsBuffersInFreeListOrderAndReusesTheReturnedOnesFirst) {
    Rig rig;
    ASSERT_EQ(rig.live->openOutput(), 0);
    const std::vector<uint8_t> data = pattern(40000);
    ASSERT_EQ(rig.live->outputData(data.data(), data.size()), 0);
    EXPECT_EQ(rig.system->writtenSizes, (std::vector<uint32_t>{16384, 16384, 7232}));
    EXPECT_EQ(rig.system->writtenUsers, (std::vector<uintptr_t>{0, 1, 2}));
    EXPECT_EQ(rig.live->busyCount(), 3);
    EXPECT_EQ(rig.live->freeIndices(), range(3, 32));
    EXPECT_EQ(rig.system->prepares, 3);
    EXPECT_EQ(rig.clock->sleptSeconds(), 0);  // no waiting with buffers to spare

    // Buffers 0 and 1 play; each goes back to the head of the free list.
    rig.device().advance(8192);
    EXPECT_EQ(rig.live->busyCount(), 1);
    std::vector<int> expectFree = {1, 0};
    for (int i = 3; i < 32; ++i) expectFree.push_back(i);
    EXPECT_EQ(rig.live->freeIndices(), expectFree);
    // Still prepared from its last use; unprepared only when it is taken again.
    EXPECT_EQ(rig.system->unprepares, 0);
    const std::vector<uint8_t> more = pattern(100);
    ASSERT_EQ(rig.live->outputData(more.data(), more.size()), 0);
    EXPECT_EQ(rig.system->writtenUsers.back(), 1u);
    EXPECT_EQ(rig.system->unprepares, 1);

    rig.device().advance(1 << 20);
    std::vector<uint8_t> expected = data;
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_TRUE(rig.system->played == expected);
    EXPECT_EQ(rig.live->busyCount(), 0);
}

TEST(LiveOutput, TheWriterWaitsOnlyWhenEveryBufferIsQueued) {
    Rig rig;
    ASSERT_EQ(rig.live->openOutput(), 0);
    const std::vector<uint8_t> block = pattern(16384);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(rig.live->outputData(block.data(), block.size()), 0);
    EXPECT_EQ(rig.live->busyCount(), 32);
    EXPECT_EQ(rig.clock->sleptSeconds(), 0);
    EXPECT_TRUE(rig.live->freeIndices().empty());

    // The 33rd buffer: one period passes (16,361 frames at 44.1 kHz), three buffers play out,
    // and the last of them (2, at the head of the free list) takes the new data.
    ASSERT_EQ(rig.live->outputData(block.data(), block.size()), 0);
    EXPECT_DOUBLE_EQ(rig.clock->sleptSeconds(), 0.371);
    EXPECT_EQ(rig.system->writtenUsers.back(), 2u);
    EXPECT_EQ(rig.live->busyCount(), 30);
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

// Drives the queue in front of the live output as a player would, with the time each block
// takes to render passing on the device's clock. What the queue says is heard must never be
// ahead of what the device has played, whatever happens between the blocks.
struct QueueRig : Rig, AudioQueueHooks {
    AudioQueue queue{clock.get()};
    std::vector<int32_t> block = std::vector<int32_t>(2 * 4096, 1 << 20);
    int64_t worstLead = -1 << 30;  // heard estimate minus frames played, at its highest
    int64_t worstLag = 0;          // frames played minus the estimate, at its highest

    QueueRig() {
        live->setDebugLog(nullptr);
        EXPECT_EQ(live->openOutput(), 0);
        queue.setup(*live, this);
        EXPECT_TRUE(queue.setQueueFromSettings("5.0", "100%"));
    }
    void check() {
        const int64_t heard = queue.currentSample();
        const int64_t played = playedFrames() - playedBefore;
        worstLead = std::max(worstLead, heard - played);
        worstLag = std::max(worstLag, played - heard);
    }
    void addBlocks(int blocks, double renderSeconds) {
        for (int i = 0; i < blocks; ++i) {
            clock->sleepSeconds(renderSeconds);
            check();
            ASSERT_EQ(queue.add({block.data(), 4096}), 0);
            check();
        }
    }
    // Across every device opened; the queue counts from its last reset.
    int64_t playedFrames() const { return static_cast<int64_t>(system->played.size()) / 4; }
    void flush(bool discard) {
        ASSERT_EQ(queue.flush(discard), FlushResult::Done);
        playedBefore = playedFrames();
    }
    bool commandWaiting() override { return false; }
    void runDueNotices() override { check(); }
    int64_t framesToNextNotice() override { return -1; }
    void dropNotices() override {}
    bool tracing() override { return false; }
    int64_t playedBefore = 0;
};

TEST(LiveOutput, TheHeardPositionNeverRunsAheadOfTheDevice) {
    struct Case {
        const char* what;
        bool tellsPosition;
        int64_t latencyFrames;
        bool mayRunAhead;
        bool atOnce = false;  // the device swallows its whole queue at once
    };
    const Case cases[] = {
        {"estimated, the sound starting as it is written", false, 0, false},
        {"told by the device behind a sound server's pipeline", true, 4410, false},
        {"told by a device that plays as fast as it is fed", true, 0, false, true},
        // Why the device is asked where it can tell: the estimate cannot see the pipeline.
        {"estimated behind a pipeline", false, 4410, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QueueRig rig;
        rig.system->playsAtOnce = c.atOnce;
        rig.system->tellsPosition = c.tellsPosition;
        rig.system->latencyFrames = c.latencyFrames;
        // Filling takes render time in which the device stands idle; then it plays steadily.
        rig.addBlocks(80, 0.01);
        // Rendering falls behind: the device runs dry again and again.
        rig.addBlocks(10, 0.25);
        // A pause: what is queued is dropped, the device stands idle, playing starts afresh.
        rig.flush(true);
        rig.clock->sleepSeconds(3.0);
        rig.addBlocks(60, 0.02);
        // Between songs: the queue drains, the device idles, the next song fills it again.
        rig.flush(false);
        rig.clock->sleepSeconds(2.0);
        rig.addBlocks(50, 0.015);
        if (c.mayRunAhead) {
            EXPECT_GT(rig.worstLead, 0);
            continue;
        }
        EXPECT_LE(rig.worstLead, 0) << "the heard position ran ahead of the sound";
        EXPECT_LT(rig.worstLag, 4096) << "the heard position fell more than a block behind";
    }
}

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
    rig.playedBefore = rig.playedFrames();
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
