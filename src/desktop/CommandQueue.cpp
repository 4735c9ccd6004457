#include "desktop/CommandQueue.h"

namespace svt {

std::optional<QueuedCommand> CommandQueue::put(int32_t code, int32_t argument) {
    std::optional<QueuedCommand> dropped;
    {
        std::lock_guard guard(lock_);
        if (count_ == kCapacity) {
            dropped = ring_[static_cast<size_t>(read_)];
            --count_;
            read_ = (read_ + 1) % kCapacity;
        }
        ring_[static_cast<size_t>(write_)] = {code, argument};
        write_ = (write_ + 1) % kCapacity;
        ++count_;
        if (signals_ < kMaxSignals) ++signals_;
    }
    signal_.notify_one();
    return dropped;
}

int32_t CommandQueue::get(bool wait, int32_t& argument) {
    std::unique_lock guard(lock_);
    if (count_ == 0) {
        if (!wait) return 0;
        signal_.wait(guard, [this] { return count_ != 0; });
    }
    if (signals_ > 0) --signals_;
    const QueuedCommand entry = ring_[static_cast<size_t>(read_)];
    read_ = (read_ + 1) % kCapacity;
    --count_;
    argument = entry.argument;
    return entry.code;
}

int CommandQueue::count() const {
    std::lock_guard guard(lock_);
    return count_;
}

}  // namespace svt
