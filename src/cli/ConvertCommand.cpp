// sorvanto-cli convert: songs become audio files, one line per file.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Conversion.h"
#include "app/Playlist.h"
#include "app/ProgressLine.h"
#include "cli/Command.h"
#include "cli/ConvertFormat.h"
#include "instruments/SoundFontRegistry.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"
#include "platform/Terminal.h"

namespace svt::cli {
namespace {

constexpr const char* kConvertUsage =
    "usage: sorvanto-cli convert FILE|FOLDER|LIST.pli... [-o OUT] [-s FONT] [--rate HZ]\n"
    "                            [--interp none|linear|default] [--overwrite]\n"
    "                            [-f wav|mp3] [--bitrate KBPS | --vbr Q]\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "sorvanto-cli convert: %s\n%s", message.c_str(), kConvertUsage);
    return 2;
}

// Redraws the progress line on standard error, at most ten times a second.
class ProgressDisplay {
public:
    void start() {
        started_ = Clock::now();
        lastDraw_ = started_ - std::chrono::seconds(1);
        drawn_ = false;
    }
    void update(double songSeconds, double totalSeconds) {
        const auto now = Clock::now();
        if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        const double wall = std::chrono::duration<double>(now - started_).count();
        const std::string line = formatProgressLine(songSeconds, totalSeconds, wall, platform::terminalColumns());
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    void clear() {
        if (drawn_) std::fprintf(stderr, "\r\033[K");
        drawn_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point started_, lastDraw_;
    bool drawn_ = false;
};

}  // namespace

SVT_CLI_COMMAND(convert, "FILE|FOLDER|LIST.pli... [-o OUT] [-s FONT] [--rate HZ] [--interp KIND] [-f wav|mp3]",
                "render songs to WAV or MP3 files named after them (or into OUT)") {
    ArgParser parser(cmd.args);
    if (parser.flag("--help", "-h")) {
        std::printf("%s"
                    "  -o OUT        one song: the file to write (\"-\" is standard output);\n"
                    "                a folder: the files go there, named after their songs.\n"
                    "                Without -o each file is written beside its song.\n"
                    "  -s FONT       the SoundFont to play with (default: Sorvanto.sf2 beside the\n"
                    "                program, else the system's General MIDI font)\n"
                    "  --rate HZ     output rate, 8000..192000 (default 44100)\n"
                    "  --interp KIND resampling: none, linear or default (26-point, the best)\n"
                    "  --overwrite   replace files that exist already (otherwise they are skipped)\n"
                    "%s",
                    kConvertUsage, kFormatHelp);
        return 0;
    }
    const auto outputName = parser.value("--output", "-o");
    const auto rateText = parser.value("--rate");
    const auto fontName = parser.value("--soundfont", "-s");
    const auto interpText = parser.value("--interp");
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
    if (interpText) {
        if (*interpText == "none")
            options.interpolation = InterpolationKind::None;
        else if (*interpText == "linear")
            options.interpolation = InterpolationKind::Linear;
        else if (*interpText == "default")
            options.interpolation = InterpolationKind::SineLagrange;
        else
            return usageError("--interp wants none, linear or default, not \"" + *interpText + "\"");
    }
    if (fontName) {
        if (!platform::pathExists(*fontName)) {
            std::fprintf(stderr, "sorvanto-cli convert: %s: no such SoundFont\n", fontName->c_str());
            return 1;
        }
        options.soundFont = *fontName;
    } else {
        const Result<std::string> found = findDefaultSoundFont(platform::programFolder());
        if (!found.ok()) {
            std::fprintf(stderr, "sorvanto-cli convert: %s; name one with -s FONT\n", found.error().message.c_str());
            return 1;
        }
        options.soundFont = found.value();
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
    ProgressDisplay display;
    const bool showProgress = platform::stderrIsTerminal();
    if (showProgress) options.progress = [&](double at, double total) { display.update(at, total); };
    const BatchSummary summary = runBatch(
        jobs, batch,
        [&](const BatchJob& job, int) {
            display.start();
            BatchOutcome outcome = convertSong(job, options);
            display.clear();
            return outcome;
        },
        [&](size_t, const BatchJob& job, const BatchOutcome& outcome) {
            if (outcome.kind == BatchOutcome::Written)
                std::fprintf(report, "%s -> %s (%s in %.1f s)\n", job.input.c_str(), job.output.c_str(),
                             formatDuration(outcome.audioSeconds).c_str(), outcome.wallSeconds);
            else
                std::fprintf(stderr, "%s: %s\n", job.input.c_str(), outcome.message.c_str());
            std::fflush(report);
        });
    if (jobs.size() > 1) std::fprintf(report, "%s\n", formatBatchSummary(summary).c_str());
    return summary.allWritten() ? 0 : 1;
}

}  // namespace svt::cli
