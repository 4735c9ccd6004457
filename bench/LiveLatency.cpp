// How long a key takes to be heard while a song plays through the live output: pause, the
// resume after it, and muting a channel. A command becomes pending at a random moment, as a
// key press would; the player takes it at its next poll; the change is heard when the device
// has played the first audio rendered after it (its position restarts with every discard).
// Usage: bench_live_latency FONT SONG ALSA-DEVICE [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/Engine.h"
#include "output/LiveOutput.h"

namespace svt {
namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

class ProbeControl final : public ControlInterface {
  public:
    ProbeControl(Engine& engine, int rounds) : engine_(engine), rounds_(rounds) {}

    int read(int32_t& argument) override {
        const auto now = Clock::now();
        watch(now);
        if (!pending_ || now < pressAt_) return CmdNone;
        pending_ = false;
        taken_ = now;
        argument = argument_;
        waitingForSound_ = true;
        return code_;
    }
    void event(const PlayerNotice&) override { watch(Clock::now()); }
    bool traces() const override { return true; }

    bool finished() const { return step_ >= 3 * rounds_; }
    struct Sample {
        double takenMs, heardMs;
    };
    std::vector<Sample> pause, resume, mute;

  private:
    // Called as often as the player lets us: at every poll and every notice.
    void watch(Clock::time_point now) {
        if (waitingForSound_) {
            // A pause is heard when the sound stops: the discard that stops it comes before the
            // player looks for its next command, so the first look after the command sees it.
            const bool heard = code_ == CmdTogglePause && step_ % 3 == 0
                                   ? true
                                   : engine_.audioQueue().currentSample() > 0;
            if (!heard) return;
            const Sample s{msSince(pressAt_, taken_), msSince(pressAt_, now)};
            (step_ % 3 == 0 ? pause : step_ % 3 == 1 ? resume : mute).push_back(s);
            waitingForSound_ = false;
            ++step_;
            nextAfter_ = now;
        }
        if (pending_ || finished()) return;
        // Each step once the song has played steadily for a while after the last one.
        const double settle = step_ % 3 == 1 ? 1000 : 3000;
        if (msSince(nextAfter_, now) < settle) return;
        std::uniform_real_distribution<double> jitter(0, 100);
        pressAt_ = now + std::chrono::microseconds(static_cast<int64_t>(jitter(random_) * 1000));
        code_ = step_ % 3 == 2 ? CmdToggleMute : CmdTogglePause;
        argument_ = 0;
        pending_ = true;
    }

    Engine& engine_;
    int rounds_;
    int step_ = 0;  // 0 pause, 1 resume, 2 mute (toggles channel 1), per round
    bool pending_ = false, waitingForSound_ = false;
    int code_ = CmdNone;
    int32_t argument_ = 0;
    Clock::time_point pressAt_{}, taken_{}, nextAfter_ = Clock::now();
    std::mt19937 random_{12345};
};

void report(const char* what, std::vector<ProbeControl::Sample> samples) {
    if (samples.empty()) return;
    auto stat = [&](auto member) {
        std::vector<double> v;
        for (const auto& s : samples) v.push_back(s.*member);
        std::sort(v.begin(), v.end());
        return std::pair{v[v.size() / 2], v.back()};
    };
    const auto [takenMedian, takenMax] = stat(&ProbeControl::Sample::takenMs);
    const auto [heardMedian, heardMax] = stat(&ProbeControl::Sample::heardMs);
    std::printf(
        "%-8s %3zu presses   taken: median %6.1f ms, max %6.1f ms   heard: median %6.1f ms, max "
        "%6.1f ms\n",
        what, samples.size(), takenMedian, takenMax, heardMedian, heardMax);
}

}  // namespace
}  // namespace svt

int main(int argc, char** argv) {
    using namespace svt;
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FONT SONG ALSA-DEVICE [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    Engine engine;
    if (const Status s = engine.loadSoundFont(argv[1]); !s.ok()) {
        std::fprintf(stderr, "%s\n", s.error().message.c_str());
        return 1;
    }
    engine.selectOutput("d");
    dynamic_cast<output::LiveOutput&>(engine.output()).setDeviceName(argv[3]);
    if (engine.openOutput() < 0) {
        std::fprintf(stderr, "%s\n", engine.outputMessage().c_str());
        return 1;
    }
    ProbeControl control(engine, rounds);
    engine.setControl(control);
    while (!control.finished()) {
        const int result = engine.playFile(argv[2]);
        if (result == CmdError || result == CmdQuit) break;
    }
    engine.closeOutput();
    report("pause", control.pause);
    report("resume", control.resume);
    report("mute", control.mute);
    return control.finished() ? 0 : 1;
}
