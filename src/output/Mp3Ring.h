#pragma once
// The buffer between the player thread, which writes converted samples, and the MP3
// encoder thread, which reads them through the library's reader function. It also holds
// the encoding's state word, which both threads read and write.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace svt::output {

enum class EncoderState : int { Running = 0, InputEnded = 1, Failed = -1 };

// How a side that must wait (a full ring, an empty ring) waits. Sleeping 0 ms and then
// 100 ms is the encoder library's classic way; being woken by the other side keeps both
// running at their own speed. The sleeping way stays for measuring the difference.
enum class RingWait { Sleep, Notify };

class Mp3Ring {
  public:
    static constexpr size_t kBytes = 262'144;

    explicit Mp3Ring(RingWait wait = RingWait::Notify) : wait_(wait) {}

    // The byte that pads the last request at the end of the input: 0 for 16-bit
    // samples, 0x80 for 8-bit (unsigned) ones.
    void setSilenceByte(uint8_t b) { silence_ = b; }

    // Player side: puts `n` bytes in, waiting for room. Returns n, or what was taken when
    // the input was ended meanwhile, or -1 when the encoder failed. More than the whole
    // ring at once marks the encoding failed.
    long write(const uint8_t* bytes, size_t n);

    // Encoder side: fills `buffer` with exactly `n` bytes and returns 0; at the end of
    // the input the last bytes are padded with silence, and the call after that returns
    // non-zero, as does every call once the encoding failed. A null buffer or n = 0 marks
    // the end of the input.
    int read(uint8_t* buffer, size_t n);

    // Drops everything waiting in the ring.
    void discard();
    // Empty and running again, for the next encoding.
    void reset();

    EncoderState state() const { return state_.load(); }
    // Failed stays failed until reset; the end of the input does not undo a failure.
    void setState(EncoderState s);
    size_t filled() const;

  private:
    void notifyWaiters();  // under the lock
    size_t copyIn(const uint8_t* bytes, size_t n);
    size_t copyOut(uint8_t* buffer, size_t n);

    const RingWait wait_;
    std::unique_ptr<uint8_t[]> data_;  // made on first use
    bool ensureData();                 // under the lock; false when there is no memory

    size_t readPos_ = 0;
    size_t fill_ = 0;
    size_t roomWanted_ = 0;  // a writer waits for this much room (0: none waits)
    size_t dataWanted_ = 0;  // a reader waits for this many bytes
    uint8_t silence_ = 0;
    std::atomic<EncoderState> state_{EncoderState::Running};
    mutable std::mutex lock_;
    std::condition_variable dataReady_;
    std::condition_variable roomReady_;
};

}  // namespace svt::output
