#pragma once
// What each effect engine does to a block: `init` sets a node up from its converted
// parameters (filter designs, line lengths, cleared states), `process` runs it in place on
// interleaved stereo values.

#include <span>

#include "effects/EffectEngines.h"

namespace svt::effects {

void initTwoBandEq(EffectNode& node);
void processTwoBandEq(EffectNode& node, std::span<int32_t> block);
void initThreeBandEq(EffectNode& node);
void processThreeBandEq(EffectNode& node, std::span<int32_t> block);
void initStereoEq(EffectNode& node);
void processStereoEq(EffectNode& node, std::span<int32_t> block);
void initDrive(EffectNode& node);
void processDrive(EffectNode& node, std::span<int32_t> block);
void initModDelay(EffectNode& node);
void processModDelay(EffectNode& node, std::span<int32_t> block);
void initDelayLcr(EffectNode& node);
void processDelayLcr(EffectNode& node, std::span<int32_t> block);
void initDelayLr(EffectNode& node);
void processDelayLr(EffectNode& node, std::span<int32_t> block);
void initEcho(EffectNode& node);
void processEcho(EffectNode& node, std::span<int32_t> block);
void initCrossDelay(EffectNode& node);
void processCrossDelay(EffectNode& node, std::span<int32_t> block);
void initLoFi(EffectNode& node);
void processLoFi(EffectNode& node, std::span<int32_t> block);
void initAutoWah(EffectNode& node);
void processAutoWah(EffectNode& node, std::span<int32_t> block);
void processNone(EffectNode& node, std::span<int32_t> block);

}  // namespace svt::effects
