// How much of a render the output side costs: the 32 -> 16 bit conversion of every block,
// and a ten-minute song played through the loop into a WAV file with a silent synthesizer
// (so everything measured is the loop, the queue and the writer).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "app/Engine.h"
#include "output/PeakLimiter.h"
#include "output/SampleConversion.h"
#include "support/SmfBuilder.h"

namespace {

void BM_ConvertTo16(benchmark::State& state) {
    std::vector<int32_t> in(2 * 4096);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<int32_t>((i * 2654435761u) >> 2) - (1 << 29);
    std::vector<int16_t> out(in.size());
    for (auto _ : state) {
        svt::output::convertTo16(in.data(), out.data(), in.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 4096);  // frames
}
BENCHMARK(BM_ConvertTo16);

// The peak limiter on a 440 Hz sine at `dB` of full scale: below its ceiling it only delays,
// above it every frame goes through the gain computation.
void BM_PeakLimiter(benchmark::State& state) {
    const double amplitude = (1 << 28) * std::pow(10.0, double(state.range(0)) / 20.0);
    std::vector<int32_t> song(2 * 4096 * 11);
    for (size_t i = 0; i < song.size(); ++i)
        song[i] =
            static_cast<int32_t>(amplitude * std::sin(2 * M_PI * 440.0 * double(i / 2) / 44100));
    std::vector<int32_t> block(2 * 4096);
    svt::output::PeakLimiter limiter;
    limiter.prepare(44100);
    size_t at = 0;
    for (auto _ : state) {
        std::copy_n(song.begin() + ptrdiff_t(at), block.size(), block.begin());
        at = (at + block.size()) % song.size();
        benchmark::DoNotOptimize(limiter.process(block.data(), 4096));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 4096);  // frames
}
BENCHMARK(BM_PeakLimiter)->Arg(-6)->Arg(6);

void BM_SilentTenMinutesToWav(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "sorvanto-bench-output";
    std::filesystem::create_directories(dir);
    // A note every beat for ten minutes at 120 bpm, so the song runs to its end.
    svt::test::SmfBuilder smf(0, 480);
    auto& track = smf.track();
    for (int beat = 0; beat < 1200; ++beat) track.noteOn(0, 0, 60, 100).noteOff(480, 0, 60);
    track.noteOn(0, 0, 60, 1).endOfTrack();
    const std::string song = (dir / "ten.mid").string();
    {
        const auto bytes = smf.build();
        FILE* f = std::fopen(song.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    for (auto _ : state) {
        svt::Engine engine;
        engine.selectOutput("w");
        engine.output().name = (dir / "ten.wav").string();
        engine.openOutput();
        benchmark::DoNotOptimize(engine.playFile(song));
        engine.closeOutput();
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SilentTenMinutesToWav)->Unit(benchmark::kMillisecond);

}  // namespace
