#include "app/Engine.h"

#include <chrono>

namespace svt {

namespace {

uint32_t clockSeed() {
    return static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace

Engine::Engine(EngineSettings settings)
    : settings_(std::move(settings)),
      songInput_(settings_),
      random_(clockSeed()),
      workBuffer_(kWorkBufferBytes, 0),
      banks_(fonts_),
      synthesis_(std::make_unique<SilentSynthesis>()),
      player_(songInput_, &banks_, *synthesis_, quiet_) {}

Engine::~Engine() { closeOutput(); }

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
    if (device.openOutput() < 0) return -1;
    outputOpen_ = true;
    queue_.setup(device, &player_);
    queue_.setQueueFromSettings(settings_.audioQueueSeconds, settings_.audioQueueFill);
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
