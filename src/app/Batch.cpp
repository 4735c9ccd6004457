#include "app/Batch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

namespace svt {

namespace {

// Jobs writing the same file must run in song order, or two workers would write one
// file at once; each job waits for the previous job with the same output.
std::vector<int> previousSameOutput(const std::vector<BatchJob>& jobs) {
    std::vector<int> previous(jobs.size(), -1);
    std::map<std::string, int> last;
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].output == "-") continue;
        const std::string key = std::filesystem::path(jobs[i].output).lexically_normal().string();
        auto [it, inserted] = last.try_emplace(key, static_cast<int>(i));
        if (!inserted) {
            previous[i] = it->second;
            it->second = static_cast<int>(i);
        }
    }
    return previous;
}

}  // namespace

BatchSummary runBatch(const std::vector<BatchJob>& jobs, const BatchOptions& options,
                      const BatchConvert& convert, const BatchReport& report) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const std::vector<int> previous = previousSameOutput(jobs);

    // Decided before any worker starts, so that this run's own files never count as old.
    std::vector<bool> refused(jobs.size(), false);
    if (!options.overwrite) {
        for (size_t i = 0; i < jobs.size(); ++i) {
            std::error_code ec;
            if (jobs[i].output != "-" && previous[i] < 0 &&
                std::filesystem::exists(jobs[i].output, ec))
                refused[i] = true;
        }
        for (size_t i = 0; i < jobs.size(); ++i)
            if (previous[i] >= 0 && refused[static_cast<size_t>(previous[i])]) refused[i] = true;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<BatchOutcome> outcomes(jobs.size());
    std::vector<bool> done(jobs.size(), false);
    size_t nextJob = 0, nextReport = 0;
    BatchSummary summary;

    auto worker = [&](int id) {
        std::unique_lock lock(mutex);
        for (;;) {
            if (nextJob >= jobs.size()) return;
            const size_t i = nextJob++;
            const int before = previous[i];
            changed.wait(lock, [&] { return before < 0 || done[static_cast<size_t>(before)]; });
            lock.unlock();
            BatchOutcome outcome;
            if (refused[i]) {
                outcome.kind = BatchOutcome::Skipped;
                outcome.message =
                    jobs[i].output + " exists already and is not replaced (use --overwrite)";
            } else {
                const auto t0 = Clock::now();
                outcome = convert(jobs[i], id);
                outcome.wallSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
            }
            lock.lock();
            outcomes[i] = std::move(outcome);
            done[i] = true;
            while (nextReport < jobs.size() && done[nextReport]) {
                const BatchOutcome& o = outcomes[nextReport];
                switch (o.kind) {
                    case BatchOutcome::Written:
                        ++summary.written;
                        summary.audioSeconds += o.audioSeconds;
                        break;
                    case BatchOutcome::Failed:
                        ++summary.failed;
                        summary.failures.emplace_back(jobs[nextReport].input, o.message);
                        break;
                    case BatchOutcome::Skipped:
                        ++summary.skipped;
                        break;
                }
                if (report) report(nextReport, jobs[nextReport], o);
                ++nextReport;
            }
            changed.notify_all();
        }
    };

    const int workers = std::clamp(options.workers, 1, std::max(1, static_cast<int>(jobs.size())));
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) threads.emplace_back(worker, w);
    worker(0);
    for (std::thread& t : threads) t.join();
    summary.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    return summary;
}

std::string formatDuration(double seconds) {
    const long total = seconds > 0 ? static_cast<long>(std::floor(seconds + 0.5)) : 0;
    char buffer[32];
    if (total >= 3600)
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
    return buffer;
}

std::string formatBatchSummary(const BatchSummary& s) {
    char line[256];
    const double speed = s.wallSeconds > 0 ? s.audioSeconds / s.wallSeconds : 0;
    std::snprintf(
        line, sizeof line,
        "%d file%s written, %d failed, %d skipped; %s of audio in %.1f s (%.1f x real time)\n",
        s.written, s.written == 1 ? "" : "s", s.failed, s.skipped,
        formatDuration(s.audioSeconds).c_str(), s.wallSeconds, speed);
    std::string out = line;
    for (const auto& [input, reason] : s.failures)
        out += "  failed: " + input + ": " + reason + "\n";
    return out;
}

}  // namespace svt
