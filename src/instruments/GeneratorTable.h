#pragma once
// The generators of one zone while the index merges them: a preset zone laid over the
// instrument zones it names by each generator's rule (added, replaced, ranges intersected),
// the defaults of what no zone sets, and the units of version-1 fonts turned into version 2's.

#include <array>
#include <cstdint>

#include "instruments/SoundFontFile.h"

namespace svt {

struct GeneratorTable {
    std::array<int16_t, kGeneratorCount> value{};
    std::array<uint8_t, kGeneratorCount> setMark{};  // 0 not set, 1 global zone, 2 local zone

    bool has(int g) const { return setMark[static_cast<size_t>(g)] != 0; }
    int16_t v(int g) const { return value[static_cast<size_t>(g)]; }
    uint16_t u(int g) const { return static_cast<uint16_t>(value[static_cast<size_t>(g)]); }
    void copyZone(const Zone& z, uint8_t mark) {
        for (const Generator& gen : z.generators) {
            if (gen.oper >= kGeneratorCount) continue;
            value[gen.oper] = static_cast<int16_t>(gen.amount);
            setMark[gen.oper] = mark;
        }
    }
};

// Version-1 fonts keep the root key and its tuning, in hundredths of a semitone, in the
// generator that version 2 reserves.
inline constexpr int kSf1RootKeyGenerator = GEN_RESERVED3;

bool zoneHasGenerator(const Zone& z, uint16_t oper);
// A zone that names neither an instrument nor a sample holds the defaults of its siblings.
bool isGlobalZone(const Zone& z);
// Both the key and the velocity range are ordered and within 0..127.
bool rangesValid(const GeneratorTable& t);
// NaN gives 0; everything else is held to the type's range.
int16_t clamp16(double x);
int32_t clamp32(double x);

// Lays the preset's (or an outer instrument's) table `p` over the instrument zone `i`.
void layOver(const GeneratorTable& p, GeneratorTable& i, bool sf1);
// Fills in the defaults of what `i` does not set, lays `p` over it and, for a version-1 font,
// converts every value into version-2 units: `i` is then the zone as one region plays it.
void completeZone(const GeneratorTable& p, GeneratorTable& i, bool sf1);

}  // namespace svt
