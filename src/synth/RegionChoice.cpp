#include "synth/RegionChoice.h"

#include <cstdlib>

namespace svt {

int chooseRegions(const Instrument& inst, int32_t f, int velocity,
                  std::span<const SampleRegion*, kMaxVoices> chosen) {
    // Regions that serve the key and velocity. A right half of a stereo pair also comes with
    // its left when its own ranges leave it out; fonts whose pairs are not linked by sample
    // number still sound both halves, because each half serves the note on its own.
    int count = 0;
    for (const SampleRegion& r : inst.regions) {
        if (f < r.lowKeyFreq || f > r.highKeyFreq || velocity < r.lowVelocity ||
            velocity > r.highVelocity)
            continue;
        if (count < kMaxVoices) chosen[size_t(count++)] = &r;
    }
    if (count == 0) {
        const SampleRegion* nearest = nullptr;
        for (int pass = 0; pass < 2 && nearest == nullptr; ++pass)
            for (const SampleRegion& r : inst.regions) {
                if ((r.sfSampleType == kSampleRight) != (pass == 1)) continue;
                if (!nearest ||
                    std::abs(int64_t(r.rootFreq) - f) < std::abs(int64_t(nearest->rootFreq) - f))
                    nearest = &r;
            }
        if (nearest) chosen[size_t(count++)] = nearest;
    }
    const int firstPass = count;
    for (int i = 0; i < firstPass; ++i) {
        const SampleRegion& left = *chosen[size_t(i)];
        if (left.sfSampleType != kSampleLeft) continue;
        bool linkedChosen = false;
        for (int j = 0; j < count && !linkedChosen; ++j)
            linkedChosen = chosen[size_t(j)]->sfSampleType == kSampleRight &&
                           chosen[size_t(j)]->sfSampleIndex == left.sfLinkedSample;
        if (linkedChosen) continue;
        const SampleRegion* partner = nullptr;
        for (const SampleRegion& r : inst.regions) {
            if (r.sfSampleType != kSampleRight || r.sfSampleIndex != left.sfLinkedSample) continue;
            const bool serves = f >= r.lowKeyFreq && f <= r.highKeyFreq &&
                                velocity >= r.lowVelocity && velocity <= r.highVelocity;
            if (!partner || serves) partner = &r;
            if (serves) break;
        }
        if (partner && count < kMaxVoices) chosen[size_t(count++)] = partner;
    }

    return count;
}

}  // namespace svt
