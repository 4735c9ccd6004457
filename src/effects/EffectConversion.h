#pragma once
// How an effect engine's node takes the parameters of a GS insertion or XG effect type: each
// conversion turns the type's values (numbered from 1) into the node's state, in hertz,
// decibels, samples and Q24 gains; `systemBlock` says an XG block is a system effect (no dry
// signal) rather than an insertion.

#include <span>

#include "effects/EffectEngines.h"

namespace svt::effects {

using Params = std::span<const uint16_t>;

void gsTwoBandEq(EffectNode& node, Params params, bool systemBlock);
void xgTwoBandEq(EffectNode& node, Params params, bool systemBlock);
void xgDelayEq(EffectNode& node, Params params, bool systemBlock);
void xgWahEq(EffectNode& node, Params params, bool systemBlock);
void xgThreeBandEq(EffectNode& node, Params params, bool systemBlock);
void gsStereoEq(EffectNode& node, Params params, bool systemBlock);
void gsOverdrive(EffectNode& node, Params params, bool systemBlock);
void gsDistortion(EffectNode& node, Params params, bool systemBlock);
void gsOd1Od2(EffectNode& node, Params params, bool systemBlock);
void xgDrive(EffectNode& node, Params params, bool systemBlock);
void xgOdWah(EffectNode& node, Params params, bool systemBlock);
void xgModDelay(EffectNode& node, Params params, bool systemBlock);
void gsHexaChorus(EffectNode& node, Params params, bool systemBlock);
void xgDelayLcr(EffectNode& node, Params params, bool systemBlock);
void xgDelayLr(EffectNode& node, Params params, bool systemBlock);
void xgEcho(EffectNode& node, Params params, bool systemBlock);
void xgCrossDelay(EffectNode& node, Params params, bool systemBlock);
void xgLoFi(EffectNode& node, Params params, bool systemBlock);
void gsLoFi1(EffectNode& node, Params params, bool systemBlock);
void gsLoFi2(EffectNode& node, Params params, bool systemBlock);
void xgAutoWah(EffectNode& node, Params params, bool systemBlock);

}  // namespace svt::effects
