#include "app/Conversion.h"

#include <chrono>
#include <filesystem>

#include "app/Engine.h"
#include "output/Mp3Output.h"
#include "output/OutputNames.h"
#include "platform/OutputFile.h"

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
// progress reports.
class ProgressControl final : public ControlInterface {
  public:
    ProgressControl(const ConvertOptions& options, int rate) : options_(options), rate_(rate) {}
    int read(int32_t&) override { return CmdNone; }
    void event(const PlayerNotice& notice) override {
        if (!options_.progress) return;
        if (notice.code == NoticePlayStart) {
            totalSeconds_ = static_cast<double>(notice.args[0]) / rate_;
            options_.progress(0, totalSeconds_);
        } else if (notice.code == NoticeCurrentTime) {
            options_.progress(notice.args[0], totalSeconds_);
        }
    }
    bool traces() const override { return false; }

  private:
    const ConvertOptions& options_;
    const double rate_;
    double totalSeconds_ = 0;
};

}  // namespace

std::vector<BatchJob> makeConvertJobs(const std::vector<std::string>& songs,
                                      const std::optional<std::string>& output,
                                      const std::string& extension, std::string& error) {
    error.clear();
    std::vector<BatchJob> jobs;
    if (!output) {
        for (const std::string& song : songs)
            jobs.push_back({song, output::automaticOutputName(song, extension)});
        return jobs;
    }
    std::error_code ec;
    const bool folder = endsWithSeparator(*output) || std::filesystem::is_directory(*output, ec);
    if (!folder) {
        if (songs.size() > 1) {
            error =
                "several songs cannot go into the one file " + *output + "; name a folder instead";
            return {};
        }
        for (const std::string& song : songs) jobs.push_back({song, *output});
        return jobs;
    }
    std::string dir = *output;
    if (!endsWithSeparator(dir)) dir += '/';
    for (const std::string& song : songs)
        jobs.push_back({song, dir + output::automaticOutputName(fileNameOf(song), extension)});
    return jobs;
}

BatchOutcome convertSong(const BatchJob& job, const ConvertOptions& options) {
    const auto started = std::chrono::steady_clock::now();
    BatchOutcome outcome;
    Engine engine(options.settings);
    if (!options.soundFont.empty()) {
        const Status loaded = engine.loadSoundFont(options.soundFont);
        if (!loaded.ok()) {
            outcome.message = loaded.error().message;
            return outcome;
        }
    }
    engine.synthesizer().resampler().setInterpolation(options.interpolation);
    engine.player().options().startKeyOffset = options.keyOffset;
    engine.player().options().startMuteMask = options.muteMask;
    engine.controls().amplification = options.amplification;
    ProgressControl progress(options, options.settings.outputRateHz);
    engine.setControl(progress);
    if (!engine.selectOutput(options.outputText)) {
        outcome.message = "unknown output \"" + options.outputText + "\"";
        return outcome;
    }
    output::OutputDevice& device = engine.output();
    device.name = job.output;
    device.batchConversion = false;
    if (auto* mp3 = dynamic_cast<output::Mp3Output*>(&device)) {
        mp3->setSettings(options.mp3);
        mp3->songTitle = engine.songInput().infos().quickTitle(job.input).value_or("");
    }
    const bool existed = job.output != "-" && platform::pathExists(job.output);
    if (engine.openOutput() < 0) {
        outcome.message = engine.outputMessage();
        return outcome;
    }
    const int result = engine.playFile(job.input, options.timeRatio);
    const int64_t frames = engine.player().currentSample();
    outcome.clippedSamples = engine.audioQueue().clippedSamples();
    const bool closed = engine.closeOutput() == 0;
    outcome.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (result == CmdTuneEnd && closed) {
        outcome.kind = BatchOutcome::Written;
        outcome.audioSeconds = static_cast<double>(frames) / options.settings.outputRateHz;
        return outcome;
    }
    outcome.message =
        !engine.player().lastError().empty() ? engine.player().lastError() : engine.outputMessage();
    if (outcome.message.empty())
        outcome.message = "conversion stopped (code " + std::to_string(result) + ")";
    // A file this run created but could not finish is not left behind as if it were a song.
    if (job.output != "-" && !existed) platform::removeFile(job.output);
    return outcome;
}

}  // namespace svt
