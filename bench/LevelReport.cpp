// How loud real renders come out and what the peak limiter does to them: for each song, the
// raw mix's peak, the peak and RMS that reach the file, the samples clipped without the
// limiter and with it, the share of frames it turns down and by how much, and the render
// speed with and without it (processor time, best of five alternating runs, so that both see
// the same machine and other programs' load counts little).
// Usage: bench_levels FONT VOLUME SONG... (VOLUME as --volume: 0..200, the default is 70)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/Engine.h"
#include "support/Signal.h"
#include "support/TempDir.h"

namespace svt {
namespace {

struct Render {
    double cpuSeconds = 0;
    double audioSeconds = 0;
    output::LimiterStats stats;
    int64_t clipped = 0;
    double peakDb = 0, rmsDb = 0;
};

double db(double ratio) {
    return ratio > 0 ? 20.0 * std::log10(ratio) : -999.0;
}

Render render(const std::string& font, const std::string& song, int volume, bool limiter,
              const std::string& wav) {
    EngineSettings settings;
    settings.limiter = limiter;
    Engine engine(settings);
    Render r;
    if (!engine.loadSoundFont(font).ok()) return r;
    engine.controls().amplification = volume;
    engine.selectOutput("w");
    engine.output().name = wav;
    engine.output().batchConversion = false;
    engine.output().replaceExisting = true;
    if (engine.openOutput() < 0) return r;
    const std::clock_t start = std::clock();
    engine.playFile(song);
    r.cpuSeconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    r.stats = engine.audioQueue().limiterStats();
    r.clipped = engine.audioQueue().clippedSamples();
    engine.closeOutput();
    const auto data = test::readWav(wav);
    if (!data.ok()) return r;
    std::vector<double> all;
    for (int32_t v : data.value().samples) all.push_back(v / 32768.0);
    r.audioSeconds = double(data.value().frames()) / data.value().rateHz;
    r.peakDb = db(test::peak(all));
    r.rmsDb = db(test::rms(all));
    return r;
}

}  // namespace
}  // namespace svt

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FONT VOLUME SONG...\n", argv[0]);
        return 2;
    }
    const std::string font = argv[1];
    const int volume = std::atoi(argv[2]);
    svt::test::TempDir dir;
    std::printf("%-14s %7s %7s %7s %8s %8s %8s %8s %7s %7s %7s %7s\n", "song", "raw pk", "peak",
                "rms", "clip off", "clip on", "limited", ">1 dB", "mean", "deepest", "x real",
                "slower");
    for (int i = 3; i < argc; ++i) {
        const std::string song = argv[i];
        std::string name = song.substr(song.find_last_of('/') + 1);
        name = name.substr(0, name.find_last_of('.'));
        svt::Render on, off;
        double bestOn = 1e9, bestOff = 1e9;
        for (int round = 0; round < 5; ++round) {
            off = svt::render(font, song, volume, false, dir.file("off.wav"));
            on = svt::render(font, song, volume, true, dir.file("on.wav"));
            bestOff = std::min(bestOff, off.cpuSeconds);
            bestOn = std::min(bestOn, on.cpuSeconds);
        }
        const auto& s = on.stats;
        std::printf(
            "%-14s %7.2f %7.2f %7.2f %8lld %8lld %6.2f %% %6.2f %% %7.2f %7.2f %7.1f %6.2f %%\n",
            name.c_str(), svt::db(s.inputPeak), on.peakDb, on.rmsDb,
            static_cast<long long>(off.clipped), static_cast<long long>(on.clipped),
            100.0 * s.limitedShare(), 100.0 * s.deepShare(), s.meanReductionDb(), s.deepestDb(),
            on.audioSeconds / bestOn, 100.0 * (bestOn / bestOff - 1.0));
    }
    return 0;
}
