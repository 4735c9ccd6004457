#pragma once
// The master peak limiter in front of the conversion to an output's sample format: the mix
// may run above full scale, what leaves stays below it. It looks a few milliseconds ahead,
// so the gain is already down when a peak arrives, and lets it back up slowly, so the gain
// moves far below the pitch of what it shapes. Where nothing comes near full scale the
// samples pass unchanged, bit for bit.
//
// The look-ahead delays the signal; the limiter takes that delay back out of the stream: after
// a reset the first frames it holds are not handed on, and drain() hands on what it still
// holds at the end. Every sample of a stream therefore leaves at its own position.
//
// prepare() allocates; process() and drain() neither allocate nor lock.

#include <cstdint>
#include <vector>

namespace svt::output {

// How much a stream was limited (frames whose gain was below 1, and by how much).
struct LimiterStats {
    int64_t frames = 0;
    int64_t limitedFrames = 0;  // gain below 1 by any amount
    int64_t deepFrames = 0;     // gain more than 1 dB down
    double gainSum = 0;         // over the limited frames
    double lowestGain = 1;
    double inputPeak = 0;  // largest input value, in units of full scale

    double limitedShare() const { return frames > 0 ? double(limitedFrames) / frames : 0.0; }
    double deepShare() const { return frames > 0 ? double(deepFrames) / frames : 0.0; }
    // Reductions in positive dB: of the mean gain of the limited frames, and the deepest.
    double meanReductionDb() const;
    double deepestDb() const;
};

class PeakLimiter {
  public:
    // The highest level that leaves, in dB of full scale.
    static constexpr double kCeilingDb = -1.0;
    static constexpr double kLookAheadSeconds = 0.005;
    // The lowest gain of the recent past is held this long before it is let go.
    static constexpr double kHoldSeconds = 0.020;
    // Time constant of the gain's return to 1.
    static constexpr double kReleaseSeconds = 0.100;

    // Sizes the delay and the gain history for `rateHz` and resets.
    void prepare(int rateHz);
    // Silence held, gain back at 1, statistics kept.
    void reset();
    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }

    // Limits `frames` stereo frames in place and returns how many lie at the start of
    // `samples` now: the frames still held from before come first and as many frames stay
    // held back; right after a reset that many fewer are returned. Disabled: all, unchanged.
    int process(int32_t* samples, int frames);
    // Writes the frames still held (at most `capacity`) to `out`, limited as their
    // neighbours, and returns their number; the limiter is reset afterwards.
    int drain(int32_t* out, int capacity);
    // Frames held back between process() calls.
    int latencyFrames() const { return enabled_ ? delay_ : 0; }

    const LimiterStats& stats() const { return stats_; }
    void clearStats() { stats_ = {}; }

  private:
    bool idle() const { return holdCount_ == 0 && release_ == 1.0 && boxReduced_ == 0; }
    // One frame through the gain computation; returns the gain for the frame leaving now.
    double gainFor(int32_t left, int32_t right);
    void delayOnly(int32_t* samples, int frames);

    bool enabled_ = true;
    int rateHz_ = 0;
    int delay_ = 0;        // frames held: the look-ahead less one
    int box_ = 0;          // frames the gain is averaged over: the look-ahead
    double boxShare_ = 0;  // 1 / box_
    int hold_ = 0;         // frames a low gain is held
    int skip_ = 0;         // frames still to be dropped after a reset
    double ceiling_ = 0;
    double releaseKeep_ = 0;  // share of the distance to 1 the gain keeps per frame

    std::vector<int32_t> delayLine_;  // delay_ stereo frames, oldest at delayAt_
    std::vector<int32_t> spare_;      // the next delay line while a block passes
    int delayAt_ = 0;
    // The lowest gains needed within the hold window, ascending in time and in gain: only
    // frames that need less than 1 are entered.
    struct Need {
        int64_t frame;
        double gain;
    };
    std::vector<Need> holdRing_;
    int holdMask_ = 0;
    int holdFirst_ = 0;
    int holdCount_ = 0;
    double release_ = 1.0;
    std::vector<double> boxRing_;  // the released gain of the last box_ frames
    int boxAt_ = 0;
    double boxSum_ = 0;
    int boxReduced_ = 0;  // entries of boxRing_ below 1
    int64_t frame_ = 0;
    LimiterStats stats_;
};

}  // namespace svt::output
