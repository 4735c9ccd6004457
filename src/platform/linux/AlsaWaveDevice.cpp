// ALSA behind the wave-device interface. One writer thread per open device feeds the
// PCM from a queue of buffers and reports each buffer done once ALSA has played all of it
// (written minus ALSA's delay, which includes a sound server's latency); the volume is a
// gain applied while copying into the thread's scratch block.

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
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
        case 8:
            return SND_PCM_FORMAT_U8;
        case 24:
            return SND_PCM_FORMAT_S24_3LE;
        default:
            return SND_PCM_FORMAT_S16_LE;
    }
}

// Software gain in 16.16 fixed point, per channel of an interleaved block.
void applyGain(uint8_t* data, size_t bytes, int bits, int channels, const uint32_t gain[2]) {
    const int width = bits / 8;
    const size_t frames = bytes / static_cast<size_t>(width * channels);
    for (size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            uint8_t* p = data + (f * static_cast<size_t>(channels) + static_cast<size_t>(c)) *
                                    static_cast<size_t>(width);
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

// Playing starts with the first period instead of a full buffer, so that what has been
// handed over starts to sound at once, as the audio queue expects.
int startEarly(snd_pcm_t* pcm) {
    snd_pcm_uframes_t bufferFrames = 0, periodFrames = 0;
    if (snd_pcm_get_params(pcm, &bufferFrames, &periodFrames) < 0 || periodFrames == 0) return 0;
    snd_pcm_sw_params_t* sw = nullptr;
    if (snd_pcm_sw_params_malloc(&sw) < 0) return 0;
    int rc = snd_pcm_sw_params_current(pcm, sw);
    if (rc >= 0) rc = snd_pcm_sw_params_set_start_threshold(pcm, sw, periodFrames);
    if (rc >= 0) rc = snd_pcm_sw_params(pcm, sw);
    snd_pcm_sw_params_free(sw);
    return rc < 0 ? rc : 0;
}

class AlsaWaveDevice final : public WaveDevice {
  public:
    AlsaWaveDevice(snd_pcm_t* pcm, const WaveFormat& format, WaveCallback callback,
                   std::string name)
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
        std::deque<uintptr_t> dropped;
        {
            std::unique_lock lock(mutex_);
            resetRequested_ = true;
            wake_.notify_all();
            // The writer gives back the buffer it is writing, stops ALSA and hands us the rest.
            idle_.wait(lock, [this] { return !resetRequested_; });
            dropped.swap(dropped_);
        }
        for (const uintptr_t user : dropped) callback_(WaveMessage::BufferDone, user);
        return 0;
    }

    void setVolume(uint16_t left, uint16_t right) override {
        std::lock_guard lock(mutex_);
        // 65535 means unity gain.
        gain_[0] = left == 0xFFFF ? 0x10000u : left;
        gain_[1] = right == 0xFFFF ? 0x10000u : right;
    }

    int64_t playedFrames() override {
        std::lock_guard lock(mutex_);
        return heard_;
    }

    std::string description() const override { return name_; }

  private:
    // A buffer ALSA has taken whole, waiting to be played out.
    struct InAlsa {
        uintptr_t user;
        int64_t endFrame;  // of the stream written since the open or the last reset
    };

    void run() {
        const size_t block = static_cast<size_t>(format_.blockAlign());
        std::vector<uint8_t> scratch;
        std::unique_lock lock(mutex_);
        for (;;) {
            auto due = [this] { return quit_ || resetRequested_ || !queue_.empty(); };
            if (inAlsa_.empty())
                wake_.wait(lock, due);
            else  // only ALSA holds something: look again soon how far it has played
                wake_.wait_for(lock, std::chrono::milliseconds(10), due);
            if (resetRequested_) {
                snd_pcm_drop(pcm_);
                snd_pcm_prepare(pcm_);
                for (const InAlsa& b : inAlsa_) dropped_.push_back(b.user);
                for (const WaveBuffer& b : queue_) dropped_.push_back(b.user);
                inAlsa_.clear();
                queue_.clear();
                written_ = heard_ = 0;
                resetRequested_ = false;
                idle_.notify_all();
                continue;
            }
            if (queue_.empty()) {
                if (quit_) return;
                lock.unlock();
                settle(true);
                lock.lock();
                continue;
            }
            const WaveBuffer buffer = queue_.front();
            queue_.pop_front();
            const uint32_t gain[2] = {gain_[0], gain_[1]};
            lock.unlock();

            scratch.assign(buffer.data, buffer.data + buffer.bytes);
            if (gain[0] != 0x10000u || gain[1] != 0x10000u)
                applyGain(scratch.data(), scratch.size(), format_.bitsPerSample, format_.channels,
                          gain);
            const size_t frames = scratch.size() / block;
            size_t done = 0;
            bool interrupted = false;
            while (done < frames) {
                // A period at a time, so that a reset never waits for a whole buffer.
                const size_t chunk = std::min<size_t>(frames - done, 1024);
                snd_pcm_sframes_t n = snd_pcm_writei(pcm_, scratch.data() + done * block, chunk);
                if (n < 0) n = snd_pcm_recover(pcm_, static_cast<int>(n), 1);
                if (n < 0) {
                    written_ += static_cast<int64_t>(
                        frames - done);  // the device is gone: count it as played
                    break;
                }
                done += static_cast<size_t>(n);
                written_ += n;
                settle(false);
                std::lock_guard check(mutex_);
                if (resetRequested_) {
                    interrupted = true;
                    break;
                }
            }
            if (interrupted) {
                callback_(WaveMessage::BufferDone, buffer.user);
                lock.lock();
                continue;
            }
            lock.lock();
            inAlsa_.push_back({buffer.user, written_});
            lock.unlock();
            settle(false);
            lock.lock();
        }
    }

    // On the writer's thread: how far ALSA has played, and the buffers that are played out.
    // `drained`: nothing more is coming for now.
    void settle(bool drained) {
        int64_t played = -1;
        const snd_pcm_state_t state = snd_pcm_state(pcm_);
        if (state == SND_PCM_STATE_RUNNING || state == SND_PCM_STATE_DRAINING) {
            snd_pcm_sframes_t delay = 0;
            if (snd_pcm_delay(pcm_, &delay) < 0) delay = 0;
            played = written_ - std::clamp<int64_t>(delay, 0, written_);
        } else if (state == SND_PCM_STATE_PREPARED) {
            // Not started yet: ALSA waits for a period. With nothing more to come, start it.
            // A device that will not start has nothing more to play.
            if (drained && written_ > 0 && snd_pcm_start(pcm_) < 0) played = written_;
        } else {
            // Ran dry (or the device went away): everything written has been played.
            played = written_;
        }
        doneNow_.clear();
        {
            std::lock_guard lock(mutex_);
            if (played > heard_) heard_ = played;
            while (!inAlsa_.empty() && inAlsa_.front().endFrame <= heard_) {
                doneNow_.push_back(inAlsa_.front().user);
                inAlsa_.pop_front();
            }
        }
        for (const uintptr_t user : doneNow_) callback_(WaveMessage::BufferDone, user);
    }

    snd_pcm_t* pcm_;
    WaveFormat format_;
    WaveCallback callback_;
    std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<WaveBuffer> queue_;
    std::deque<InAlsa> inAlsa_;
    std::deque<uintptr_t> dropped_;
    std::vector<uintptr_t> doneNow_;  // the writer's own
    int64_t written_ = 0;             // the writer's own
    int64_t heard_ = 0;
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
        if (const int rc =
                snd_pcm_open(&pcm, name_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
            rc < 0) {
            problem_ = name_ + ": " + snd_strerror(rc);
            return 0;
        }
        snd_pcm_close(pcm);
        problem_.clear();
        return 1;
    }
    std::string problem() const override { return problem_; }

    std::unique_ptr<WaveDevice> open(const WaveFormat& format, WaveCallback callback,
                                     std::string* error) override {
        snd_pcm_t* pcm = nullptr;
        int rc = snd_pcm_open(&pcm, name_.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
        if (rc >= 0) {
            // A tenth of a second in ALSA's own buffer keeps "heard" close to "handed over".
            rc = snd_pcm_set_params(pcm, alsaFormat(format.bitsPerSample),
                                    SND_PCM_ACCESS_RW_INTERLEAVED,
                                    static_cast<unsigned>(format.channels),
                                    static_cast<unsigned>(format.rateHz), 1, 100000);
            if (rc >= 0) rc = startEarly(pcm);
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
    std::string problem_;
};

}  // namespace

std::unique_ptr<WaveSystem> makeWaveSystem(const std::string& deviceName) {
    return std::make_unique<AlsaWaveSystem>(deviceName);
}

std::vector<std::string> waveDeviceNames() {
    std::vector<std::string> names;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) return names;
    for (void** hint = hints; *hint != nullptr; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* direction = snd_device_name_get_hint(*hint, "IOID");
        // No direction given means both.
        if (name != nullptr && (direction == nullptr || std::strcmp(direction, "Output") == 0))
            names.emplace_back(name);
        std::free(name);
        std::free(direction);
    }
    snd_device_name_free_hint(hints);
    return names;
}

std::function<void(const char*)> debuggerChannel() {
    return {};
}

}  // namespace svt::platform
