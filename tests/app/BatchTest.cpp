#include "app/Batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "support/TempDir.h"

namespace svt {
namespace {

// With several workers the longest songs start first; one worker keeps the song order, and
// either way the reports come in song order.
TEST(Batch, LongestSongsStartFirstAndReportsKeepSongOrder) {
    struct Case {
        int workers;
        std::vector<double> seconds;
        std::vector<size_t> startOrder;  // the order the jobs are taken up in
    };
    const Case cases[] = {
        {2, {10, 50, 20, 90, 30}, {3, 1, 4, 2, 0}},
        {3, {5, 5, 60, 0, 5}, {2, 0, 1, 4, 3}},  // equal lengths keep their order
        {1, {10, 50, 20, 90, 30}, {0, 1, 2, 3, 4}},
        {2, {}, {0, 1, 2, 3, 4}},  // no lengths known
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.workers);
        std::vector<BatchJob> jobs;
        for (int i = 0; i < 5; ++i) jobs.push_back({std::to_string(i), "-"});
        std::mutex mutex;
        std::vector<std::vector<size_t>> startedBy(static_cast<size_t>(c.workers));
        std::vector<size_t> reported;
        BatchOptions options;
        options.workers = c.workers;
        options.expectedSeconds = c.seconds;
        runBatch(
            jobs, options,
            [&](const BatchJob& job, int worker) {
                {
                    std::lock_guard lock(mutex);
                    startedBy[static_cast<size_t>(worker)].push_back(std::stoul(job.input));
                }
                // Short jobs finish first, so reports would come out of order if not held.
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(2 + 5 * std::stoi(job.input)));
                BatchOutcome o;
                o.kind = BatchOutcome::Written;
                return o;
            },
            [&](size_t i, const BatchJob&, const BatchOutcome&) { reported.push_back(i); });
        EXPECT_EQ(reported, (std::vector<size_t>{0, 1, 2, 3, 4}));
        // However the workers share them out, each takes its jobs in the expected order.
        size_t total = 0;
        for (const std::vector<size_t>& own : startedBy) {
            total += own.size();
            std::vector<size_t> places;
            for (size_t job : own)
                places.push_back(
                    static_cast<size_t>(std::find(c.startOrder.begin(), c.startOrder.end(), job) -
                                        c.startOrder.begin()));
            EXPECT_TRUE(std::is_sorted(places.begin(), places.end()))
                << "a worker started a shorter song before a longer one";
        }
        EXPECT_EQ(total, 5u);
    }
}

// Every clash is found before any job runs, whatever the spelling of the paths: the later of
// two jobs with one output fails, an output that is a song of the run fails, an old file is
// kept (skipped, not failed) unless replacing is asked for.
TEST(Batch, ClashesAreRefusedBeforeAnyJobRuns) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "d");
    // A second spelling of the folder: a symbolic link, or where the system has none (Wine)
    // a way through "..".
    std::error_code noLinks;
    std::filesystem::create_directory_symlink(dir.path() / "d", dir.path() / "link", noLinks);
    const std::string link = noLinks ? dir.file("d/../d") : dir.file("link");
    const std::string song = dir.write("d/a.mid", std::string("MThd"));
    const std::string other = dir.write("d/b.mid", std::string("MThd"));
    const std::string old = dir.write("old.wav", std::string("keep me"));
    // Relative to the working folder; where that is on another drive (Wine), through ".".
    std::string relative =
        std::filesystem::relative(dir.path() / "d/x.wav", std::filesystem::current_path()).string();
    if (relative.empty()) relative = dir.file("d/./x.wav");
#ifdef _WIN32
    const std::string nullDevice = "NUL";
#else
    const std::string nullDevice = "/dev/null";
#endif
    struct Case {
        BatchJob job;
        BatchOutcome::Kind kind;
        std::string reasonPart;
    };
    const Case cases[] = {
        {{song, dir.file("d/x.wav")}, BatchOutcome::Written, ""},
        {{song, relative}, BatchOutcome::Failed, "also the output of " + song},
        {{other, link + "/x.wav"}, BatchOutcome::Failed, "also the output of " + song},
        {{song, song}, BatchOutcome::Failed, "is the song itself"},
        {{other, link + "/a.mid"}, BatchOutcome::Failed, "is the song " + song},
        {{other, old}, BatchOutcome::Skipped, "exists already"},
        {{other, nullDevice}, BatchOutcome::Written, ""},
        {{song, nullDevice}, BatchOutcome::Written, ""},
        {{song, "-"}, BatchOutcome::Written, ""},
        {{other, "-"}, BatchOutcome::Written, ""},
    };
    std::vector<BatchJob> jobs;
    for (const Case& c : cases) jobs.push_back(c.job);
    const std::vector<BatchRefusal> refusals = refuseClashingJobs(jobs, false);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(jobs[i].input + " -> " + jobs[i].output);
        EXPECT_EQ(refusals[i].kind, cases[i].kind);
        EXPECT_NE(refusals[i].reason.find(cases[i].reasonPart), std::string::npos)
            << refusals[i].reason;
    }
    EXPECT_EQ(refuseClashingJobs(jobs, true)[5].kind, BatchOutcome::Written)
        << "--overwrite lets the old file be replaced";

    // Refused jobs never reach the converter, and a skipped file is no failure.
    std::atomic<int> converted{0};
    const BatchSummary s = runBatch(
        jobs, {3, false, {}},
        [&](const BatchJob&, int) {
            ++converted;
            BatchOutcome o;
            o.kind = BatchOutcome::Written;
            return o;
        },
        nullptr);
    EXPECT_EQ(converted.load(), 5);
    EXPECT_EQ(s.failed, 4);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(test::readFileBytes(old).size(), 7u);
    BatchSummary rerun;
    rerun.written = 0;
    rerun.skipped = 14;
    EXPECT_TRUE(rerun.nothingFailed()) << "a run over finished work has failed nothing";
}

TEST(Batch, SummaryCountsWarningsAndNamesEachFailureOnce) {
    std::vector<BatchJob> jobs = {{"a.mid", "-"}, {"b.mid", "-"}, {"c.mid", "-"}};
    const BatchSummary s = runBatch(
        jobs, {1, false, {}},
        [](const BatchJob& job, int) {
            BatchOutcome o;
            o.kind = job.input == "c.mid" ? BatchOutcome::Failed : BatchOutcome::Written;
            if (job.input == "b.mid") o.warnings = {"track 2 ends inside an event at byte 40"};
            o.message = "\"c.mid\": file not found";
            return o;
        },
        nullptr);
    const std::string text = formatBatchSummary(s);
    EXPECT_EQ(text.substr(0, text.find(';')),
              "2 files written (1 with warnings), 1 failed, 0 skipped");
    EXPECT_NE(text.find("  failed: c.mid: file not found\n"), std::string::npos) << text;
}

TEST(Batch, DurationsReadAsPeopleWriteThem) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00"}, {59.6, "1:00"}, {754, "12:34"}, {3600, "1:00:00"}, {-3, "0:00"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(formatDuration(seconds), text) << seconds;
}

}  // namespace
}  // namespace svt
