#include "desktop/EngineFront.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "app/DisplayText.h"
#include "instruments/SoundFontRegistry.h"
#include "output/LiveOutput.h"
#include "output/Outputs.h"
#include "platform/Paths.h"

namespace svt {
namespace {

// The engine's output table lists the outputs in the order of OutputKind.
constexpr const char* kOutputNames[] = {"d", "w", "g", "f", "v", "o"};
static_assert(std::size(kOutputNames) == output::Outputs::kCount);

size_t outputSlot(OutputKind output) {
    return static_cast<size_t>(output);
}
// The tempo a song without tempo events plays at.
constexpr int kDefaultBpm = 120;

output::LiveOutput* liveOutput(Engine& engine) {
    return dynamic_cast<output::LiveOutput*>(&engine.outputs().at(output::Outputs::kLive));
}

}  // namespace

int volumePercentOf(uint16_t left, uint16_t right) {
    return static_cast<int>(std::max(left, right) * 100u / 65535u);
}

uint16_t deviceVolumeOf(int percent) {
    return static_cast<uint16_t>(std::clamp(percent, 0, 100) / 100.0 * 65535.0);
}

EngineFront::EngineFront(Engine& engine, Language language)
    : engine_(engine), language_(language), probeInput_(engine.settings()) {
    engine_.selectOutput(kOutputNames[0]);
    for (size_t i = 0; i < output::Outputs::kCount; ++i) {
        output::OutputDevice& device = engine_.outputs().at(i);
        device.language = language_;
        // The window's file outputs name each song's file after the song until given a name.
        device.batchConversion = i != output::Outputs::kLive;
        device.name.clear();
        // Files carry the song's title, copyright, composer and name, as the command line's do.
        device.writeTags = true;
    }
}

std::string EngineFront::outputFileName() const {
    const output::OutputDevice& device = engine_.outputs().at(outputSlot(selected_));
    return device.name.empty() ? device.lastOutputPath() : device.name;
}

void EngineFront::setOutputFile(const std::string& name) {
    if (selected_ == OutputKind::Live || playing_) return;
    std::lock_guard guard(deviceLock_);
    if (open_) {
        engine_.closeOutput();
        open_ = false;
    }
    output::OutputDevice& device = engine_.outputs().at(outputSlot(selected_));
    device.name = name;
    device.batchConversion = name.empty();
}

std::string EngineFront::lastOutputPath() const {
    return engine_.outputs().at(outputSlot(selected_)).lastOutputPath();
}

int EngineFront::openOutput() {
    std::lock_guard guard(deviceLock_);
    if (engine_.openOutput() < 0) return -1;
    open_ = true;
    return 0;
}

void EngineFront::closeOutput() {
    std::lock_guard guard(deviceLock_);
    engine_.closeOutput();
    open_ = false;
}

void EngineFront::selectOutput(OutputKind output) {
    // The output a song plays into stays open under it until the song has ended.
    if (outputSlot(output) >= std::size(kOutputNames) || output == selected_ || playing_) return;
    std::lock_guard guard(deviceLock_);
    if (engine_.selectOutput(kOutputNames[outputSlot(output)])) {
        selected_ = output;
        open_ = false;
    }
}

int EngineFront::play(const Playlist::Entry& entry, int userTranspose) {
    const SongSettings& s = entry.settings;
    PlayerOptions& options = engine_.player().options();
    options.startKeyOffset = userTranspose;
    uint32_t mutes = 0;
    for (int c = 0; c < kChannels; ++c)
        if (s.mute[c]) mutes |= 1u << c;
    options.startMuteMask = mutes;
    // The instrument boxes the user changed: the channel's program changes take the chosen
    // program while the song is read, so its instrument is the one loaded.
    std::array<int8_t, kChannels>& programs =
        engine_.songInput().options().conversion.programChoices;
    for (int c = 0; c < kChannels; ++c)
        programs[static_cast<size_t>(c)] = static_cast<int8_t>(programChoiceOf(s, c));
    engine_.player().setReferenceTempo(s.originalTempo > 0 ? s.originalTempo : kDefaultBpm);
    output::OutputDevice& device = engine_.output();
    device.songTags = readSongTags(engine_.songInput().infos(), entry.path);
    playing_ = true;
    const int result = engine_.playFile(entry.path, timeRatioOf(s));
    playing_ = false;
    // A named file the song did not fill to its end is removed when the output closes.
    if (selected_ != OutputKind::Live && !device.batchConversion && result != CmdTuneEnd) {
        device.abandonFile();
        std::lock_guard guard(deviceLock_);
        engine_.closeOutput();
        open_ = false;
    }
    return result;
}

const std::array<std::string, 16>* EngineFront::trackNames(const std::string& path) {
    const SongInfo* info = engine_.songInput().infos().find(path, false);
    if (info == nullptr) return nullptr;
    // Each channel row names the track that plays the channel, in the song's text cleaned as
    // everywhere else (Windows-1252 umlauts and the like).
    channelNames_ = channelTrackNames(*info);
    for (std::string& name : channelNames_) name = cleanText(name);
    return &channelNames_;
}

std::optional<SongProbeResult> EngineFront::probe(const std::string& path) {
    auto read = probeInput_.load(path);
    SongProbeResult result;
    if (!read.ok()) {
        result.problem = read.error().message;
        return result;
    }
    result.isSong = true;
    const ConvertedSong& song = read.value().song;
    if (const SongInfo* info = probeInput_.infos().find(path, false))
        result.title = cleanText(displayTitle(*info).value_or(""));
    result.settings = makeSongSettings(song.events, song.totalSamples, outputRateHz());
    return result;
}

bool EngineFront::changeSoundFont(const std::string& path) {
    return engine_.loadSoundFont(path).ok();
}

int EngineFront::volumePercent() {
    std::lock_guard guard(deviceLock_);
    const output::LiveOutput* live = liveOutput(engine_);
    return live ? volumePercentOf(live->volumeLeft(), live->volumeRight()) : 100;
}

void EngineFront::setVolumePercent(int percent) {
    std::lock_guard guard(deviceLock_);
    const uint16_t volume = deviceVolumeOf(percent);
    if (output::LiveOutput* live = liveOutput(engine_)) live->setVolume(volume, volume);
}

StartFont loadStartFont(Engine& engine, const std::string& chosen) {
    StartFont font;
    if (!chosen.empty()) {
        const Status loaded = engine.loadSoundFont(chosen);
        if (loaded.ok()) {
            font.name = chosen;
            return font;
        }
        font.problem = loaded.error().message;
    }
    Result<std::string> fallback = findDefaultSoundFont(platform::programFolder());
    if (fallback.ok()) {
        if (Status loaded = engine.loadSoundFont(fallback.value()); loaded.ok())
            font.name = fallback.value();
        else if (font.problem.empty())
            font.problem = loaded.error().message;
    } else if (font.problem.empty()) {
        font.problem = fallback.error().message;
    }
    return font;
}

OutputKind startOutput(Engine& engine) {
    // The candidates are listed in the order of the outputs.
    const output::OutputCandidate candidates[] = {
        {'d', [&] { return engine.outputs().at(0).detect(); }}, {'w', {}}, {'g', {}}};
    const char* svtVariable = std::getenv("SVT");
    const std::optional<size_t> chosen = output::chooseOutput(
        candidates, svtVariable ? std::optional<std::string_view>(svtVariable) : std::nullopt);
    return chosen ? static_cast<OutputKind>(*chosen) : OutputKind::Live;
}

}  // namespace svt
