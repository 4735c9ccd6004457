#pragma once
// Audio sinks for tests of the player: a file, not a device. Every block is taken at once and
// nothing is ever queued; tests keep what they need of the samples.

#include <cstdint>
#include <string>
#include <vector>

#include "player/PlayerCommands.h"

namespace svt::test {

class OfflineSink : public AudioSink {
  public:
    explicit OfflineSink(int rateHz = 44100) : rate_(rateHz) {}
    int rate() const override { return rate_; }
    bool realTime() const override { return false; }
    int control(int, const std::string&) override { return 0; }
    FlushResult flush(bool) override { return FlushResult::Done; }
    FlushResult softFlush() override { return FlushResult::Done; }
    int64_t playedFrames() override { return -1; }
    int64_t filledFrames() override { return 0; }
    int64_t softFilledFrames() override { return 0; }
    int64_t deviceQueueFrames() override { return 0; }

  private:
    int rate_;
};

// Keeps every frame, left and right interleaved.
class StereoRecorder final : public OfflineSink {
  public:
    using OfflineSink::OfflineSink;
    std::vector<int32_t> samples;
    int add(StereoView<const int32_t> block) override {
        samples.insert(samples.end(), block.span().begin(), block.span().end());
        return 0;
    }
};

}  // namespace svt::test
