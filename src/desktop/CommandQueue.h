#pragma once
// The one road from the window thread to the engine thread: a ring of 48 (code, argument)
// entries, each with what its command carries beyond a number (file names, an output).
// put() never blocks for long and never fails (a full ring drops its oldest entry and hands it
// back, so that whoever put it can let it go cleanly); take() waits for an entry when asked
// to. The lock is held only while one entry is moved in or out, which allocates nothing.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "desktop/FrontCommands.h"

namespace svt {

// The names a command works on (files to open, the file to save or export to, the output
// file, a SoundFont) and the output it chooses (FcSelectOutput, FcExportMediaPlayer).
struct CommandPayload {
    std::vector<std::string> paths;
    OutputKind output = OutputKind::Live;
};

struct QueuedCommand {
    int32_t code = 0;
    int32_t argument = 0;
    CommandPayload payload;
};

class CommandQueue {
  public:
    static constexpr int kCapacity = 48;
    // The signal counts at most this many pending wake-ups; more are forgotten, which is
    // harmless because a woken reader empties the ring before it waits again.
    static constexpr int kMaxSignals = 8;

    // The entry a full ring dropped to make room, if any.
    std::optional<QueuedCommand> put(QueuedCommand command);
    // The next entry; code CmdNone (0) when the ring is empty and `wait` is false, otherwise
    // waits until an entry arrives.
    QueuedCommand take(bool wait);
    // The next entry's code and argument, its payload let go (the player's commands have none).
    int32_t get(bool wait, int32_t& argument) {
        const QueuedCommand next = take(wait);
        argument = next.argument;
        return next.code;
    }
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
