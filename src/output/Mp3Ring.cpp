#include "output/Mp3Ring.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

namespace svt::output {
namespace {

using namespace std::chrono_literals;

// Notified waits still look again this often, so no wake-up can be lost for long.
constexpr auto kWaitLimit = 100ms;
// A writer is woken once a quarter of the ring is free, not for every frame the encoder takes.
constexpr size_t kWriterWakeBytes = Mp3Ring::kBytes / 4;

void sleepAsTheLibraryDoes() {
    std::this_thread::sleep_for(0ms);
    std::this_thread::sleep_for(100ms);
}

}  // namespace

bool Mp3Ring::ensureData() {
    if (data_ == nullptr) data_.reset(new (std::nothrow) uint8_t[kBytes]);
    return data_ != nullptr;
}

void Mp3Ring::notifyWaiters() {
    if (roomWanted_ != 0 && kBytes - fill_ >= roomWanted_) roomReady_.notify_one();
    if (dataWanted_ != 0 && fill_ >= dataWanted_) dataReady_.notify_one();
}

size_t Mp3Ring::copyIn(const uint8_t* bytes, size_t n) {
    const size_t k = std::min(n, kBytes - fill_);
    const size_t writePos = (readPos_ + fill_) % kBytes;
    const size_t first = std::min(k, kBytes - writePos);
    std::memcpy(data_.get() + writePos, bytes, first);
    std::memcpy(data_.get(), bytes + first, k - first);
    fill_ += k;
    return k;
}

size_t Mp3Ring::copyOut(uint8_t* buffer, size_t n) {
    const size_t k = std::min(n, fill_);
    const size_t first = std::min(k, kBytes - readPos_);
    std::memcpy(buffer, data_.get() + readPos_, first);
    std::memcpy(buffer + first, data_.get(), k - first);
    readPos_ = (readPos_ + k) % kBytes;
    fill_ -= k;
    return k;
}

long Mp3Ring::write(const uint8_t* bytes, size_t n) {
    if (n > kBytes) {
        setState(EncoderState::Failed);
        return -1;
    }
    size_t taken = 0;
    for (;;) {
        const EncoderState s = state_.load();
        if (s == EncoderState::Failed) return -1;
        if (s == EncoderState::InputEnded) return static_cast<long>(taken);
        {
            std::unique_lock lock(lock_);
            if (!ensureData()) {
                lock.unlock();
                setState(EncoderState::Failed);
                return -1;
            }
            taken += copyIn(bytes + taken, n - taken);
            notifyWaiters();
            if (taken == n) return static_cast<long>(n);
            if (wait_ == RingWait::Notify) {
                roomWanted_ = std::min(n - taken, kWriterWakeBytes);
                roomReady_.wait_for(lock, kWaitLimit, [&] {
                    return kBytes - fill_ >= roomWanted_ || state_.load() != EncoderState::Running;
                });
                roomWanted_ = 0;
                continue;
            }
        }
        std::this_thread::yield();
        sleepAsTheLibraryDoes();
    }
}

int Mp3Ring::read(uint8_t* buffer, size_t n) {
    if (buffer == nullptr || n == 0) {
        setState(EncoderState::InputEnded);
        return 0;
    }
    // What this call delivered so far: bytes taken while waiting are never dropped.
    size_t got = 0;
    for (;;) {
        if (state_.load() == EncoderState::Failed) return 1;
        {
            std::unique_lock lock(lock_);
            if (data_ != nullptr) got += copyOut(buffer + got, n - got);
            notifyWaiters();
            if (got == n) return 0;
            // Read under the lock: every write that came before the end is in the ring by now.
            if (state_.load() == EncoderState::InputEnded) {
                if (got == 0) return 1;
                std::memset(buffer + got, silence_, n - got);
                return 0;
            }
            if (wait_ == RingWait::Notify) {
                dataWanted_ = std::min(n - got, kBytes);
                dataReady_.wait_for(lock, kWaitLimit, [&] {
                    return fill_ >= dataWanted_ || state_.load() != EncoderState::Running;
                });
                dataWanted_ = 0;
                continue;
            }
        }
        std::this_thread::yield();
        sleepAsTheLibraryDoes();
    }
}

void Mp3Ring::setState(EncoderState s) {
    std::lock_guard lock(lock_);
    if (s == EncoderState::Running) return;  // only reset() starts again
    if (state_.load() == EncoderState::Failed) return;
    state_.store(s);
    roomReady_.notify_all();
    dataReady_.notify_all();
}

void Mp3Ring::discard() {
    std::lock_guard lock(lock_);
    readPos_ = 0;
    fill_ = 0;
    notifyWaiters();
}

void Mp3Ring::reset() {
    std::lock_guard lock(lock_);
    ensureData();
    readPos_ = 0;
    fill_ = 0;
    state_.store(EncoderState::Running);
}

size_t Mp3Ring::filled() const {
    std::lock_guard lock(lock_);
    return fill_;
}

}  // namespace svt::output
