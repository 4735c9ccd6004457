// Vector forms of the 26-tap kernel. The file builds for baseline x86-64; the AVX2 code
// carries its own target attribute and runs only when the processor reports AVX2.
// Each frame is four groups of eight products summed in order, then the eight lanes are
// added pairwise: exactly the order of lagrangeFrame(), so the results agree bit for bit.

#include "synth/Interpolation.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <algorithm>

namespace svt {
namespace {

inline __m128 widenLow(__m128i v) {
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
}
inline __m128 widenHigh(__m128i v) {
    return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16));
}

// The eight lane sums of one frame, as lanes 0..3 and 4..7.
inline void sse2Lanes(const int16_t* pcm, int64_t position, const LagrangeRow* table, __m128& low,
                      __m128& high) {
    const int16_t* s = pcm + (position >> 12) - kLagrangeTapsBefore;
    const float* c = table[position & kFractionMask].c;
    __m128i g0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    __m128i g1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 8));
    __m128i g2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    __m128i g3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 18));
    low = _mm_mul_ps(_mm_load_ps(c), widenLow(g0));
    low = _mm_add_ps(low, _mm_mul_ps(_mm_load_ps(c + 8), widenLow(g1)));
    low = _mm_add_ps(low, _mm_mul_ps(_mm_load_ps(c + 16), widenLow(g2)));
    low = _mm_add_ps(low, _mm_mul_ps(_mm_load_ps(c + 24), widenLow(g3)));
    high = _mm_mul_ps(_mm_load_ps(c + 4), widenHigh(g0));
    high = _mm_add_ps(high, _mm_mul_ps(_mm_load_ps(c + 12), widenHigh(g1)));
    high = _mm_add_ps(high, _mm_mul_ps(_mm_load_ps(c + 20), widenHigh(g2)));
    high = _mm_add_ps(high, _mm_mul_ps(_mm_load_ps(c + 28), widenHigh(g3)));
}

// (l0 + l1) + (l2 + l3) for each of four frames, one frame per input vector.
inline __m128 sse2PairwiseSums(__m128 a, __m128 b, __m128 c, __m128 d) {
    _MM_TRANSPOSE4_PS(a, b, c, d);
    return _mm_add_ps(_mm_add_ps(a, b), _mm_add_ps(c, d));
}

}  // namespace

void lagrangeRunSse2(const int16_t* pcm, int64_t position, int32_t increment, int count,
                     int32_t* out, const LagrangeRow* table) {
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        __m128 low[4], high[4];
        for (int j = 0; j < 4; ++j, position += increment)
            sse2Lanes(pcm, position, table, low[j], high[j]);
        __m128 sum = _mm_add_ps(sse2PairwiseSums(low[0], low[1], low[2], low[3]),
                                sse2PairwiseSums(high[0], high[1], high[2], high[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_cvttps_epi32(sum));
    }
    for (; k < count; ++k, position += increment) out[k] = lagrangeFrame(pcm, position, table);
}

namespace {

__attribute__((target("avx2"))) inline __m256 group(const int16_t* p) {
    return _mm256_cvtepi32_ps(
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
}

__attribute__((target("avx2"))) inline __m256 avx2Lanes(const int16_t* pcm, int64_t position,
                                                        const LagrangeRow* table) {
    const int16_t* s = pcm + (position >> 12) - kLagrangeTapsBefore;
    const float* c = table[position & kFractionMask].c;
    __m256 acc = _mm256_mul_ps(_mm256_load_ps(c), group(s));
    acc = _mm256_add_ps(acc, _mm256_mul_ps(_mm256_load_ps(c + 8), group(s + 8)));
    acc = _mm256_add_ps(acc, _mm256_mul_ps(_mm256_load_ps(c + 16), group(s + 16)));
    acc = _mm256_add_ps(acc, _mm256_mul_ps(_mm256_load_ps(c + 24), group(s + 18)));
    return acc;
}

// Eight frames' lane sums to eight values. Three rounds of horizontal adds leave, per frame,
// (l0+l1)+(l2+l3) in one half and (l4+l5)+(l6+l7) in the other; the halves are then added.
__attribute__((target("avx2"))) inline void avx2Store8(const __m256* a, int32_t* out) {
    __m256 h01 = _mm256_hadd_ps(a[0], a[1]);
    __m256 h23 = _mm256_hadd_ps(a[2], a[3]);
    __m256 h45 = _mm256_hadd_ps(a[4], a[5]);
    __m256 h67 = _mm256_hadd_ps(a[6], a[7]);
    __m256 q0 = _mm256_hadd_ps(h01, h23);
    __m256 q1 = _mm256_hadd_ps(h45, h67);
    __m256 low = _mm256_permute2f128_ps(q0, q1, 0x20);
    __m256 high = _mm256_permute2f128_ps(q0, q1, 0x31);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_cvttps_epi32(_mm256_add_ps(low, high)));
}

// One frame's lane sums to its value, in the same order.
__attribute__((target("avx2"))) inline int32_t avx2Sum1(__m256 a) {
    __m256 h = _mm256_hadd_ps(a, a);
    h = _mm256_hadd_ps(h, h);
    return int32_t(_mm256_cvtss_f32(h) + _mm_cvtss_f32(_mm256_extractf128_ps(h, 1)));
}

}  // namespace

namespace {

// The samples a stretch of frames reads, converted to float once: each sample is read by 26
// frames' kernels at an increment of one, and the conversion would otherwise be repeated for
// every one of them. The products and sums are the same, so are the results.
constexpr int kWindowSamples = 2048;

// Lane sums of one frame from the converted samples, w[0] being sample i - 12.
__attribute__((target("avx2"))) inline __m256 avx2WindowLanes(const float* w, const float* c) {
    __m256 acc = _mm256_mul_ps(_mm256_load_ps(c), _mm256_loadu_ps(w));
    acc = _mm256_add_ps(acc, _mm256_mul_ps(_mm256_load_ps(c + 8), _mm256_loadu_ps(w + 8)));
    acc = _mm256_add_ps(acc, _mm256_mul_ps(_mm256_load_ps(c + 16), _mm256_loadu_ps(w + 16)));
    acc = _mm256_add_ps(acc, _mm256_mul_ps(_mm256_load_ps(c + 24), _mm256_loadu_ps(w + 18)));
    return acc;
}

// Frames of one stretch in order. Positions are taken relative to the window and moved up by
// 7 bits, so that the row's byte offset and the window index each take one operation (a
// stretch spans less than 2^23 positions).
struct WindowWalk {
    static_assert(sizeof(LagrangeRow) == 1 << 7);
    static constexpr uint32_t kRowBits = uint32_t(kFractionMask) << 7;
    const float* window;
    const char* rows;
    uint32_t at;
    uint32_t step;

    __attribute__((target("avx2"))) __m256 lanes() {
        const __m256 a = avx2WindowLanes(window + (at >> 19) - kLagrangeTapsBefore,
                                         reinterpret_cast<const float*>(rows + (at & kRowBits)));
        at += step;
        return a;
    }
    // Two frames' lane sums added pairwise, as the first round of avx2Store8.
    __attribute__((target("avx2"))) __m256 pair() {
        const __m256 a = lanes();
        return _mm256_hadd_ps(a, lanes());
    }
};

}  // namespace

__attribute__((target("avx2"))) void lagrangeRunAvx2(const int16_t* pcm, int64_t position,
                                                     int32_t increment, int count, int32_t* out,
                                                     const LagrangeRow* table) {
    int k = 0;
    const int64_t step = increment < 0 ? -int64_t(increment) : int64_t(increment);
    if (count >= 8 && step <= 16 * kFractionSteps) {
        alignas(32) float window[kWindowSamples];
        // Frames per stretch: a multiple of eight whose samples fit the window.
        const int perStretch =
            int(std::min<int64_t>(count, (int64_t(kWindowSamples - kLagrangeTaps - 1) << 12) /
                                             std::max<int64_t>(step, 1))) &
            ~7;
        while (count - k >= 8) {
            const int n = std::min(perStretch, (count - k) & ~7);
            const int64_t last = position + int64_t(n - 1) * increment;
            // Samples from..to (inclusive) are read: 12 before the lowest index, 13 after the
            // highest.
            const int64_t from = (std::min(position, last) >> 12) - kLagrangeTapsBefore;
            const int length =
                int((std::max(position, last) >> 12) + kLagrangeTapsAfter - from + 1);
            const int16_t* src = pcm + from;
            int j = 0;
            for (; j + 8 <= length; j += 8) _mm256_store_ps(window + j, group(src + j));
            for (; j < length; ++j) window[j] = float(src[j]);
            WindowWalk walk{window, reinterpret_cast<const char*>(table),
                            uint32_t(position - (from << 12)) << 7, uint32_t(increment) << 7};
            for (int f = 0; f < n; f += 8) {
                // Pairs of frames are folded as soon as they are done, which keeps few
                // registers live; the additions are those of avx2Store8.
                const __m256 h01 = walk.pair();
                const __m256 q0 = _mm256_hadd_ps(h01, walk.pair());
                const __m256 h45 = walk.pair();
                const __m256 q1 = _mm256_hadd_ps(h45, walk.pair());
                const __m256 low = _mm256_permute2f128_ps(q0, q1, 0x20);
                const __m256 high = _mm256_permute2f128_ps(q0, q1, 0x31);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k + f),
                                    _mm256_cvttps_epi32(_mm256_add_ps(low, high)));
            }
            position += int64_t(n) * increment;
            k += n;
        }
    }
    for (; k + 8 <= count; k += 8) {
        __m256 a[8];
        for (int j = 0; j < 8; ++j, position += increment) a[j] = avx2Lanes(pcm, position, table);
        avx2Store8(a, out + k);
    }
    for (; k < count; ++k, position += increment)
        out[k] = avx2Sum1(avx2Lanes(pcm, position, table));
}

namespace {

// Eight frames from their sample pairs (s[i] in the low half of each word) and positions.
__attribute__((target("avx2"))) inline void linearStore8(__m256i pair, __m256i pos, int32_t* out) {
    const __m256i s0 = _mm256_srai_epi32(_mm256_slli_epi32(pair, 16), 16);
    const __m256i s1 = _mm256_srai_epi32(pair, 16);
    const __m256i f = _mm256_and_si256(pos, _mm256_set1_epi32(kFractionMask));
    const __m256i d = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(s1, s0), f), 12);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_add_epi32(s0, d));
}

}  // namespace

// Eight frames at a time, the arithmetic of the scalar form lane by lane. Each frame needs
// the pair s[i], s[i+1], which one 32-bit word at s + i holds (little-endian: s[i] in the low
// half).
__attribute__((target("avx2"))) void linearRunAvx2(const int16_t* pcm, int64_t position,
                                                   int32_t increment, int count, int32_t* out) {
    int k = 0;
    // Positions are taken relative to the first whole sample in 32 bits; a run so fast that
    // they would not fit goes the scalar way.
    const int64_t span = (increment < 0 ? -int64_t(increment) : int64_t(increment)) * count;
    if (count >= 8 && span < (int64_t(1) << 30)) {
        const int16_t* base = pcm + (position >> 12);
        const int32_t first = int32_t(position & kFractionMask);
        __m256i pos = _mm256_add_epi32(_mm256_set1_epi32(first),
                                       _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                          _mm256_set1_epi32(increment)));
        const __m256i step = _mm256_set1_epi32(increment * 8);
        if (increment > 0 && increment <= 2 * kFractionSteps) {
            // At most two samples a frame, eight frames lie within 16 samples of their first
            // one: the words at even and at odd offsets are loaded once and the pairs picked by
            // permutes, far cheaper than a gather. The loads reach 16 samples past the group's
            // first sample, so the groups near the run's end (whose last sample read is `last`)
            // are left to the gather.
            const int32_t last = int32_t((first + int64_t(increment) * (count - 1)) >> 12) + 1;
            int32_t head = first;  // position of frame k
            for (; k + 8 <= count && (head >> 12) + 16 <= last; k += 8, head += 8 * increment) {
                const int32_t w = head >> 12;
                const int16_t* s = base + w;
                const __m256i even = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
                const __m256i odd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 1));
                const __m256i r =
                    _mm256_sub_epi32(_mm256_srai_epi32(pos, 12), _mm256_set1_epi32(w));
                const __m256i half = _mm256_srli_epi32(r, 1);
                const __m256 fromEven =
                    _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(even, half));
                const __m256 fromOdd = _mm256_castsi256_ps(_mm256_permutevar8x32_epi32(odd, half));
                // Odd offsets have their low bit moved into the sign, which picks the odd word.
                const __m256 pick = _mm256_castsi256_ps(_mm256_slli_epi32(r, 31));
                linearStore8(_mm256_castps_si256(_mm256_blendv_ps(fromEven, fromOdd, pick)), pos,
                             out + k);
                pos = _mm256_add_epi32(pos, step);
            }
        }
        const int* words = reinterpret_cast<const int*>(base);
        for (; k + 8 <= count; k += 8) {
            linearStore8(_mm256_i32gather_epi32(words, _mm256_srai_epi32(pos, 12), 2), pos,
                         out + k);
            pos = _mm256_add_epi32(pos, step);
        }
        position += int64_t(k) * increment;
    }
    linearRunScalar(pcm, position, increment, count - k, out + k);
}

}  // namespace svt

#endif
