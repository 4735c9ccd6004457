#include "player/MixKernels.h"

namespace svt {

namespace {

enum Sides { kBothSides, kLeftOnly, kRightOnly, kCentre };

// Hard-panned voices (the halves of stereo samples) feed one side only, centred ones both
// sides with the same product: the scalar loop does only the work that side needs.
template <Sides kSides>
void mixSides(const int32_t* s, int count, int64_t left, int64_t right, int64_t* out) {
    for (int k = 0; k < count; ++k) {
        const int64_t x = s[k];
        if constexpr (kSides == kLeftOnly) {
            out[2 * k] += x * left;
        } else if constexpr (kSides == kRightOnly) {
            out[2 * k + 1] += x * right;
        } else if constexpr (kSides == kCentre) {
            const int64_t both = x * left;
            out[2 * k] += both;
            out[2 * k + 1] += both;
        } else {
            out[2 * k] += x * left;
            out[2 * k + 1] += x * right;
        }
    }
}

}  // namespace

void filterRunsScalar(const FilterRun* runs, int n) {
    for (int j = 0; j < n; ++j) {
        VoiceFilter local = *runs[j].filter;  // in registers for the loop
        int32_t* s = runs[j].samples;
        for (int k = 0; k < runs[j].count; ++k) s[k] = local.step(s[k]);
        runs[j].filter->s1 = local.s1;
        runs[j].filter->s2 = local.s2;
    }
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
    if (level >= SimdLevel::Avx2 && simdLevelAvailable(SimdLevel::Avx2)) {
        k.mixConstant = mixConstantAvx2;
        if (filterRunsAvx512Available()) k.filterRuns = filterRunsAvx512;
    }
#else
    (void)level;
#endif
    return k;
}

}  // namespace svt
