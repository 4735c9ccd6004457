#pragma once
// The sound device as the live output sees it: open with a PCM format, hand over
// buffers that the device plays in order and gives back through a callback, reset,
// close, volume. Linux plays through ALSA, Windows through waveOut; tests put a fake device
// with its own clock behind the same interface.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace svt::platform {

struct WaveFormat {
    int channels = 2;
    int rateHz = 44100;
    int bitsPerSample = 16;  // 8 (unsigned), 16 or 24 (signed, 3 bytes)
    int blockAlign() const { return channels * (bitsPerSample / 8); }
    int bytesPerSecond() const { return rateHz * blockAlign(); }
};

// A buffer stays the caller's until the device reports it done, which it does once the
// buffer has been played, not merely taken into a buffer of the system's own.
struct WaveBuffer {
    const uint8_t* data = nullptr;
    uint32_t bytes = 0;
    uintptr_t user = 0;
};

enum class WaveMessage { Opened, Closed, BufferDone };

// Called from the device's own thread (and from the caller's thread inside reset()
// for the buffers it throws away). It must not call back into the device.
using WaveCallback = std::function<void(WaveMessage message, uintptr_t user)>;

class WaveDevice {
  public:
    virtual ~WaveDevice() = default;
    // Buffer preparation exists for devices that must lock memory; 0 = success.
    virtual int prepare(WaveBuffer&) { return 0; }
    virtual int unprepare(WaveBuffer&) { return 0; }
    // Queues a buffer behind the ones already queued; 0 = success.
    virtual int write(const WaveBuffer& buffer) = 0;
    // Stops at once; every queued buffer is reported done before reset returns.
    virtual int reset() = 0;
    // Volume 0..65535 per side, applied to what starts playing from now on.
    virtual void setVolume(uint16_t left, uint16_t right) = 0;
    // Frames played (heard, as far as the system can tell) since the open or the last reset;
    // -1 when the device cannot tell.
    virtual int64_t playedFrames() { return -1; }
    virtual std::string description() const = 0;
};

class WaveSystem {
  public:
    virtual ~WaveSystem() = default;
    virtual int deviceCount() = 0;
    // Why the last deviceCount() found none: the device's name and the system's reason.
    virtual std::string problem() const { return {}; }
    // nullptr when the device cannot be opened with the format; `error` says why.
    virtual std::unique_ptr<WaveDevice> open(const WaveFormat& format, WaveCallback callback,
                                             std::string* error) = 0;
};

// The system's sound devices; `deviceName` selects one. Empty: the one the environment
// variable SORVANTO_ALSA_DEVICE names, else "default". On Windows a waveOut device by its
// number or the start of its name; empty: SORVANTO_WAVEOUT_DEVICE, else the wave mapper.
std::unique_ptr<WaveSystem> makeWaveSystem(const std::string& deviceName);

// The names of the system's sound devices, for the user to choose from.
std::vector<std::string> waveDeviceNames();

// Where the live output's diagnostic lines go when nobody asked to see them: the debugger's
// channel on Windows (OutputDebugStringA); none elsewhere (an empty function).
std::function<void(const char*)> debuggerChannel();

}  // namespace svt::platform
