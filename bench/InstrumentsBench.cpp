// Loading the Debian General MIDI fonts: reading a font and building its preset index,
// and preparing the instruments a typical song marks (16 programs and a drum kit).
// Counters: "rss_MB" is the resident memory the step leaves behind (the index, or the
// loaded instruments), "pcm_MB" the sample data held, "regions" the pending regions.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "instruments/instruments.h"

namespace {

using namespace svt;

const char* const kFonts[] = {"/usr/share/sounds/sf2/FluidR3_GM.sf2",
                              "/usr/share/sounds/sf2/TimGM6mb.sf2"};

double residentMB() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

InstrumentSettings fontSettings() {
    return InstrumentSettings{EngineSettings{}};
}

bool haveFont(benchmark::State& state, const char* path) {
    if (std::filesystem::exists(path)) return true;
    state.SkipWithError((std::string(path) + " is not installed").c_str());
    return false;
}

void BM_IndexFont(benchmark::State& state) {
    const char* path = kFonts[state.range(0)];
    state.SetLabel(std::filesystem::path(path).filename().string());
    if (!haveFont(state, path)) return;
    size_t regions = 0;
    double grown = 0;
    for (auto _ : state) {
        double before = residentMB();
        SoundFontRegistry registry(fontSettings());
        InstrumentBanks banks(registry);
        registry.selectFont(path);
        if (banks.indexFonts() != 0) {
            state.SkipWithError(registry.fonts()[0]->lastError().c_str());
            return;
        }
        grown = residentMB() - before;
        regions = registry.fonts()[0]->pendingRegionCount();
        benchmark::DoNotOptimize(regions);
    }
    state.counters["regions"] = static_cast<double>(regions);
    state.counters["rss_MB"] = grown;
}
BENCHMARK(BM_IndexFont)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// The programs of a typical General MIDI arrangement and the drum keys it hits.
constexpr int kSongPrograms[] = {0, 4, 24, 25, 32, 33, 40, 48, 52, 56, 61, 65, 71, 73, 80, 88};
constexpr int kSongDrumKeys[] = {35, 36, 37, 38, 39, 40, 42, 44, 46, 49, 51, 57};

void BM_LoadSongInstruments(benchmark::State& state) {
    const char* path = kFonts[state.range(0)];
    state.SetLabel(std::filesystem::path(path).filename().string());
    if (!haveFont(state, path)) return;
    SoundFontRegistry registry(fontSettings());
    InstrumentBanks banks(registry);
    registry.selectFont(path);
    if (banks.indexFonts() != 0) {
        state.SkipWithError(registry.fonts()[0]->lastError().c_str());
        return;
    }
    size_t pcm = 0;
    double grown = 0;
    for (auto _ : state) {
        double before = residentMB();
        for (int p : kSongPrograms) banks.markForLoading(false, 0, p);
        for (int k : kSongDrumKeys) banks.markForLoading(true, 0, k);
        int failures = banks.loadMarkedInstruments();
        benchmark::DoNotOptimize(failures);
        pcm = banks.loadedPcmBytes();
        grown = residentMB() - before;
        state.PauseTiming();
        banks.freeAllInstruments();
        state.ResumeTiming();
    }
    state.counters["pcm_MB"] = static_cast<double>(pcm) / (1024.0 * 1024.0);
    state.counters["rss_MB"] = grown;
}
BENCHMARK(BM_LoadSongInstruments)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

}  // namespace
