#pragma once
// The GS insertion and XG effect types: their names and default parameters, and the chain of
// engines each is built from.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "effects/EffectEngines.h"

namespace svt::effects {

inline constexpr int kEffectParams = 20;

// A row of the XG type table or of the GS insertion type table; the last row of each has
// type 0xFFFF and the name "EOF".
struct EffectType {
    uint16_t type;  // MSB << 8 | LSB
    std::string_view name;
    std::array<uint16_t, kEffectParams> defaults;
};
std::span<const EffectType> xgEffectTypes();
std::span<const EffectType> gsInsertionTypes();

// The engines a type is built from, at most four.
struct ChainPlan {
    std::array<EngineId, 4> ids{};
    int count = 0;
};
ChainPlan gsInsertionPlan(int msb, int lsb);
ChainPlan xgEffectPlan(int msb, int lsb);

}  // namespace svt::effects
