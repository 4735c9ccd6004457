#include "app/Engine.h"

#include <algorithm>

namespace svt {

namespace {

effects::EffectOptions effectOptions(const EngineSettings& settings) {
    effects::EffectOptions options{settings.reverbMode, settings.chorusMode};
    options.surroundChorus = settings.surroundChorus;
    options.simd = settings.simd;
    return options;
}

}  // namespace

Engine::Engine(EngineSettings settings, const EngineSetup& setup)
    : settings_(std::move(settings)),
      songInput_(settings_),
      fixedNotes_(settings_.interpolation),
      fonts_(InstrumentSettings(settings_, &fixedNotes_)),
      banks_(fonts_),
      effects_(settings_.outputRateHz, effectOptions(settings_)),
      synthesizer_(settings_, banks_, controls_),
      player_(songInput_, &banks_, synthesizer_, quiet_, &controls_),
      outputs_(setup.mp3, setup.codecs) {
    player_.options() = setup.player;
    controls_.amplification = setup.amplification;
    fonts_.setDecodedSampleLimit(settings_.decodedSampleLimitBytes);
    synthesizer_.setDefaultDrumChannels(settings_.drumChannels);
    synthesizer_.setEffects(&effects_);
}

Status Engine::loadSoundFont(const std::string& fileName) {
    // The font in use stays until the new one has proved usable: a refused font leaves the
    // engine as it was, never without instruments.
    const bool known = std::any_of(fonts_.fonts().begin(), fonts_.fonts().end(),
                                   [&](const auto& f) { return f->registeredName() == fileName; });
    LoadedSoundFont& font = fonts_.registerFont(fileName);
    banks_.indexFonts();
    // A font without a single preset would leave every song without instruments.
    const bool empty = font.melodicBanks().empty() && font.drumSets().empty();
    if (font.usable() && !empty) {
        fonts_.selectFont(fileName);
        return Ok{};
    }
    std::string reason = font.usable() ? "the SoundFont holds no instruments" : font.lastError();
    if (!known) fonts_.unregisterFont(fileName);
    if (reason.empty()) reason = "not a usable SoundFont";
    if (reason.find(fileName) == std::string::npos) reason = fileName + ": " + reason;
    return makeError(reason);
}

Engine::~Engine() {
    // A file still open now was not finished: it is removed, not left half-written.
    if (outputOpen_) output().abandonFile();
    closeOutput();
}

bool Engine::selectOutput(std::string_view text) {
    const auto index = outputs_.select(text);
    if (!index) return false;
    if (outputOpen_ && *index != current_) closeOutput();
    current_ = *index;
    return true;
}

int Engine::openOutput() {
    closeOutput();
    output::OutputDevice& device = output();
    device.rate = settings_.outputRateHz;
    if ((device.flags & output::OF_BUFFER_SETTING) && settings_.outputBuffers > 0)
        device.extra[0] = settings_.outputBuffers;
    if (device.openOutput() < 0) return -1;
    // A mono output hears every voice in the middle and no effects.
    synthesizer_.setMonoOutput((device.encoding & output::ENC_MONO) != 0);
    outputOpen_ = true;
    queue_.setup(device, &player_);
    queue_.setLimiter(settings_.limiter);
    queue_.setQueueFromSettings(output::kDefaultQueueSeconds, output::kDefaultQueueFill);
    player_.setSink(&queue_);
    return 0;
}

int Engine::closeOutput() {
    if (!outputOpen_) return 0;
    outputOpen_ = false;
    player_.setSink(nullptr);
    return output().closeOutput();
}

}  // namespace svt
