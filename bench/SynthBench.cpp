// Voices the synthesizer renders per second: resampling, envelopes, tremolo, filter, pan and
// mixing of N held notes, one block per iteration. The counter "voices" is how many voices
// one core could keep sounding in real time at 44.1 kHz.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "instruments/InstrumentBanks.h"
#include "instruments/SoundFontRegistry.h"
#include "support/Sf2Builder.h"
#include "synth/Synthesizer.h"

namespace {

using namespace svt;
using test::Sf2Builder;

// Program 0: a looped saw; program 1: the same through a resonant low-pass whose cutoff the
// modulation envelope moves, with tremolo, so that every control period does its full work.
std::vector<uint8_t> benchFont() {
    Sf2Builder sf;
    const int saw = sf.addSample(Sf2Builder::sawSample("saw", 220.0, 44100, 57));
    const int plain = sf.addInstrument("plain");
    sf.instrumentZone(plain)
        .loopMode(1)
        .gen(GEN_RELEASE_VOL_ENV, Sf2Builder::timecents(0.3))
        .sample(saw);
    sf.presetZone(sf.addPreset("plain", 0, 0)).instrument(plain);
    const int shaped = sf.addInstrument("shaped");
    sf.instrumentZone(shaped)
        .loopMode(1)
        .gen(GEN_INITIAL_FILTER_FC, 7000)
        .gen(GEN_INITIAL_FILTER_Q, 60)
        .gen(GEN_MOD_ENV_TO_FILTER_FC, 2400)
        .gen(GEN_DECAY_MOD_ENV, Sf2Builder::timecents(2.0))
        .gen(GEN_MOD_LFO_TO_VOLUME, 30)
        .gen(GEN_FREQ_MOD_LFO, 0)
        .sample(saw);
    sf.presetZone(sf.addPreset("shaped", 0, 1)).instrument(shaped);
    return sf.build();
}

void BM_Voices(benchmark::State& state) {
    const int voices = int(state.range(0));
    const int program = int(state.range(1));
    const auto kind = InterpolationKind(state.range(2));
    static const std::vector<uint8_t> font = benchFont();
    InstrumentSettings is;
    is.printDiagnostics = false;
    SoundFontRegistry registry(is);
    registry.registerBytes("bench.sf2", font);
    InstrumentBanks banks(registry);
    banks.indexFonts();
    EngineSettings settings;
    PlayerControls controls;
    Synthesizer synth(settings, banks, controls);
    synth.resampler().setInterpolation(kind);
    for (int c = 0; c < kChannels; ++c)
        synth.applyEvent(SongEvent{0, EV_PROGRAM, uint8_t(c), uint8_t(program), 0}, true);
    for (int i = 0; i < voices; ++i) {
        const int channel = (i % 15) + (i % 15 >= 9 ? 1 : 0);  // never the drum channel
        synth.applyEvent(SongEvent{0, EV_NOTE_ON, uint8_t(channel), uint8_t(30 + i % 70), 100},
                         true);
    }
    std::vector<int32_t> block(2 * kBlockFrames);
    int64_t frames = 0;
    for (auto _ : state) {
        synth.render({block.data(), kBlockFrames});
        benchmark::DoNotOptimize(block.data());
        frames += kBlockFrames;
    }
    if (synth.voicesInUse() != voices) state.SkipWithError("voices ended while measuring");
    state.SetItemsProcessed(frames * voices);
    state.counters["voices"] =
        benchmark::Counter(double(frames) * voices / 44100.0, benchmark::Counter::kIsRate);
    static const char* kinds[] = {"none", "linear", "lagrange"};
    state.SetLabel(std::string(program == 0 ? "plain" : "filtered+tremolo") + " " +
                   kinds[int(kind)]);
}

BENCHMARK(BM_Voices)
    ->Args({16, 0, 2})
    ->Args({64, 0, 2})
    ->Args({256, 0, 2})
    ->Args({256, 0, 1})
    ->Args({64, 1, 2})
    ->Args({256, 1, 2})
    ->Args({256, 1, 1});

}  // namespace
