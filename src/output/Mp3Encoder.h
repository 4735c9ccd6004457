#pragma once
// One MP3 file being encoded: the encoder library runs on a thread of its own and pulls
// the samples that the player thread writes into the ring.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "output/EncoderLibrary.h"
#include "output/Mp3Ring.h"

namespace svt::output {

// Settings passed through the library's own items; 0 and -1 leave its defaults.
struct Mp3Settings {
    int bitrateKbps = 0;
    int vbrQuality = -1;
};

struct Mp3InputFormat {
    int rateHz = 44100;
    int bitsPerSample = 16;  // 16 signed or 8 unsigned
    int channels = 2;
};

class Mp3Encoder {
  public:
    static constexpr size_t kMaxFileNameBytes = 4095;

    explicit Mp3Encoder(EncoderSearch search, RingWait wait = RingWait::Notify);
    ~Mp3Encoder();
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    void setSettings(const Mp3Settings& s) { settings_ = s; }
    void setInputFormat(const Mp3InputFormat& f) { format_ = f; }

    // Starts encoding into `fileName` ("-": standard output), tagged with `title` when it
    // is not empty (an ID3v1 tag at the end) and beginning with the ID3v2 tag `leadingTag`
    // when that is not empty. Ends an encoding still running first. 0, or -1 when it cannot
    // start.
    int start(const std::string& fileName, const std::string& title,
              std::vector<uint8_t> leadingTag = {});
    // Ends the input and waits until the file is complete. 0, or -1 when the encoding
    // failed at any point.
    int close();
    bool isOpen() const { return open_; }

    // Player side: bytes taken (all of them, or fewer when the input was ended), 0 when
    // no encoding is open, -1 when the encoding failed.
    long output(const uint8_t* bytes, size_t n);
    void discard() { ring_.discard(); }

    EncoderState state() const { return ring_.state(); }
    // The library's result that ended the last encoding (0 clean, kNotBound, ...).
    uint32_t lastLibraryResult() const { return lastResult_.load(); }
    // The system's error number left by the library call that failed (a full disk, a refused
    // file), 0 when there was none.
    int lastSystemError() const { return systemError_.load(); }
    // Why the last encoding failed, for the message that names the file: the system's reason
    // where there is one, else what the library said; empty when nothing failed.
    std::string lastReason() const;
    const std::string& fileName() const { return fileName_; }
    Mp3Ring& ring() { return ring_; }

  private:
    void run();
    void encode();
    void stopThread();

    const EncoderSearch search_;
    Mp3Settings settings_;
    Mp3InputFormat format_;
    Mp3Ring ring_;
    EncoderLibrary library_;  // touched by the encoder thread only while it runs
    std::string fileName_;
    std::string title_;
    std::vector<uint8_t> leadingTag_;
    std::thread thread_;
    // Set once the thread has opened the output file (or given up): start() waits for it, so
    // that the file exists before the first sound is rendered and a signal that removes the
    // pending file cannot race with the library creating it anew.
    std::mutex openedMutex_;
    std::condition_variable openedChanged_;
    bool opened_ = false;
    void markOpened();
    std::atomic<uint32_t> lastResult_{0};
    std::atomic<int> systemError_{0};
    std::atomic<bool> loadFailed_{false};
    bool open_ = false;
};

}  // namespace svt::output
