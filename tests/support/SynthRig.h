#pragma once
// A synthesizer over a font built in the test: program 0 a looped 440 Hz sine (root key 69),
// program 1 the same with an instant release, program 2 silence, program 3 a 441 Hz cosine
// (it starts at its peak), program 4 a 220 Hz saw (root key 57), program 5 the saw through a
// 1 kHz low-pass, program 6 a stereo pair (440 Hz left, 660 Hz right at key 69), program 8
// the sine with a 5 Hz, 6 dB tremolo, and drum kit 0 whose keys 36..46 play a sine that sounds
// 1000 Hz on key 36.

#include <cmath>
#include <memory>
#include <vector>

#include "instruments/InstrumentBanks.h"
#include "instruments/SoundFontRegistry.h"
#include "song/SongEvent.h"
#include "support/Sf2Builder.h"
#include "support/Signal.h"
#include "synth/Synthesizer.h"

namespace svt::test {

inline std::vector<uint8_t> rigFont() {
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69));
    const int drum = sf.addSample(Sf2Builder::sineSample("drum", 1000.0, 44100, 36));
    Sf2Sample quiet;
    quiet.name = "quiet";
    quiet.pcm.assign(4410, 0);
    quiet.originalKey = 69;
    quiet.loopStart = 100;
    quiet.loopEnd = 4000;
    const int silent = sf.addSample(quiet);
    Sf2Sample cosine;
    cosine.name = "cosine";
    cosine.originalKey = 69;
    for (int n = 0; n < 44100; ++n)
        cosine.pcm.push_back(int16_t(std::lround(16000 * std::cos(2 * M_PI * 441.0 * n / 44100))));
    cosine.loopStart = 0;
    cosine.loopEnd = 44100;
    const int cos = sf.addSample(cosine);

    auto preset = [&](const char* name, int bank, int program, int sample, int releaseTc,
                      int lowKey = 0, int highKey = 127) {
        const int i = sf.addInstrument(name);
        sf.instrumentZone(i)
            .keyRange(lowKey, highKey)
            .loopMode(1)
            .gen(GEN_ATTACK_VOL_ENV, Sf2Builder::timecents(0.002))
            .gen(GEN_RELEASE_VOL_ENV, releaseTc)
            .sample(sample);
        sf.presetZone(sf.addPreset(name, bank, program)).instrument(i);
    };
    preset("Sine", 0, 0, sine, Sf2Builder::timecents(0.2));
    preset("Sine instant release", 0, 1, sine, -12000);
    preset("Silence", 0, 2, silent, Sf2Builder::timecents(0.2));
    preset("Cosine", 0, 3, cos, Sf2Builder::timecents(0.2));
    preset("Drums", kPercussionBank, 0, drum, Sf2Builder::timecents(0.2), 36, 46);

    const int saw = sf.addSample(Sf2Builder::sawSample("saw", 220.0, 44100, 57));
    preset("Saw", 0, 4, saw, Sf2Builder::timecents(0.2));
    const int filtered = sf.addInstrument("Saw through 1 kHz");
    sf.instrumentZone(filtered)
        .loopMode(1)
        .gen(GEN_INITIAL_FILTER_FC, 8324)
        .sample(saw);  // 1000 Hz
    sf.presetZone(sf.addPreset("Saw through 1 kHz", 0, 5)).instrument(filtered);
    const int pair = sf.addStereoPair(Sf2Builder::sineSample("left", 440.0, 44100, 69),
                                      Sf2Builder::sineSample("right", 660.0, 44100, 69));
    const int stereo = sf.addInstrument("Stereo");
    sf.instrumentZone(stereo).loopMode(1).sample(pair);
    sf.instrumentZone(stereo).loopMode(1).sample(pair + 1);
    sf.presetZone(sf.addPreset("Stereo", 0, 6)).instrument(stereo);
    const int tremolo = sf.addInstrument("Tremolo");
    sf.instrumentZone(tremolo)
        .loopMode(1)
        .gen(GEN_MOD_LFO_TO_VOLUME, 60)                                          // 6 dB
        .gen(GEN_FREQ_MOD_LFO, int(std::lround(1200 * std::log2(5.0 / 8.176))))  // 5 Hz
        .sample(sine);
    sf.presetZone(sf.addPreset("Tremolo", 0, 8)).instrument(tremolo);
    return sf.build();
}

// Drives a synthesizer event by event and renders it in blocks.
struct SynthDriver {
    Synthesizer* driven = nullptr;

    void event(uint8_t type, int channel, int a, int b = 0) {
        driven->applyEvent(SongEvent{0, type, uint8_t(channel), uint8_t(a), uint8_t(b)}, true);
    }
    void noteOn(int channel, int key, int velocity = 100) {
        event(EV_NOTE_ON, channel, key, velocity);
    }
    void noteOff(int channel, int key) { event(EV_NOTE_OFF, channel, key, 0); }
    void program(int channel, int p) { event(EV_PROGRAM, channel, p); }
    void rpn(int channel, int msb, int lsb, int value) {
        event(EV_RPN_MSB, channel, msb);
        event(EV_RPN_LSB, channel, lsb);
        event(EV_DATA_ENTRY_MSB, channel, value);
    }

    // Renders `frames` in blocks; the stereo result, interleaved.
    std::vector<int32_t> render(int frames) {
        std::vector<int32_t> out(size_t(2 * frames));
        for (int done = 0; done < frames;) {
            const int n = std::min(kBlockFrames, frames - done);
            driven->render({out.data() + 2 * done, n});
            done += n;
        }
        return out;
    }
    static std::vector<double> side(const std::vector<int32_t>& stereo, int which) {
        std::vector<double> x;
        for (size_t i = size_t(which); i < stereo.size(); i += 2) x.push_back(stereo[i]);
        return x;
    }
    std::vector<double> left(int frames) { return side(render(frames), 0); }
};

// A synthesizer of its own, without effects.
struct SynthRig : SynthDriver {
    std::vector<uint8_t> bytes;
    int rateHz;
    // The instruments take their rate and control period from these, as in an engine.
    EngineSettings settings = settingsAt(rateHz);
    SoundFontRegistry registry{InstrumentSettings(settings)};
    InstrumentBanks banks{registry};
    PlayerControls controls;
    std::unique_ptr<Synthesizer> synth;

    static EngineSettings settingsAt(int rateHz) {
        EngineSettings s;
        s.outputRateHz = rateHz;
        s.controlRatio = settleControlRatio(rateHz);
        return s;
    }

    explicit SynthRig(int outputRateHz = 44100) : SynthRig(rigFont(), outputRateHz) {}
    // The same over a font of the test's own.
    explicit SynthRig(std::vector<uint8_t> font, int outputRateHz = 44100)
        : bytes(std::move(font)), rateHz(outputRateHz) {
        registry.registerBytes("rig.sf2", bytes);
        banks.indexFonts();
        synth = std::make_unique<Synthesizer>(settings, banks, controls);
        driven = synth.get();
    }
};

inline double cents(double hz, double expectedHz) {
    return 1200.0 * std::log2(hz / expectedHz);
}

}  // namespace svt::test
