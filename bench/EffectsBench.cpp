// What each effect costs: one 4096-frame block of noise sent into its bus and processed per
// iteration. The counter "realtime" is seconds of 44.1 kHz stereo audio per second of work
// (above 50 means the effect takes under 2% of one core while a song plays). The silent-tail
// cases time a reverb ringing out into silence for a minute of audio.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "base/Constants.h"
#include "effects/effects.h"

namespace {

using namespace svt;
using effects::SystemEffects;

constexpr int kRate = 44100;

std::vector<int64_t> noiseBlock() {
    std::mt19937 random(1);
    std::uniform_int_distribution<int64_t> noise(-kFullScale / 4, kFullScale / 4);
    std::vector<int64_t> block(2 * kBlockFrames);
    for (auto& v : block) v = noise(random);
    return block;
}

void countRealtime(benchmark::State& state) {
    state.counters["realtime"] = benchmark::Counter(double(kBlockFrames) / kRate,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

// Sends into `buses` and processes, one block per iteration.
void run(benchmark::State& state, SystemEffects& fx, std::initializer_list<EffectBus> buses) {
    const std::vector<int64_t> in = noiseBlock();
    std::vector<int64_t> out(in.size());
    for (auto _ : state) {
        for (EffectBus bus : buses) fx.send(bus, {in.data(), int(in.size()) / 2}, 100);
        fx.process({out.data(), int(out.size()) / 2});
        benchmark::DoNotOptimize(out.data());
    }
    countRealtime(state);
}

void BM_Reverb(benchmark::State& state) {
    const int mode = int(state.range(0)), character = int(state.range(1));
    SystemEffects fx(kRate, {mode, 0});
    effects::ReverbParams p = effects::reverbMacro(character);
    p.time = 64;
    fx.setReverb(p);
    state.SetLabel(mode == 1        ? "standard"
                   : character == 5 ? "plate"
                   : character >= 6 ? "delay"
                                    : "room/hall");
    run(state, fx, {BUS_REVERB});
}
BENCHMARK(BM_Reverb)->Args({3, 0})->Args({3, 4})->Args({3, 5})->Args({3, 6})->Args({3, 7})->Args(
    {1, 4});

// A hall with its right side on a helper thread, as a song rendered on two threads runs it.
void BM_HallOnTwoThreads(benchmark::State& state) {
    SystemEffects fx(kRate, {3, 0});
    RenderWorkers helper(1);
    fx.shareWith(&helper);
    effects::ReverbParams p = effects::reverbMacro(4);
    p.time = 64;
    fx.setReverb(p);
    run(state, fx, {BUS_REVERB});
}
BENCHMARK(BM_HallOnTwoThreads)->UseRealTime();

void BM_Chorus(benchmark::State& state) {
    SystemEffects fx(kRate, {0, 1});
    run(state, fx, {BUS_CHORUS});
}
BENCHMARK(BM_Chorus);

void BM_Delay(benchmark::State& state) {
    SystemEffects fx(kRate, {0, 1});
    fx.setDelay(effects::delayMacro(4));
    run(state, fx, {BUS_DELAY});
}
BENCHMARK(BM_Delay);

void BM_Equaliser(benchmark::State& state) {
    SystemEffects fx(kRate, {0, 0});
    fx.setEq({0, 1, 0x4C, 0x34});
    run(state, fx, {BUS_EQ});
}
BENCHMARK(BM_Equaliser);

// The GS defaults as a song hears them: Hall 2 and Chorus 3 together.
void BM_ReverbAndChorus(benchmark::State& state) {
    SystemEffects fx(kRate, {3, 1});
    run(state, fx, {BUS_REVERB, BUS_CHORUS});
}
BENCHMARK(BM_ReverbAndChorus);

// XG variation blocks (the delay bus in XG mode): DELAY L,C,R, then CHORUS 1 as variation.
void BM_XgVariation(benchmark::State& state) {
    SystemEffects fx(kRate, {0, 1});
    fx.resetEffects(SYSTEM_XG_ON);
    fx.parameter(EV_SYSEX_XG_LSB, 0x5A, 1, 1, 0);  // connected as a system effect
    if (state.range(0) == 1) fx.parameter(EV_SYSEX_XG_LSB, 0x40, 0x41, 1, 0);
    state.SetLabel(state.range(0) == 1 ? "CHORUS 1" : "DELAY L,C,R");
    run(state, fx, {BUS_DELAY});
}
BENCHMARK(BM_XgVariation)->Arg(0)->Arg(1);

// The XG master equaliser with all five bands away from flat.
void BM_XgMultiEq(benchmark::State& state) {
    SystemEffects fx(kRate, {0, 0});
    fx.resetEffects(SYSTEM_XG_ON);
    for (int address : {0x01, 0x05, 0x09, 0x0D, 0x11})
        fx.parameter(EV_SYSEX_XG_LSB, address, 0x46, 3, 0);
    run(state, fx, {BUS_EQ});
}
BENCHMARK(BM_XgMultiEq);

// A minute of silence after one loud block: the tail dies to exact zeros and costs no more
// than sound does.
void BM_SilentTail(benchmark::State& state) {
    const int character = int(state.range(0));
    const std::vector<int64_t> in = noiseBlock();
    const std::vector<int64_t> silence(in.size(), 0);
    std::vector<int64_t> out(in.size());
    const int blocks = 60 * kRate / kBlockFrames;
    for (auto _ : state) {
        state.PauseTiming();
        SystemEffects fx(kRate, {3, 1});
        effects::ReverbParams p = effects::reverbMacro(character);
        p.time = 127;
        fx.setReverb(p);
        fx.send(BUS_REVERB, {in.data(), int(in.size()) / 2}, 127);
        state.ResumeTiming();
        for (int b = 0; b < blocks; ++b) {
            fx.send(BUS_REVERB, {silence.data(), int(silence.size()) / 2}, 127);
            fx.process({out.data(), int(out.size()) / 2});
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime"] = benchmark::Counter(double(blocks) * kBlockFrames / kRate,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SilentTail)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace
