#include "output/PeakLimiter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/Constants.h"

namespace svt::output {

namespace {

constexpr double kOneDbDown = 0.8912509381337456;  // 10^(-1/20)

}  // namespace

double LimiterStats::meanReductionDb() const {
    return limitedFrames > 0 ? -20.0 * std::log10(gainSum / double(limitedFrames)) : 0.0;
}

double LimiterStats::deepestDb() const {
    return -20.0 * std::log10(lowestGain);
}

void PeakLimiter::prepare(int rateHz) {
    rateHz_ = std::max(rateHz, 1000);
    box_ = std::max(2, static_cast<int>(std::lround(rateHz_ * kLookAheadSeconds)));
    delay_ = box_ - 1;
    boxShare_ = 1.0 / box_;
    hold_ = std::max(box_, static_cast<int>(std::lround(rateHz_ * kHoldSeconds)));
    ceiling_ = kFullScale * std::pow(10.0, kCeilingDb / 20.0);
    releaseKeep_ = std::exp(-1.0 / (kReleaseSeconds * rateHz_));
    delayLine_.assign(size_t(2 * delay_), 0);
    spare_.assign(size_t(2 * delay_), 0);
    // A power of two above the window, so that the ring wraps with a mask.
    holdMask_ = 1;
    while (holdMask_ < hold_ + 1) holdMask_ <<= 1;
    holdRing_.assign(size_t(holdMask_), Need{});
    --holdMask_;
    boxRing_.assign(size_t(box_), 1.0);
    reset();
}

void PeakLimiter::reset() {
    std::fill(delayLine_.begin(), delayLine_.end(), 0);
    std::fill(boxRing_.begin(), boxRing_.end(), 1.0);
    delayAt_ = 0;
    skip_ = delay_;
    holdFirst_ = holdCount_ = 0;
    release_ = 1.0;
    boxAt_ = 0;
    boxSum_ = box_;
    boxReduced_ = 0;
}

double PeakLimiter::gainFor(int32_t left, int32_t right) {
    const double level = double(std::max(std::abs(int64_t{left}), std::abs(int64_t{right})));
    while (holdCount_ > 0 && holdRing_[size_t(holdFirst_)].frame <= frame_ - hold_) {
        holdFirst_ = (holdFirst_ + 1) & holdMask_;
        --holdCount_;
    }
    if (level > ceiling_) {
        const double need = ceiling_ / level;
        // A newer, lower need makes every older, higher one irrelevant.
        while (holdCount_ > 0 &&
               holdRing_[size_t((holdFirst_ + holdCount_ - 1) & holdMask_)].gain >= need)
            --holdCount_;
        holdRing_[size_t((holdFirst_ + holdCount_) & holdMask_)] = Need{frame_, need};
        ++holdCount_;
    }
    ++frame_;
    const double held = holdCount_ > 0 ? holdRing_[size_t(holdFirst_)].gain : 1.0;
    if (held <= release_) {
        release_ = held;
    } else {
        release_ = held - (held - release_) * releaseKeep_;
        // Close enough to 1 to be 1 (a millionth): from here the samples pass unchanged.
        if (held == 1.0 && release_ > 1.0 - 1e-6) release_ = 1.0;
    }
    // The average over the look-ahead turns each drop of the gain into a ramp that ends at the
    // frame that needed it.
    double& oldest = boxRing_[size_t(boxAt_)];
    boxReduced_ += (release_ < 1.0) - (oldest < 1.0);
    boxSum_ += release_ - oldest;
    oldest = release_;
    boxAt_ = boxAt_ + 1 == box_ ? 0 : boxAt_ + 1;
    if (boxReduced_ == 0) {
        boxSum_ = box_;  // no rounding of the sum survives a stretch at 1
        return 1.0;
    }
    return boxSum_ * boxShare_;
}

void PeakLimiter::delayOnly(int32_t* samples, int frames) {
    frame_ += frames;
    if (frames < delay_) {
        for (int i = 0; i < frames; ++i) {
            int32_t* held = &delayLine_[size_t(2 * delayAt_)];
            std::swap(held[0], samples[2 * i]);
            std::swap(held[1], samples[2 * i + 1]);
            delayAt_ = delayAt_ + 1 == delay_ ? 0 : delayAt_ + 1;
        }
        return;
    }
    // The block's last frames become the delay line; the rest moves up behind what it held.
    const size_t held = size_t(2 * delay_), first = size_t(2 * (delay_ - delayAt_));
    std::memcpy(spare_.data(), samples + 2 * (frames - delay_), sizeof(int32_t) * held);
    std::memmove(samples + held, samples, sizeof(int32_t) * 2 * size_t(frames - delay_));
    std::memcpy(samples, delayLine_.data() + 2 * delayAt_, sizeof(int32_t) * first);
    std::memcpy(samples + first, delayLine_.data(), sizeof(int32_t) * (held - first));
    delayLine_.swap(spare_);
    delayAt_ = 0;
}

int PeakLimiter::process(int32_t* samples, int frames) {
    if (!enabled_ || frames <= 0) return std::max(frames, 0);
    int32_t high = 0, low = 0;
    for (int i = 0; i < 2 * frames; ++i) {
        high = std::max(high, samples[i]);
        low = std::min(low, samples[i]);
    }
    const int64_t top = std::max<int64_t>(high, -int64_t{low});
    stats_.inputPeak = std::max(stats_.inputPeak, double(top) / kFullScale);
    stats_.frames += frames;
    if (idle() && double(top) <= ceiling_) {
        delayOnly(samples, frames);
    } else {
        for (int i = 0; i < frames; ++i) {
            int32_t* frame = samples + 2 * i;
            const double gain = gainFor(frame[0], frame[1]);
            int32_t* held = &delayLine_[size_t(2 * delayAt_)];
            std::swap(held[0], frame[0]);
            std::swap(held[1], frame[1]);
            delayAt_ = delayAt_ + 1 == delay_ ? 0 : delayAt_ + 1;
            if (gain < 1.0) {
                frame[0] = static_cast<int32_t>(std::lrint(frame[0] * gain));
                frame[1] = static_cast<int32_t>(std::lrint(frame[1] * gain));
                ++stats_.limitedFrames;
                stats_.deepFrames += gain < kOneDbDown;
                stats_.gainSum += gain;
                stats_.lowestGain = std::min(stats_.lowestGain, gain);
            }
        }
    }
    const int dropped = std::min(skip_, frames);
    if (dropped > 0) {
        std::memmove(samples, samples + 2 * dropped,
                     sizeof(int32_t) * 2 * size_t(frames - dropped));
        skip_ -= dropped;
    }
    return frames - dropped;
}

int PeakLimiter::drain(int32_t* out, int capacity) {
    if (!enabled_) return 0;
    const int frames = std::min(delay_, capacity);
    std::fill_n(out, 2 * frames, 0);
    const int64_t counted = stats_.frames;
    const int produced = process(out, frames);
    stats_.frames = counted + produced;  // the silence fed in is no part of the stream
    reset();
    return produced;
}

}  // namespace svt::output
