#pragma once
// The inner loops of voice mixing: the voice filter over whole runs of samples, several voices
// side by side, and the constant-mix accumulation into the 64-bit stereo block. Every form is
// pure integer arithmetic in the order of VoiceFilter::step and of the scalar loops, so the
// vector forms give the scalar results bit for bit; which one runs is chosen at run time.

#include <cstdint>

#include "synth/Interpolation.h"
#include "synth/Voice.h"

namespace svt {

// From frame `start` of a run on, the filter runs with these coefficients, or not at all (the
// samples pass unchanged and the state stands still). `restart` clears the state at that frame
// first: a filter switched back on starts afresh.
struct FilterSegment {
    int start = 0;
    bool active = true;
    bool restart = false;
    int64_t s1Gain = 0;
    int64_t s1FromIn = 0;
    int64_t s2FromS1 = 0;
    int64_t s2FromIn = 0;
};

// One voice's filter over `count` samples, in place: samples[k] becomes the filter's output for
// it, and the filter's state moves on by `count` samples. Without segments the filter's own
// coefficients hold for the whole run; with them, segments[0].start is 0 and the starts rise.
struct FilterRun {
    VoiceFilter* filter = nullptr;
    int32_t* samples = nullptr;
    int count = 0;
    const FilterSegment* segments = nullptr;
    int segmentCount = 0;
};

// Which sides a voice feeds: hard-panned voices (the halves of stereo samples) one only,
// centred ones both with the same product.
enum MixSides { kBothSides, kLeftOnly, kRightOnly, kCentre };

// Adds sample x of frame k into the stereo block at the voice's mix, doing only the work its
// sides need.
template <MixSides kSides>
inline void addFrame(int64_t* out, int k, int64_t x, int64_t left, int64_t right) {
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

// Frames offset..offset+count-1 of a stretch mixed from one start: the mix values ramp from
// (left, right) towards the targets by the steps, then stay.
struct MixChunk {
    int offset = 0;
    int count = 0;
    int32_t left = 0;
    int32_t right = 0;
    int32_t leftTarget = 0;
    int32_t rightTarget = 0;
    int32_t leftStep = 0;
    int32_t rightStep = 0;
};

// Runs taken at once. A single voice's filter is one chain of dependent products; several
// voices' chains interleaved keep the multipliers busy.
inline constexpr int kFilterLanes = 16;

// Runs `n` (at most kFilterLanes) filters, each over its own run.
using FilterRunsFn = void (*)(const FilterRun* runs, int n);
// out[2k] += s[k] * left and out[2k + 1] += s[k] * right for k < count (mixes 0..kMaxMix).
using MixConstantFn = void (*)(const int32_t* s, int count, int32_t left, int32_t right,
                               int64_t* out);

struct MixKernels {
    FilterRunsFn filterRuns;
    MixConstantFn mixConstant;
};

// The kernels for `level` or the best available below it: the filter's AVX-512 form at
// SimdLevel::Avx512, its AVX2 form at Avx2, its SSE2 form at Sse2.
MixKernels mixKernelsFor(SimdLevel level);

void filterRunsScalar(const FilterRun* runs, int n);
// One run's frames from `from` on, the filter's state being the one reached at `from` (the
// vector forms finish their runs with it).
void filterRunFrom(const FilterRun& run, int from);
void mixConstantScalar(const int32_t* s, int count, int32_t left, int32_t right, int64_t* out);
#if defined(__x86_64__) || defined(__i386__)
// Both vector forms hold four filters per register; the AVX2 one, without 64-bit multiplies,
// builds each product from 32-bit halves and so needs coefficients within 32 bits (it hands
// runs with larger ones to the scalar form).
void filterRunsAvx512(const FilterRun* runs, int n);
void filterRunsAvx2(const FilterRun* runs, int n);
void mixConstantAvx2(const int32_t* s, int count, int32_t left, int32_t right, int64_t* out);
// Two filters per register, with only unsigned 32 x 32-bit multiplies; like the AVX2 form it
// hands runs with coefficients beyond 32 bits to the scalar form.
void filterRunsSse2(const FilterRun* runs, int n);
void mixConstantSse2(const int32_t* s, int count, int32_t left, int32_t right, int64_t* out);
#endif

}  // namespace svt
