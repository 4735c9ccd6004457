#include "player/TraceQueue.h"

namespace svt {

void TraceQueue::popFront() {
    const PlayerNotice notice = ring_[head_].notice;
    head_ = (head_ + 1) % ring_.size();
    --count_;
    if (deliver_) deliver_(notice);
}

void TraceQueue::push(int64_t due, const PlayerNotice& notice) {
    if (count_ == ring_.size()) popFront();
    // A position earlier than the last one queued would break the order the queue is read
    // in; such a notice is due no later than its predecessor.
    if (count_ > 0) {
        const Entry& last = ring_[(head_ + count_ - 1) % ring_.size()];
        if (due < last.due) due = last.due;
    }
    ring_[(head_ + count_) % ring_.size()] = Entry{due, notice};
    ++count_;
}

void TraceQueue::runDue(int64_t heardPosition) {
    while (count_ > 0 && ring_[head_].due <= heardPosition) popFront();
}

void TraceQueue::deliverAll() {
    while (count_ > 0) popFront();
}

}  // namespace svt
