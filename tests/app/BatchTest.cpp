#include "app/Batch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "support/TempDir.h"

namespace svt {
namespace {

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

}  // namespace
}  // namespace svt
