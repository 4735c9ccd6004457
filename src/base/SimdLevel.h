#pragma once
// The instruction sets the synthesizer's kernels are written for. Every form gives the results
// of the scalar one bit for bit; the engine runs the widest the processor offers unless a
// narrower one is asked for (the environment variable "SORVANTO_SIMD" or the engine settings),
// which lets every form be tested and measured on one machine.

#include <cstdint>
#include <optional>
#include <string_view>

namespace svt {

// Avx512 runs the AVX-512 forms where a kernel has one and the AVX2 forms elsewhere.
enum class SimdLevel : uint8_t { Scalar = 0, Sse2 = 1, Avx2 = 2, Avx512 = 3 };

inline constexpr SimdLevel kSimdLevels[] = {SimdLevel::Scalar, SimdLevel::Sse2, SimdLevel::Avx2,
                                            SimdLevel::Avx512};

inline constexpr const char* simdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Sse2:
            return "sse2";
        case SimdLevel::Avx2:
            return "avx2";
        case SimdLevel::Avx512:
            return "avx512";
        default:
            return "scalar";
    }
}

// The level a name ("scalar", "sse2", "avx2", "avx512") stands for; nullopt for any other text.
inline std::optional<SimdLevel> simdLevelFromName(std::string_view name) {
    for (SimdLevel level : kSimdLevels)
        if (name == simdLevelName(level)) return level;
    return std::nullopt;
}

}  // namespace svt
