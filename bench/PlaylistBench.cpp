// Opening a folder of 10,000 small songs in the desktop program's playlist (time until the
// window's snapshot lists them all; peak memory of the process), and the playlist search over
// them, once per keystroke of a typed search text.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>

#include "app/Engine.h"
#include "desktop/EngineFront.h"
#include "desktop/FrontControl.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"

namespace svt {
namespace {

constexpr int kSongs = 10000;

const std::string& songFolder() {
    static test::TempDir dir;
    static const std::string folder = [] {
        const std::string path = dir.file("songs");
        std::filesystem::create_directories(path);
        for (int i = 0; i < kSongs; ++i) {
            test::SmfBuilder song(0, 480);
            char name[64];
            std::snprintf(name, sizeof name, "Song %05d", i);
            auto& track = song.track();
            track.trackName(0, name).tempo(0, 500000);
            for (int n = 0; n < 8; ++n)
                track.noteOn(n ? 240 : 0, 0, 60 + n, 90).noteOff(240, 0, 60 + n);
            track.endOfTrack();
            dir.write(std::string("songs/") + name + ".mid", song.build());
        }
        return path + "/";
    }();
    return folder;
}

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_OpenFolderOf10000Songs(benchmark::State& state) {
    const std::string folder = songFolder();
    const double before = peakMiB();
    int listed = 0;
    for (auto _ : state) {
        Engine engine;
        EngineFront front(engine);
        FrontControl control(front, Language::English);
        control.setInterfaceFlags(0);
        control.openFiles({folder});
        int32_t argument = 0;
        control.readCommand(argument);
        listed = control.playlistSnapshot()->count();
        benchmark::DoNotOptimize(listed);
    }
    state.counters["songs_listed"] = listed;
    state.counters["peak_MiB"] = peakMiB();
    state.counters["peak_MiB_before"] = before;
}
BENCHMARK(BM_OpenFolderOf10000Songs)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SearchPerKeystroke(benchmark::State& state) {
    Engine engine;
    EngineFront front(engine);
    FrontControl control(front, Language::English);
    control.setInterfaceFlags(0);
    control.openFiles({songFolder()});
    int32_t argument = 0;
    control.readCommand(argument);
    const auto snapshot = control.playlistSnapshot();
    // Typing "Song 09876" one letter at a time; the found line is near the end of the list.
    const std::string typed = "Song 09876";
    for (auto _ : state) {
        for (size_t n = 1; n <= typed.size(); ++n)
            benchmark::DoNotOptimize(
                findInPlaylist(*snapshot, typed.substr(0, n), 0, Language::English));
        // The last text again from the start, as the worst case: the line before the end.
        benchmark::DoNotOptimize(findInPlaylist(*snapshot, "Song 09999", 0, Language::English));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(typed.size() + 1));
    state.counters["lines"] = snapshot->count();
}
BENCHMARK(BM_SearchPerKeystroke)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace svt
