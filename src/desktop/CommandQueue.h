#pragma once
// The one road from the window thread to the engine thread: a ring of 48 (code, argument)
// entries. put() never blocks for long and never fails (a full ring drops its oldest entry and
// hands it back, so that whoever put it can let it go cleanly);
// get() waits for an entry when asked to. The lock is held only while one entry is copied.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace svt {

struct QueuedCommand {
    int32_t code = 0;
    int32_t argument = 0;
};

class CommandQueue {
  public:
    static constexpr int kCapacity = 48;
    // The signal counts at most this many pending wake-ups; more are forgotten, which is
    // harmless because a woken reader empties the ring before it waits again.
    static constexpr int kMaxSignals = 8;

    // The entry a full ring dropped to make room, if any.
    std::optional<QueuedCommand> put(int32_t code, int32_t argument = 0);
    // The next entry's code (its argument in `argument`); CmdNone (0) when the ring is empty
    // and `wait` is false, otherwise waits until an entry arrives.
    int32_t get(bool wait, int32_t& argument);
    int count() const;

  private:
    mutable std::mutex lock_;
    std::condition_variable signal_;
    int signals_ = 0;
    std::array<QueuedCommand, kCapacity> ring_{};
    int read_ = 0;
    int write_ = 0;
    int count_ = 0;
};

}  // namespace svt
