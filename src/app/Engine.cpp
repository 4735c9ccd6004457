#include "app/Engine.h"

#include <chrono>

namespace svt {

namespace {

uint32_t clockSeed() {
    return static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace

Engine::Engine(EngineSettings settings)
    : settings_(std::move(settings)), songInput_(settings_), random_(clockSeed()), workBuffer_(kWorkBufferBytes, 0) {}

}  // namespace svt
