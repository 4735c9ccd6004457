// The two General MIDI fonts Debian ships: every melodic program of bank 0 and every key of
// the standard drum kit resolve to regions whose loops lie inside their data. That each
// program sounds is heard in tests/synth/SynthDebianFontTest.cpp.

#include <gtest/gtest.h>

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

    for (int program = 0; program < 128; ++program) banks.markForLoading(false, 0, program);
    // The keys of the standard kit: 35 (acoustic bass drum) .. 81 (open triangle).
    for (int key = 35; key <= 81; ++key) banks.markForLoading(true, 0, key);
    EXPECT_EQ(banks.loadMarkedInstruments(), 0);

    for (int slot = 0; slot < 128 + 47; ++slot) {
        const bool drum = slot >= 128;
        const Instrument* inst = banks.loadedInstrument(drum, 0, drum ? slot - 128 + 35 : slot);
        ASSERT_NE(inst, nullptr) << "slot " << slot;
        ASSERT_GT(inst->regionCount(), 0);
        for (const SampleRegion& r : inst->regions) {
            ASSERT_NE(r.pcm, nullptr);
            EXPECT_LE(r.loopStartPos, r.loopEndPos) << inst->displayName;
            EXPECT_LE(r.loopEndPos, r.endPos) << inst->displayName;
        }
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
