#pragma once
// Which frame the listener hears now, when the device cannot say: every bucket handed to the
// device starts playing when the one before it has ended, so the clock counts the frames
// handed over and lets the time since then play them off.

#include <cstdint>
#include <optional>

namespace svt::output {

// The clock positions are estimated with; tests substitute their own.
class TickClock {
  public:
    virtual ~TickClock() = default;
    virtual double nowSeconds() = 0;
    virtual void sleepSeconds(double seconds) = 0;
};

class SteadyClock final : public TickClock {
  public:
    double nowSeconds() override;
    void sleepSeconds(double seconds) override;
};

class PlayClock {
  public:
    explicit PlayClock(TickClock& clock) : clock_(clock) {}

    void setRate(int rateHz) { rateHz_ = rateHz; }
    // Nothing handed to the device yet.
    void reset();
    // `frames` frames go to the device now. When it has played everything it had, it starts
    // on them at once, so the clock restarts here.
    void handedOver(int64_t frames);
    // A drain has waited until the device played everything handed to it.
    void markAllPlayed() { allPlayed_ = true; }
    bool allPlayed() const { return allPlayed_; }

    // Frames heard: what the device reports when it can (`reported`), else the estimate.
    int64_t heard(std::optional<int64_t> reported);
    // Frames handed over and not yet heard: the device's report, else the estimate.
    int64_t queued(std::optional<int64_t> reported);

  private:
    int64_t elapsedFrames();

    TickClock& clock_;
    int rateHz_ = 0;
    int64_t playedFrames_ = 0;   // heard up to the bucket now playing
    int64_t playingFrames_ = 0;  // handed over since then, playing from lastCheck_ on
    double lastCheck_ = 0;
    int64_t handedFrames_ = 0;  // handed over since the last reset
    bool allPlayed_ = false;
};

}  // namespace svt::output
