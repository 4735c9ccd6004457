// sorvanto-cli convert: songs become audio files, one line per file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Conversion.h"
#include "app/DisplayText.h"
#include "app/Playlist.h"
#include "cli/Command.h"
#include "cli/ConvertFormat.h"
#include "cli/ProgressLine.h"
#include "cli/SoundOptions.h"
#include "platform/Cores.h"
#include "platform/OutputFile.h"
#include "platform/Paths.h"
#include "platform/Terminal.h"

namespace svt::cli {
namespace {

constexpr const char* kConvertUsage =
    "usage: sorvanto-cli convert FILE|FOLDER|LIST.pli... [-o OUT] [-s FONT] [--rate HZ]\n"
    "                            [--interp none|linear|default] [--overwrite] [--jobs N] "
    "[--threads N]\n"
    "                            [--transpose N] [--tempo PCT] [--volume PCT] [--mute CH,...] "
    "[--solo CH]\n"
    "                            [--reverb off|on] [--chorus off|on|surround] [--limiter on|off]\n"
    "                            [--filter 2|4] [--pan-delay off|on] [-q]\n"
    "                            [-f wav|mp3|flac|ogg|opus[:ENC]] [--encoding LETTERS]\n"
    "                            [--bitrate KBPS | --vbr Q] [--quality Q] [--compression N]\n"
    "                            [--no-tags]\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "sorvanto-cli convert: %s\n%s", message.c_str(), kConvertUsage);
    return 2;
}

// "; clipped 1,234 samples" for a render that clipped, else nothing.
std::string clippedNote(int64_t samples) {
    if (samples <= 0) return {};
    const std::string plain = std::to_string(samples);
    std::string digits;
    for (size_t i = 0; i < plain.size(); ++i) {
        if (i > 0 && (plain.size() - i) % 3 == 0) digits += ',';
        digits += plain[i];
    }
    return "; clipped " + digits + (samples == 1 ? " sample" : " samples");
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
        const std::string line =
            formatProgressLine(songSeconds, totalSeconds, wall, platform::terminalColumns());
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

int runConvert(const CommandArgs& cmd) {
    ArgParser parser(cmd.args);
    if (parser.flag("--help", "-h")) {
        std::printf(
            "%s"
            "  -o OUT        one song: the file to write (\"-\" is standard output);\n"
            "                a folder: the files go there, named after their songs.\n"
            "                Without -o each file is written beside its song.\n"
            "  -s FONT       the SoundFont to play with (default: Sorvanto.sf2 beside the\n"
            "                program, else the system's General MIDI font)\n"
            "%s"
            "  --overwrite   replace files that exist already (otherwise they are skipped);\n"
            "                the old file stays until the new one is complete\n"
            "  --jobs N      convert N songs at once, the longest first (default: one per\n"
            "                core; MP3 files are made one at a time, as the encoder library\n"
            "                may allow no more); files are reported in the order named\n"
            "  --threads N   threads that render each song (default: the cores the other\n"
            "                jobs leave, so one song alone uses them all); any number gives\n"
            "                the same file\n"
            "  -q, --quiet   print nothing but errors\n"
            "%s"
            "Folders give the songs in them and their sub-folders (files that are MIDI or RMID\n"
            "songs by their contents; other files are passed over); with -o FOLDER each file\n"
            "keeps its sub-folder there. A file appears under its name only when it is\n"
            "complete. Exit status: 0 when no file failed (files kept because they exist are\n"
            "not failures), 1 when any failed, 2 for a mistake in the command.\n",
            kConvertUsage, soundOptionsHelp().c_str(), kFormatHelp);
        return 0;
    }
    const auto outputName = parser.value("--output", "-o");
    const auto fontName = parser.value("--soundfont", "-s");
    const bool overwrite = parser.flag("--overwrite");
    const auto jobsText = parser.value("--jobs", "-j");
    const auto threadsText = parser.value("--threads");
    const SoundOptionTexts soundTexts = takeSoundOptions(parser);
    const bool quiet = parser.flag("--quiet", "-q");
    FormatChoice format = takeFormatOptions(parser);
    const std::vector<std::string> operands = parser.operands();
    if (!parser.error().empty()) return usageError(parser.error());
    if (operands.empty()) return usageError("no songs named");
    if (outputName && outputName->empty())
        return usageError("-o wants the name of a file or folder, not an empty one");

    ConvertOptions options;
    SoundChoices sound;
    if (const std::string e = applySoundOptions(soundTexts, sound); !e.empty())
        return usageError(e);
    options.settings = sound.settings;
    options.keyOffset = sound.keyOffset;
    options.timeRatio = 100.0 / static_cast<double>(sound.tempoPercent);
    options.amplification = sound.amplification;
    options.muteMask = sound.muteMask;
    // A name that is a file (not a folder, not standard output) says the format by its end.
    std::error_code ec;
    const bool namesFile = outputName && *outputName != "-" && !outputName->empty() &&
                           outputName->back() != '/' &&
                           !std::filesystem::is_directory(platform::fsPath(*outputName), ec);
    format.rateGiven = sound.rateGiven;
    if (const std::string e =
            applyFormatOptions(format, namesFile ? outputName : std::nullopt, options);
        !e.empty())
        return usageError(e);
    if (const std::string e = formatUnavailable(options); !e.empty()) {
        std::fprintf(stderr, "sorvanto-cli convert: %s\n", e.c_str());
        return 1;
    }
    long number = 0;
    int workers = platform::usableCores();
    if (jobsText) {
        if (!parseInt(*jobsText, 1, 64, number))
            return usageError("--jobs wants a number between 1 and 64, not \"" + *jobsText + "\"");
        workers = static_cast<int>(number);
    }
    std::optional<int> threads;
    if (threadsText) {
        const Result<int> parsed = parseRenderThreads(*threadsText);
        if (!parsed.ok()) return usageError(parsed.error().message);
        threads = parsed.value();
    }
    // Everything the command line says is checked before the font is read.
    const NameExpansion expansion = expandNames(operands);
    std::string error;
    const std::vector<BatchJob> jobs =
        makeConvertJobs(expansion.names, outputName, options.extension, error);
    if (!error.empty()) return usageError(error);
    if (outputName && *outputName == "-" && platform::stdoutIsTerminal())
        return usageError("will not write audio to a terminal; redirect standard output");

    std::string fontWarning;
    const Result<std::string> font = chooseUsableSoundFont(fontName, fontWarning);
    if (!font.ok()) {
        std::fprintf(stderr, "%s\n", cleanText(font.error().message).c_str());
        return 1;
    }
    options.soundFont = font.value();
    if (!quiet) {
        if (!fontWarning.empty()) std::fprintf(stderr, "%s\n", cleanText(fontWarning).c_str());
        for (const std::string& w : expansion.warnings)
            std::fprintf(stderr, "warning: %s\n", cleanText(w).c_str());
    }
    if (jobs.empty()) {
        std::fprintf(stderr, "sorvanto-cli convert: no songs found in what was named\n");
        return 1;
    }
    options.overwrite = overwrite;
    options.makeOutputFolders = outputName && *outputName != "-" && !namesFile;

    // Audio may go to standard output: every report goes to standard error then.
    FILE* report = (outputName && *outputName == "-") ? stderr : stdout;
    BatchOptions batch;
    batch.overwrite = overwrite;
    // The encoder library's entry points carry no handle: a library from elsewhere may keep a
    // single encoding per process, so MP3 files are made one at a time.
    if (options.outputText.front() == 'g') workers = 1;
    batch.workers = std::min<int>(workers, static_cast<int>(jobs.size()));
    options.settings.renderThreads = threads ? *threads : renderThreadsBeside(batch.workers);
    if (batch.workers > 1) {
        batch.expectedSeconds = songLengths(jobs);
        options.sharedInstruments = std::make_shared<SharedInstruments>();
    }
    ProgressDisplay display;
    // One line can follow one song; songs converted side by side report only when done.
    const bool showProgress = !quiet && platform::stderrIsTerminal() && batch.workers == 1;
    if (showProgress)
        options.progress = [&](double at, double total) { display.update(at, total); };
    const BatchSummary summary = runBatch(
        jobs, batch,
        [&](const BatchJob& job, int) {
            if (showProgress) display.start();
            BatchOutcome outcome = convertSong(job, options);
            if (showProgress) display.clear();
            return outcome;
        },
        [&](size_t, const BatchJob& job, const BatchOutcome& outcome) {
            const std::string input = cleanText(job.input);
            if (outcome.kind == BatchOutcome::Failed) {
                std::fprintf(stderr, "%s\n",
                             cleanText(nameOnce(job.input, outcome.message)).c_str());
                return;
            }
            if (quiet) return;
            if (outcome.kind == BatchOutcome::Skipped) {
                std::fprintf(stderr, "%s: skipped: %s\n", input.c_str(),
                             cleanText(outcome.message).c_str());
                return;
            }
            if (!outcome.warnings.empty()) {
                std::string line;
                for (const std::string& w : outcome.warnings)
                    line += (line.empty() ? "" : "; ") + w;
                std::fprintf(stderr, "%s: warning: %s\n", input.c_str(), cleanText(line).c_str());
            }
            std::fprintf(report, "%s -> %s (%s in %.1f s%s)\n", input.c_str(),
                         cleanText(job.output).c_str(),
                         formatDuration(outcome.audioSeconds).c_str(), outcome.wallSeconds,
                         clippedNote(outcome.clippedSamples).c_str());
            std::fflush(report);
        });
    if (jobs.size() > 1 && !quiet) {
        const std::string text = formatBatchSummary(summary);
        for (size_t at = 0, end; at < text.size(); at = end + 1) {
            end = text.find('\n', at);
            std::fprintf(report, "%s\n", cleanText(text.substr(at, end - at)).c_str());
        }
    }
    return summary.nothingFailed() ? 0 : 1;
}

}  // namespace svt::cli
