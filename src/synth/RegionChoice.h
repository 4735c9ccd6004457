#pragma once
// Which regions of an instrument sound a note.

#include <cstdint>
#include <span>

#include "base/Constants.h"
#include "instruments/Instrument.h"

namespace svt {

// Writes the regions of `inst` that sound a key of frequency `frequencyMilliHz` struck at
// `velocity` into `chosen` and returns how many. Every region whose key and velocity ranges
// hold the note; when none does, the one whose root is nearest (left halves and mono samples
// before right halves). A left half of a stereo pair brings its right half.
int chooseRegions(const Instrument& inst, int32_t frequencyMilliHz, int velocity,
                  std::span<const SampleRegion*, kMaxVoices> chosen);

}  // namespace svt
