#include "effects/ReverbKernels.h"

#include <algorithm>

#include "effects/FixedPoint.h"
#include "synth/Interpolation.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace svt::effects {

namespace {

// The first and one past the last comb of `sides`.
constexpr int firstComb(CombSides sides) {
    return sides == CombSides::Right ? 8 : 0;
}
constexpr int endComb(CombSides sides) {
    return sides == CombSides::Left ? 8 : CombBank::kCombs;
}

}  // namespace

void combsScalar(CombBank& b, const int32_t* in, int frames, std::array<int32_t*, 2> wet,
                 CombSides sides) {
    int64_t sums[2][kCombStretch] = {};
    for (int c = firstComb(sides); c < endComb(sides); ++c) {
        int32_t* const line = b.line[size_t(c)];
        const int32_t size = b.size[size_t(c)], feedback = b.feedback[size_t(c)];
        int32_t at = b.index[size_t(c)], store = b.store[size_t(c)];
        int64_t* const sum = sums[c / 8];
        for (int i = 0; i < frames; ++i) {
            const int32_t o = line[at];
            store = mulQ24(store, b.damp) + mulQ24(o, b.damp1);
            line[at] = mulQ24(store, feedback) + in[i];
            sum[i] += o;
            if (++at >= size) at = 0;
        }
        b.index[size_t(c)] = at;
        b.store[size_t(c)] = store;
    }
    for (int side = firstComb(sides) / 8; side < endComb(sides) / 8; ++side)
        for (int i = 0; i < frames; ++i) wet[size_t(side)][i] = saturate32(sums[side][i]);
}

void allPassScalar(int32_t* line, int32_t size, int32_t& index, int32_t gain, int32_t* x,
                   int frames) {
    int32_t at = index;
    for (int i = 0; i < frames; ++i) {
        const int32_t b = line[at];
        line[at] = x[i] + mulQ24(b, gain);
        x[i] = b - x[i];
        if (++at >= size) at = 0;
    }
    index = at;
}

void wetMixScalar(const int32_t* left, const int32_t* right, int frames, int32_t wet1, int32_t wet2,
                  int64_t* out) {
    for (int i = 0; i < frames; ++i) {
        // The sum wraps on 32 bits as the vector form's does; the sides are saturated and
        // the two gains add up to one, so it never comes to that.
        const auto sum = [](int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); };
        out[2 * i] += sum(mulQ24(left[i], wet1), mulQ24(right[i], wet2));
        out[2 * i + 1] += sum(mulQ24(right[i], wet1), mulQ24(left[i], wet2));
    }
}

#if defined(__x86_64__) || defined(__i386__)

namespace {

#define SVT_TARGET_AVX2 __attribute__((target("avx2")))

// mulQ24 of eight 32-bit values by eight gains (`gOdd`: the gains of the odd lanes moved down
// into the even ones): 64-bit products, rounded towards zero, of which bits 24..55 are the
// result.
SVT_TARGET_AVX2 inline __m256i mulQ24x8(__m256i x, __m256i g, __m256i gOdd) {
    const __m256i mask = _mm256_set1_epi64x(kQ24One - 1), zero = _mm256_setzero_si256();
    __m256i even = _mm256_mul_epi32(x, g);
    __m256i odd = _mm256_mul_epi32(_mm256_srli_epi64(x, 32), gOdd);
    even = _mm256_add_epi64(even, _mm256_and_si256(_mm256_cmpgt_epi64(zero, even), mask));
    odd = _mm256_add_epi64(odd, _mm256_and_si256(_mm256_cmpgt_epi64(zero, odd), mask));
    return _mm256_blend_epi32(_mm256_srli_epi64(even, 24), _mm256_slli_epi64(odd, 8), 0xAA);
}

SVT_TARGET_AVX2 inline __m256i load(const int32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The sum of eight 32-bit values on 64 bits.
SVT_TARGET_AVX2 inline int64_t sum8(__m256i v) {
    const __m256i wide = _mm256_add_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(v)),
                                          _mm256_cvtepi32_epi64(_mm256_extracti128_si256(v, 1)));
    const __m128i s =
        _mm_add_epi64(_mm256_castsi256_si128(wide), _mm256_extracti128_si256(wide, 1));
    return _mm_cvtsi128_si64(s) + _mm_extract_epi64(s, 1);
}

// Rows of eight 32-bit values at `from` (rows `fromStride` apart) become columns at `to`.
SVT_TARGET_AVX2 inline void transpose8(const int32_t* from, size_t fromStride, int32_t* to,
                                       size_t toStride) {
    __m256i r[8], t[8];
    for (size_t j = 0; j < 8; ++j) r[j] = load(from + j * fromStride);
    for (size_t j = 0; j < 8; j += 2) {
        t[j] = _mm256_unpacklo_epi32(r[j], r[j + 1]);
        t[j + 1] = _mm256_unpackhi_epi32(r[j], r[j + 1]);
    }
    for (size_t j = 0; j < 8; j += 4) {
        r[j] = _mm256_unpacklo_epi64(t[j], t[j + 2]);
        r[j + 1] = _mm256_unpackhi_epi64(t[j], t[j + 2]);
        r[j + 2] = _mm256_unpacklo_epi64(t[j + 1], t[j + 3]);
        r[j + 3] = _mm256_unpackhi_epi64(t[j + 1], t[j + 3]);
    }
    // r[0..3] hold columns 0, 1, 2, 3 of rows 0..3 (and 4..7 of them in the high halves),
    // r[4..7] the same of rows 4..7.
    for (size_t j = 0; j < 4; ++j) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + j * toStride),
                            _mm256_permute2x128_si256(r[j], r[j + 4], 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + (j + 4) * toStride),
                            _mm256_permute2x128_si256(r[j], r[j + 4], 0x31));
    }
}

}  // namespace

// Each comb's stretch is copied out of its ring, turned into rows of frames, run as vectors of
// eight combs (one a side) frame by frame, turned back and copied into the ring. Both sides
// in one loop keep two chains of products in flight; one side alone halves the work.
namespace {

template <int kHalves>
SVT_TARGET_AVX2 void combHalvesAvx2(CombBank& b, const int32_t* in, int frames,
                                    std::array<int32_t*, 2> wet, int first) {
    constexpr int kCombs = CombBank::kCombs;
    // byComb[c] is comb c's stretch, byFrame[i] frame i of every comb; whole groups of eight
    // frames are turned, the frames past the stretch being zeros that nothing reads.
    alignas(32) int32_t byComb[kCombs][kCombStretch];
    alignas(32) int32_t byFrame[kCombStretch][kCombs];
    const int groups = (frames + 7) / 8;
    for (int c = 8 * first; c < 8 * (first + kHalves); ++c) {
        const int32_t* const line = b.line[size_t(c)];
        const int32_t at = b.index[size_t(c)], part = std::min(frames, b.size[size_t(c)] - at);
        std::copy_n(line + at, part, byComb[c]);
        std::copy_n(line, frames - part, byComb[c] + part);
        std::fill(byComb[c] + frames, byComb[c] + 8 * groups, 0);
    }
    for (int g = 0; g < groups; ++g)
        for (int half = first; half < first + kHalves; ++half)
            transpose8(&byComb[8 * half][8 * g], kCombStretch, &byFrame[8 * g][8 * half], kCombs);

    const __m256i damp = _mm256_set1_epi32(b.damp), damp1 = _mm256_set1_epi32(b.damp1);
    __m256i feedback[kHalves], feedbackOdd[kHalves], store[kHalves];
    for (int h = 0; h < kHalves; ++h) {
        feedback[h] = load(b.feedback.data() + 8 * (first + h));
        feedbackOdd[h] = _mm256_srli_epi64(feedback[h], 32);
        store[h] = load(b.store.data() + 8 * (first + h));
    }
    for (int i = 0; i < frames; ++i) {
        const __m256i x = _mm256_set1_epi32(in[i]);
        __m256i* const row = reinterpret_cast<__m256i*>(byFrame[i]) + first;
        for (int h = 0; h < kHalves; ++h) {
            const __m256i o = _mm256_load_si256(row + h);
            store[h] = _mm256_add_epi32(mulQ24x8(store[h], damp, damp), mulQ24x8(o, damp1, damp1));
            wet[size_t(first + h)][i] = saturate32(sum8(o));
            _mm256_store_si256(
                row + h, _mm256_add_epi32(mulQ24x8(store[h], feedback[h], feedbackOdd[h]), x));
        }
    }
    for (int h = 0; h < kHalves; ++h)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b.store.data() + 8 * (first + h)), store[h]);

    for (int g = 0; g < groups; ++g)
        for (int half = first; half < first + kHalves; ++half)
            transpose8(&byFrame[8 * g][8 * half], kCombs, &byComb[8 * half][8 * g], kCombStretch);
    for (int c = 8 * first; c < 8 * (first + kHalves); ++c) {
        int32_t* const line = b.line[size_t(c)];
        const int32_t size = b.size[size_t(c)], at = b.index[size_t(c)];
        const int32_t part = std::min(frames, size - at);
        std::copy_n(byComb[c], part, line + at);
        std::copy_n(byComb[c] + part, frames - part, line);
        b.index[size_t(c)] = at + frames < size ? at + frames : at + frames - size;
    }
}

}  // namespace

SVT_TARGET_AVX2 void combsAvx2(CombBank& b, const int32_t* in, int frames,
                               std::array<int32_t*, 2> wet, CombSides sides) {
    if (sides == CombSides::Both)
        combHalvesAvx2<2>(b, in, frames, wet, 0);
    else
        combHalvesAvx2<1>(b, in, frames, wet, sides == CombSides::Right ? 1 : 0);
}

// Eight values at a time along each part of the stretch that does not wrap.
SVT_TARGET_AVX2 void allPassAvx2(int32_t* line, int32_t size, int32_t& index, int32_t gain,
                                 int32_t* x, int frames) {
    const __m256i g = _mm256_set1_epi32(gain);
    int done = 0;
    while (done < frames) {
        const int part = std::min(frames - done, size - index);
        int32_t* const b = line + index;
        int32_t* const v = x + done;
        int i = 0;
        for (; i + 8 <= part; i += 8) {
            const __m256i front = load(b + i), in = load(v + i);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(b + i),
                                _mm256_add_epi32(in, mulQ24x8(front, g, g)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + i), _mm256_sub_epi32(front, in));
        }
        int32_t at = index + i < size ? index + i : 0;
        allPassScalar(line, size, at, gain, v + i, part - i);
        index = at;
        done += part;
    }
}

#endif

// Eight frames at a time: the two channels' sums are interleaved and widened to 64 bits.
SVT_TARGET_AVX2 void wetMixAvx2(const int32_t* left, const int32_t* right, int frames, int32_t wet1,
                                int32_t wet2, int64_t* out) {
    const __m256i g1 = _mm256_set1_epi32(wet1), g2 = _mm256_set1_epi32(wet2);
    int i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m256i l = load(left + i), r = load(right + i);
        const __m256i outLeft = _mm256_add_epi32(mulQ24x8(l, g1, g1), mulQ24x8(r, g2, g2));
        const __m256i outRight = _mm256_add_epi32(mulQ24x8(r, g1, g1), mulQ24x8(l, g2, g2));
        // Frames 0 1 | 4 5 and 2 3 | 6 7, left and right side by side.
        const __m256i low = _mm256_unpacklo_epi32(outLeft, outRight);
        const __m256i high = _mm256_unpackhi_epi32(outLeft, outRight);
        const __m128i pairs[4] = {_mm256_castsi256_si128(low), _mm256_castsi256_si128(high),
                                  _mm256_extracti128_si256(low, 1),
                                  _mm256_extracti128_si256(high, 1)};
        for (int p = 0; p < 4; ++p) {
            __m256i* const to = reinterpret_cast<__m256i*>(out + 2 * i + 4 * p);
            _mm256_storeu_si256(
                to, _mm256_add_epi64(_mm256_loadu_si256(to), _mm256_cvtepi32_epi64(pairs[p])));
        }
    }
    wetMixScalar(left + i, right + i, frames - i, wet1, wet2, out + 2 * i);
}

ReverbKernels reverbKernelsFor(SimdLevel level) {
#if defined(__x86_64__) || defined(__i386__)
    if (level >= SimdLevel::Avx2 && simdLevelAvailable(SimdLevel::Avx2))
        return {combsAvx2, allPassAvx2, wetMixAvx2};
#else
    (void)level;
#endif
    return {combsScalar, allPassScalar, wetMixScalar};
}

}  // namespace svt::effects
