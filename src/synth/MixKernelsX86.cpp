// Vector forms of the mixing loops. The file builds for baseline x86-64; each function carries
// its own target attribute and runs only when the processor reports the instructions.

#include "synth/MixKernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <limits>

#define SVT_TARGET_AVX512 __attribute__((target("avx2,avx512f,avx512vl,avx512dq")))
#define SVT_TARGET_AVX2 __attribute__((target("avx2")))

namespace svt {

namespace {

constexpr int kNoStart = 0x7FFFFFFF;

// Four filters side by side, as their runs see them: each lane's coefficients and state, whether
// it filters, and where its next segment starts. The vector forms keep the coefficients and
// states in registers and come here only where a lane's segment changes.
struct QuadLanes {
    alignas(32) int64_t coefficients[4][4];  // [coefficient][lane]
    alignas(32) int64_t state[2][4];
    unsigned active = 0;       // bit j: lane j filters
    int nextStart = kNoStart;  // the earliest segment start ahead in any lane
    int next[4];               // per lane: start of its next segment
    int segment[4];            // per lane: index of its next segment
    const FilterRun* run[4];
};

void setLane(QuadLanes& q, int j, const FilterSegment& g) {
    q.coefficients[0][j] = g.s1Gain;
    q.coefficients[1][j] = g.s1FromIn;
    q.coefficients[2][j] = g.s2FromS1;
    q.coefficients[3][j] = g.s2FromIn;
    q.active = g.active ? q.active | (1u << j) : q.active & ~(1u << j);
    if (g.restart) q.state[0][j] = q.state[1][j] = 0;
}

void findNext(QuadLanes& q) {
    q.nextStart = kNoStart;
    for (int j = 0; j < 4; ++j) q.nextStart = q.next[j] < q.nextStart ? q.next[j] : q.nextStart;
}

// The lanes whose next segment starts at `frame` (or before) switch to it.
__attribute__((noinline)) void enterSegments(QuadLanes& q, int frame) {
    for (int j = 0; j < 4; ++j) {
        const FilterRun& r = *q.run[j];
        while (q.next[j] <= frame) {
            setLane(q, j, r.segments[q.segment[j]]);
            ++q.segment[j];
            q.next[j] = q.segment[j] < r.segmentCount ? r.segments[q.segment[j]].start : kNoStart;
        }
    }
    findNext(q);
}

// Lanes first..first+3 take runs[first..]; lanes beyond the n runs are switched off.
void setUpLanes(QuadLanes& q, const FilterRun* runs, int n, int first) {
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
    findNext(q);
}

void finishLanes(const QuadLanes& q, const FilterRun* runs, int n, int first) {
    for (int j = 0; j < 4 && first + j < n; ++j) {
        runs[first + j].filter->s1 = q.state[0][j];
        runs[first + j].filter->s2 = q.state[1][j];
    }
}

// The frames every run has, in whole groups of four.
int commonFrames(const FilterRun* runs, int n) {
    int common = runs[0].count;
    for (int j = 1; j < n; ++j) common = runs[j].count < common ? runs[j].count : common;
    return common & ~3;
}

// Rows of four 32-bit values become columns.
inline void transpose(__m128i (&r)[4]) {
    const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]);
    const __m128i t1 = _mm_unpacklo_epi32(r[2], r[3]);
    const __m128i t2 = _mm_unpackhi_epi32(r[0], r[1]);
    const __m128i t3 = _mm_unpackhi_epi32(r[2], r[3]);
    r[0] = _mm_unpacklo_epi64(t0, t1);
    r[1] = _mm_unpackhi_epi64(t0, t1);
    r[2] = _mm_unpacklo_epi64(t2, t3);
    r[3] = _mm_unpackhi_epi64(t2, t3);
}

// ---- AVX-512: the 64-bit multiplies, shifts and limits exist as instructions.

struct Avx512Quad {
    __m256i s1Gain, s1FromIn, s2FromS1, s2FromIn, s1, s2;
    __mmask8 active;
};

SVT_TARGET_AVX512 inline void load(Avx512Quad& r, const QuadLanes& q) {
    r.s1Gain = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[0]));
    r.s1FromIn = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[1]));
    r.s2FromS1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[2]));
    r.s2FromIn = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[3]));
    r.s1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.state[0]));
    r.s2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.state[1]));
    r.active = __mmask8(q.active);
}

SVT_TARGET_AVX512 inline void storeState(const Avx512Quad& r, QuadLanes& q) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(q.state[0]), r.s1);
    _mm256_store_si256(reinterpret_cast<__m256i*>(q.state[1]), r.s2);
}

// One sample through four filters: VoiceFilter::step lane by lane; lanes switched off pass
// their sample and keep their state.
SVT_TARGET_AVX512 inline __m128i step(Avx512Quad& q, __m128i in) {
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
SVT_TARGET_AVX512 void filterQuadsAvx512(const FilterRun* runs, int n, int frames) {
    QuadLanes lanes[kQuads];
    Avx512Quad q[kQuads];
    int32_t* lane[4 * kQuads];
    for (int g = 0; g < kQuads; ++g) {
        setUpLanes(lanes[g], runs, n, 4 * g);
        load(q[g], lanes[g]);
        for (int j = 0; j < 4; ++j)
            lane[4 * g + j] = 4 * g + j < n ? runs[4 * g + j].samples : runs[0].samples;
    }
    // Everything below is unrolled so that the states and the sixteen samples stay in registers.
    for (int k = 0; k < frames; k += 4) {
        __m128i v[kQuads][4];
        bool changes = false;
#pragma GCC unroll 4
        for (int g = 0; g < kQuads; ++g) {
            changes = changes || lanes[g].nextStart < k + 4;
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
                    if (lanes[g].nextStart <= k + t) {
                        storeState(q[g], lanes[g]);
                        enterSegments(lanes[g], k + t);
                        load(q[g], lanes[g]);
                    }
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
    for (int g = 0; g < kQuads; ++g) {
        storeState(q[g], lanes[g]);
        finishLanes(lanes[g], runs, n, 4 * g);
    }
}

// ---- AVX2: each 64-bit product is made of 32 x 32-bit ones. With a coefficient c within 32
// bits and a value v = h * 2^32 + l (l taken as signed), c * v = c * l + (c * h mod 2^32) * 2^32
// modulo 2^64. The values are nearly always within 32 bits (h = 0), and the products of their
// high halves are only made when one is not.

struct Avx2Quad {
    __m256i s1Gain, s1FromIn, s2FromS1, s2FromIn, s1, s2;
    __m256i active;    // all ones in the 64-bit lanes that filter
    __m128i active32;  // the same for their 32-bit samples
    bool masked;       // a lane with a run does not filter
};

SVT_TARGET_AVX2 inline void load(Avx2Quad& r, const QuadLanes& q, int live) {
    r.s1Gain = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[0]));
    r.s1FromIn = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[1]));
    r.s2FromS1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[2]));
    r.s2FromIn = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.coefficients[3]));
    r.s1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.state[0]));
    r.s2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(q.state[1]));
    // Lanes without a run filter silence with zero coefficients; what they give is not stored.
    const unsigned liveBits = live >= 4 ? 0xFu : (1u << live) - 1;
    const int filtering = int(q.active | ~liveBits);
    const __m128i bits = _mm_setr_epi32(1, 2, 4, 8);
    r.active32 = _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(filtering), bits), bits);
    r.active = _mm256_cvtepi32_epi64(r.active32);
    r.masked = (filtering & 0xF) != 0xF;
}

SVT_TARGET_AVX2 inline void storeState(const Avx2Quad& r, QuadLanes& q) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(q.state[0]), r.s1);
    _mm256_store_si256(reinterpret_cast<__m256i*>(q.state[1]), r.s2);
}

// The high half that goes with the low half taken as signed: (v + 2^31) >> 32, zero exactly
// when v lies within 32 bits.
SVT_TARGET_AVX2 inline __m256i highHalf(__m256i v) {
    return _mm256_srli_epi64(_mm256_add_epi64(v, _mm256_set1_epi64x(int64_t(1) << 31)), 32);
}

// The products of the high halves: c1 * aHigh + c2 * bHigh, moved up by 32 bits.
SVT_TARGET_AVX2 inline __m256i highProducts(__m256i c1, __m256i aHigh, __m256i c2, __m256i bHigh) {
    return _mm256_slli_epi64(
        _mm256_add_epi64(_mm256_mul_epu32(c1, aHigh), _mm256_mul_epu32(c2, bHigh)), 32);
}

// v >> 24 with the sign: the logical shift of v + 2^63, less 2^63 >> 24.
SVT_TARGET_AVX2 inline __m256i shiftDown24(__m256i v) {
    const __m256i sign = _mm256_set1_epi64x(std::numeric_limits<int64_t>::min());
    return _mm256_sub_epi64(_mm256_srli_epi64(_mm256_xor_si256(v, sign), 24),
                            _mm256_set1_epi64x(int64_t(1) << 39));
}

// VoiceFilter::step lane by lane, as the AVX-512 form does it; without `kMasked` every lane
// filters. The output's limit of +-2^20 after the shift by 9 is taken before it (at -2^29 and
// 2^29 + 511), which leaves a value within 32 bits, so the shift is one of 32-bit lanes.
template <bool kMasked>
SVT_TARGET_AVX2 inline __m128i step(Avx2Quad& q, __m128i in) {
    const __m256i x = _mm256_slli_epi64(_mm256_cvtepi32_epi64(in), 8);
    const __m256i d = _mm256_sub_epi64(x, q.s2);
    __m256i row1 =
        _mm256_add_epi64(_mm256_mul_epi32(q.s1Gain, q.s1), _mm256_mul_epi32(q.s1FromIn, d));
    __m256i row2 =
        _mm256_add_epi64(_mm256_mul_epi32(q.s2FromS1, q.s1), _mm256_mul_epi32(q.s2FromIn, d));
    const __m256i s1High = highHalf(q.s1), dHigh = highHalf(d);
    const __m256i highs = _mm256_or_si256(s1High, dHigh);
    if (!_mm256_testz_si256(highs, highs)) {
        row1 = _mm256_add_epi64(row1, highProducts(q.s1Gain, s1High, q.s1FromIn, dHigh));
        row2 = _mm256_add_epi64(row2, highProducts(q.s2FromS1, s1High, q.s2FromIn, dHigh));
    }
    const __m256i s1 = shiftDown24(row1);
    const __m256i s2 = _mm256_add_epi64(q.s2, shiftDown24(row2));
    __m256i sum = _mm256_add_epi64(q.s2, s2);
    const __m256i low = _mm256_set1_epi64x(-(int64_t(1) << 29));
    const __m256i high = _mm256_set1_epi64x((int64_t(1) << 29) + 511);
    sum = _mm256_blendv_epi8(sum, low, _mm256_cmpgt_epi64(low, sum));
    sum = _mm256_blendv_epi8(sum, high, _mm256_cmpgt_epi64(sum, high));
    const __m128i out = _mm_srai_epi32(_mm256_castsi256_si128(_mm256_permutevar8x32_epi32(
                                           sum, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6))),
                                       9);
    if constexpr (!kMasked) {
        q.s1 = s1;
        q.s2 = s2;
        return out;
    }
    q.s1 = _mm256_blendv_epi8(q.s1, s1, q.active);
    q.s2 = _mm256_blendv_epi8(q.s2, s2, q.active);
    return _mm_blendv_epi8(in, out, q.active32);
}

// As filterQuadsAvx512, for up to two groups of four: sixteen registers hold their states and
// samples.
template <int kQuads>
SVT_TARGET_AVX2 void filterQuadsAvx2(const FilterRun* runs, int n, int frames) {
    QuadLanes lanes[kQuads];
    Avx2Quad q[kQuads];
    int32_t* lane[4 * kQuads];
    bool masked = false;
    for (int g = 0; g < kQuads; ++g) {
        setUpLanes(lanes[g], runs, n, 4 * g);
        load(q[g], lanes[g], n - 4 * g);
        masked = masked || q[g].masked;
        for (int j = 0; j < 4; ++j)
            lane[4 * g + j] = 4 * g + j < n ? runs[4 * g + j].samples : runs[0].samples;
    }
    for (int k = 0; k < frames; k += 4) {
        __m128i v[kQuads][4];
        bool changes = false;
#pragma GCC unroll 4
        for (int g = 0; g < kQuads; ++g) {
            changes = changes || lanes[g].nextStart < k + 4;
#pragma GCC unroll 4
            for (int j = 0; j < 4; ++j)
                v[g][j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane[4 * g + j] + k));
            transpose(v[g]);
        }
        if (!changes && !masked) {
#pragma GCC unroll 4
            for (int t = 0; t < 4; ++t)
#pragma GCC unroll 4
                for (int g = 0; g < kQuads; ++g) v[g][t] = step<false>(q[g], v[g][t]);
        } else {
            for (int t = 0; t < 4; ++t)
                for (int g = 0; g < kQuads; ++g) {
                    if (lanes[g].nextStart <= k + t) {
                        storeState(q[g], lanes[g]);
                        enterSegments(lanes[g], k + t);
                        load(q[g], lanes[g], n - 4 * g);
                        masked = false;
                        for (int h = 0; h < kQuads; ++h) masked = masked || q[h].masked;
                    }
                    v[g][t] = step<true>(q[g], v[g][t]);
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
    for (int g = 0; g < kQuads; ++g) {
        storeState(q[g], lanes[g]);
        finishLanes(lanes[g], runs, n, 4 * g);
    }
}

// ---- SSE2: two filters per register, and only the unsigned 32 x 32-bit multiply. Offsetting
// both factors by 2^31 makes them unsigned: with c' = c + 2^31 and v' = v + 2^31,
// c * v = c' * v' - (v' << 31) - (c << 31) modulo 2^64 when c and v lie within 32 bits. Both
// rows of the filter multiply the same s1 and x - s2, so they share the v' terms, and the c
// terms are constants of the coefficients. A value beyond 32 bits, v' = h * 2^32 + l, adds
// (c' * h mod 2^32) * 2^32; those products are only made when some h is not zero. The state
// s1 is kept offset by 2^31, ready to be multiplied.

struct Sse2Quad {
    __m128i c[4][2];            // the coefficients plus 2^31, lanes 0-1 and 2-3
    __m128i rowConstant[2][2];  // 2^63 - ((c1 + c2) << 31) of each row; 2^63 for the shift
    __m128i s1[2];              // s1 + 2^31
    __m128i s2[2];
    __m128i active[2];
    __m128i active32;
    bool masked;
};

inline __m128i offset31() {
    return _mm_set1_epi64x(int64_t(1) << 31);
}

inline void load(Sse2Quad& r, const QuadLanes& q, int live) {
    const __m128i top = _mm_set1_epi64x(std::numeric_limits<int64_t>::min());
    for (int p = 0; p < 2; ++p) {
        __m128i c[4];
        for (int i = 0; i < 4; ++i) {
            c[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(&q.coefficients[i][2 * p]));
            r.c[i][p] = _mm_add_epi64(c[i], offset31());
        }
        r.rowConstant[0][p] = _mm_sub_epi64(top, _mm_slli_epi64(_mm_add_epi64(c[0], c[1]), 31));
        r.rowConstant[1][p] = _mm_sub_epi64(top, _mm_slli_epi64(_mm_add_epi64(c[2], c[3]), 31));
        r.s1[p] = _mm_add_epi64(
            _mm_load_si128(reinterpret_cast<const __m128i*>(&q.state[0][2 * p])), offset31());
        r.s2[p] = _mm_load_si128(reinterpret_cast<const __m128i*>(&q.state[1][2 * p]));
    }
    // Lanes without a run filter silence with zero coefficients; what they give is not stored.
    const unsigned liveBits = live >= 4 ? 0xFu : (1u << live) - 1;
    const int filtering = int(q.active | ~liveBits);
    const __m128i bits = _mm_setr_epi32(1, 2, 4, 8);
    r.active32 = _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(filtering), bits), bits);
    r.active[0] = _mm_unpacklo_epi32(r.active32, r.active32);
    r.active[1] = _mm_unpackhi_epi32(r.active32, r.active32);
    r.masked = (filtering & 0xF) != 0xF;
}

inline void storeState(const Sse2Quad& r, QuadLanes& q) {
    for (int p = 0; p < 2; ++p) {
        _mm_store_si128(reinterpret_cast<__m128i*>(&q.state[0][2 * p]),
                        _mm_sub_epi64(r.s1[p], offset31()));
        _mm_store_si128(reinterpret_cast<__m128i*>(&q.state[1][2 * p]), r.s2[p]);
    }
}

inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// VoiceFilter::step lane by lane. The shift by 24 is the logical one of the row plus 2^63 (in
// the row constants), less 2^63 >> 24. The output's limit: a sum beyond 32 bits is beyond the
// limit in the direction of its sign and becomes INT32_MIN or INT32_MAX, which leaves 32-bit
// lanes; shifted by 9 they lie within 2^22, exact as floats, and the limit is float min and max.
// Made a call, the step measured a third slower: its states went through memory.
template <bool kMasked>
__attribute__((always_inline)) inline __m128i step(Sse2Quad& q, __m128i in) {
    const __m128i sign = _mm_srai_epi32(in, 31);
    const __m128i x[2] = {_mm_unpacklo_epi32(in, sign), _mm_unpackhi_epi32(in, sign)};
    __m128i d[2], row[2][2];
#pragma GCC unroll 4
    for (int p = 0; p < 2; ++p) {
        d[p] = _mm_sub_epi64(_mm_add_epi64(_mm_slli_epi64(x[p], 8), offset31()), q.s2[p]);
        const __m128i shared = _mm_slli_epi64(_mm_add_epi64(q.s1[p], d[p]), 31);
#pragma GCC unroll 4
        for (int i = 0; i < 2; ++i)
            row[i][p] = _mm_add_epi64(_mm_add_epi64(_mm_mul_epu32(q.c[2 * i][p], q.s1[p]),
                                                    _mm_mul_epu32(q.c[2 * i + 1][p], d[p])),
                                      _mm_sub_epi64(q.rowConstant[i][p], shared));
    }
    // The high halves of the offset values are all zero unless one lies beyond 32 bits.
    const __m128i wide = _mm_or_si128(_mm_or_si128(q.s1[0], d[0]), _mm_or_si128(q.s1[1], d[1]));
    if ((_mm_movemask_epi8(_mm_cmpeq_epi32(wide, _mm_setzero_si128())) & 0xF0F0) != 0xF0F0) {
#pragma GCC unroll 4
        for (int p = 0; p < 2; ++p) {
            const __m128i s1High = _mm_srli_epi64(q.s1[p], 32), dHigh = _mm_srli_epi64(d[p], 32);
#pragma GCC unroll 4
            for (int i = 0; i < 2; ++i)
                row[i][p] = _mm_add_epi64(
                    row[i][p],
                    _mm_slli_epi64(_mm_add_epi64(_mm_mul_epu32(q.c[2 * i][p], s1High),
                                                 _mm_mul_epu32(q.c[2 * i + 1][p], dHigh)),
                                   32));
        }
    }
    const __m128i down = _mm_set1_epi64x(-(int64_t(1) << 39));
    __m128i s1[2], s2[2], sum[2];
#pragma GCC unroll 4
    for (int p = 0; p < 2; ++p) {
        s1[p] = _mm_add_epi64(_mm_srli_epi64(row[0][p], 24),
                              _mm_set1_epi64x((int64_t(1) << 31) - (int64_t(1) << 39)));
        s2[p] = _mm_add_epi64(q.s2[p], _mm_add_epi64(_mm_srli_epi64(row[1][p], 24), down));
        sum[p] = _mm_add_epi64(q.s2[p], s2[p]);
    }
    const __m128 a = _mm_castsi128_ps(sum[0]), b = _mm_castsi128_ps(sum[1]);
    const __m128i low = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i high = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    const __m128i fits = _mm_cmpeq_epi32(high, _mm_srai_epi32(low, 31));
    const __m128i beyond = _mm_xor_si128(_mm_srai_epi32(high, 31), _mm_set1_epi32(0x7FFFFFFF));
    const __m128 shifted = _mm_cvtepi32_ps(_mm_srai_epi32(select(fits, low, beyond), 9));
    const __m128 limit = _mm_set1_ps(float(1 << 20));
    const __m128i out = _mm_cvttps_epi32(
        _mm_min_ps(_mm_max_ps(shifted, _mm_sub_ps(_mm_setzero_ps(), limit)), limit));
    if constexpr (!kMasked) {
#pragma GCC unroll 4
        for (int p = 0; p < 2; ++p) {
            q.s1[p] = s1[p];
            q.s2[p] = s2[p];
        }
        return out;
    }
#pragma GCC unroll 4
    for (int p = 0; p < 2; ++p) {
        q.s1[p] = select(q.active[p], s1[p], q.s1[p]);
        q.s2[p] = select(q.active[p], s2[p], q.s2[p]);
    }
    return select(q.active32, out, in);
}

// As filterQuadsAvx2, for one group of four: its coefficients, states and samples fill the
// sixteen registers.
void filterQuadSse2(const FilterRun* runs, int n, int frames) {
    QuadLanes lanes;
    Sse2Quad q;
    int32_t* lane[4];
    setUpLanes(lanes, runs, n, 0);
    load(q, lanes, n);
    bool masked = q.masked;
    for (int j = 0; j < 4; ++j) lane[j] = j < n ? runs[j].samples : runs[0].samples;
    for (int k = 0; k < frames; k += 4) {
        __m128i v[4];
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j)
            v[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lane[j] + k));
        transpose(v);
        if (lanes.nextStart >= k + 4 && !masked) {
#pragma GCC unroll 4
            for (int t = 0; t < 4; ++t) v[t] = step<false>(q, v[t]);
        } else {
            for (int t = 0; t < 4; ++t) {
                if (lanes.nextStart <= k + t) {
                    storeState(q, lanes);
                    enterSegments(lanes, k + t);
                    load(q, lanes, n);
                    masked = q.masked;
                }
                v[t] = step<true>(q, v[t]);
            }
        }
        transpose(v);
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j)
            if (j < n) _mm_storeu_si128(reinterpret_cast<__m128i*>(lane[j] + k), v[j]);
    }
    storeState(q, lanes);
    finishLanes(lanes, runs, n, 0);
}

bool fitsInt32(int64_t c) {
    return c >= std::numeric_limits<int32_t>::min() && c <= std::numeric_limits<int32_t>::max();
}

bool coefficientsFitInt32(const FilterRun& r) {
    const VoiceFilter& f = *r.filter;
    bool fit = fitsInt32(f.s1Gain) && fitsInt32(f.s1FromIn) && fitsInt32(f.s2FromS1) &&
               fitsInt32(f.s2FromIn);
    for (int i = 0; i < r.segmentCount; ++i) {
        const FilterSegment& g = r.segments[i];
        fit = fit && fitsInt32(g.s1Gain) && fitsInt32(g.s1FromIn) && fitsInt32(g.s2FromS1) &&
              fitsInt32(g.s2FromIn);
    }
    return fit;
}

// Whether the forms without 64-bit multiplies can take these runs: more than one (a single
// chain gains nothing), each with its coefficients within 32 bits.
bool narrowFormsTake(const FilterRun* runs, int n) {
    if (n <= 1 || n > kFilterLanes) return false;
    for (int j = 0; j < n; ++j)
        if (!coefficientsFitInt32(runs[j])) return false;
    return true;
}

}  // namespace

void filterRunsAvx512(const FilterRun* runs, int n) {
    if (n <= 1 || n > kFilterLanes) {
        // One chain gains nothing from the vector unit.
        filterRunsScalar(runs, n);
        return;
    }
    const int common = commonFrames(runs, n);
    if (n <= 4)
        filterQuadsAvx512<1>(runs, n, common);
    else if (n <= 8)
        filterQuadsAvx512<2>(runs, n, common);
    else if (n <= 12)
        filterQuadsAvx512<3>(runs, n, common);
    else
        filterQuadsAvx512<4>(runs, n, common);
    // The runs' ends beyond the common length, each on its own.
    for (int j = 0; j < n; ++j) filterRunFrom(runs[j], common);
}

void filterRunsAvx2(const FilterRun* runs, int n) {
    if (!narrowFormsTake(runs, n)) {
        filterRunsScalar(runs, n);
        return;
    }
    const int common = commonFrames(runs, n);
    // Sixteen registers hold the states and the samples of two groups of four.
    for (int first = 0; first < n; first += 8) {
        const int m = n - first < 8 ? n - first : 8;
        if (m <= 4)
            filterQuadsAvx2<1>(runs + first, m, common);
        else
            filterQuadsAvx2<2>(runs + first, m, common);
    }
    for (int j = 0; j < n; ++j) filterRunFrom(runs[j], common);
}

void filterRunsSse2(const FilterRun* runs, int n) {
    if (!narrowFormsTake(runs, n)) {
        filterRunsScalar(runs, n);
        return;
    }
    const int common = commonFrames(runs, n);
    // Groups of four: two groups at once measured slower, their registers spilling.
    for (int first = 0; first < n; first += 4)
        filterQuadSse2(runs + first, n - first < 4 ? n - first : 4, common);
    for (int j = 0; j < n; ++j) filterRunFrom(runs[j], common);
}

// Four frames at a time: each sample is spread to the two 64-bit lanes of its frame and
// multiplied by (left, right) in 32 x 32 -> 64-bit products, exactly the scalar products.
SVT_TARGET_AVX2 void mixConstantAvx2(const int32_t* s, int count, int32_t left, int32_t right,
                                     int64_t* out) {
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
    mixConstantScalar(s + k, count - k, left, right, out + 2 * k);
}

// Four frames at a time, one register each: the sample offset by 2^31 is unsigned, and with a
// mix m (0..kMaxMix) s * m = (s + 2^31) * m - (m << 31), the unsigned 32 x 32 -> 64-bit product
// less a constant.
void mixConstantSse2(const int32_t* s, int count, int32_t left, int32_t right, int64_t* out) {
    const __m128i mix = _mm_set_epi64x(right, left);
    const __m128i offset = _mm_set_epi64x(-(int64_t(right) << 31), -(int64_t(left) << 31));
    const __m128i top = _mm_set1_epi32(std::numeric_limits<int32_t>::min());
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m128i x =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k)), top);
        __m128i* o = reinterpret_cast<__m128i*>(out + 2 * k);
        const __m128i frames[4] = {_mm_shuffle_epi32(x, _MM_SHUFFLE(0, 0, 0, 0)),
                                   _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 1, 1, 1)),
                                   _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 2, 2, 2)),
                                   _mm_shuffle_epi32(x, _MM_SHUFFLE(3, 3, 3, 3))};
#pragma GCC unroll 4
        for (int f = 0; f < 4; ++f)
            _mm_storeu_si128(o + f,
                             _mm_add_epi64(_mm_loadu_si128(o + f),
                                           _mm_add_epi64(_mm_mul_epu32(frames[f], mix), offset)));
    }
    mixConstantScalar(s + k, count - k, left, right, out + 2 * k);
}

}  // namespace svt

#endif
