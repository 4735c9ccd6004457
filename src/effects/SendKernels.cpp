#include "effects/SendKernels.h"

#include <algorithm>

#include "effects/FixedPoint.h"
#include "synth/Interpolation.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace svt::effects {
namespace {

int64_t limited(int64_t v) {
    return std::clamp<int64_t>(v, -kSendLimit, kSendLimit);
}

template <class T>
void reverbSend(std::span<const T> block, int64_t gain, std::span<int32_t> to) {
    for (size_t i = 0; i < block.size(); ++i)
        to[i] = saturate32(int64_t(to[i]) + mulQ24(limited(block[i]), gain));
}

template <class T>
void levelSend(std::span<const T> block, int64_t gain, std::span<int32_t> to) {
    for (size_t i = 0; i < block.size(); ++i)
        to[i] = saturate32(int64_t(to[i]) + ((limited(block[i]) * gain) >> 16));
}

}  // namespace

void reverbSendScalar(std::span<const int64_t> block, int64_t gain, std::span<int32_t> to) {
    reverbSend(block, gain, to);
}
void reverbSendScalar(std::span<const int32_t> block, int64_t gain, std::span<int32_t> to) {
    reverbSend(block, gain, to);
}
void levelSendScalar(std::span<const int64_t> block, int64_t gain, std::span<int32_t> to) {
    levelSend(block, gain, to);
}
void levelSendScalar(std::span<const int32_t> block, int64_t gain, std::span<int32_t> to) {
    levelSend(block, gain, to);
}

#if defined(__x86_64__) || defined(__i386__)

#define SVT_TARGET_AVX2 __attribute__((target("avx2")))

namespace {

// Four block values limited, each within 32 bits then (the low half of its lane).
SVT_TARGET_AVX2 inline __m256i limited4(const int64_t* block) {
    const __m256i low = _mm256_set1_epi64x(-kSendLimit), high = _mm256_set1_epi64x(kSendLimit);
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
    x = _mm256_blendv_epi8(x, low, _mm256_cmpgt_epi64(low, x));
    return _mm256_blendv_epi8(x, high, _mm256_cmpgt_epi64(x, high));
}

// to[0..3] plus the low halves of `add`'s lanes taken as signed 32-bit values, saturated.
SVT_TARGET_AVX2 inline void addSaturated4(__m256i add, int32_t* to) {
    const __m256i lowHalves = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    const __m256i value =
        _mm256_cvtepi32_epi64(_mm256_castsi256_si128(_mm256_permutevar8x32_epi32(add, lowHalves)));
    const __m256i old = _mm256_cvtepi32_epi64(_mm_loadu_si128(reinterpret_cast<__m128i*>(to)));
    __m256i sum = _mm256_add_epi64(old, value);
    const __m256i low = _mm256_set1_epi64x(INT32_MIN), high = _mm256_set1_epi64x(INT32_MAX);
    sum = _mm256_blendv_epi8(sum, low, _mm256_cmpgt_epi64(low, sum));
    sum = _mm256_blendv_epi8(sum, high, _mm256_cmpgt_epi64(sum, high));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                     _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(sum, lowHalves)));
}

bool within32(int64_t v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}

}  // namespace

// mulQ24 lane by lane: the product of the limited value and the gain (both within 32 bits),
// rounded towards zero by adding 2^24 - 1 to a negative one, shifted down by 24. Its low 32
// bits are what the scalar cast keeps, and a logical shift gives the same low bits.
SVT_TARGET_AVX2 void reverbSendAvx2(std::span<const int64_t> block, int64_t gain,
                                    std::span<int32_t> to) {
    const size_t values = block.size();
    size_t i = 0;
    if (within32(gain)) {
        const __m256i g = _mm256_set1_epi64x(gain);
        const __m256i round = _mm256_set1_epi64x(kQ24One - 1);
        const __m256i zero = _mm256_setzero_si256();
        for (; i + 4 <= values; i += 4) {
            const __m256i p = _mm256_mul_epi32(limited4(block.data() + i), g);
            const __m256i biased =
                _mm256_add_epi64(p, _mm256_and_si256(_mm256_cmpgt_epi64(zero, p), round));
            addSaturated4(_mm256_srli_epi64(biased, kQ24Shift), to.data() + i);
        }
    }
    reverbSendScalar(block.subspan(i), gain, to.subspan(i));
}

// With a gain of at most 2^16 the product shifted down by 16 lies within +-2^30, so its low 32
// bits are the whole value.
SVT_TARGET_AVX2 void levelSendAvx2(std::span<const int64_t> block, int64_t gain,
                                   std::span<int32_t> to) {
    const size_t values = block.size();
    size_t i = 0;
    if (gain >= -65536 && gain <= 65536) {
        const __m256i g = _mm256_set1_epi64x(gain);
        for (; i + 4 <= values; i += 4)
            addSaturated4(_mm256_srli_epi64(_mm256_mul_epi32(limited4(block.data() + i), g), 16),
                          to.data() + i);
    }
    levelSendScalar(block.subspan(i), gain, to.subspan(i));
}

#endif

SendKernels sendKernelsFor(SimdLevel level) {
#if defined(__x86_64__) || defined(__i386__)
    if (level >= SimdLevel::Avx2 && simdLevelAvailable(SimdLevel::Avx2))
        return {reverbSendAvx2, levelSendAvx2};
#else
    (void)level;
#endif
    return {reverbSendScalar, levelSendScalar};
}

}  // namespace svt::effects
