#pragma once
// SoundFont modulators: how the lists of a preset zone and an instrument zone combine into the
// list one region plays with, and what a modulator adds to its generator for one note.
//
// A region's list is made once, when the font is indexed: a zone's own modulators replace the
// identical ones of its global zone, and the preset's are added to the instrument's (an
// identical pair sums its amounts). Only modulators whose sources are known when a note starts
// are kept; the sounding voice is shaped by them once, at its note-on.

#include <array>
#include <cstdint>
#include <vector>

#include "instruments/SoundFontFile.h"

namespace svt {

// Two modulators are identical when they differ in nothing but their amount.
inline bool sameModulator(const Modulator& a, const Modulator& b) {
    return a.source == b.source && a.destination == b.destination &&
           a.amountSource == b.amountSource && a.transform == b.transform;
}

// How the engine treats a modulator that equals one of the defaults every SoundFont player
// applies. The engine shapes these sources through its own curves (velocity, volume,
// expression, pan, the wheel, pressure, bend, the effect sends); a font's modulator identical
// to one of them replaces it.
enum class DefaultModulator : uint8_t {
    None,                 // not a default: applied as it is
    VelocityAttenuation,  // replaces the depth of the engine's velocity curve
    VelocityCutoff,       // the engine has no velocity filter of its own: applied as it is
    EngineSource,         // a source the engine shapes itself: left to it
};
DefaultModulator defaultModulator(const Modulator& m);

// Lays zone `z`'s modulators over `list` (its global zone's, or nothing): an identical one is
// replaced, any other appended.
void overlayModulators(std::vector<Modulator>& list, const std::vector<Modulator>& zone);
// Adds a preset level's modulators to an instrument level's list: an identical one has the
// amounts summed (a default the instrument does not override counts as in its list), any
// other is appended.
void addModulators(std::vector<Modulator>& list, const std::vector<Modulator>& preset);
// Keeps the modulators a voice can apply at its note-on: a generator as destination, sources
// of known kinds (velocity, key, pressure, the pitch wheel and its range, controllers), a
// known curve and transform, and no amount of 0.
void keepPlayable(std::vector<Modulator>& list);

// The sources as they are when a note starts.
struct ModulatorInputs {
    int velocity = 0;
    int key = 60;
    int polyPressure = 0;
    int channelPressure = 0;
    int pitchWheel = 8192;    // 0..16383
    int pitchWheelRange = 2;  // semitones
    std::array<uint8_t, 128> controllers{};
};

// The source value 0..1 (unipolar) or -1..1 (bipolar) of `source` through its curve.
double modulatorSource(uint16_t source, const ModulatorInputs& in);
// What the modulator adds to its destination generator, in the generator's unit.
double modulatorOutput(const Modulator& m, const ModulatorInputs& in);

}  // namespace svt
