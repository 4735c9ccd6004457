#include "app/EngineFront.h"

#include <algorithm>

#include "output/LiveOutput.h"
#include "output/Outputs.h"

namespace svt {
namespace {

constexpr const char* kOutputNames[] = {"d", "w", "g"};
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

EngineFront::EngineFront(Engine& engine) : engine_(engine), probeInput_(engine.settings()) {
    engine_.selectOutput(kOutputNames[0]);
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

void EngineFront::selectOutput(int index) {
    if (index < 0 || index > 2 || index == selected_) return;
    std::lock_guard guard(deviceLock_);
    if (engine_.selectOutput(kOutputNames[index])) {
        selected_ = index;
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
    engine_.player().setReferenceTempo(s.originalTempo > 0 ? s.originalTempo : kDefaultBpm);
    return engine_.playFile(entry.path, timeRatioOf(s));
}

const std::array<std::string, 16>* EngineFront::trackNames(const std::string& path) {
    const SongInfo* info = engine_.songInput().infos().find(path, false);
    return info ? &info->trackNames : nullptr;
}

std::optional<SongProbeResult> EngineFront::probe(const std::string& path) {
    auto read = probeInput_.load(path);
    if (!read.ok()) return SongProbeResult{};
    SongProbeResult result;
    result.isSong = true;
    const ConvertedSong& song = read.value().song;
    if (const SongInfo* info = probeInput_.infos().find(path, false))
        result.title = displayTitle(*info).value_or("");
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

}  // namespace svt
