#pragma once
// The interpolation kernels behind the resampler and the read-only tables they use.
// The tables are built once per process (thread-safe) and shared by every engine.
//
// Every kernel reads 16-bit mono data with a position of 12 fraction bits. The callers
// (Resampler.cpp) guarantee that every tap a kernel reads lies inside the data plus its
// three zero samples of padding; the kernels themselves do no boundary tests.

#include <cstdint>
#include <optional>

#include "base/SimdLevel.h"

namespace svt {

inline constexpr int kFractionSteps = 4096;  // 12 fraction bits
inline constexpr int kFractionMask = kFractionSteps - 1;

// The sine-window Lagrange kernel: 26 taps, 12 before the integer index and 13 after it.
inline constexpr int kLagrangeTaps = 26;
inline constexpr int kLagrangeTapsBefore = 12;
inline constexpr int kLagrangeTapsAfter = kLagrangeTaps - kLagrangeTapsBefore - 1;

// Near either end of the data the kernel gives way to a Newton polynomial of lower degree.
inline constexpr int kNewtonMaxDegree = kLagrangeTaps - 2;

// A table row holds the 26 coefficients of one fraction in 32 floats so that it is read as
// four groups of eight: taps 0..23 in lanes 0..23, zeros in 24..29, taps 24 and 25 in 30
// and 31. The last group then lines up with samples i+6..i+13 and never reads past i+13.
inline constexpr int kLagrangeRowFloats = 32;

struct alignas(64) LagrangeRow {
    float c[kLagrangeRowFloats];
};

inline constexpr int kLfoSineSteps = 1024;  // one cycle of the LFO sine

struct InterpolationTables {
    LagrangeRow lagrange[kFractionSteps];
    // newton[j][k] = (-1)^(j-k) * C(j, k) / j!, the forward-difference coefficients.
    double newton[kNewtonMaxDegree + 1][kNewtonMaxDegree + 1];
    // Quarter wave of the LFO sine: quarter[j] = sin(2 pi j / 1024), j = 0..256.
    double quarterSine[kLfoSineSteps / 4 + 1];
};

// Built on first use; later calls return the same tables.
const InterpolationTables& interpolationTables();

// The LFO sine for a 10-bit phase (1024 steps per cycle), in -1..1. Tremolo and vibrato share it.
inline double lfoSine(const InterpolationTables& t, int phase) {
    int j = phase & 0xFF;
    switch ((phase >> 8) & 3) {
        case 0:
            return t.quarterSine[j];
        case 1:
            return t.quarterSine[256 - j];
        case 2:
            return -t.quarterSine[j];
        default:
            return -t.quarterSine[256 - j];
    }
}

// Coefficient c_k of the Lagrange kernel for fraction x in [0, 1), computed directly in
// double precision (the table holds these values rounded to float).
double lagrangeCoefficient(double x, int k);

// The Lagrange kernel's vector forms multiply and add in the order of the scalar one and never
// fuse a multiply with an add, so that all of them give bit-identical results.
bool simdLevelAvailable(SimdLevel level);
// The widest level this processor offers.
SimdLevel bestSimdLevel();
// `asked` when the processor offers it, else the widest level below it that it does.
SimdLevel usableSimdLevel(SimdLevel asked);
// The level named by the environment variable "SORVANTO_SIMD"; nullopt when it is unset or
// names no level.
std::optional<SimdLevel> simdLevelFromEnvironment();
// The level an engine runs: `asked`, else the environment's, else the best; limited to what
// the processor offers.
SimdLevel chosenSimdLevel(std::optional<SimdLevel> asked = std::nullopt);

// Interpolates `count` frames at positions position + k * increment (k = 0..count-1) with
// the full 26-tap kernel. Every position must have 12 <= (pos >> 12) and (pos >> 12) + 13
// inside the data. The increment may be negative.
using LagrangeRunFn = void (*)(const int16_t* pcm, int64_t position, int32_t increment, int count,
                               int32_t* out, const LagrangeRow* table);

// The kernel for `level`, or the best available one below it.
LagrangeRunFn lagrangeRunFor(SimdLevel level);

void lagrangeRunScalar(const int16_t* pcm, int64_t position, int32_t increment, int count,
                       int32_t* out, const LagrangeRow* table);
#if defined(__x86_64__) || defined(__i386__)
void lagrangeRunSse2(const int16_t* pcm, int64_t position, int32_t increment, int count,
                     int32_t* out, const LagrangeRow* table);
void lagrangeRunAvx2(const int16_t* pcm, int64_t position, int32_t increment, int count,
                     int32_t* out, const LagrangeRow* table);
#endif

// Linear interpolation of `count` frames at positions position + k * increment:
// s[i] + ((s[i+1] - s[i]) * f) >> 12 in 32-bit integers, so every form gives the same values.
// Every position's i and i + 1 must lie inside the data or its padding.
using LinearRunFn = void (*)(const int16_t* pcm, int64_t position, int32_t increment, int count,
                             int32_t* out);
LinearRunFn linearRunFor(SimdLevel level);
void linearRunScalar(const int16_t* pcm, int64_t position, int32_t increment, int count,
                     int32_t* out);
#if defined(__x86_64__) || defined(__i386__)
void linearRunAvx2(const int16_t* pcm, int64_t position, int32_t increment, int count,
                   int32_t* out);
#endif

// One frame of the full kernel in portable code; the vector kernels use it for their tails.
int32_t lagrangeFrame(const int16_t* pcm, int64_t position, const LagrangeRow* table);

// One frame near the ends of the data: the Newton forward-difference polynomial of degree
// n = min(2 (e - i) - 3, 2 i + 1), at least 1, with e = dataSamples. Falls back to the full
// kernel when n reaches 25. Reads at most samples 0..e+1.
int32_t newtonFrame(const int16_t* pcm, int64_t dataSamples, int64_t position,
                    const InterpolationTables& t);
// The same in two steps, so that the part that depends only on the whole sample index can be
// kept: the polynomial's scaled differences at `index` (differences[1..n]; differences[0] is
// its first sample), returning the degree n, or 0 where the full kernel applies; then its
// value at `position`, whose index is that one and whose fraction is not 0.
int newtonDifferences(const int16_t* pcm, int64_t dataSamples, int64_t index,
                      const InterpolationTables& t, double* differences);
int32_t newtonFromDifferences(const double* differences, int degree, int64_t position);

}  // namespace svt
