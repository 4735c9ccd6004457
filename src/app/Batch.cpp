#include "app/Batch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/OutputFile.h"
#include "platform/Paths.h"

namespace svt {

namespace {

// Two spellings of one place (relative and absolute, through a symbolic link) give one key,
// whether the file exists yet or not.
std::string placeKey(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(platform::fsPath(path), ec);
    if (ec) return path;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, ec);
    return platform::pathText(ec ? absolute.lexically_normal() : canonical);
}

}  // namespace

std::vector<BatchRefusal> refuseClashingJobs(const std::vector<BatchJob>& jobs, bool overwrite) {
    std::vector<BatchRefusal> refusals(jobs.size());
    std::map<platform::FileIdentity, size_t> songs;
    for (size_t i = 0; i < jobs.size(); ++i)
        if (jobs[i].input != "-")
            if (const auto id = platform::fileIdentity(jobs[i].input)) songs.try_emplace(*id, i);

    std::map<std::string, size_t> outputs;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const std::string& out = jobs[i].output;
        BatchRefusal& refusal = refusals[i];
        if (out == "-") continue;
        const platform::PathKind kind = platform::pathKind(out);
        if (const auto id = platform::fileIdentity(out)) {
            if (const auto song = songs.find(*id); song != songs.end()) {
                refusal.kind = BatchOutcome::Failed;
                refusal.reason =
                    platform::fileIdentity(jobs[i].input) == id
                        ? "its output " + out + " is the song itself; nothing is written"
                        : "its output " + out + " is the song " + jobs[song->second].input +
                              " of this run; nothing is written";
                continue;
            }
        }
        // Devices and pipes (/dev/null, a FIFO) take any number of songs one after another.
        if (kind == platform::PathKind::Other) continue;
        const auto [earlier, first] = outputs.try_emplace(placeKey(out), i);
        if (!first) {
            refusal.kind = BatchOutcome::Failed;
            refusal.reason = "its output " + out + " is also the output of " +
                             jobs[earlier->second].input + "; nothing is written";
        } else if (!overwrite && kind == platform::PathKind::File) {
            refusal.kind = BatchOutcome::Skipped;
            refusal.reason = out + " exists already and is kept (--overwrite replaces it)";
        }
    }
    return refusals;
}

BatchSummary runBatch(const std::vector<BatchJob>& jobs, const BatchOptions& options,
                      const BatchConvert& convert, const BatchReport& report) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    // Decided before any worker starts, so that this run's own files never count as old.
    const std::vector<BatchRefusal> refusals = refuseClashingJobs(jobs, options.overwrite);

    const int workers = std::clamp(options.workers, 1, std::max(1, static_cast<int>(jobs.size())));
    std::vector<size_t> startOrder(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) startOrder[i] = i;
    if (workers > 1 && options.expectedSeconds.size() == jobs.size())
        std::stable_sort(startOrder.begin(), startOrder.end(), [&](size_t a, size_t b) {
            return options.expectedSeconds[a] > options.expectedSeconds[b];
        });

    std::mutex mutex;
    std::vector<BatchOutcome> outcomes(jobs.size());
    std::vector<bool> done(jobs.size(), false);
    size_t nextJob = 0, nextReport = 0;
    BatchSummary summary;

    auto worker = [&](int id) {
        std::unique_lock lock(mutex);
        for (;;) {
            if (nextJob >= jobs.size()) return;
            const size_t i = startOrder[nextJob++];
            lock.unlock();
            BatchOutcome outcome;
            if (refusals[i].kind != BatchOutcome::Written) {
                outcome.kind = refusals[i].kind;
                outcome.message = refusals[i].reason;
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
                        if (!o.warnings.empty()) ++summary.withWarnings;
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
        }
    };

    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) {
        try {
            threads.emplace_back(worker, w);
        } catch (const std::system_error&) {
            break;  // the system gives no more threads: fewer workers do the jobs
        }
    }
    worker(0);
    for (std::thread& t : threads) t.join();
    summary.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    return summary;
}

std::string reasonOf(const std::string& file, const std::string& message) {
    for (const std::string& named : {file + ": ", "\"" + file + "\": "})
        if (message.rfind(named, 0) == 0) return message.substr(named.size());
    return message;
}

std::string nameOnce(const std::string& file, const std::string& message) {
    return file + ": " + reasonOf(file, message);
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
        "%d file%s written%s, %d failed, %d skipped; %s of audio in %.1f s (%.1f x real time)\n",
        s.written, s.written == 1 ? "" : "s",
        s.withWarnings > 0 ? (" (" + std::to_string(s.withWarnings) + " with warnings)").c_str()
                           : "",
        s.failed, s.skipped, formatDuration(s.audioSeconds).c_str(), s.wallSeconds, speed);
    std::string out = line;
    for (const auto& [input, reason] : s.failures)
        out += "  failed: " + nameOnce(input, reason) + "\n";
    return out;
}

}  // namespace svt
