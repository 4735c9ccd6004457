#pragma once
// A sound device with its own clock for tests: buffers are played only when the test
// advances the clock, so a test decides exactly what has been heard.

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "output/AudioQueue.h"
#include "platform/WaveDevice.h"

namespace svt::test {

class FakeWaveSystem;

class FakeWaveDevice final : public platform::WaveDevice {
  public:
    FakeWaveDevice(FakeWaveSystem& system, const platform::WaveFormat& format,
                   platform::WaveCallback callback);
    ~FakeWaveDevice() override;

    int prepare(platform::WaveBuffer& buffer) override;
    int unprepare(platform::WaveBuffer& buffer) override;
    int write(const platform::WaveBuffer& buffer) override;
    int reset() override;
    void setVolume(uint16_t left, uint16_t right) override;
    std::string description() const override { return "fake"; }

    // What the device says it has played: the truth, or -1 when the system says it cannot tell.
    int64_t playedFrames() override;

    // Plays `frames` frames of what is queued; finished buffers are reported done.
    void advance(int64_t frames);
    int queued() const;
    // What has really been played since the open.
    int64_t heardFrames() const;
    const platform::WaveFormat& format() const { return format_; }

  private:
    FakeWaveSystem& system_;
    platform::WaveFormat format_;
    platform::WaveCallback callback_;
    mutable std::mutex mutex_;
    std::deque<platform::WaveBuffer> queue_;
    uint32_t playedOfFront_ = 0;  // bytes of the front buffer already played
    int64_t playedFrames_ = 0;
};

class FakeWaveSystem final : public platform::WaveSystem {
  public:
    int deviceCount() override { return devices; }
    std::unique_ptr<platform::WaveDevice> open(const platform::WaveFormat& format,
                                               platform::WaveCallback callback,
                                               std::string* error) override;

    // What the test controls and observes.
    int devices = 1;
    bool failOpen = false;
    int refusedRateHz = 0;     // a rate the device will not open with
    bool playsAtOnce = false;  // plays each buffer as it is written, like ALSA's null device
    bool failPrepare = false;
    bool failWrite = false;
    FakeWaveDevice* current = nullptr;  // the open device, if any
    int opens = 0;
    std::vector<uint8_t> played;  // every byte played, in order
    std::vector<uint32_t> writtenSizes;
    std::vector<uintptr_t> writtenUsers;
    uint16_t volumeLeft = 0xFFFF, volumeRight = 0xFFFF;
};

// The fake device's clock: time passes only when someone sleeps, and while it passes the
// open device plays, so what the audio queue estimates and what the device has played agree.
class FakeWaveClock final : public output::TickClock {
  public:
    explicit FakeWaveClock(FakeWaveSystem& system) : system_(system) {}
    double nowSeconds() override { return now_; }
    void sleepSeconds(double seconds) override;
    double sleptSeconds() const { return now_; }

  private:
    FakeWaveSystem& system_;
    double now_ = 0;
    int rateHz_ = 0;
    double rateSince_ = 0;
    int64_t framesDone_ = 0;
};

}  // namespace svt::test
