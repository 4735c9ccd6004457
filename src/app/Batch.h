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
    std::string message;  // the reason for Failed and Skipped
    double audioSeconds = 0;
    double wallSeconds = 0;
    int64_t clippedSamples = 0;  // samples clipped at full scale (only without the limiter)
};

struct BatchOptions {
    int workers = 1;
    // Replace output files that existed before the run; files written by this run are
    // always replaced by a later song of the same name.
    bool overwrite = false;
};

// `convert` runs on a worker thread; `report` is called in job order, one at a time.
using BatchConvert = std::function<BatchOutcome(const BatchJob& job, int worker)>;
using BatchReport =
    std::function<void(size_t index, const BatchJob& job, const BatchOutcome& outcome)>;

struct BatchSummary {
    int written = 0, failed = 0, skipped = 0;
    double audioSeconds = 0;
    double wallSeconds = 0;
    std::vector<std::pair<std::string, std::string>> failures;  // input, reason
    bool allWritten() const { return failed == 0 && skipped == 0; }
};

BatchSummary runBatch(const std::vector<BatchJob>& jobs, const BatchOptions& options,
                      const BatchConvert& convert, const BatchReport& report);

// "3 files written, 1 failed, 0 skipped; 12:34 of audio in 5.6 s (134.5 x real time)"
// followed by one line per failure.
std::string formatBatchSummary(const BatchSummary& summary);

// Song time as people read it: "m:ss", or "h:mm:ss" from an hour on.
std::string formatDuration(double seconds);

}  // namespace svt
