// ALSA behind the wave-device interface. One writer thread per open device feeds the
// PCM from a queue of buffers and reports each buffer done as soon as ALSA has taken
// all of it; the volume is a gain applied while copying into the thread's scratch block.

#include <alsa/asoundlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/WaveDevice.h"

namespace svt::platform {
namespace {

// ALSA prints its own complaints to standard error; the callers report failures themselves.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

snd_pcm_format_t alsaFormat(int bits) {
    switch (bits) {
        case 8: return SND_PCM_FORMAT_U8;
        case 24: return SND_PCM_FORMAT_S24_3LE;
        default: return SND_PCM_FORMAT_S16_LE;
    }
}

// Software gain in 16.16 fixed point, per channel of an interleaved block.
void applyGain(uint8_t* data, size_t bytes, int bits, int channels, const uint32_t gain[2]) {
    const int width = bits / 8;
    const size_t frames = bytes / static_cast<size_t>(width * channels);
    for (size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            uint8_t* p = data + (f * static_cast<size_t>(channels) + static_cast<size_t>(c)) * static_cast<size_t>(width);
            const int64_t g = gain[c > 0 ? 1 : 0];
            if (bits == 8) {
                const int64_t v = (static_cast<int64_t>(p[0]) - 128) * g >> 16;
                p[0] = static_cast<uint8_t>(v + 128);
            } else if (bits == 16) {
                const int16_t s = static_cast<int16_t>(p[0] | (p[1] << 8));
                const int64_t v = s * g >> 16;
                p[0] = static_cast<uint8_t>(v & 0xFF);
                p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
            } else {
                int32_t s = p[0] | (p[1] << 8) | (p[2] << 16);
                if (s & 0x800000) s -= 0x1000000;
                const int64_t v = s * g >> 16;
                p[0] = static_cast<uint8_t>(v & 0xFF);
                p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
                p[2] = static_cast<uint8_t>((v >> 16) & 0xFF);
            }
        }
    }
}

class AlsaWaveDevice final : public WaveDevice {
public:
    AlsaWaveDevice(snd_pcm_t* pcm, const WaveFormat& format, WaveCallback callback, std::string name)
        : pcm_(pcm), format_(format), callback_(std::move(callback)), name_(std::move(name)) {
        callback_(WaveMessage::Opened, 0);
        thread_ = std::thread([this] { run(); });
    }

    ~AlsaWaveDevice() override {
        reset();
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        thread_.join();
        snd_pcm_close(pcm_);
        callback_(WaveMessage::Closed, 0);
    }

    int write(const WaveBuffer& buffer) override {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(buffer);
        }
        wake_.notify_all();
        return 0;
    }

    int reset() override {
        std::deque<WaveBuffer> dropped;
        {
            std::unique_lock lock(mutex_);
            resetRequested_ = true;
            wake_.notify_all();
            // The writer gives back the buffer it is playing, stops ALSA and hands us the rest.
            idle_.wait(lock, [this] { return !resetRequested_; });
            dropped.swap(dropped_);
        }
        for (const WaveBuffer& b : dropped) callback_(WaveMessage::BufferDone, b.user);
        return 0;
    }

    void setVolume(uint16_t left, uint16_t right) override {
        std::lock_guard lock(mutex_);
        // 65535 means unity gain.
        gain_[0] = left == 0xFFFF ? 0x10000u : left;
        gain_[1] = right == 0xFFFF ? 0x10000u : right;
    }

    std::string description() const override { return name_; }

private:
    void run() {
        const size_t block = static_cast<size_t>(format_.blockAlign());
        std::vector<uint8_t> scratch;
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || resetRequested_ || !queue_.empty(); });
            if (resetRequested_) {
                snd_pcm_drop(pcm_);
                snd_pcm_prepare(pcm_);
                dropped_.swap(queue_);
                resetRequested_ = false;
                idle_.notify_all();
                continue;
            }
            if (queue_.empty()) return;  // quit with nothing left to play
            const WaveBuffer buffer = queue_.front();
            queue_.pop_front();
            const uint32_t gain[2] = {gain_[0], gain_[1]};
            lock.unlock();

            scratch.assign(buffer.data, buffer.data + buffer.bytes);
            if (gain[0] != 0x10000u || gain[1] != 0x10000u)
                applyGain(scratch.data(), scratch.size(), format_.bitsPerSample, format_.channels, gain);
            const size_t frames = scratch.size() / block;
            size_t done = 0;
            while (done < frames) {
                // A period at a time, so that a reset never waits for a whole buffer.
                const size_t chunk = std::min<size_t>(frames - done, 1024);
                snd_pcm_sframes_t n = snd_pcm_writei(pcm_, scratch.data() + done * block, chunk);
                if (n < 0) n = snd_pcm_recover(pcm_, static_cast<int>(n), 1);
                if (n < 0) break;  // the device is gone: count the buffer as played
                done += static_cast<size_t>(n);
                std::lock_guard check(mutex_);
                if (resetRequested_) break;
            }
            callback_(WaveMessage::BufferDone, buffer.user);
            lock.lock();
        }
    }

    snd_pcm_t* pcm_;
    WaveFormat format_;
    WaveCallback callback_;
    std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<WaveBuffer> queue_;
    std::deque<WaveBuffer> dropped_;
    bool quit_ = false;
    bool resetRequested_ = false;
    uint32_t gain_[2] = {0x10000u, 0x10000u};
    std::thread thread_;
};

class AlsaWaveSystem final : public WaveSystem {
public:
    explicit AlsaWaveSystem(std::string name) : name_(std::move(name)) {
        if (name_.empty()) {
            const char* chosen = std::getenv("SORVANTO_ALSA_DEVICE");
            name_ = chosen != nullptr && *chosen != 0 ? chosen : "default";
        }
        snd_lib_error_set_handler(quietAlsa);
    }

    int deviceCount() override {
        snd_pcm_t* pcm = nullptr;
        if (snd_pcm_open(&pcm, name_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return 0;
        snd_pcm_close(pcm);
        return 1;
    }

    std::unique_ptr<WaveDevice> open(const WaveFormat& format, WaveCallback callback, std::string* error) override {
        snd_pcm_t* pcm = nullptr;
        int rc = snd_pcm_open(&pcm, name_.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
        if (rc >= 0) {
            // A tenth of a second in ALSA's own buffer keeps "heard" close to "handed over".
            rc = snd_pcm_set_params(pcm, alsaFormat(format.bitsPerSample), SND_PCM_ACCESS_RW_INTERLEAVED,
                                    static_cast<unsigned>(format.channels), static_cast<unsigned>(format.rateHz), 1,
                                    100000);
            if (rc < 0) snd_pcm_close(pcm);
        }
        if (rc < 0) {
            if (error != nullptr) *error = name_ + ": " + snd_strerror(rc);
            return nullptr;
        }
        return std::make_unique<AlsaWaveDevice>(pcm, format, std::move(callback), name_);
    }

private:
    std::string name_;
};

}  // namespace

std::unique_ptr<WaveSystem> makeWaveSystem(const std::string& deviceName) {
    return std::make_unique<AlsaWaveSystem>(deviceName);
}

}  // namespace svt::platform
