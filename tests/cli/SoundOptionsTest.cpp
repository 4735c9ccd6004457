// The sound options convert and play share, read from the same command-line words.
#include "cli/SoundOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/Command.h"

namespace svt::cli {
namespace {

// Parses `words` as a command's arguments; the error of the options, or empty.
std::string parse(const std::vector<std::string>& words, SoundChoices& choices) {
    ArgParser parser(words);
    const SoundOptionTexts texts = takeSoundOptions(parser);
    const std::vector<std::string> rest = parser.operands();
    EXPECT_TRUE(parser.error().empty()) << parser.error();
    EXPECT_EQ(rest, std::vector<std::string>{"song.mid"}) << "options were left behind";
    return applySoundOptions(texts, choices);
}

TEST(SoundOptions, EveryOptionReachesWhatItSets) {
    SoundChoices c;
    ASSERT_EQ(
        parse({"song.mid",    "--rate",      "22050",     "--interp", "linear",   "--transpose",
               "-3",          "--tempo=150", "--volume",  "120",      "--mute",   "2,10",
               "--reverb",    "off",         "--chorus",  "off",      "--filter", "4",
               "--pan-delay", "on",          "--limiter", "off"},
              c),
        "");
    EXPECT_EQ(c.settings.outputRateHz, 22050);
    EXPECT_TRUE(c.rateGiven);
    EXPECT_EQ(c.settings.controlRatio, 22) << "the control period follows the rate";
    EXPECT_EQ(c.settings.interpolation, InterpolationKind::Linear);
    EXPECT_EQ(c.keyOffset, -3);
    EXPECT_EQ(c.tempoPercent, 150);
    EXPECT_EQ(c.amplification, 120);
    EXPECT_EQ(c.muteMask, (1u << 1) | (1u << 9));
    EXPECT_EQ(c.settings.reverbMode, 0);
    EXPECT_EQ(c.settings.chorusMode, 0);
    EXPECT_FALSE(c.settings.surroundChorus);
    EXPECT_EQ(c.settings.voiceFilter, kFilterFourPole);
    EXPECT_TRUE(c.settings.panDelay);
    EXPECT_FALSE(c.settings.limiter);

    // Nothing given: the engine's own settings stay untouched.
    SoundChoices plain;
    ASSERT_EQ(parse({"song.mid"}, plain), "");
    const EngineSettings defaults;
    EXPECT_FALSE(plain.rateGiven);
    EXPECT_EQ(plain.settings.outputRateHz, defaults.outputRateHz);
    EXPECT_EQ(plain.settings.reverbMode, defaults.reverbMode);
    EXPECT_EQ(plain.settings.chorusMode, defaults.chorusMode);
    EXPECT_TRUE(plain.settings.limiter);
    EXPECT_EQ(plain.muteMask, 0u);

    // Solo leaves one channel of sixteen; surround keeps the chorus level per channel.
    SoundChoices solo;
    ASSERT_EQ(parse({"--solo", "16", "--mute", "1", "--chorus", "surround", "song.mid"}, solo), "");
    EXPECT_EQ(solo.muteMask, 0x7FFFu);
    EXPECT_TRUE(solo.settings.surroundChorus);
    EXPECT_EQ(solo.settings.chorusMode, defaults.chorusMode);
}

TEST(SoundOptions, AWrongValueIsNamedWithWhatIsWanted) {
    struct Case {
        std::vector<std::string> words;
        const char* error;
    };
    const Case cases[] = {
        {{"--rate", "7999"}, "--rate wants a rate between 8000 and 192000 Hz, not \"7999\""},
        {{"--rate", "44.1k"}, "--rate wants"},
        {{"--interp", "cubic"}, "--interp wants none, linear or default"},
        {{"--transpose", "25"}, "--transpose wants semitones between -24 and 24"},
        {{"--tempo", "9"}, "--tempo wants a percentage between 10 and 1000"},
        {{"--volume", "-1"}, "--volume wants a percentage between 0 and 200"},
        {{"--mute", "1,,3"}, "--mute wants channels 1..16 separated by commas, not \"1,,3\""},
        {{"--mute", "17"}, "--mute wants channels"},
        {{"--solo", "0"}, "--solo wants a channel 1..16"},
        {{"--reverb", "yes"}, "--reverb wants off or on"},
        {{"--chorus", "wide"}, "--chorus wants off or on or surround"},
        {{"--filter", "3"}, "--filter wants 2 or 4"},
        {{"--pan-delay", "1"}, "--pan-delay wants off or on"},
        {{"--limiter", "soft"}, "--limiter wants on or off"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = c.words;
        words.push_back("song.mid");
        SoundChoices choices;
        const std::string error = parse(words, choices);
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.words[0] << ": " << error;
    }
}

}  // namespace
}  // namespace svt::cli
