#include "desktop/CommandQueue.h"

#include <utility>

namespace svt {

std::optional<QueuedCommand> CommandQueue::put(QueuedCommand command) {
    std::optional<QueuedCommand> dropped;
    {
        std::lock_guard guard(lock_);
        if (count_ == kCapacity) {
            dropped = std::move(ring_[static_cast<size_t>(read_)]);
            --count_;
            read_ = (read_ + 1) % kCapacity;
        }
        ring_[static_cast<size_t>(write_)] = std::move(command);
        write_ = (write_ + 1) % kCapacity;
        ++count_;
        if (signals_ < kMaxSignals) ++signals_;
    }
    signal_.notify_one();
    return dropped;
}

QueuedCommand CommandQueue::take(bool wait) {
    std::unique_lock guard(lock_);
    if (count_ == 0) {
        if (!wait) return {};
        signal_.wait(guard, [this] { return count_ != 0; });
    }
    if (signals_ > 0) --signals_;
    QueuedCommand entry = std::move(ring_[static_cast<size_t>(read_)]);
    read_ = (read_ + 1) % kCapacity;
    --count_;
    return entry;
}

int CommandQueue::count() const {
    std::lock_guard guard(lock_);
    return count_;
}

}  // namespace svt
