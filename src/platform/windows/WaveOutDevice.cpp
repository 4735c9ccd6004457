// waveOut behind the wave-device interface. The system plays the buffers in order and hands
// each back through a callback on a thread of its own; the callback only reports, it never
// calls the device. Headers are prepared, and unprepared before being prepared again, on the
// caller's thread outside the caller's lock, so that no system call waits for a callback that
// waits for that lock.

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "platform/WaveDevice.h"
#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

std::string mmError(MMRESULT result) {
    wchar_t text[MAXERRORLENGTH] = {};
    if (::waveOutGetErrorTextW(result, text, MAXERRORLENGTH) == MMSYSERR_NOERROR && text[0] != 0)
        return win::narrow(text);
    return "waveOut error " + std::to_string(result);
}

std::string deviceName(UINT id) {
    WAVEOUTCAPSW caps{};
    if (::waveOutGetDevCapsW(id, &caps, sizeof caps) != MMSYSERR_NOERROR) return {};
    return win::narrow(caps.szPname);
}

class WaveOutDevice final : public WaveDevice {
  public:
    WaveOutDevice(const WaveFormat& format, WaveCallback callback)
        : format_(format), callback_(std::move(callback)) {}

    // Opens the device `id` (WAVE_MAPPER: the system's choice); empty text on success.
    std::string open(UINT id) {
        WAVEFORMATEX wave{};
        wave.wFormatTag = WAVE_FORMAT_PCM;
        wave.nChannels = static_cast<WORD>(format_.channels);
        wave.nSamplesPerSec = static_cast<DWORD>(format_.rateHz);
        wave.wBitsPerSample = static_cast<WORD>(format_.bitsPerSample);
        wave.nBlockAlign = static_cast<WORD>(format_.blockAlign());
        wave.nAvgBytesPerSec = static_cast<DWORD>(format_.bytesPerSecond());
        const MMRESULT result =
            ::waveOutOpen(&out_, id, &wave, reinterpret_cast<DWORD_PTR>(&WaveOutDevice::onMessage),
                          reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION | WAVE_ALLOWSYNC);
        if (result != MMSYSERR_NOERROR) {
            out_ = nullptr;
            return mmError(result);
        }
        UINT used = id;
        if (::waveOutGetID(out_, &used) == MMSYSERR_NOERROR) name_ = deviceName(used);
        if (name_.empty()) name_ = "waveOut";
        return {};
    }

    ~WaveOutDevice() override {
        if (out_ == nullptr) return;
        reset();
        for (auto& [data, header] : headers_)
            if (header->dwFlags & WHDR_PREPARED)
                ::waveOutUnprepareHeader(out_, header.get(), sizeof(WAVEHDR));
        ::waveOutClose(out_);
    }

    int prepare(WaveBuffer& buffer) override {
        WAVEHDR* header = headerFor(buffer.data);
        if (header->dwFlags & WHDR_PREPARED) {
            const MMRESULT result = ::waveOutUnprepareHeader(out_, header, sizeof(WAVEHDR));
            if (result != MMSYSERR_NOERROR) return static_cast<int>(result);
        }
        header->lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(buffer.data));
        header->dwBufferLength = buffer.bytes;
        header->dwUser = buffer.user;
        header->dwFlags = 0;
        return static_cast<int>(::waveOutPrepareHeader(out_, header, sizeof(WAVEHDR)));
    }

    // The header stays prepared until it is prepared again or the device closes: unpreparing
    // here would call the system under the caller's lock.
    int unprepare(WaveBuffer&) override { return 0; }

    int write(const WaveBuffer& buffer) override {
        WAVEHDR* header = headerFor(buffer.data);
        if ((header->dwFlags & WHDR_PREPARED) == 0 || header->dwBufferLength != buffer.bytes ||
            header->dwUser != buffer.user) {
            WaveBuffer copy = buffer;
            if (const int rc = prepare(copy); rc != 0) return rc;
        }
        {
            std::lock_guard lock(mutex_);
            inFlight_[header] = true;
        }
        const MMRESULT result = ::waveOutWrite(out_, header, sizeof(WAVEHDR));
        if (result != MMSYSERR_NOERROR) {
            std::lock_guard lock(mutex_);
            inFlight_.erase(header);
            return static_cast<int>(result);
        }
        return 0;
    }

    int reset() override {
        const MMRESULT result = ::waveOutReset(out_);
        // The system marks every queued buffer done; its callbacks may still be on their way.
        std::unique_lock lock(mutex_);
        idle_.wait_for(lock, std::chrono::seconds(2), [this] { return inFlight_.empty(); });
        // What the system never reported is reported here, once.
        std::map<WAVEHDR*, bool> left;
        left.swap(inFlight_);
        lock.unlock();
        for (const auto& [header, unused] : left)
            callback_(WaveMessage::BufferDone, header->dwUser);
        return result == MMSYSERR_NOERROR ? 0 : static_cast<int>(result);
    }

    void setVolume(uint16_t left, uint16_t right) override {
        ::waveOutSetVolume(out_, static_cast<DWORD>(left) | (static_cast<DWORD>(right) << 16));
    }

    int64_t playedFrames() override {
        MMTIME time{};
        time.wType = TIME_SAMPLES;
        if (::waveOutGetPosition(out_, &time, sizeof time) != MMSYSERR_NOERROR) return -1;
        if (time.wType == TIME_SAMPLES) return time.u.sample;
        if (time.wType == TIME_BYTES) return time.u.cb / static_cast<DWORD>(format_.blockAlign());
        return -1;
    }

    std::string description() const override { return name_; }

  private:
    static void CALLBACK onMessage(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR first,
                                   DWORD_PTR) {
        auto* self = reinterpret_cast<WaveOutDevice*>(instance);
        switch (message) {
            case WOM_OPEN:
                self->callback_(WaveMessage::Opened, 0);
                break;
            case WOM_CLOSE:
                self->callback_(WaveMessage::Closed, 0);
                break;
            case WOM_DONE: {
                auto* header = reinterpret_cast<WAVEHDR*>(first);
                {
                    std::lock_guard lock(self->mutex_);
                    // Reported already when a reset gave up waiting for this callback.
                    if (self->inFlight_.erase(header) == 0) break;
                }
                self->callback_(WaveMessage::BufferDone, header->dwUser);
                std::lock_guard lock(self->mutex_);
                if (self->inFlight_.empty()) self->idle_.notify_all();
                break;
            }
            default:
                break;
        }
    }

    WAVEHDR* headerFor(const uint8_t* data) {
        std::lock_guard lock(mutex_);
        std::unique_ptr<WAVEHDR>& header = headers_[data];
        if (!header) header = std::make_unique<WAVEHDR>();
        return header.get();
    }

    WaveFormat format_;
    WaveCallback callback_;
    HWAVEOUT out_ = nullptr;
    std::string name_;
    std::mutex mutex_;
    std::condition_variable idle_;
    std::map<const uint8_t*, std::unique_ptr<WAVEHDR>> headers_;  // one per caller's buffer
    std::map<WAVEHDR*, bool> inFlight_;  // written and not yet reported done
};

class WaveOutSystem final : public WaveSystem {
  public:
    explicit WaveOutSystem(std::string name) : name_(std::move(name)) {
        if (name_.empty()) {
            const char* chosen = std::getenv("SORVANTO_WAVEOUT_DEVICE");
            if (chosen != nullptr) name_ = chosen;
        }
    }

    int deviceCount() override { return static_cast<int>(::waveOutGetNumDevs()); }

    std::unique_ptr<WaveDevice> open(const WaveFormat& format, WaveCallback callback,
                                     std::string* error) override {
        UINT id = WAVE_MAPPER;
        if (!name_.empty() && !findDevice(id)) {
            if (error != nullptr) *error = name_ + ": no such waveOut device";
            return nullptr;
        }
        auto device = std::make_unique<WaveOutDevice>(format, std::move(callback));
        const std::string why = device->open(id);
        if (!why.empty()) {
            if (error != nullptr) *error = why;
            return nullptr;
        }
        return device;
    }

  private:
    // A device by its number or by the start of its name.
    bool findDevice(UINT& id) const {
        char* end = nullptr;
        const unsigned long number = std::strtoul(name_.c_str(), &end, 10);
        const UINT count = ::waveOutGetNumDevs();
        if (end != name_.c_str() && *end == '\0') {
            id = static_cast<UINT>(number);
            return number < count;
        }
        for (UINT i = 0; i < count; ++i) {
            if (deviceName(i).rfind(name_, 0) == 0) {
                id = i;
                return true;
            }
        }
        return false;
    }

    std::string name_;
};

}  // namespace

std::unique_ptr<WaveSystem> makeWaveSystem(const std::string& deviceName) {
    return std::make_unique<WaveOutSystem>(deviceName);
}

std::vector<std::string> waveDeviceNames() {
    std::vector<std::string> names;
    const UINT count = ::waveOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) names.push_back(deviceName(i));
    return names;
}

std::function<void(const char*)> debuggerChannel() {
    return [](const char* line) { ::OutputDebugStringA(line); };
}

}  // namespace svt::platform
