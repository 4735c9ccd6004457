#include "synth/MixKernels.h"

#include <algorithm>

namespace svt {

namespace {

// Hard-panned voices (the halves of stereo samples) feed one side only, centred ones both
// sides with the same product: the scalar loop does only the work that side needs.
template <MixSides kSides>
void mixSides(const int32_t* s, int count, int64_t left, int64_t right, int64_t* out) {
    for (int k = 0; k < count; ++k) {
        const int64_t x = s[k];
        addFrame<kSides>(out, k, x, left, right);
    }
}

}  // namespace

void filterRunFrom(const FilterRun& r, int from) {
    VoiceFilter local = *r.filter;  // in registers for the loop
    if (r.segmentCount == 0) {
        for (int k = from; k < r.count; ++k) r.samples[k] = local.step(r.samples[k]);
    } else {
        // The segment in effect before `from`, then every one that starts at or after it.
        int i = 0;
        while (i + 1 < r.segmentCount && r.segments[i + 1].start < from) ++i;
        for (; i < r.segmentCount; ++i) {
            const FilterSegment& g = r.segments[i];
            const int begin = std::max(g.start, from);
            const int end =
                i + 1 < r.segmentCount ? std::min(r.segments[i + 1].start, r.count) : r.count;
            local.s1Gain = g.s1Gain;
            local.s1FromIn = g.s1FromIn;
            local.s2FromS1 = g.s2FromS1;
            local.s2FromIn = g.s2FromIn;
            // A segment that began before `from` has cleared the state already.
            if (g.restart && g.start >= from) local.s1 = local.s2 = 0;
            if (g.active)
                for (int k = begin; k < end; ++k) r.samples[k] = local.step(r.samples[k]);
        }
    }
    r.filter->s1 = local.s1;
    r.filter->s2 = local.s2;
}

void filterRunsScalar(const FilterRun* runs, int n) {
    for (int j = 0; j < n; ++j) filterRunFrom(runs[j], 0);
}

void mixConstantScalar(const int32_t* s, int count, int32_t left, int32_t right, int64_t* out) {
    if (right == 0)
        mixSides<kLeftOnly>(s, count, left, right, out);
    else if (left == 0)
        mixSides<kRightOnly>(s, count, left, right, out);
    else if (left == right)
        mixSides<kCentre>(s, count, left, right, out);
    else
        mixSides<kBothSides>(s, count, left, right, out);
}

MixKernels mixKernelsFor(SimdLevel level) {
    MixKernels k{filterRunsScalar, mixConstantScalar};
#if defined(__x86_64__) || defined(__i386__)
    level = usableSimdLevel(level);
    if (level >= SimdLevel::Avx2) {
        k.mixConstant = mixConstantAvx2;
        k.filterRuns = level >= SimdLevel::Avx512 ? filterRunsAvx512 : filterRunsAvx2;
    } else if (level >= SimdLevel::Sse2) {
        k.mixConstant = mixConstantSse2;
        k.filterRuns = filterRunsSse2;
    }
#else
    (void)level;
#endif
    return k;
}

}  // namespace svt
