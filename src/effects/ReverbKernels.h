#pragma once
// The combs and all-passes of the room and hall reverb over a stretch of frames. A line reads
// what it wrote one length ago, so over a stretch no longer than the line it reads everything
// before it writes anything: the combs (sixteen, eight a side) run one after the other along the
// stretch in the scalar form and side by side frame by frame in the vector form, each all-pass
// runs along the stretch, and every form gives the values of a frame-by-frame loop bit for bit.

#include <array>
#include <cstdint>

#include "base/SimdLevel.h"

namespace svt::effects {

struct CombBank {
    static constexpr int kCombs = 16;  // 0..7 the left side, 8..15 the right
    std::array<int32_t*, kCombs> line{};
    std::array<int32_t, kCombs> size{};
    std::array<int32_t, kCombs> index{};
    std::array<int32_t, kCombs> store{};     // the damping low-pass in each loop
    std::array<int32_t, kCombs> feedback{};  // loop gain, Q24
    int32_t damp = 0;
    int32_t damp1 = 0;
};

// The longest stretch a kernel takes at once.
inline constexpr int kCombStretch = 128;

// The combs a kernel runs: the two sides are independent of each other, so one thread may run
// the left while another runs the right.
enum class CombSides { Both, Left, Right };

// Runs the combs of `sides` over `frames` frames of `in` (at most kCombStretch and at most the
// shortest comb's size). Each comb: o = the line's front, store = store * damp + o * damp1, the
// line takes store * feedback + in; wet[0][i] and wet[1][i] become the sums of the left and the
// right combs' o at frame i, saturated to 32 bits (only those of the sides run are written).
using CombsFn = void (*)(CombBank& bank, const int32_t* in, int frames, std::array<int32_t*, 2> wet,
                         CombSides sides);

// The all-pass of the rooms and halls over `frames` values of `x` (at most the line's size), in
// place: b = the line's front, the line takes x + b * gain, x becomes b - x.
using AllPassFn = void (*)(int32_t* line, int32_t size, int32_t& index, int32_t gain, int32_t* x,
                           int frames);

// Adds the two sides' wet signals into `out` (interleaved stereo): frame i's left gets
// left * wet1 + right * wet2 and its right right * wet1 + left * wet2, each product by mulQ24
// and their sum on 32 bits.
using WetMixFn = void (*)(const int32_t* left, const int32_t* right, int frames, int32_t wet1,
                          int32_t wet2, int64_t* out);

struct ReverbKernels {
    CombsFn combs;
    AllPassFn allPass;
    WetMixFn wetMix;
};

// The kernels for `level` or the best available ones below it.
ReverbKernels reverbKernelsFor(SimdLevel level);

void combsScalar(CombBank& bank, const int32_t* in, int frames, std::array<int32_t*, 2> wet,
                 CombSides sides);
void allPassScalar(int32_t* line, int32_t size, int32_t& index, int32_t gain, int32_t* x,
                   int frames);
void wetMixScalar(const int32_t* left, const int32_t* right, int frames, int32_t wet1, int32_t wet2,
                  int64_t* out);
#if defined(__x86_64__) || defined(__i386__)
void combsAvx2(CombBank& bank, const int32_t* in, int frames, std::array<int32_t*, 2> wet,
               CombSides sides);
void allPassAvx2(int32_t* line, int32_t size, int32_t& index, int32_t gain, int32_t* x, int frames);
void wetMixAvx2(const int32_t* left, const int32_t* right, int frames, int32_t wet1, int32_t wet2,
                int64_t* out);
#endif

}  // namespace svt::effects
