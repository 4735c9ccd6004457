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
        std::vector<int> expected;
        int velocity = 64;
    } cases[] = {
        {"in range",
         {region(100, 200, 150), region(150, 300, 200), region(400, 500, 450)},
         160,
         {0, 1}},
        {"velocity",
         {region(100, 200, 150, kSampleMono, 0, -1, 0, 63),
          region(100, 200, 150, kSampleMono, 1, -1, 64, 127)},
         150,
         {1},
         100},
        // None serves: the nearest root; of two equally near, the first.
        {"nearest",
         {region(100, 200, 150), region(400, 500, 450), region(600, 700, 650)},
         520,
         {1}},
        {"equally near", {region(100, 200, 300), region(410, 500, 500)}, 400, {0}},
        // None serves: a right half only when nothing else is there.
        {"nearest mono",
         {region(100, 200, 500, kSampleRight, 1, 0), region(100, 200, 150)},
         480,
         {1}},
        {"only right halves", {region(100, 200, 500, kSampleRight, 1, 0)}, 480, {0}},
        {"left brings right",
         {region(100, 200, 150, kSampleLeft, 4, 5), region(300, 400, 350, kSampleRight, 5, 4)},
         150,
         {0, 1}},
        // Of two right halves, the one that serves the note.
        {"two rights",
         {region(100, 200, 150, kSampleLeft, 4, 5), region(300, 400, 350, kSampleRight, 5, 4),
          region(100, 200, 150, kSampleRight, 5, 4)},
         150,
         {0, 2}},
        // A right half that serves on its own is not doubled.
        {"right serves",
         {region(100, 200, 150, kSampleRight, 5, 4), region(100, 200, 150, kSampleLeft, 4, 5)},
         150,
         {0, 1}},
        {"partner missing", {region(100, 200, 150, kSampleLeft, 4, 9)}, 150, {0}},
        {"no regions", {}, 150, {}},
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
