#pragma once
// The inner loops of voice mixing: the voice filter over whole runs of samples, several voices
// side by side, and the constant-mix accumulation into the 64-bit stereo block. Every form is
// pure integer arithmetic in the order of VoiceFilter::step and of the scalar loops, so the
// vector forms give the scalar results bit for bit; which one runs is chosen at run time.

#include <cstdint>

#include "player/Interpolation.h"
#include "player/Voice.h"

namespace svt {

// One voice's filter over `count` samples, in place: samples[k] becomes the filter's output for
// it, and the filter's state moves on by `count` samples.
struct FilterRun {
    VoiceFilter* filter = nullptr;
    int32_t* samples = nullptr;
    int count = 0;
};

// Runs taken at once. A single voice's filter is one chain of dependent products; several
// voices' chains interleaved keep the multipliers busy.
inline constexpr int kFilterLanes = 8;

// Runs `n` (at most kFilterLanes) filters, each over its own run.
using FilterRunsFn = void (*)(const FilterRun* runs, int n);
// out[2k] += s[k] * left and out[2k + 1] += s[k] * right for k < count (mixes 0..kMaxMix).
using MixConstantFn = void (*)(const int32_t* s, int count, int32_t left, int32_t right, int64_t* out);

struct MixKernels {
    FilterRunsFn filterRuns;
    MixConstantFn mixConstant;
};

// The kernels for `level` or the best available below it. The filter's vector form needs the
// 64-bit multiplies and shifts of AVX-512 (in 256-bit registers) and is taken whenever the
// processor has them and `level` allows AVX2.
MixKernels mixKernelsFor(SimdLevel level);

void filterRunsScalar(const FilterRun* runs, int n);
void mixConstantScalar(const int32_t* s, int count, int32_t left, int32_t right, int64_t* out);
#if defined(__x86_64__) || defined(__i386__)
bool filterRunsAvx512Available();
void filterRunsAvx512(const FilterRun* runs, int n);
void mixConstantAvx2(const int32_t* s, int count, int32_t left, int32_t right, int64_t* out);
#endif

}  // namespace svt
