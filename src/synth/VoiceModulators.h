#pragma once
// A region's SoundFont modulators applied to one voice at its note-on: the velocity, the key
// and the channel's controllers as they are then move the voice's filter, level, tuning and
// envelope times. Nothing here allocates; the region's list was made when the font was read.

#include <optional>

#include "instruments/Instrument.h"
#include "synth/ChannelState.h"
#include "synth/Voice.h"

namespace svt {

struct ModulatorResult {
    // The depth a font modulator gives the velocity's attenuation in place of the engine's
    // curve (960 is the curve as it is); nothing when the font leaves the curve alone.
    std::optional<double> velocityDepth;
    int panSteps = 0;  // added to the voice's pan, 0..127
};

// Sets the voice's modulated values (cutoff, resonance, modulation envelope depths, gain,
// envelope rate scales) from region `r` for the voice's note and velocity on channel `ch`,
// and moves its base frequency by the tuning and its delays (envelopes, LFOs; set from the
// region before) by the times the modulators add.
ModulatorResult applyModulators(Voice& v, const SampleRegion& r, const ChannelState& ch);

}  // namespace svt
