// Vector forms of the mixing loops. The file builds for baseline x86-64; each function carries
// its own target attribute and runs only when the processor reports the instructions.

#include "synth/MixKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define SVT_TARGET_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq")))

namespace svt {

namespace {

// Four filters in the four 64-bit lanes of each register, with what each lane's run needs to
// change coefficients where its next segment starts. The coefficients are also kept in memory,
// where a single lane is changed at such a point.
struct FilterQuad {
    __m256i s1Gain, s1FromIn, s2FromS1, s2FromIn, s1, s2;
    __mmask8 active;
    int nextStart;                           // the earliest segment start ahead in any lane
    alignas(32) int64_t coefficients[4][4];  // [coefficient][lane]
    alignas(32) int64_t state[2][4];
    int next[4];     // per lane: start of its next segment
    int segment[4];  // per lane: index of its next segment
    const FilterRun* run[4];
};

constexpr int kNoStart = 0x7FFFFFFF;

SVT_TARGET_AVX512 inline void loadCoefficients(FilterQuad& q) {
    q.s1Gain = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[0]));
    q.s1FromIn = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[1]));
    q.s2FromS1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[2]));
    q.s2FromIn = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[3]));
}

SVT_TARGET_AVX512 inline void setLane(FilterQuad& q, int j, const FilterSegment& g) {
    q.coefficients[0][j] = g.s1Gain;
    q.coefficients[1][j] = g.s1FromIn;
    q.coefficients[2][j] = g.s2FromS1;
    q.coefficients[3][j] = g.s2FromIn;
    q.active = g.active ? __mmask8(q.active | (1u << j)) : __mmask8(q.active & ~(1u << j));
    if (g.restart) q.state[0][j] = q.state[1][j] = 0;
}

SVT_TARGET_AVX512 inline void findNext(FilterQuad& q) {
    q.nextStart = kNoStart;
    for (int j = 0; j < 4; ++j) q.nextStart = q.next[j] < q.nextStart ? q.next[j] : q.nextStart;
}

// The lanes whose next segment starts at `frame` (or before) switch to it.
SVT_TARGET_AVX512 __attribute__((noinline)) void enterSegments(FilterQuad& q, int frame) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(q.state[0]), q.s1);
    _mm256_store_si256(reinterpret_cast<__m256i*>(q.state[1]), q.s2);
    for (int j = 0; j < 4; ++j) {
        const FilterRun& r = *q.run[j];
        while (q.next[j] <= frame) {
            setLane(q, j, r.segments[q.segment[j]]);
            ++q.segment[j];
            q.next[j] = q.segment[j] < r.segmentCount ? r.segments[q.segment[j]].start : kNoStart;
        }
    }
    loadCoefficients(q);
    q.s1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.state[0]));
    q.s2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.state[1]));
    findNext(q);
}

SVT_TARGET_AVX512 void setUpQuad(FilterQuad& q, const FilterRun* runs, int n, int first) {
    static const FilterRun kSilent{};
    static const FilterSegment kSilentSegment{0, false, false, 0, 0, 0, 0};
    q.active = 0;
    for (int j = 0; j < 4; ++j) {
        const bool live = first + j < n;
        const FilterRun& r = live ? runs[first + j] : kSilent;
        q.run[j] = &r;
        q.state[0][j] = live ? r.filter->s1 : 0;
        q.state[1][j] = live ? r.filter->s2 : 0;
        if (!live) {
            setLane(q, j, kSilentSegment);
        } else if (r.segmentCount == 0) {
            const VoiceFilter& f = *r.filter;
            setLane(q, j,
                    FilterSegment{0, true, false, f.s1Gain, f.s1FromIn, f.s2FromS1, f.s2FromIn});
        } else {
            setLane(q, j, r.segments[0]);
        }
        q.segment[j] = 1;
        q.next[j] = live && r.segmentCount > 1 ? r.segments[1].start : kNoStart;
    }
    loadCoefficients(q);
    q.s1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.state[0]));
    q.s2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.state[1]));
    findNext(q);
}

SVT_TARGET_AVX512 void finishQuad(FilterQuad& q, const FilterRun* runs, int n, int first) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(q.state[0]), q.s1);
    _mm256_store_si256(reinterpret_cast<__m256i*>(q.state[1]), q.s2);
    for (int j = 0; j < 4 && first + j < n; ++j) {
        runs[first + j].filter->s1 = q.state[0][j];
        runs[first + j].filter->s2 = q.state[1][j];
    }
}

// Rows of four 32-bit values become columns.
SVT_TARGET_AVX512 inline void transpose(__m128i (&r)[4]) {
    const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]);
    const __m128i t1 = _mm_unpacklo_epi32(r[2], r[3]);
    const __m128i t2 = _mm_unpackhi_epi32(r[0], r[1]);
    const __m128i t3 = _mm_unpackhi_epi32(r[2], r[3]);
    r[0] = _mm_unpacklo_epi64(t0, t1);
    r[1] = _mm_unpackhi_epi64(t0, t1);
    r[2] = _mm_unpacklo_epi64(t2, t3);
    r[3] = _mm_unpackhi_epi64(t2, t3);
}

// One sample through four filters: VoiceFilter::step lane by lane; lanes switched off pass
// their sample and keep their state.
SVT_TARGET_AVX512 inline __m128i step(FilterQuad& q, __m128i in) {
    const __m256i x = _mm256_slli_epi64(_mm256_cvtepi32_epi64(in), 8);
    const __m256i d = _mm256_sub_epi64(x, q.s2);
    const __m256i s1 = _mm256_srai_epi64(
        _mm256_add_epi64(_mm256_mullo_epi64(q.s1Gain, q.s1), _mm256_mullo_epi64(q.s1FromIn, d)),
        24);
    const __m256i s2 = _mm256_add_epi64(
        q.s2, _mm256_srai_epi64(_mm256_add_epi64(_mm256_mullo_epi64(q.s2FromS1, q.s1),
                                                 _mm256_mullo_epi64(q.s2FromIn, d)),
                                24));
    __m256i out = _mm256_srai_epi64(_mm256_add_epi64(q.s2, s2), 9);
    out = _mm256_min_epi64(_mm256_max_epi64(out, _mm256_set1_epi64x(-(1 << 20))),
                           _mm256_set1_epi64x(1 << 20));
    q.s1 = _mm256_mask_mov_epi64(q.s1, q.active, s1);
    q.s2 = _mm256_mask_mov_epi64(q.s2, q.active, s2);
    return _mm256_mask_cvtepi64_epi32(in, q.active, out);
}

// The first `frames` samples (a multiple of four, within every run) of up to 4 * kQuads runs.
// Lanes without a run are switched off and store nothing.
template <int kQuads>
SVT_TARGET_AVX512 void filterQuads(const FilterRun* runs, int n, int frames) {
    FilterQuad q[kQuads];
    int32_t* lane[4 * kQuads];
    for (int g = 0; g < kQuads; ++g) {
        setUpQuad(q[g], runs, n, 4 * g);
        for (int j = 0; j < 4; ++j)
            lane[4 * g + j] = 4 * g + j < n ? runs[4 * g + j].samples : runs[0].samples;
    }
    // Everything below is unrolled so that the states and the sixteen samples stay in registers.
    for (int k = 0; k < frames; k += 4) {
        __m128i v[kQuads][4];
        bool changes = false;
#pragma GCC unroll 4
        for (int g = 0; g < kQuads; ++g) {
            changes = changes || q[g].nextStart < k + 4;
#pragma GCC unroll 4
            for (int j = 0; j < 4; ++j)
                v[g][j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane[4 * g + j] + k));
            transpose(v[g]);
        }
        if (!changes) {
#pragma GCC unroll 4
            for (int t = 0; t < 4; ++t)
#pragma GCC unroll 4
                for (int g = 0; g < kQuads; ++g) v[g][t] = step(q[g], v[g][t]);
        } else {
            for (int t = 0; t < 4; ++t)
                for (int g = 0; g < kQuads; ++g) {
                    if (q[g].nextStart <= k + t) enterSegments(q[g], k + t);
                    v[g][t] = step(q[g], v[g][t]);
                }
        }
#pragma GCC unroll 4
        for (int g = 0; g < kQuads; ++g) {
            transpose(v[g]);
#pragma GCC unroll 4
            for (int j = 0; j < 4; ++j)
                if (4 * g + j < n)
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(lane[4 * g + j] + k), v[g][j]);
        }
    }
    for (int g = 0; g < kQuads; ++g) finishQuad(q[g], runs, n, 4 * g);
}

}  // namespace

bool filterRunsAvx512Available() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq");
}

void filterRunsAvx512(const FilterRun* runs, int n) {
    if (n <= 1 || n > kFilterLanes) {
        // One chain gains nothing from the vector unit.
        filterRunsScalar(runs, n);
        return;
    }
    int common = runs[0].count;
    for (int j = 1; j < n; ++j) common = runs[j].count < common ? runs[j].count : common;
    common &= ~3;
    if (n <= 4)
        filterQuads<1>(runs, n, common);
    else if (n <= 8)
        filterQuads<2>(runs, n, common);
    else if (n <= 12)
        filterQuads<3>(runs, n, common);
    else
        filterQuads<4>(runs, n, common);
    // The runs' ends beyond the common length, each on its own.
    for (int j = 0; j < n; ++j) filterRunFrom(runs[j], common);
}

// Four frames at a time: each sample is spread to the two 64-bit lanes of its frame and
// multiplied by (left, right) in 32 x 32 -> 64-bit products, exactly the scalar products.
__attribute__((target("avx2"))) void mixConstantAvx2(const int32_t* s, int count, int32_t left,
                                                     int32_t right, int64_t* out) {
    const __m256i mix = _mm256_setr_epi32(left, 0, right, 0, left, 0, right, 0);
    const __m256i first = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
    const __m256i second = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m256i x =
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k)));
        __m256i* o = reinterpret_cast<__m256i*>(out + 2 * k);
        const __m256i a = _mm256_mul_epi32(_mm256_permutevar8x32_epi32(x, first), mix);
        const __m256i b = _mm256_mul_epi32(_mm256_permutevar8x32_epi32(x, second), mix);
        _mm256_storeu_si256(o, _mm256_add_epi64(_mm256_loadu_si256(o), a));
        _mm256_storeu_si256(o + 1, _mm256_add_epi64(_mm256_loadu_si256(o + 1), b));
    }
    for (; k < count; ++k) {
        out[2 * k] += int64_t(s[k]) * left;
        out[2 * k + 1] += int64_t(s[k]) * right;
    }
}

}  // namespace svt

#endif
