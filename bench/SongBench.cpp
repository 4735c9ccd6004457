// Reading and converting to sample time a format 1 song of 16 tracks and one million note
// events (note-ons and note-offs), the largest song the event list takes comfortably.
// "peak_MB" is the whole process's peak resident memory (about 4 MB of it is the
// benchmark program, 3 MB the file).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <vector>

#include "song/SmfReader.h"

namespace {

using namespace svt;

// Written byte by byte (not with SmfBuilder) so that making the file does not set the
// memory peak that is measured.
std::vector<uint8_t> millionEventSong() {
    constexpr int kTracks = 16;
    constexpr int kNotesPerTrack = 1000000 / kTracks / 2;
    std::vector<uint8_t> out;
    out.reserve(3200000);
    auto put32 = [&](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
    };
    auto bytes = [&](std::initializer_list<int> list) {
        for (int b : list) out.push_back(static_cast<uint8_t>(b));
    };
    bytes({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, kTracks + 1, 480 >> 8, 480 & 0xFF});
    bytes({'M', 'T', 'r', 'k', 0, 0, 0, 19});
    bytes({0, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20, 0, 0xFF, 0x58, 4, 4, 2, 24, 8, 0, 0xFF, 0x2F, 0});
    for (int t = 0; t < kTracks; ++t) {
        bytes({'M', 'T', 'r', 'k'});
        const size_t lengthAt = out.size();
        put32(0);
        // Sixteenth notes under running status, each track a few ticks after the one
        // before, so that merging interleaves them.
        bytes({0, 0xC0 | t, t * 8, t, 0x90 | t, 40 + t, 100});
        for (int n = 0; n < kNotesPerTrack; ++n) {
            // 120 ticks later the note ends (a note-on of velocity 0), the next begins.
            bytes({120, 40 + t + (n == 0 ? 0 : (n - 1) % 12), 0});
            if (n + 1 < kNotesPerTrack) bytes({0, 40 + t + (n % 12), 90});
        }
        bytes({0, 0xFF, 0x2F, 0});
        const auto length = static_cast<uint32_t>(out.size() - lengthAt - 4);
        for (int i = 0; i < 4; ++i)
            out[lengthAt + static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (24 - 8 * i));
    }
    return out;
}

void readAndConvert(benchmark::State& state) {
    const std::vector<uint8_t> bytes = millionEventSong();
    EventList list;
    size_t events = 0;
    for (auto _ : state) {
        SongInfo info;
        auto stream = openMemoryStream(std::span<const uint8_t>(bytes), "million.mid");
        auto read = readSong(*stream, info, list, {});
        if (!read.ok() || !read->warnings.empty()) {
            state.SkipWithError("the song was not read whole");
            return;
        }
        events = read->song.events.size();
        benchmark::DoNotOptimize(read->song.events.data());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["events"] = static_cast<double>(events);
    state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(readAndConvert)->Unit(benchmark::kMillisecond);

// A format 1 song of many tracks of one note each: the tracks are merged in one pass, so the
// time grows with the events, not with tracks times events.
void readManyTracks(benchmark::State& state) {
    const auto tracks = static_cast<int>(state.range(0));
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    out.push_back(static_cast<uint8_t>(tracks >> 8));
    out.push_back(static_cast<uint8_t>(tracks));
    out.insert(out.end(), {480 >> 8, 480 & 0xFF});
    for (int t = 0; t < tracks; ++t) {
        const auto key = static_cast<uint8_t>(40 + t % 40);
        const auto ch = static_cast<uint8_t>(t % 16);
        // A note-on, its end (velocity 0 under running status) and the end of the track.
        out.insert(out.end(),
                   {'M', 'T', 'r', 'k', 0, 0, 0, 11, static_cast<uint8_t>(t % 7),
                    static_cast<uint8_t>(0x90 | ch), key, 100, 120, key, 0, 0, 0xFF, 0x2F, 0});
    }
    EventList list;
    for (auto _ : state) {
        SongInfo info;
        auto stream = openMemoryStream(std::span<const uint8_t>(out), "tracks.mid");
        auto read = readSong(*stream, info, list, {});
        if (!read.ok() || !read->warnings.empty()) {
            state.SkipWithError("the song was not read whole");
            return;
        }
        benchmark::DoNotOptimize(read->song.events.data());
    }
    state.counters["tracks"] = tracks;
}
BENCHMARK(readManyTracks)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace
