#include "player/VoiceBudget.h"

#include <algorithm>

#include "synth/Synthesis.h"

namespace svt {

namespace {

// Fill rates in percent of the device queue. At the healthy rate (with the reserve held) the
// machine keeps up; under the learning rate the voice counts tell what it can afford, and over
// it a count is proven affordable. A queue under the starved rate that does not fall any more has
// found the voices it can bear; under the empty rate voices go hard.
constexpr int kHealthyPercent = 75;
constexpr int kLearningPercent = 85;
constexpr int kStarvedPercent = 20;
constexpr int kEmptyPercent = 10;
// The audio that must wait before the device besides the healthy rate, unless told otherwise.
// A device queue that cannot hold five of it asks none; the healthy rate drops instead by a fifth
// of the share one block takes of the queue.
constexpr int kReserveMs = 200;
constexpr int kReservesPerQueue = 5;

}  // namespace

void VoiceBudget::learn(int add, int rate, int64_t now) {
    Learnt& s = learnt_;
    s.goodTotal += add;
    s.goodCount += 1;
    if (now >= s.nextHalving && s.goodCount > 1) {
        s.goodTotal >>= 1;
        s.goodCount >>= 1;
        s.nextHalving = now + rate;
    }
}

void VoiceBudget::afterBlock(Synthesis& synthesis, const QueueFill& fill, const BudgetMode& mode,
                             int rate, int64_t now) {
    Learnt& s = learnt_;
    const bool realTime = mode.realTime;
    const bool adaptive = mode.adaptive;
    const int64_t filled = fill.filled;
    int healthyRate = kHealthyPercent;
    int64_t reserve;
    if (mode.thresholdMs >= 0) {
        reserve = int64_t(rate) * mode.thresholdMs / 1000 + 1;
    } else {
        reserve = int64_t(rate) * kReserveMs / 1000;
        if (fill.deviceQueue / kReservesPerQueue < reserve) {
            reserve = 1;
            healthyRate =
                kHealthyPercent -
                static_cast<int>(kBlockFrames * 100 / fill.deviceQueue) / kReservesPerQueue;
        }
    }
    const int fillRate = static_cast<int>(static_cast<double>(filled + fill.softFilled) /
                                              static_cast<double>(fill.deviceQueue) * 100 +
                                          0.5);
    const int voices = synthesis.voicesInUse();
    const int limit = synthesis.voiceLimit();

    if (!realTime && adaptive && fillRate < kLearningPercent) {
        if ((fillRate == s.previousFillRate && voices > s.minimumBad) ||
            (fillRate >= s.previousFillRate && fillRate < kStarvedPercent))
            learn(voices, rate, now);
        else if (voices == limit && fillRate > s.previousFillRate && filled > s.previousFilled)
            learn(voices + 1, rate, now);
        else if (fillRate < kHealthyPercent && fillRate < s.previousFillRate &&
                 filled < s.previousFilled)
            learn(s.minimumBad, rate, now);
    }

    if ((realTime || fillRate >= healthyRate) && filled >= reserve) {
        // Healthy: what sounds now is affordable, and the voice limit comes back.
        if (!realTime && fillRate >= healthyRate && filled > s.previousFilled) {
            if (fillRate > kLearningPercent && voices > s.maximumGood) {
                s.maximumGood = voices;
                s.minimumBad = std::min(s.minimumBad, s.maximumGood);
            }
            if (adaptive) {
                s.goodTotal = int64_t(s.maximumGood) * s.goodCount;
                if (s.goodCount > 1) {
                    s.goodTotal >>= 1;
                    s.goodCount >>= 1;
                }
                synthesis.setVoiceLimit(remembered_);
            }
        }
        s.previousFilled = reserve;
    } else if (filled > s.previousFilled) {
        s.previousFilled = filled;  // recovering by itself
    } else {
        // Draining: released voices go, the quietest first.
        if (!realTime && fillRate > kStarvedPercent && voices < s.minimumBad) {
            s.minimumBad = voices;
            s.maximumGood = std::max(s.maximumGood, s.minimumBad);
        }
        const int reducible = synthesis.reducibleVoices();
        int cut;
        if (filled < reserve && (realTime || fillRate < kEmptyPercent)) {
            if (voices > reducible) {
                const int k =
                    static_cast<int>(voices - voices / (voices / (voices - reducible) + 1.0));
                cut = reducible < k && k < voices ? k : reducible;
            } else {
                cut = voices - 1;
            }
        } else {
            cut = std::min(reducible, voices - s.minimumBad);
        }
        const int done = cut > 0 ? synthesis.cutQuietestReleased(cut) : 0;
        if (adaptive) {
            const int64_t average = s.goodTotal / std::max(1, s.goodCount);
            const int left = voices - done;
            if (left < limit && average < left)
                synthesis.setVoiceLimit(left);
            else if (average < limit && left <= average)
                synthesis.setVoiceLimit(static_cast<int>(average));
            else if (limit < average)
                synthesis.setVoiceLimit(static_cast<int>(std::min<int64_t>(average, kMaxVoices)));
        }
        s.previousFilled = filled;
    }
    s.previousFillRate = fillRate;
}

}  // namespace svt
