#pragma once
// Notices that wait for their audio: a notice raised while rendering sample n belongs to the
// moment the listener hears sample n, which on a live device is up to a few seconds later.
// Entries are kept in the order raised (their due positions never fall) in a ring sized once,
// so raising a notice never allocates. When the ring is full the oldest entry goes out early:
// a notice shown a little too soon is better than one lost.

#include <cstdint>
#include <functional>
#include <vector>

#include "player/PlayerCommands.h"

namespace svt {

class TraceQueue {
  public:
    using Deliver = std::function<void(const PlayerNotice&)>;

    explicit TraceQueue(size_t capacity = 16384) : ring_(capacity == 0 ? 1 : capacity) {}

    void setDeliver(Deliver deliver) { deliver_ = std::move(deliver); }

    // Added to the output's played-frame count to give the song position heard now.
    int64_t offset() const { return offset_; }
    void setOffset(int64_t offset) { offset_ = offset; }

    // Queues `notice` until the song position `due` is heard.
    void push(int64_t due, const PlayerNotice& notice);
    // Delivers every entry due at or before `heardPosition`.
    void runDue(int64_t heardPosition);
    // Delivers everything still waiting, in order.
    void deliverAll();
    // Forgets everything still waiting.
    void clear() { head_ = count_ = 0; }

    size_t size() const { return count_; }
    // Due position of the oldest entry; meaningful only when size() > 0.
    int64_t nextDue() const { return ring_[head_].due; }

  private:
    struct Entry {
        int64_t due = 0;
        PlayerNotice notice;
    };
    void popFront();

    std::vector<Entry> ring_;
    size_t head_ = 0;
    size_t count_ = 0;
    int64_t offset_ = 0;
    Deliver deliver_;
};

}  // namespace svt
