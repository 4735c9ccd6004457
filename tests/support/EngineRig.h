#pragma once
// The rig's font in a whole engine: the synthesizer bound to the effects the engine builds
// from the same settings, driven event by event as a SynthRig is.

#include "app/Engine.h"
#include "support/SynthRig.h"

namespace svt::test {

struct EngineRig : SynthDriver {
    std::vector<uint8_t> bytes = rigFont();
    Engine engine;

    explicit EngineRig(const EngineSettings& settings = {}) : engine(settings) {
        engine.fonts().registerBytes("rig.sf2", bytes);
        engine.banks().indexFonts();
        driven = &engine.synthesizer();
    }
    Synthesizer& synth() { return engine.synthesizer(); }
    int rateHz() const { return engine.settings().outputRateHz; }
};

}  // namespace svt::test
