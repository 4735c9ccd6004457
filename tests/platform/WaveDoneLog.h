#pragma once
// What a wave device reported through its callback, for the ALSA and the waveOut tests.

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/WaveDevice.h"

namespace svt::platform {

struct DoneLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<uintptr_t> done;
    int opened = 0, closed = 0;

    WaveCallback callback() {
        return [this](WaveMessage m, uintptr_t user) {
            std::lock_guard lock(mutex);
            if (m == WaveMessage::BufferDone) done.push_back(user);
            if (m == WaveMessage::Opened) ++opened;
            if (m == WaveMessage::Closed) ++closed;
            changed.notify_all();
        };
    }
    void waitFor(size_t n) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return done.size() >= n; });
    }
};

}  // namespace svt::platform
