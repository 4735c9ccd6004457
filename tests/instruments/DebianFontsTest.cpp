// The two General MIDI fonts Debian ships: every melodic program of bank 0 and the
// standard drum kit must give a listener something to hear on every key.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "instruments/instruments.h"

namespace svt {
namespace {

class DebianFont : public ::testing::TestWithParam<const char*> {};

TEST_P(DebianFont, EveryGeneralMidiProgramAndTheStandardKitResolve) {
    std::string path = std::string("/usr/share/sounds/sf2/") + GetParam();
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not installed";
    InstrumentSettings settings{EngineSettings{}};
    SoundFontRegistry registry(settings);
    registry.selectFont(path);
    InstrumentBanks banks(registry);
    ASSERT_EQ(banks.indexFonts(), 0) << registry.fonts()[0]->lastError();
    const SynthTables& t = synthTables();

    for (int program = 0; program < 128; ++program) banks.markForLoading(false, 0, program);
    // The keys of the standard kit: 35 (acoustic bass drum) .. 81 (open triangle).
    for (int key = 35; key <= 81; ++key) banks.markForLoading(true, 0, key);
    EXPECT_EQ(banks.loadMarkedInstruments(), 0);

    for (int program = 0; program < 128; ++program) {
        const Instrument* inst = banks.loadedInstrument(false, 0, program);
        ASSERT_NE(inst, nullptr) << "program " << program;
        EXPECT_FALSE(inst->displayName.empty());
        // Real instruments do not span the whole keyboard (FluidR3's contrabass ends at
        // key 57, its violin skips key 94; other keys play the nearest region), but each
        // has a playable range of its own.
        int covered = 0;
        for (int key = 21; key <= 108; ++key) {
            const int32_t f = t.noteFreqMilliHz[static_cast<size_t>(key)];
            covered += std::any_of(
                inst->regions.begin(), inst->regions.end(),
                [f](const SampleRegion& r) { return r.lowKeyFreq <= f && f <= r.highKeyFreq; });
        }
        EXPECT_GE(covered, 12) << inst->displayName << " (program " << program << ")";
        for (const SampleRegion& r : inst->regions) {
            ASSERT_NE(r.pcm, nullptr);
            EXPECT_LE(r.loopStartPos, r.loopEndPos) << inst->displayName;
            EXPECT_LE(r.loopEndPos, r.endPos) << inst->displayName;
            EXPECT_GT(r.rootFreq, 0);
            // The data must not be silence: a listener would hear nothing.
            int peak = 0;
            for (uint32_t i = 0; i < (r.endPos >> 12); ++i)
                peak = std::max(peak, std::abs(int{r.pcm[i]}));
            EXPECT_GT(peak, 100) << inst->displayName;
        }
    }
    for (int key = 35; key <= 81; ++key) {
        const Instrument* hit = banks.loadedInstrument(true, 0, key);
        ASSERT_NE(hit, nullptr) << "drum key " << key;
        ASSERT_GT(hit->regionCount(), 0);
    }
    EXPECT_GT(banks.loadedPcmBytes(), 1000000u);
    banks.freeAllInstruments();
    EXPECT_EQ(banks.loadedPcmBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Fonts, DebianFont, ::testing::Values("FluidR3_GM.sf2", "TimGM6mb.sf2"),
                         [](const auto& info) {
                             std::string n = info.param;
                             return n.substr(0, n.find('.'));
                         });

}  // namespace
}  // namespace svt
