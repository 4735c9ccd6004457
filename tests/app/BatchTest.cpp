#include "app/Batch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "support/TempDir.h"

namespace svt {
namespace {

TEST(Batch, ReportsInSongOrderWhateverTheWorkersFinishFirst) {
    std::vector<BatchJob> jobs;
    for (int i = 0; i < 12; ++i) jobs.push_back({"song" + std::to_string(i) + ".mid", "-"});
    std::atomic<int> running{0}, mostAtOnce{0};
    auto convert = [&](const BatchJob& job, int) {
        const int now = ++running;
        int seen = mostAtOnce.load();
        while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
        }
        // Early songs take longest, so later ones finish first.
        const int n = std::stoi(job.input.substr(4));
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * (12 - n)));
        --running;
        BatchOutcome o;
        o.kind = n == 5 ? BatchOutcome::Failed : BatchOutcome::Written;
        o.message = n == 5 ? "not a MIDI file" : "";
        o.audioSeconds = 60;
        return o;
    };
    std::vector<size_t> order;
    const BatchSummary s =
        runBatch(jobs, {4, false}, convert,
                 [&](size_t i, const BatchJob&, const BatchOutcome&) { order.push_back(i); });
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
    EXPECT_EQ(order.size(), 12u);
    EXPECT_GT(mostAtOnce.load(), 1) << "workers ran at the same time";
    EXPECT_LE(mostAtOnce.load(), 4);
    EXPECT_EQ(s.written, 11);
    EXPECT_EQ(s.failed, 1);
    EXPECT_FALSE(s.allWritten());
    EXPECT_DOUBLE_EQ(s.audioSeconds, 660);
    ASSERT_EQ(s.failures.size(), 1u);
    EXPECT_EQ(s.failures[0].first, "song5.mid");
    EXPECT_NE(formatBatchSummary(s).find("failed: song5.mid: not a MIDI file"), std::string::npos);
}

TEST(Batch, OldFilesAreKeptUnlessOverwriteAndThisRunsFilesFollowSongOrder) {
    test::TempDir dir;
    const std::string old = dir.write("old.wav", std::string("keep me"));
    const std::string fresh = dir.file("a.wav");
    // a.mid and a.kar both become a.wav: the later song wins, as it would one at a time.
    const std::vector<BatchJob> jobs = {
        {"old.mid", old}, {"a.mid", fresh}, {"a.kar", fresh}, {"b.mid", dir.file("b.wav")}};
    auto convert = [&](const BatchJob& job, int) {
        if (job.input == "a.mid") std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ofstream(job.output, std::ios::trunc) << job.input;
        BatchOutcome o;
        o.kind = BatchOutcome::Written;
        return o;
    };
    BatchSummary s = runBatch(jobs, {4, false}, convert, nullptr);
    EXPECT_EQ(s.written, 3);
    EXPECT_EQ(s.skipped, 1);
    const auto text = [](const std::string& path) {
        const auto b = test::readFileBytes(path);
        return std::string(b.begin(), b.end());
    };
    EXPECT_EQ(text(old), "keep me");
    EXPECT_EQ(text(fresh), "a.kar");

    s = runBatch(jobs, {2, true}, convert, nullptr);
    EXPECT_EQ(s.written, 4);
    EXPECT_EQ(text(old), "old.mid");
}

TEST(Batch, DurationsReadAsPeopleWriteThem) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00"}, {59.6, "1:00"}, {754, "12:34"}, {3600, "1:00:00"}, {-3, "0:00"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(formatDuration(seconds), text) << seconds;
}

}  // namespace
}  // namespace svt
