// Frames per second of the resampler per interpolator, path and instruction set. The counter
// "voices" is how many voices one core could resample in real time at 44.1 kHz (resampling
// only: mixing, envelopes and effects come on top).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "synth/Resampler.h"

namespace {

using namespace svt;

enum Path { NoLoop, LongLoop, ShortLoop, Bidirectional, Vibrato, PassThrough };

const char* pathName(int p) {
    static const char* names[] = {"no-loop",       "long-loop", "short-loop",
                                  "bidirectional", "vibrato",   "pass-through"};
    return names[p];
}
const char* kindName(int k) {
    static const char* names[] = {"none", "linear", "lagrange"};
    return names[k];
}

struct Data {
    std::vector<int16_t> pcm;
    Data() {
        std::mt19937 gen(1);
        std::normal_distribution<double> d(0, 6000);
        pcm.resize(200000 + kPcmPaddingSamples);
        for (size_t i = 0; i < 200000; ++i) pcm[i] = int16_t(std::clamp(d(gen), -32768.0, 32767.0));
    }
};

void BM_Resample(benchmark::State& state) {
    static const Data data;
    auto kind = InterpolationKind(state.range(0));
    int path = int(state.range(1));
    auto simd = SimdLevel(state.range(2));
    if (!simdLevelAvailable(simd)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    Resampler r(simd);
    r.setInterpolation(kind);
    SampleView view;
    view.pcm = data.pcm.data();
    view.endPos = int64_t(200000) << 12;
    view.modeFlags = 0x41;
    if (path == LongLoop || path == Vibrato) {
        view.loopStartPos = int64_t(1000) << 12;
        view.loopEndPos = int64_t(199000) << 12;
        view.modeFlags = 0x65;
    } else if (path == ShortLoop) {
        view.loopStartPos = int64_t(1000) << 12;
        view.loopEndPos = int64_t(1050) << 12;
        view.modeFlags = 0x65;
    } else if (path == Bidirectional) {
        view.loopStartPos = int64_t(1000) << 12;
        view.loopEndPos = int64_t(21000) << 12;
        view.modeFlags = 0x6D;
    }
    ResampleState voice;
    voice.increment = path == PassThrough ? 4096 : 4340;  // a semitone up
    if (path == Vibrato) {
        voice.vibrato.controlRatio = 172;  // 4 Hz at 44.1 kHz
        voice.vibrato.depth = 32;
    }
    int64_t frames = 0;
    for (auto _ : state) {
        auto out = r.resample(voice, view, kBlockFrames);
        benchmark::DoNotOptimize(out.data());
        frames += int64_t(out.size());
        if (voice.timeout == 1) {
            voice.position = 0;
            voice.timeout = -1;
        }
    }
    state.SetItemsProcessed(frames);
    state.counters["voices"] =
        benchmark::Counter(double(frames) / 44100.0, benchmark::Counter::kIsRate);
    state.SetLabel(std::string(kindName(int(kind))) + " " + pathName(path) + " " +
                   simdLevelName(simd));
}

void allCases(benchmark::internal::Benchmark* b) {
    for (int path : {NoLoop, LongLoop, ShortLoop, Bidirectional, Vibrato})
        for (int kind : {0, 1}) b->Args({kind, path, int(bestSimdLevel())});
    for (int path : {NoLoop, LongLoop, ShortLoop, Bidirectional, Vibrato})
        for (int simd : {0, 1, 2}) b->Args({2, path, simd});
    b->Args({2, PassThrough, int(bestSimdLevel())});
}

BENCHMARK(BM_Resample)->Apply(allCases);

// A hundred voices at different pitches and places of one long looped sample, one block each
// per iteration: the coefficient rows and the sample data are read as a dense song reads them.
void BM_HundredVoices(benchmark::State& state) {
    static const Data data;
    Resampler r;
    r.setInterpolation(InterpolationKind(state.range(0)));
    SampleView view;
    view.pcm = data.pcm.data();
    view.endPos = int64_t(200000) << 12;
    view.loopStartPos = int64_t(1000) << 12;
    view.loopEndPos = int64_t(199000) << 12;
    view.modeFlags = 0x65;
    std::vector<ResampleState> voices(100);
    std::mt19937 gen(2);
    for (ResampleState& v : voices) {
        v.increment = std::uniform_int_distribution<int32_t>(1500, 9000)(gen);
        v.position = std::uniform_int_distribution<int64_t>(0, int64_t(190000) << 12)(gen);
    }
    int64_t frames = 0;
    for (auto _ : state) {
        for (ResampleState& v : voices) {
            auto out = r.resample(v, view, kBlockFrames);
            benchmark::DoNotOptimize(out.data());
            frames += int64_t(out.size());
        }
    }
    state.SetItemsProcessed(frames);
    state.counters["voices"] =
        benchmark::Counter(double(frames) / 44100.0, benchmark::Counter::kIsRate);
    state.SetLabel(kindName(int(state.range(0))));
}
BENCHMARK(BM_HundredVoices)->Arg(0)->Arg(1)->Arg(2);

}  // namespace
