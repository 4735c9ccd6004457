#pragma once
// One merged zone as the voices use it: sample positions in fixed point, envelope rates per
// control period, filter, tuning and root frequency, LFO steps, pan.

#include <vector>

#include "instruments/GeneratorTable.h"
#include "instruments/LoadedSoundFont.h"

namespace svt {

// What a region is built from besides its generators.
struct RegionSource {
    const SoundFontFile& file;
    const std::vector<SampleData>& samples;
    const InstrumentSettings& settings;
    double amplification;
    bool sf1;  // a version-1 font
    int bank;
};

// Fills `pr` (whose fixed note the caller has set) for `key` from the complete table `t` and
// its sample `header`.
void fillRegion(const GeneratorTable& t, SampleHeader header, int key, const RegionSource& source,
                PendingRegion& pr);

}  // namespace svt
