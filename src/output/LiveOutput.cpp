#include "output/LiveOutput.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace svt::output {

LiveOutput::LiveOutput(std::unique_ptr<platform::WaveSystem> system, TickClock* clock)
    : system_(std::move(system)), clock_(clock) {
    idName = "Lautsprecher";
    idCharacter = 'd';
    flags = OF_PCM_STREAM | OF_CAN_TIME | OF_BUFFER_SETTING;
    extra[0] = kLiveDefaultBuffers;
}

LiveOutput::~LiveOutput() {
    closeOutput();
}

void LiveOutput::setDeviceName(std::string name) {
    if (name == deviceName_) return;
    deviceName_ = std::move(name);
    if (ownSystem_) {
        system_.reset();
        ownSystem_ = false;
    }
}

platform::WaveSystem& LiveOutput::system() {
    if (!system_) {
        system_ = platform::makeWaveSystem(deviceName_);
        ownSystem_ = true;
    }
    return *system_;
}

void LiveOutput::say(const char* format, ...) {
    if (!log_) return;
    // Formatted on the stack: the device's thread says things too, and must not allocate.
    char line[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log_(line);
}

void LiveOutput::setVolume(uint16_t left, uint16_t right) {
    volumeLeft_ = left;
    volumeRight_ = right;
    if (device_) device_->setVolume(left, right);
}

bool LiveOutput::detect() {
    return system().deviceCount() > 0;
}

int LiveOutput::configuredCount() const {
    return std::max(kLiveMinimumBuffers, extra[0]);
}

int LiveOutput::bufferCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(pool_.size());
}

int LiveOutput::busyCount() const {
    std::lock_guard lock(mutex_);
    return busy_;
}

std::vector<int> LiveOutput::freeIndices() const {
    std::lock_guard lock(mutex_);
    std::vector<int> out;
    for (int i = freeList_; i >= 0 && out.size() <= pool_.size();
         i = pool_[static_cast<size_t>(i)].next)
        out.push_back(i);
    return out;
}

void LiveOutput::callback(platform::WaveMessage message, uintptr_t user) {
    std::lock_guard lock(mutex_);
    switch (message) {
        case platform::WaveMessage::Opened:
            say("%2d: Device opened.\n", busy_);
            break;
        case platform::WaveMessage::Closed:
            say("%2d: Device closed.\n", busy_);
            break;
        case platform::WaveMessage::BufferDone:
            // A device that names a buffer it was never given cannot corrupt the pool.
            if (user < pool_.size()) putBuffer(static_cast<int>(user));
            break;
        default:
            say("%2d: Unknown play back event 0x%08X.\n", busy_, static_cast<unsigned>(message));
            break;
    }
}

int LiveOutput::openOutput() {
    closeOutput();
    lastMessage_.clear();
    const int count = configuredCount();
    platform::WaveSystem& waves = system();
    if (waves.deviceCount() == 0) {
        lastMessage_ =
            tr(language, "Kein Audiotreiber vorhanden!", "There is no audio device available!");
        if (const std::string why = waves.problem(); !why.empty()) lastMessage_ += " (" + why + ")";
        return -1;
    }
    // The device takes linear samples in its own byte order: 8 bits unsigned, wider signed.
    int32_t e = encoding & ~(ENC_ULAW | ENC_ALAW | ENC_BYTESWAP);
    if (e & (ENC_16BIT | ENC_24BIT))
        e |= ENC_SIGNED;
    else
        e &= ~ENC_SIGNED;
    encoding = normalizeEncoding(e);
    const int sampleBytes = bytesPerSample(encoding);
    format_.channels = channelsOf(encoding);
    format_.rateHz = rate > 0 ? rate : 44100;
    format_.bitsPerSample = 8 * sampleBytes;

    say("Gerät wird geöffnet...\n");
    std::string error;
    device_ = waves.open(
        format_, [this](platform::WaveMessage m, uintptr_t user) { callback(m, user); }, &error);
    if (!device_) {
        lastMessage_ = tr(language, "Audiotreiber kann nicht geöffnet werden!",
                          "Audio device could not be opened!");
        if (!error.empty()) lastMessage_ += " (" + error + ")";
        return -1;
    }
    say("Gerät offen.\n");

    waitPeriodMs_ = kLiveQueueBlockFrames * format_.channels * sampleBytes * 1000 / format_.rateHz;
    {
        std::lock_guard lock(mutex_);
        pool_.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            PoolEntry& entry = pool_[static_cast<size_t>(i)];
            entry.index = i;
            entry.data.assign(kLiveBufferBytes, 0);
            entry.header = {};
        }
    }
    resetPool();
    device_->setVolume(volumeLeft_, volumeRight_);
    framesWritten_ = 0;
    fd = 0;
    return 0;
}

void LiveOutput::resetPool() {
    say("Resetting buffer pool...\n");
    std::lock_guard lock(mutex_);
    freeList_ = -1;
    for (int i = static_cast<int>(pool_.size()) - 1; i >= 0; --i) {
        PoolEntry& entry = pool_[static_cast<size_t>(i)];
        // Every buffer is back, so none is still in the device's hands.
        if (entry.prepared && device_) device_->unprepare(entry.header);
        entry.prepared = false;
        entry.next = freeList_;
        freeList_ = i;
    }
    busy_ = 0;
    say("Buffer pool reset.\n");
}

LiveOutput::PoolEntry* LiveOutput::getBuffer() {
    say("%2d: Getting buffer...\n", busy_);
    if (freeList_ < 0) return nullptr;
    PoolEntry& entry = pool_[static_cast<size_t>(freeList_)];
    freeList_ = entry.next;
    entry.next = -1;
    ++busy_;
    // Unprepared only now, when it is taken again: the device's thread never calls the device.
    if (entry.prepared) {
        device_->unprepare(entry.header);
        entry.prepared = false;
    }
    say("%2d: Got buffer.\n", busy_);
    return &entry;
}

void LiveOutput::putBuffer(int index) {
    say("%2d: Putting buffer...\n", busy_);
    PoolEntry& entry = pool_[static_cast<size_t>(index)];
    entry.next = freeList_;
    freeList_ = index;
    --busy_;
    say("%2d: Buffer put.\n", busy_);
    returned_.notify_all();
}

void LiveOutput::waitOnePeriod(std::unique_lock<std::mutex>& lock) {
    say("%2d: Waiting %dms...\n", busy_, waitPeriodMs_);
    if (clock_) {
        lock.unlock();
        clock_->sleepSeconds(waitPeriodMs_ / 1000.0);
        lock.lock();
    } else {
        // A returned buffer ends the wait early.
        const int busyBefore = busy_;
        returned_.wait_for(lock, std::chrono::milliseconds(waitPeriodMs_),
                           [&] { return busy_ < busyBefore; });
    }
    say("%2d: Wait finished.\n", busy_);
}

void LiveOutput::waitForAllBuffers() {
    std::unique_lock lock(mutex_);
    say("%2d: Waiting for all buffers to be dequeued...\n", busy_);
    while (busy_ != 0) {
        if (clock_) {
            lock.unlock();
            clock_->sleepSeconds(waitPeriodMs_ / 1000.0);
            lock.lock();
        } else {
            returned_.wait_for(lock, std::chrono::milliseconds(waitPeriodMs_),
                               [&] { return busy_ == 0; });
        }
    }
    say("%2d: All buffers dequeued.\n", busy_);
    lock.unlock();
    resetPool();
}

int LiveOutput::closeOutput() {
    if (!device_) return 0;
    waitForAllBuffers();
    say("Closing device...\n");
    device_->reset();
    device_.reset();
    say("Device closed.\n");
    {
        std::lock_guard lock(mutex_);
        pool_.clear();
        freeList_ = -1;
        busy_ = 0;
    }
    fd = -1;
    return 0;
}

int LiveOutput::outputData(const uint8_t* bytes, size_t count) {
    if (!device_) return -1;
    while (count > 0) {
        PoolEntry* entry = nullptr;
        int busy = 0;
        {
            std::unique_lock lock(mutex_);
            entry = getBuffer();
            if (!entry) {
                waitOnePeriod(lock);
                continue;
            }
            busy = busy_;
        }
        const size_t take = std::min<size_t>(count, kLiveBufferBytes);
        std::memcpy(entry->data.data(), bytes, take);
        entry->header.data = entry->data.data();
        entry->header.bytes = static_cast<uint32_t>(take);
        entry->header.user = static_cast<uintptr_t>(entry->index);

        say("%2d: Preparing buffer %d...\n", busy, entry->index);
        if (device_->prepare(entry->header) != 0) {
            say("%2d: Buffer preparation failed.\n", busy);
            std::lock_guard lock(mutex_);
            putBuffer(entry->index);
            return -1;
        }
        say("%2d: Buffer %d prepared.\n", busy, entry->index);
        entry->prepared = true;

        say("%2d: Queueing buffer %d...\n", busy, entry->index);
        if (device_->write(entry->header) != 0) {
            say("%2d: Buffer queueing failed.\n", busy);
            std::lock_guard lock(mutex_);
            putBuffer(entry->index);
            return -1;
        }
        say("%2d: Buffer %d queued.\n", busy, entry->index);
        framesWritten_ += static_cast<int64_t>(take) / format_.blockAlign();
        bytes += take;
        count -= take;
    }
    return 0;
}

int LiveOutput::acntl(int request, void* argument) {
    switch (request) {
        case OUT_REQ_DISCARD:
            say("Resetting audio device.\n");
            if (device_) device_->reset();
            closeOutput();
            if (openOutput() < 0) return -1;
            say("Audio device reset.\n");
            return 0;
        case OUT_REQ_FLUSH:
            // Closing waits until every buffer has played.
            closeOutput();
            return openOutput() < 0 ? -1 : 0;
        case OUT_REQ_GET_QUEUE_SIZE:
            if (argument == nullptr) return -1;
            *static_cast<int*>(argument) = (configuredCount() - 1) * kLiveQueueBlockFrames *
                                           channelsOf(encoding) * bytesPerSample(encoding);
            return 0;
        case OUT_REQ_GET_SAMPLES:
        case OUT_REQ_GET_QUEUED: {
            // Only a device that knows what it has played answers: an estimate from the time
            // of writing cannot see the system's own buffers behind it, and runs ahead of the
            // sound.
            if (argument == nullptr || !device_) return -1;
            const int64_t played = device_->playedFrames();
            if (played < 0) return -1;
            const int64_t answer = request == OUT_REQ_GET_SAMPLES
                                       ? played
                                       : std::max<int64_t>(0, framesWritten_ - played);
            *static_cast<int*>(argument) = static_cast<int>(std::min<int64_t>(answer, INT32_MAX));
            return 0;
        }
        default:
            return -1;
    }
}

}  // namespace svt::output
