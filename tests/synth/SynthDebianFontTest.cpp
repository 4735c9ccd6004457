// Every General MIDI program and the standard kit of the fonts Debian ships, played as a
// chord and released in an engine's synthesizer (its effects on): each sounds, no voice goes beyond
// the full scale (a filter that blows up would), and every voice ends.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/Engine.h"
#include "support/Signal.h"

namespace svt {
namespace {

class DebianFontSynth : public ::testing::TestWithParam<const char*> {};

TEST_P(DebianFontSynth, EveryProgramSoundsStaysInRangeAndEnds) {
    const std::string path = std::string("/usr/share/sounds/sf2/") + GetParam();
    if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not installed";
    Engine engine;
    ASSERT_TRUE(engine.loadSoundFont(path).ok());
    Synthesizer& synth = engine.synthesizer();
    std::vector<int32_t> block(2 * kBlockFrames);

    auto play = [&](int channel, int program, std::initializer_list<int> keys) {
        synth.resetChannels();
        synth.applyEvent(SongEvent{0, EV_PROGRAM, uint8_t(channel), uint8_t(program), 0}, true);
        for (int k : keys)
            synth.applyEvent(SongEvent{0, EV_NOTE_ON, uint8_t(channel), uint8_t(k), 127}, true);
        double level = 0, top = 0;
        for (int b = 0; b < 8; ++b) {
            synth.render({block.data(), kBlockFrames});
            level = std::max(level, test::rms(test::toDoubles(block)));
            top = std::max(top, test::peak(test::toDoubles(block)));
        }
        synth.releaseAllNotes();
        int blocks = 0;
        for (; blocks < 200 && synth.voicesInUse() > 0; ++blocks)
            synth.render({block.data(), kBlockFrames});
        EXPECT_EQ(synth.voicesInUse(), 0) << "program " << program << " channel " << channel;
        EXPECT_GT(level, kFullScale * 1e-3) << "program " << program << " channel " << channel;
        EXPECT_LT(top, double(kFullScale) * double(keys.size()))
            << "program " << program << " channel " << channel;
    };
    for (int program = 0; program < 128; ++program) play(0, program, {48, 60, 64, 67});
    play(9, 0, {35, 38, 42, 49});
}

INSTANTIATE_TEST_SUITE_P(Fonts, DebianFontSynth,
                         ::testing::Values("TimGM6mb.sf2", "FluidR3_GM.sf2"));

}  // namespace
}  // namespace svt
