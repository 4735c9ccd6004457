#include "synth/RenderWorkers.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "platform/AddressWait.h"

namespace svt {

namespace {

// How long a waiting thread polls before it sleeps: longer than the events between two
// stretches usually take, short enough that a helper gives its core back soon when the song's
// thread turns to other work (the effects, the output).
constexpr auto kSpinTime = std::chrono::microseconds(40);

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Polls `ready` for up to kSpinTime; true as soon as it holds.
template <typename Ready>
bool spinUntil(Ready ready) {
    const auto until = std::chrono::steady_clock::now() + kSpinTime;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (ready()) return true;
            relax();
        }
        if (std::chrono::steady_clock::now() >= until) return ready();
    }
}

}  // namespace

RenderWorkers::RenderWorkers(int helpers) {
    threads_.reserve(size_t(helpers > 0 ? helpers : 0));
    try {
        for (int w = 1; w <= helpers; ++w)
            threads_.emplace_back(&RenderWorkers::helperLoop, this, w);
    } catch (const std::system_error&) {
        // The system gives no more threads: the song renders with those it has.
    }
}

RenderWorkers::~RenderWorkers() {
    if (threads_.empty()) return;
    stopping_ = true;
    generation_.fetch_add(1, std::memory_order_release);
    platform::wakeAll(generation_);
    for (std::thread& t : threads_) t.join();
}

void RenderWorkers::run(Task& task) {
    if (threads_.empty()) {
        task.run(0);
        return;
    }
    task_ = &task;
    unfinished_.store(uint32_t(helpers()), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    platform::wakeAll(generation_);
    task.run(0);
    auto done = [&] { return unfinished_.load(std::memory_order_acquire) == 0; };
    if (spinUntil(done)) return;
    for (uint32_t left = unfinished_.load(std::memory_order_acquire); left != 0;
         left = unfinished_.load(std::memory_order_acquire))
        platform::waitWhileEqual(unfinished_, left);
}

void RenderWorkers::helperLoop(int worker) {
    uint32_t seen = 0;
    for (;;) {
        auto handed = [&] { return generation_.load(std::memory_order_acquire) != seen; };
        if (!spinUntil(handed))
            while (!handed()) platform::waitWhileEqual(generation_, seen);
        seen = generation_.load(std::memory_order_acquire);
        if (stopping_) return;
        task_->run(worker);
        if (unfinished_.fetch_sub(1, std::memory_order_acq_rel) == 1)
            platform::wakeOne(unfinished_);
    }
}

}  // namespace svt
