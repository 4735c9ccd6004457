#pragma once
// The composition root: one object per subsystem, all belonging to one engine. Two
// engines in one process share nothing mutable, so tests and parallel conversions may
// create as many as they like. Subsystems receive references to what they need from here.

#include <cstdint>
#include <span>
#include <vector>

#include "song/EngineRandom.h"
#include "song/EngineSettings.h"
#include "song/SongInput.h"

namespace svt {

class Engine {
public:
    explicit Engine(EngineSettings settings = {});
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const EngineSettings& settings() const { return settings_; }
    SongInput& songInput() { return songInput_; }
    EngineRandom& random() { return random_; }
    // Scratch space of the synthesis engine, zeroed at start.
    std::span<uint8_t> workBuffer() { return workBuffer_; }

private:
    // Declared first: every subsystem below reads it.
    const EngineSettings settings_;
    SongInput songInput_;
    EngineRandom random_;
    std::vector<uint8_t> workBuffer_;
};

}  // namespace svt
