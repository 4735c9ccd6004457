// How a preset zone's generators combine with an instrument zone's: offsets add (within each
// generator's range), a few values replace, ranges intersect; a version-1 font's preset values
// replace and are converted.
#include "instruments/GeneratorTable.h"

#include <gtest/gtest.h>

#include <optional>

namespace svt {
namespace {

GeneratorTable zone(std::initializer_list<Generator> generators) {
    Zone z;
    z.generators = generators;
    GeneratorTable t;
    t.copyZone(z, 2);
    return t;
}

uint16_t u(int v) {
    return static_cast<uint16_t>(v);
}

TEST(GeneratorTable, PresetValuesCombineByTheirGeneratorsRule) {
    const struct {
        const char* what;
        uint16_t oper;
        int preset;
        std::optional<int> instrument;
        int merged;
    } cases[] = {
        {"tuning adds", GEN_COARSE_TUNE, 2, -5, -3},
        // Sums stay in their generator's range instead of wrapping round at 16 bits.
        {"attenuation ends at 144 dB", GEN_INITIAL_ATTENUATION, 31400, 1440, 1440},
        {"a delay no shorter than none", GEN_DELAY_VOL_ENV, -21000, -12000, -12000},
        {"offsets end at 16 bits", GEN_START_ADDRS_OFFSET, 30000, 30000, 32767},
        {"a value the instrument lacks is taken", GEN_PAN, -200, std::nullopt, -200},
        {"a fixed key replaces", GEN_KEYNUM, 40, 60, 40},
        {"a range the instrument lacks is the preset's", GEN_VEL_RANGE, rangeAmount(1, 64),
         std::nullopt, rangeAmount(1, 64)},
    };
    for (const auto& c : cases) {
        GeneratorTable i = c.instrument ? zone({{c.oper, u(*c.instrument)}}) : GeneratorTable{};
        layOver(zone({{c.oper, u(c.preset)}}), i, false);
        EXPECT_TRUE(i.has(c.oper)) << c.what;
        EXPECT_EQ(i.u(c.oper), u(c.merged)) << c.what;
    }
}

TEST(GeneratorTable, CompleteZoneFillsDefaultsAndConvertsVersionOneUnits) {
    const struct {
        const char* what;
        uint16_t oper;
        std::optional<int> stored;
        bool sf1;
        int value;
    } cases[] = {
        {"no fixed key by default", GEN_KEYNUM, std::nullopt, false, -1},
        {"full key range by default", GEN_KEY_RANGE, std::nullopt, false, rangeAmount(0, 127)},
        {"version 1: one second is 0 timecents", GEN_ATTACK_VOL_ENV, 1000, true, 0},
        {"version 1: two seconds", GEN_DECAY_VOL_ENV, 2000, true, 1200},
        {"version 1: level 127 is no attenuation", GEN_INITIAL_ATTENUATION, 127, true, 0},
        {"version 1: level 0 is silence", GEN_INITIAL_ATTENUATION, 0, true, 1000},
        {"version 1: pan 0 is hard left", GEN_PAN, 0, true, -500},
        {"version 1: cutoff 127 is open", GEN_INITIAL_FILTER_FC, 127, true, 14400},
        {"version 1: a full send", GEN_REVERB_SEND, 256, true, 1000},
    };
    for (const auto& c : cases) {
        GeneratorTable i = c.stored ? zone({{c.oper, u(*c.stored)}}) : GeneratorTable{};
        completeZone(GeneratorTable{}, i, c.sf1);
        EXPECT_EQ(i.u(c.oper), u(c.value)) << c.what;
    }
}

}  // namespace
}  // namespace svt
