#pragma once
// The loops that add a channel's block into an effect bus at the channel's send level. The bus
// keeps 32 bits: each value is first limited to 64 times full scale, and each sum saturates.
// The vector form gives the scalar results bit for bit; which one runs is chosen at run time.

#include <cstdint>
#include <span>

#include "base/SimdLevel.h"

namespace svt::effects {

// The limit of a block value on its way into a bus: 64 times full scale in Q24.
inline constexpr int64_t kSendLimit = int64_t(1) << 30;

// Each kernel adds every value of `block` into the value of `to` at the same place (`to` holds
// at least as many values).
// to[i] = saturate32(to[i] + mulQ24(limited(block[i]), gain)): the reverb's send.
using ReverbSendFn = void (*)(std::span<const int64_t> block, int64_t gain, std::span<int32_t> to);
// to[i] = saturate32(to[i] + ((limited(block[i]) * gain) >> 16)) for a gain of 0..65536: the
// chorus's and the delay's sends.
using LevelSendFn = void (*)(std::span<const int64_t> block, int64_t gain, std::span<int32_t> to);

struct SendKernels {
    ReverbSendFn reverb;
    LevelSendFn level;
};

// The kernels for `level` or the best available below it.
SendKernels sendKernelsFor(SimdLevel level);

void reverbSendScalar(std::span<const int64_t> block, int64_t gain, std::span<int32_t> to);
void levelSendScalar(std::span<const int64_t> block, int64_t gain, std::span<int32_t> to);
// The same for blocks already within 32 bits (what an insertion effect sends on).
void reverbSendScalar(std::span<const int32_t> block, int64_t gain, std::span<int32_t> to);
void levelSendScalar(std::span<const int32_t> block, int64_t gain, std::span<int32_t> to);
#if defined(__x86_64__) || defined(__i386__)
// Products of 32-bit halves: a reverb gain beyond 32 bits, and a level gain beyond 2^16, go
// the scalar way.
void reverbSendAvx2(std::span<const int64_t> block, int64_t gain, std::span<int32_t> to);
void levelSendAvx2(std::span<const int64_t> block, int64_t gain, std::span<int32_t> to);
#endif

}  // namespace svt::effects
