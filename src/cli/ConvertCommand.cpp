// sorvanto-cli convert: songs become audio files, one line per file.
#include <cstdio>
#include <string>
#include <vector>

#include "app/Conversion.h"
#include "app/Playlist.h"
#include "cli/Command.h"
#include "cli/ConvertFormat.h"
#include "platform/Terminal.h"

namespace svt::cli {
namespace {

constexpr const char* kConvertUsage =
    "usage: sorvanto-cli convert FILE|FOLDER|LIST.pli... [-o OUT] [--rate HZ] [--overwrite]\n"
    "                            [-f wav|mp3] [--bitrate KBPS | --vbr Q]\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "sorvanto-cli convert: %s\n%s", message.c_str(), kConvertUsage);
    return 2;
}

}  // namespace

SVT_CLI_COMMAND(convert, "FILE|FOLDER|LIST.pli... [-o OUT] [--rate HZ] [--overwrite] [-f wav|mp3]",
                "render songs to WAV or MP3 files named after them (or into OUT)") {
    ArgParser parser(cmd.args);
    if (parser.flag("--help", "-h")) {
        std::printf("%s"
                    "  -o OUT        one song: the file to write (\"-\" is standard output);\n"
                    "                a folder: the files go there, named after their songs.\n"
                    "                Without -o each file is written beside its song.\n"
                    "  --rate HZ     output rate, 8000..192000 (default 44100)\n"
                    "  --overwrite   replace files that exist already (otherwise they are skipped)\n"
                    "%s",
                    kConvertUsage, kFormatHelp);
        return 0;
    }
    const auto outputName = parser.value("--output", "-o");
    const auto rateText = parser.value("--rate");
    const bool overwrite = parser.flag("--overwrite");
    const FormatChoice format = takeFormatOptions(parser);
    const std::vector<std::string> operands = parser.operands();
    if (!parser.error().empty()) return usageError(parser.error());
    if (operands.empty()) return usageError("no songs named");

    ConvertOptions options;
    if (rateText) {
        long rate = 0;
        if (!parseInt(*rateText, 8000, 192000, rate))
            return usageError("--rate wants a rate between 8000 and 192000 Hz, not \"" + *rateText + "\"");
        options.settings.outputRateHz = static_cast<int>(rate);
    }
    options.settings.controlRatio = settleControlRatio(options.settings.outputRateHz);
    if (const std::string e = applyFormatOptions(format, options); !e.empty()) return usageError(e);
    if (const std::string e = formatUnavailable(options); !e.empty()) {
        std::fprintf(stderr, "sorvanto-cli convert: %s\n", e.c_str());
        return 1;
    }

    const std::vector<std::string> songs = expandPlaylistNames(operands);
    if (songs.empty()) {
        std::fprintf(stderr, "sorvanto-cli convert: no songs found in what was named\n");
        return 1;
    }
    std::string error;
    const std::vector<BatchJob> jobs = makeConvertJobs(songs, outputName, options.extension, error);
    if (!error.empty()) return usageError(error);
    if (outputName && *outputName == "-" && platform::stdoutIsTerminal())
        return usageError("will not write audio to a terminal; redirect standard output");

    // Audio may go to standard output: every report goes to standard error then.
    FILE* report = (outputName && *outputName == "-") ? stderr : stdout;
    BatchOptions batch;
    batch.overwrite = overwrite;
    const BatchSummary summary = runBatch(
        jobs, batch, [&](const BatchJob& job, int) { return convertSong(job, options); },
        [&](size_t, const BatchJob& job, const BatchOutcome& outcome) {
            if (outcome.kind == BatchOutcome::Written)
                std::fprintf(report, "%s -> %s (%s)\n", job.input.c_str(), job.output.c_str(),
                             formatDuration(outcome.audioSeconds).c_str());
            else
                std::fprintf(stderr, "%s: %s\n", job.input.c_str(), outcome.message.c_str());
            std::fflush(report);
        });
    if (jobs.size() > 1) std::fprintf(report, "%s\n", formatBatchSummary(summary).c_str());
    return summary.allWritten() ? 0 : 1;
}

}  // namespace svt::cli
