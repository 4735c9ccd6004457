#pragma once
// Converting many songs at once: N workers, one engine each, results reported in the
// order of the songs so that the output does not depend on the number of workers.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace svt {

struct BatchJob {
    std::string input;
    std::string output;  // "-" is standard output
};

struct BatchOutcome {
    enum Kind { Written, Failed, Skipped } kind = Failed;
    std::string message;                // the reason for Failed and Skipped
    std::vector<std::string> warnings;  // what a written file may lack (a song cut short)
    double audioSeconds = 0;
    double wallSeconds = 0;
    int64_t clippedSamples = 0;  // samples clipped at full scale (only without the limiter)
};

struct BatchOptions {
    int workers = 1;
    // Replace output files that existed before the run.
    bool overwrite = false;
    // How long each job is expected to take (its song's length; 0 when not known), by job.
    // Several workers start the longest jobs first, so that no long song starts last and then
    // runs alone; reports keep the order of the jobs.
    std::vector<double> expectedSeconds;
};

// `convert` runs on a worker thread; `report` is called in job order, one at a time.
using BatchConvert = std::function<BatchOutcome(const BatchJob& job, int worker)>;
using BatchReport =
    std::function<void(size_t index, const BatchJob& job, const BatchOutcome& outcome)>;

struct BatchSummary {
    int written = 0, withWarnings = 0, failed = 0, skipped = 0;
    double audioSeconds = 0;
    double wallSeconds = 0;
    std::vector<std::pair<std::string, std::string>> failures;  // input, reason
    // Skipped files were there already: a run over finished work has failed nothing.
    bool nothingFailed() const { return failed == 0; }
};

// What keeps each job from running, decided for the whole run before any job starts ("" for
// a job that may run): an output that is a song of the run (the same file, however it is
// spelt), an output that an earlier job writes too, and without `overwrite` an output that
// exists already (then the job is skipped, not failed).
struct BatchRefusal {
    BatchOutcome::Kind kind = BatchOutcome::Written;  // Written: the job runs
    std::string reason;
};
std::vector<BatchRefusal> refuseClashingJobs(const std::vector<BatchJob>& jobs, bool overwrite);

BatchSummary runBatch(const std::vector<BatchJob>& jobs, const BatchOptions& options,
                      const BatchConvert& convert, const BatchReport& report);

// "3 files written (1 with warnings), 1 failed, 0 skipped; 12:34 of audio in 5.6 s
// (134.5 x real time)" followed by one line per failure.
std::string formatBatchSummary(const BatchSummary& summary);

// "FILE: REASON" for a reason that may already begin with the file's name, plain or quoted,
// so that a message names the file once.
std::string nameOnce(const std::string& file, const std::string& message);
// The reason alone, the file's name taken off its front when it is there.
std::string reasonOf(const std::string& file, const std::string& message);

// Song time as people read it: "m:ss", or "h:mm:ss" from an hour on.
std::string formatDuration(double seconds);

}  // namespace svt
