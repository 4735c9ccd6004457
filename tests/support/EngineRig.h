#pragma once
// The synthesizer font of SynthRig in a whole engine: the synthesizer bound to the effects the
// engine builds from the same settings, driven event by event as a SynthRig is (the tests
// that use it link the app library). Whole songs: SongRig.

#include "app/Engine.h"
#include "support/SynthRig.h"

namespace svt::test {

// Settings with the reverb and chorus modes given (0 and 0: both off).
inline EngineSettings effectModes(int reverbMode, int chorusMode) {
    EngineSettings s;
    s.reverbMode = reverbMode;
    s.chorusMode = chorusMode;
    return s;
}

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
