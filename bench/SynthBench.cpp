// Voices the synthesizer renders per second: resampling, envelopes, tremolo, filter, pan and
// mixing of N held notes, one block per iteration. The counter "voices" is how many voices
// one core could keep sounding in real time at 44.1 kHz.

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "instruments/InstrumentBanks.h"
#include "instruments/SoundFontRegistry.h"
#include "support/Sf2Builder.h"
#include "synth/MixKernels.h"
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

// Skips the benchmark where this processor lacks the instruction set `simd`.
bool skipWithout(benchmark::State& state, SimdLevel simd) {
    if (simdLevelAvailable(simd)) return false;
    state.SkipWithError("instruction set not available");
    return true;
}

void BM_Voices(benchmark::State& state) {
    const int voices = int(state.range(0));
    const int program = int(state.range(1));
    const auto kind = InterpolationKind(state.range(2));
    const auto simd = SimdLevel(state.range(3));
    if (skipWithout(state, simd)) return;
    static const std::vector<uint8_t> font = benchFont();
    EngineSettings settings;
    settings.interpolation = kind;
    InstrumentSettings is(settings);
    SoundFontRegistry registry(is);
    registry.registerBytes("bench.sf2", font);
    InstrumentBanks banks(registry);
    banks.indexFonts();
    settings.simd = simd;
    PlayerControls controls;
    Synthesizer synth(settings, banks, controls);
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
                   kinds[int(kind)] + " " + simdLevelName(simd));
}

void voiceCases(benchmark::internal::Benchmark* b) {
    const int best = int(bestSimdLevel());
    for (auto [voices, program, kind] :
         {std::tuple{16, 0, 2}, {64, 0, 2}, {256, 0, 2}, {256, 0, 1}})
        b->Args({voices, program, kind, best});
    for (SimdLevel simd : kSimdLevels)
        for (auto [voices, kind] : {std::pair{64, 2}, {256, 2}, {256, 1}})
            b->Args({voices, 1, kind, int(simd)});
}
BENCHMARK(BM_Voices)->Apply(voiceCases);

// The voice filter alone: sixteen voices' filters over a block each, in every form. The
// counter "voices" is how many filtered voices one core could keep up with at 44.1 kHz.
void BM_Filters(benchmark::State& state) {
    const auto simd = SimdLevel(state.range(0));
    if (skipWithout(state, simd)) return;
    const MixKernels kernels = mixKernelsFor(simd);
    std::array<VoiceFilter, kFilterLanes> filters;
    std::vector<int32_t> samples(size_t(kFilterLanes) * kBlockFrames);
    std::mt19937 gen(4);
    std::uniform_int_distribution<int32_t> value(-30000, 30000);
    for (int32_t& x : samples) x = value(gen);
    for (size_t j = 0; j < filters.size(); ++j) {
        // Low-passes around 2 kHz with some resonance, in the filter's 24-bit units.
        const double g = std::tan(M_PI * (0.04 + 0.002 * double(j))), k = 0.5;
        const double a1 = 1.0 / (1.0 + g * (g + k)), a2 = g * a1, a3 = g * a2;
        auto q24 = [](double c) { return int64_t(std::lround(c * (1 << 24))); };
        VoiceFilter& f = filters[j];
        f.active = true;
        f.s1Gain = q24(2 * a1 - 1);
        f.s1FromIn = q24(2 * a2);
        f.s2FromS1 = q24(2 * a2);
        f.s2FromIn = q24(2 * a3);
    }
    std::array<FilterRun, kFilterLanes> runs;
    int64_t frames = 0;
    for (auto _ : state) {
        for (size_t j = 0; j < runs.size(); ++j)
            runs[j] = {&filters[j], samples.data() + j * kBlockFrames, kBlockFrames};
        kernels.filterRuns(runs.data(), kFilterLanes);
        benchmark::DoNotOptimize(samples.data());
        frames += int64_t(kFilterLanes) * kBlockFrames;
    }
    state.SetItemsProcessed(frames);
    state.counters["voices"] =
        benchmark::Counter(double(frames) / 44100.0, benchmark::Counter::kIsRate);
    state.SetLabel(simdLevelName(simd));
}
BENCHMARK(BM_Filters)->DenseRange(0, 3);

// The constant mix alone: one voice's block added into the stereo block at a fixed mix, in
// every form.
void BM_MixConstant(benchmark::State& state) {
    const auto simd = SimdLevel(state.range(0));
    if (skipWithout(state, simd)) return;
    const MixKernels kernels = mixKernelsFor(simd);
    std::vector<int32_t> samples(kBlockFrames);
    std::mt19937 gen(5);
    std::uniform_int_distribution<int32_t> value(-30000, 30000);
    for (int32_t& x : samples) x = value(gen);
    std::vector<int64_t> block(2 * size_t(kBlockFrames));
    for (auto _ : state) {
        kernels.mixConstant(samples.data(), kBlockFrames, 3000, 5000, block.data());
        benchmark::DoNotOptimize(block.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlockFrames);
    state.SetLabel(simdLevelName(simd));
}
BENCHMARK(BM_MixConstant)->DenseRange(0, 3);

}  // namespace
