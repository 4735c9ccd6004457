#pragma once
// Helper threads that share a song's rendering with the thread that plays it. They are made
// with the synthesizer and live as long as it does; between the stretches they are handed
// they wait on atomics, first spinning for a moment (the next stretch usually follows within
// microseconds, after an event or two) and then asleep. Handing over a stretch and waiting for
// its end neither allocates nor takes a lock.

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace svt {

class RenderWorkers {
  public:
    // One share of a stretch's work; run(w) is called once by each worker w = 0..helpers()
    // (0 is the calling thread), all at the same time.
    class Task {
      public:
        virtual ~Task() = default;
        virtual void run(int worker) = 0;
    };

    // `helpers` threads besides the caller's (0: run() calls the task on the caller only);
    // fewer when the system gives no more.
    explicit RenderWorkers(int helpers);
    ~RenderWorkers();
    RenderWorkers(const RenderWorkers&) = delete;
    RenderWorkers& operator=(const RenderWorkers&) = delete;

    int helpers() const { return static_cast<int>(threads_.size()); }
    // Runs `task` on every worker; returns when each has finished its share, whose writes
    // are then visible to the caller.
    void run(Task& task);

  private:
    void helperLoop(int worker);

    std::vector<std::thread> threads_;
    // Each on a cache line of its own: the helpers poll the first while the caller polls
    // the second.
    alignas(64) std::atomic<uint32_t> generation_{0};
    alignas(64) std::atomic<uint32_t> unfinished_{0};
    alignas(64) Task* task_ = nullptr;
    bool stopping_ = false;
};

}  // namespace svt
