#include "support/FakeWaveDevice.h"

#include <algorithm>
#include <cstdint>

namespace svt::test {

FakeWaveDevice::FakeWaveDevice(FakeWaveSystem& system, const platform::WaveFormat& format,
                               platform::WaveCallback callback)
    : system_(system), format_(format), callback_(std::move(callback)) {
    callback_(platform::WaveMessage::Opened, 0);
}

FakeWaveDevice::~FakeWaveDevice() {
    reset();
    if (system_.current == this) system_.current = nullptr;
    callback_(platform::WaveMessage::Closed, 0);
}

int FakeWaveDevice::prepare(platform::WaveBuffer&) {
    return system_.failPrepare ? -1 : 0;
}

int FakeWaveDevice::unprepare(platform::WaveBuffer&) {
    return 0;
}

int FakeWaveDevice::write(const platform::WaveBuffer& buffer) {
    if (system_.failWrite) return -1;
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(buffer);
        system_.writtenSizes.push_back(buffer.bytes);
        system_.writtenUsers.push_back(buffer.user);
    }
    if (system_.playsAtOnce) advance(buffer.bytes / static_cast<uint32_t>(format_.blockAlign()));
    return 0;
}

int FakeWaveDevice::reset() {
    std::deque<platform::WaveBuffer> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(queue_);
        playedOfFront_ = 0;
    }
    for (const auto& b : dropped) callback_(platform::WaveMessage::BufferDone, b.user);
    return 0;
}

void FakeWaveDevice::setVolume(uint16_t left, uint16_t right) {
    system_.volumeLeft = left;
    system_.volumeRight = right;
}

void FakeWaveDevice::advance(int64_t frames) {
    const uint32_t block = static_cast<uint32_t>(format_.blockAlign());
    int64_t bytesLeft = frames * block;
    while (bytesLeft > 0) {
        platform::WaveBuffer front;
        bool finished = false;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) break;
            front = queue_.front();
            const uint32_t take = static_cast<uint32_t>(
                std::min<int64_t>(bytesLeft, static_cast<int64_t>(front.bytes - playedOfFront_)));
            system_.played.insert(system_.played.end(), front.data + playedOfFront_,
                                  front.data + playedOfFront_ + take);
            playedOfFront_ += take;
            playedFrames_ += take / block;
            bytesLeft -= take;
            if (playedOfFront_ >= front.bytes) {
                queue_.pop_front();
                playedOfFront_ = 0;
                finished = true;
            }
        }
        // Reported outside the device's lock, as a real device's thread would.
        if (finished) callback_(platform::WaveMessage::BufferDone, front.user);
    }
}

int FakeWaveDevice::queued() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(queue_.size());
}

int64_t FakeWaveDevice::heardFrames() const {
    std::lock_guard lock(mutex_);
    return playedFrames_;
}

int64_t FakeWaveDevice::playedFrames() {
    return heardFrames();
}

std::unique_ptr<platform::WaveDevice> FakeWaveSystem::open(const platform::WaveFormat& format,
                                                           platform::WaveCallback callback,
                                                           std::string* error) {
    if (failOpen || devices == 0 || format.rateHz == refusedRateHz) {
        if (error != nullptr) *error = "fake: cannot open";
        return nullptr;
    }
    ++opens;
    auto device = std::make_unique<FakeWaveDevice>(*this, format, std::move(callback));
    current = device.get();
    return device;
}

void FakeWaveClock::sleepSeconds(double seconds) {
    if (seconds <= 0) return;
    const int rate = system_.current ? system_.current->format().rateHz : 44100;
    if (rate != rateHz_) {
        // A device reopened at another rate counts its frames from here.
        rateHz_ = rate;
        rateSince_ = now_;
        framesDone_ = 0;
    }
    now_ += seconds;
    const auto frames = static_cast<int64_t>((now_ - rateSince_) * rate);
    if (system_.current) system_.current->advance(frames - framesDone_);
    framesDone_ = frames;
}

}  // namespace svt::test
