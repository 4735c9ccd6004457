#include "app/Conversion.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <new>

#include "app/Engine.h"
#include "instruments/SoundFontRegistry.h"
#include "output/Mp3Output.h"
#include "output/OutputNames.h"
#include "platform/Paths.h"
#include "song/SmfReader.h"

namespace svt {

namespace {

bool endsWithSeparator(const std::string& s) {
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

std::string fileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The converter's front-end: it sends no commands and turns the player's time notices into
// progress reports. The total is the length of the file: the song and the end it plays out,
// which is at least the second of silence every song ends with and grows while a tail sounds.
class ProgressControl final : public ControlInterface {
  public:
    ProgressControl(const ConvertOptions& options, int rate, const Player& player)
        : options_(options), rate_(rate), player_(player) {}
    int read(int32_t&) override {
        // Past the song's end no time notice comes: the rendered frames tell how far it is.
        if (songSeconds_ > 0 && renderedSeconds() > songSeconds_) reportRendered();
        return CmdNone;
    }
    void event(const PlayerNotice& notice) override {
        if (!options_.progress) return;
        if (notice.code == NoticePlayStart) {
            songSeconds_ = static_cast<double>(notice.args[0]) / rate_;
            totalSeconds_ = songSeconds_ + Player::kEndSilenceSeconds;
            options_.progress(0, totalSeconds_);
        } else if (notice.code == NoticeCurrentTime) {
            options_.progress(notice.args[0], totalSeconds_);
        } else if (notice.code == NoticePlayEnd) {
            reportRendered();
        }
    }
    bool traces() const override { return false; }

  private:
    double renderedSeconds() const { return static_cast<double>(player_.currentSample()) / rate_; }
    void reportRendered() {
        if (!options_.progress) return;
        const double at = renderedSeconds();
        totalSeconds_ = std::max(totalSeconds_, at);
        options_.progress(at, totalSeconds_);
    }

    const ConvertOptions& options_;
    const double rate_;
    const Player& player_;
    double songSeconds_ = 0;
    double totalSeconds_ = 0;
};

}  // namespace

std::vector<BatchJob> makeConvertJobs(const std::vector<ExpandedName>& songs,
                                      const std::optional<std::string>& output,
                                      const std::string& extension, std::string& error) {
    error.clear();
    std::vector<BatchJob> jobs;
    const bool fromStandardInput = std::any_of(songs.begin(), songs.end(),
                                               [](const ExpandedName& s) { return s.path == "-"; });
    std::error_code ec;
    const bool folder = output && *output != "-" &&
                        (endsWithSeparator(*output) ||
                         std::filesystem::is_directory(platform::fsPath(*output), ec));
    if (fromStandardInput && (!output || folder)) {
        error = "a song from standard input has no name to name its file after; give one with -o";
        return {};
    }
    if (!output) {
        for (const ExpandedName& song : songs)
            jobs.push_back({song.path, output::automaticOutputName(song.path, extension)});
        return jobs;
    }
    if (!folder) {
        if (songs.size() > 1) {
            error =
                "several songs cannot go into the one file " + *output + "; name a folder instead";
            return {};
        }
        for (const ExpandedName& song : songs) jobs.push_back({song.path, *output});
        return jobs;
    }
    std::string dir = *output;
    if (!endsWithSeparator(dir)) dir += '/';
    for (const ExpandedName& song : songs) {
        // The song's place below the folder it was found in; a song named itself has none.
        std::string below = fileNameOf(song.path);
        if (!song.folder.empty()) {
            std::string base = song.folder;
            while (base.size() > 1 && endsWithSeparator(base)) base.pop_back();
            const std::u8string relativeText = platform::fsPath(song.path)
                                                   .lexically_relative(platform::fsPath(base))
                                                   .generic_u8string();
            const std::string relative(relativeText.begin(), relativeText.end());
            if (!relative.empty() && relative.rfind("..", 0) != 0) below = relative;
        }
        jobs.push_back({song.path, dir + output::automaticOutputName(below, extension)});
    }
    return jobs;
}

std::vector<double> songLengths(const std::vector<BatchJob>& jobs) {
    std::vector<double> seconds(jobs.size(), 0.0);
    const ReadOptions options;
    EventList list;
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].input == "-") continue;
        SongInfo info;
        // The lengths only order the work: a song too large to read now counts as short,
        // and its own conversion says why it fails.
        try {
            if (readSongFile(jobs[i].input, info, list, options).ok() && info.totalSamples > 0)
                seconds[i] =
                    static_cast<double>(info.totalSamples) / options.conversion.outputRateHz;
        } catch (const std::bad_alloc&) {
            continue;  // the next read starts the list afresh
        }
    }
    return seconds;
}

Result<std::vector<std::string>> checkSoundFont(const std::string& file) {
    try {
        InstrumentSettings settings{EngineSettings{}};
        SoundFontRegistry registry(settings);
        LoadedSoundFont& font = registry.registerFont(file);
        if (const Status indexed = font.index(settings); !indexed.ok())
            return makeError(nameOnce(file, indexed.error().message));
        if (const Status sounds = font.soundCheck(); !sounds.ok())
            return makeError(file + ": " + sounds.error().message);
        std::vector<std::string> problems;
        for (const SoundFontProblem& p : font.problems()) problems.push_back(p.text);
        return problems;
    } catch (const std::bad_alloc&) {
        return makeError(file + ": there is not enough memory to read it");
    }
}

namespace {

BatchOutcome convertOneSong(const BatchJob& job, const ConvertOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    BatchOutcome outcome;
    EngineSetup setup;
    setup.mp3 = options.mp3;
    setup.codecs = options.codecs;
    setup.player.startKeyOffset = options.keyOffset;
    setup.player.startMuteMask = options.muteMask;
    setup.amplification = options.amplification;
    // On the heap: an engine is large, and the first song may run on the main thread, whose
    // stack grows page by page; under an address-space limit a stack that cannot grow is a
    // segmentation fault, where a refused allocation is this song's failure with its reason.
    EngineSettings settings = options.settings;
    // A conversion has no key control: nothing moves the song's notes after they are marked.
    settings.songKeysFixed = true;
    const auto ownedEngine = std::make_unique<Engine>(settings, setup);
    Engine& engine = *ownedEngine;
    if (!options.soundFont.empty()) {
        engine.fonts().shareInstruments(options.sharedInstruments);
        const Status loaded = engine.loadSoundFont(options.soundFont);
        if (!loaded.ok()) {
            outcome.message = loaded.error().message;
            return outcome;
        }
    }
    ProgressControl progress(options, options.settings.outputRateHz, engine.player());
    engine.setControl(progress);
    if (!engine.selectOutput(options.outputText)) {
        outcome.message = "unknown output \"" + options.outputText + "\"";
        return outcome;
    }
    output::OutputDevice& device = engine.output();
    device.name = job.output;
    device.batchConversion = false;
    device.replaceExisting = options.overwrite;
    device.writeTags = options.writeTags;
    if (options.writeTags) device.songTags = readSongTags(engine.songInput().infos(), job.input);
    if (!options.encoderPath.empty())
        if (auto* mp3 = dynamic_cast<output::Mp3Output*>(&device))
            mp3->locateEncoder = [mp3, path = options.encoderPath] {
                return output::storeEncoderLocation(mp3->search(), path);
            };
    if (options.makeOutputFolders && job.output != "-") {
        std::error_code ec;
        const std::filesystem::path parent = platform::fsPath(job.output).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
        // The open below would only say that the folder is missing; the reason is here.
        if (ec) {
            outcome.message =
                "the folder " + platform::pathText(parent) + " cannot be made: " + ec.message();
            return outcome;
        }
    }
    if (engine.openOutput() < 0) {
        outcome.message = engine.outputMessage();
        return outcome;
    }
    const int result = engine.playFile(job.input, options.timeRatio);
    const int64_t frames = engine.player().currentSample();
    outcome.clippedSamples = engine.audioQueue().clippedSamples();
    // A song that did not play to its end leaves no file.
    if (result != CmdTuneEnd) device.abandonFile();
    const bool closed = engine.closeOutput() == 0;
    outcome.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (result == CmdTuneEnd && closed) {
        outcome.kind = BatchOutcome::Written;
        outcome.audioSeconds = static_cast<double>(frames) / options.settings.outputRateHz;
        outcome.warnings = engine.songInput().lastWarnings();
        // Samples of the font the song needed that cannot sound (a damaged stream), once each.
        for (std::string& w : engine.fonts().takeSampleWarnings())
            outcome.warnings.push_back(std::move(w));
        return outcome;
    }
    outcome.message =
        !engine.player().lastError().empty() ? engine.player().lastError() : engine.outputMessage();
    if (outcome.message.empty())
        outcome.message = "conversion stopped (code " + std::to_string(result) + ")";
    return outcome;
}

}  // namespace

BatchOutcome convertSong(const BatchJob& job, const ConvertOptions& options) {
    // Memory may run out before the player takes over (the engine, the font's index): the
    // song fails with the reason, the engine's output has dropped its temporary file on the
    // way out, and the batch goes on.
    try {
        return convertOneSong(job, options);
    } catch (const std::bad_alloc&) {
        BatchOutcome outcome;
        outcome.message = "there is not enough memory to convert it";
        return outcome;
    }
}

}  // namespace svt
