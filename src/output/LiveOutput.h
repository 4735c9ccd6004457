#pragma once
// The live output ("d", "Lautsprecher"): plays the audio queue's stream on the platform's
// sound device through a fixed pool of buffers. The player's thread fills a free buffer and
// queues it; the device gives each buffer back, on its own thread, once it has played it.
// The free list and the busy count are shared by the two threads and change only under the
// record's lock. Every step writes a diagnostic line to the debug log when one is set.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "output/AudioQueue.h"
#include "output/OutputDevice.h"
#include "platform/WaveDevice.h"

namespace svt::output {

inline constexpr int kLiveBufferBytes = 16384;
inline constexpr int kLiveDefaultBuffers = 32;
inline constexpr int kLiveMinimumBuffers = 8;
// The device queue the audio queue may fill counts one buffer less than the pool, in
// blocks of this many frames.
inline constexpr int kLiveQueueBlockFrames = 4096;

class LiveOutput final : public OutputDevice {
  public:
    // `system`: where devices come from; null opens the platform's device named by
    // setDeviceName() (empty: the system's choice). `clock`: what the waits for free buffers
    // sleep on; null waits on the device's own returns for at most one period.
    explicit LiveOutput(std::unique_ptr<platform::WaveSystem> system = nullptr,
                        TickClock* clock = nullptr);
    ~LiveOutput() override;

    // Takes effect at the next open.
    void setDeviceName(std::string name);
    // Receives every diagnostic line, from the player's thread and from the device's.
    void setDebugLog(std::function<void(const char* line)> log) { log_ = std::move(log); }
    // Device volume, 0..65535 per side (65535: as rendered); kept when the device reopens.
    void setVolume(uint16_t left, uint16_t right);
    uint16_t volumeLeft() const { return volumeLeft_; }
    uint16_t volumeRight() const { return volumeRight_; }

    int openOutput() override;
    int closeOutput() override;
    int outputData(const uint8_t* bytes, size_t count) override;
    int acntl(int request, void* argument) override;
    bool hasDetect() const override { return true; }
    bool detect() override;

    // The pool as it stands.
    int bufferCount() const;
    int busyCount() const;
    std::vector<int> freeIndices() const;
    int waitPeriodMs() const { return waitPeriodMs_; }
    const platform::WaveFormat& format() const { return format_; }

  private:
    struct PoolEntry {
        int index = 0;
        bool prepared = false;
        std::vector<uint8_t> data;
        platform::WaveBuffer header;
        int next = -1;
    };

    platform::WaveSystem& system();
    void callback(platform::WaveMessage message, uintptr_t user);
    void resetPool();
    // Both with the lock held.
    PoolEntry* getBuffer();
    void putBuffer(int index);
    void waitOnePeriod(std::unique_lock<std::mutex>& lock);
    void waitForAllBuffers();
    int configuredCount() const;
    void say(const char* format, ...) __attribute__((format(printf, 2, 3)));

    std::unique_ptr<platform::WaveSystem> system_;
    bool ownSystem_ = false;  // made from the device name, remade when it changes
    std::string deviceName_;
    TickClock* clock_;
    std::function<void(const char*)> log_;

    std::unique_ptr<platform::WaveDevice> device_;
    platform::WaveFormat format_;
    int waitPeriodMs_ = 0;
    int64_t framesWritten_ = 0;  // handed to the device since it opened
    uint16_t volumeLeft_ = 0xFFFF, volumeRight_ = 0xFFFF;

    // The engine's critical section for the pool: the device's thread returns buffers.
    mutable std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<PoolEntry> pool_;
    int freeList_ = -1;
    int busy_ = 0;
};

}  // namespace svt::output
