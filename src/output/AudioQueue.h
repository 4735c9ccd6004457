#pragma once
// The buffer between the player and the current output device. It converts each block to the
// device's encoding, keeps up to a few seconds of converted audio in fixed-size buckets so that
// synthesis can run ahead of a live device, feeds the device without blocking where it can,
// drains or discards on request, and knows which sample the listener hears now. Devices that
// do not play in real time (files) get every byte at once, as fast as synthesis runs.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output/OutputDevice.h"
#include "output/PeakLimiter.h"
#include "output/PlayClock.h"
#include "player/PlayerCommands.h"

namespace svt::output {

class AudioQueue final : public AudioSink {
  public:
    explicit AudioQueue(TickClock* clock = nullptr);

    // At the start of a run, with the device open: frame size, bucket size, device queue.
    void setup(OutputDevice& device, AudioQueueHooks* hooks);
    // Queue length and fill target in seconds; a negative value keeps the previous one.
    void setQueue(double lengthSeconds, double fillSeconds);
    // The start-up settings: "5.0" / "100%"-style texts (a percentage counts in units of the
    // device queue). False when a text is not a number.
    bool setQueueFromSettings(const std::string& length, const std::string& fill);
    OutputDevice* device() const { return device_; }

    // AudioSink
    int rate() const override;
    bool realTime() const override;
    int control(int request, const std::string& songPath) override;
    int add(StereoView<const int32_t> block) override;
    FlushResult flush(bool discard) override;
    FlushResult softFlush() override;
    int64_t playedFrames() override { return currentSample(); }
    int64_t filledFrames() override { return queuedSamples(); }
    int64_t softFilledFrames() override { return bucketFrames(); }
    int64_t deviceQueueFrames() override { return deviceQueueBytes_ / bytesPerFrame_; }
    // Also true while a queue that started quickly catches up: the device is fed, but what it
    // holds says nothing yet about how well synthesis keeps up.
    bool prefilling() const override { return filling_ || refilling_; }
    // Reopens the device at `rateHz` and rebuilds the buckets for it; false (and the old rate
    // kept) when the rate is not accepted or the device will not open with it.
    bool changeRate(int rateHz) override;
    // The device's record changed (encoding, buffer count): reopens it and rebuilds the queue.
    void outputChanged() override;
    // Which rates changeRate may switch to: the engine renders at one rate, so by default none
    // but the current one.
    void setRateAcceptor(std::function<bool(int rateHz)> accept) {
        acceptRate_ = std::move(accept);
    }

    // The peak limiter in front of the conversion (off until switched on: the engine does);
    // with it off, values beyond full scale are clipped by the conversion and counted. While
    // on, a stream's last few milliseconds reach the device at the flush that ends it.
    void setLimiter(bool on);
    const LimiterStats& limiterStats() const { return limiter_.stats(); }
    // Samples that reached the output clipped since the current song started.
    int64_t clippedSamples() const { return clippedSamples_; }

    int fillNoBlock();
    int64_t currentSample();
    int64_t queuedSamples();
    int64_t bucketFrames() const;
    int64_t freeSamples();

    int bucketCount() const { return bucketCount_; }
    int bucketBytes() const { return bucketBytes_; }
    int64_t startCount() const { return startCount_; }
    bool filling() const { return filling_; }

  private:
    struct Bucket {
        size_t filled = 0;
        int next = -1;
    };
    uint8_t* bucketData(int index) {
        return data_.data() + static_cast<size_t>(index) * bucketBytes_;
    }
    bool timed() const;
    void reset();
    size_t putIntoBuckets(const uint8_t* bytes, size_t count, int& error);
    int writeBucket(int index);
    // Writes the oldest bucket and returns it to the free list; -1 when the device failed.
    int writeHeadBucket();
    int writeToDevice(const uint8_t* bytes, size_t count);
    // Converts `frames` frames of scratch_ and hands them on (to the device or the buckets).
    int enqueue(int frames);
    // Hands on the frames the limiter still holds, at the end of a stream.
    int drainLimiter();
    void waitALittle();
    bool commandWaiting();
    // Seconds to sleep while draining: until `end`, the next notice, or a fifth of the device
    // queue, whichever comes first, so commands and notices are not held up.
    double drainSleep(double end, double now);
    // Reopens the device with its record as it now stands; false when it will not open.
    bool reopenDevice();

    SteadyClock steady_;
    TickClock* clock_;
    PlayClock playClock_;
    OutputDevice* device_ = nullptr;
    AudioQueueHooks* hooks_ = nullptr;

    int bytesPerFrame_ = 4;
    int bucketBytes_ = 4 * 4096;
    double bucketSeconds_ = 0;
    int64_t deviceQueueBytes_ = 0;
    double lengthSeconds_ = 5.0;
    double fillSeconds_ = 0;
    int bucketCount_ = 0;
    int64_t startCount_ = 0;

    std::vector<uint8_t> data_;
    std::vector<Bucket> buckets_;
    int freeList_ = -1;
    int head_ = -1;
    int tail_ = -1;

    std::vector<int32_t> scratch_;  // conversion space for one block
    PeakLimiter limiter_;
    int64_t clippedSamples_ = 0;
    int64_t addedFrames_ = 0;
    bool filling_ = false;
    // Set when the queued audio was dropped for a change the listener waits to hear (a seek,
    // a transposition, another song): the audio that follows goes to the device after a short
    // lead instead of the fill target, and the queue fills up behind it.
    bool quickStart_ = false;
    bool refilling_ = false;
    double leadFrom_ = -1;  // the clock at the first audio after the drop; -1 before it

    std::string lengthSetting_, fillSetting_;  // kept to be reapplied after a reopen
    std::function<bool(int)> acceptRate_;
};

}  // namespace svt::output
