// What MP3 conversion costs next to its parts: the demo song rendered into a WAV file
// (the synthesizer alone, nearly), the same samples encoded without a synthesizer (the
// encoder alone), and the demo song converted to MP3 with each way of waiting at the ring.
// Conversion should take about max(render, encode) on two cores and never much more than
// render + encode.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "app/Engine.h"
#include "output/Mp3Output.h"

namespace {

namespace fs = std::filesystem;
using svt::output::RingWait;

const char* const kFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
const std::string kSong = std::string(SORVANTO_SOURCE_DIR) + "/data/demo.mid";

fs::path benchDir() {
    const fs::path dir = fs::temp_directory_path() / "sorvanto-bench-mp3";
    fs::create_directories(dir);
    return dir;
}

svt::output::EncoderSearch library() {
    const fs::path p(GOGO_LIBRARY_PATH);
    return {p.parent_path().string(), p.filename().string(), ""};
}

// Renders the demo song into `file` through output `text`; seconds of audio, or -1.
double convert(const char* text, const std::string& file, RingWait wait, benchmark::State& state) {
    svt::Engine engine;
    if (!engine.loadSoundFont(kFont).ok()) {
        state.SkipWithError("the Debian font TimGM6mb is not installed");
        return -1;
    }
    engine.outputs().replace(std::make_unique<svt::output::Mp3Output>(library(), wait));
    engine.selectOutput(text);
    engine.output().name = file;
    if (engine.openOutput() < 0) {
        state.SkipWithError(engine.outputMessage().c_str());
        return -1;
    }
    const int result = engine.playFile(kSong);
    const double seconds =
        static_cast<double>(engine.player().currentSample()) / engine.settings().outputRateHz;
    if (engine.closeOutput() < 0 || result != svt::CmdTuneEnd) {
        state.SkipWithError("the conversion failed");
        return -1;
    }
    return seconds;
}

void reportSpeed(benchmark::State& state, double audioSeconds) {
    state.counters["audio_s"] = audioSeconds;
    state.counters["x_realtime"] = benchmark::Counter(
        audioSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DemoToWav(benchmark::State& state) {
    double audio = 0;
    for (auto _ : state)
        audio = convert("w", (benchDir() / "demo.wav").string(), RingWait::Notify, state);
    reportSpeed(state, audio);
    fs::remove_all(benchDir());
}
BENCHMARK(BM_DemoToWav)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DemoToMp3(benchmark::State& state) {
    const auto wait = static_cast<RingWait>(state.range(0));
    state.SetLabel(wait == RingWait::Sleep ? "sleep 0 ms, then 100 ms" : "woken by the other side");
    double audio = 0;
    for (auto _ : state) audio = convert("g", (benchDir() / "demo.mp3").string(), wait, state);
    reportSpeed(state, audio);
    fs::remove_all(benchDir());
}
BENCHMARK(BM_DemoToMp3)
    ->Arg(static_cast<int>(RingWait::Sleep))
    ->Arg(static_cast<int>(RingWait::Notify))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The encoder alone: the rendered samples, already in memory, fed through the ring.
void BM_EncodeRenderedDemo(benchmark::State& state) {
    const std::string wav = (benchDir() / "demo-source.wav").string();
    if (convert("w", wav, RingWait::Notify, state) < 0) return;
    std::ifstream in(wav, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    bytes.erase(bytes.begin(), bytes.begin() + 44);
    for (auto _ : state) {
        svt::output::Mp3Encoder encoder(library(), RingWait::Notify);
        encoder.start((benchDir() / "encoded.mp3").string(), "Demo");
        for (size_t at = 0; at < bytes.size(); at += 16384)
            encoder.output(bytes.data() + at, std::min<size_t>(16384, bytes.size() - at));
        encoder.close();
    }
    reportSpeed(state, static_cast<double>(bytes.size()) / 4 / 44100);
    fs::remove_all(benchDir());
}
BENCHMARK(BM_EncodeRenderedDemo)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
