#include "output/SampleConversion.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/Constants.h"
#include "output/OutputDevice.h"

namespace svt::output {

namespace {

inline int32_t clamp16(int32_t v) {
    return std::clamp(v >> 13, -32768, 32767);
}

}  // namespace

void convertTo16(const int32_t* in, int16_t* out, size_t count) {
    size_t i = 0;
#if defined(__SSE2__)
    // Shifting then packing with signed saturation is exactly the clamp. Reading a whole
    // vector before writing keeps the in-place case safe: the output never overtakes the input.
    for (; i + 8 <= count; i += 8) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 4));
        a = _mm_srai_epi32(a, 13);
        b = _mm_srai_epi32(b, 13);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi32(a, b));
    }
#endif
    for (; i < count; ++i) out[i] = static_cast<int16_t>(clamp16(in[i]));
}

uint8_t linearToUlaw(int16_t sample) {
    // G.711 mu-law: 14-bit magnitude with a bias of 33 (in 16-bit terms 132), eight segments.
    constexpr int kBias = 0x84;
    constexpr int kClip = 32635;
    int v = sample;
    const int sign = v < 0 ? 0x80 : 0;
    if (v < 0) v = -v;
    if (v > kClip) v = kClip;
    v += kBias;
    int exponent = 7;
    for (int mask = 0x4000; exponent > 0 && !(v & mask); mask >>= 1) --exponent;
    const int mantissa = (v >> (exponent + 3)) & 0x0F;
    return static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
}

uint8_t linearToAlaw(int16_t sample) {
    // G.711 A-law: 13-bit magnitude, segment 0 linear, even bits inverted on the line.
    int v = sample >> 3;
    int sign = 0x80;
    if (v < 0) {
        v = -v - 1;
        sign = 0;
    }
    if (v > 0xFFF) v = 0xFFF;
    int code;
    if (v < 32) {
        code = v >> 1;
    } else {
        int exponent = 1;
        while (exponent < 7 && v >= (32 << exponent)) ++exponent;
        code = (exponent << 4) | ((v >> exponent) & 0x0F);
    }
    return static_cast<uint8_t>((sign | code) ^ 0x55);
}

size_t convertSamples(int32_t* samples, size_t frames, int32_t encoding) {
    size_t count = frames * 2;
    if (encoding & ENC_MONO) {
        // Each mono value replaces the frame it came from, moving forward: safe in place.
        for (size_t i = 0; i < frames; ++i)
            samples[i] = static_cast<int32_t>(
                (static_cast<int64_t>(samples[2 * i]) + samples[2 * i + 1]) >> 1);
        count = frames;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(samples);
    const bool isSigned = (encoding & ENC_SIGNED) != 0;
    const bool swap = (encoding & ENC_BYTESWAP) != 0;

    if (encoding & ENC_ULAW) {
        for (size_t i = 0; i < count; ++i)
            bytes[i] = linearToUlaw(static_cast<int16_t>(clamp16(samples[i])));
        return count;
    }
    if (encoding & ENC_ALAW) {
        for (size_t i = 0; i < count; ++i)
            bytes[i] = linearToAlaw(static_cast<int16_t>(clamp16(samples[i])));
        return count;
    }
    if (encoding & ENC_FLOAT) {
        // Full scale 2^28 becomes 1.0: a power of two, so every value up to 24 significant bits
        // (all of a quiet passage) keeps each of its bits. Nothing is clipped.
        for (size_t i = 0; i < count; ++i) {
            const float f =
                static_cast<float>(samples[i]) * (1.0f / static_cast<float>(kFullScale));
            std::memcpy(samples + i, &f, sizeof f);
        }
        return 4 * count;
    }
    if (encoding & ENC_32BIT) {
        for (size_t i = 0; i < count; ++i)
            samples[i] = static_cast<int32_t>(
                static_cast<uint32_t>(std::clamp(samples[i], -kFullScale, kFullScale - 1)) << 3);
        return 4 * count;
    }
    if (encoding & ENC_24BIT) {
        for (size_t i = 0; i < count; ++i) {
            const int32_t v = std::clamp(samples[i] >> 5, -8388608, 8388607);
            uint8_t lo = static_cast<uint8_t>(v), mid = static_cast<uint8_t>(v >> 8),
                    hi = static_cast<uint8_t>(v >> 16);
            if (!isSigned) hi ^= 0x80;
            uint8_t* p = bytes + 3 * i;
            if (swap) {
                p[0] = hi, p[1] = mid, p[2] = lo;
            } else {
                p[0] = lo, p[1] = mid, p[2] = hi;
            }
        }
        return 3 * count;
    }
    if (encoding & ENC_16BIT) {
        auto* out = reinterpret_cast<int16_t*>(samples);
        convertTo16(samples, out, count);
        if (!isSigned || swap) {
            for (size_t i = 0; i < count; ++i) {
                uint16_t v = static_cast<uint16_t>(out[i]);
                if (!isSigned) v ^= 0x8000;
                uint8_t* p = bytes + 2 * i;
                if (swap) {
                    p[0] = static_cast<uint8_t>(v >> 8), p[1] = static_cast<uint8_t>(v);
                } else {
                    p[0] = static_cast<uint8_t>(v), p[1] = static_cast<uint8_t>(v >> 8);
                }
            }
        }
        return 2 * count;
    }
    for (size_t i = 0; i < count; ++i) {
        const int32_t v = std::clamp(samples[i] >> 21, -128, 127);
        bytes[i] = static_cast<uint8_t>(isSigned ? v : (v ^ 0x80));
    }
    return count;
}

}  // namespace svt::output
