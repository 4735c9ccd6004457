// Which regions of an instrument sound a note: ranges, the nearest region when none serves,
// and the halves of stereo pairs.

#include "synth/RegionChoice.h"

#include <gtest/gtest.h>

#include <vector>

namespace svt {
namespace {

// A region by its keys (as frequencies), velocities and sample link.
SampleRegion region(int32_t low, int32_t high, int32_t root, uint16_t type = kSampleMono,
                    int32_t index = 0, int32_t linked = -1, uint8_t lowVelocity = 0,
                    uint8_t highVelocity = 127) {
    SampleRegion r;
    r.lowKeyFreq = low;
    r.highKeyFreq = high;
    r.rootFreq = root;
    r.sfSampleType = type;
    r.sfSampleIndex = index;
    r.sfLinkedSample = linked;
    r.lowVelocity = lowVelocity;
    r.highVelocity = highVelocity;
    return r;
}

// The indexes of the chosen regions, in the order chosen.
std::vector<int> choose(const Instrument& inst, int32_t f, int velocity) {
    std::array<const SampleRegion*, kMaxVoices> chosen{};
    const int n = chooseRegions(inst, f, velocity, chosen);
    std::vector<int> indexes;
    for (int i = 0; i < n; ++i) indexes.push_back(int(chosen[size_t(i)] - inst.regions.data()));
    return indexes;
}

TEST(RegionChoice, RangesNearestAndStereoPairs) {
    struct Case {
        const char* what;
        std::vector<SampleRegion> regions;
        int32_t f;
        int velocity;
        std::vector<int> expected;
    } cases[] = {
        {"the regions whose ranges hold the note",
         {region(100, 200, 150), region(150, 300, 200), region(400, 500, 450)},
         160,
         64,
         {0, 1}},
        {"the velocity range counts too",
         {region(100, 200, 150, kSampleMono, 0, -1, 0, 63),
          region(100, 200, 150, kSampleMono, 1, -1, 64, 127)},
         150,
         100,
         {1}},
        {"none serves: the nearest root",
         {region(100, 200, 150), region(400, 500, 450), region(600, 700, 650)},
         520,
         64,
         {1}},
        {"none serves: equally near, the first",
         {region(100, 200, 300), region(410, 500, 500)},
         400,
         64,
         {0}},
        {"none serves: a right half only when nothing else is there",
         {region(100, 200, 500, kSampleRight, 1, 0), region(100, 200, 150, kSampleMono)},
         480,
         64,
         {1}},
        {"none serves, only right halves",
         {region(100, 200, 500, kSampleRight, 1, 0)},
         480,
         64,
         {0}},
        {"a left half brings its right half",
         {region(100, 200, 150, kSampleLeft, 4, 5), region(300, 400, 350, kSampleRight, 5, 4)},
         150,
         64,
         {0, 1}},
        {"of two right halves, the one that serves the note",
         {region(100, 200, 150, kSampleLeft, 4, 5), region(300, 400, 350, kSampleRight, 5, 4),
          region(100, 200, 150, kSampleRight, 5, 4)},
         150,
         64,
         {0, 2}},
        {"a right half that serves on its own is not doubled",
         {region(100, 200, 150, kSampleRight, 5, 4), region(100, 200, 150, kSampleLeft, 4, 5)},
         150,
         64,
         {0, 1}},
        {"a left half whose partner is missing sounds alone",
         {region(100, 200, 150, kSampleLeft, 4, 9)},
         150,
         64,
         {0}},
        {"no regions", {}, 150, 64, {}},
    };
    for (const Case& c : cases) {
        Instrument inst;
        inst.regions = c.regions;
        EXPECT_EQ(choose(inst, c.f, c.velocity), c.expected) << c.what;
    }
}

TEST(RegionChoice, MoreRegionsThanVoicesAreCutAtTheTable) {
    Instrument inst;
    inst.regions.assign(kMaxVoices + 10, region(100, 200, 150));
    EXPECT_EQ(choose(inst, 150, 64).size(), size_t(kMaxVoices));
}

}  // namespace
}  // namespace svt
