#include "song/EngineSettings.h"

#include <gtest/gtest.h>

namespace svt {
namespace {

TEST(EngineSettings, ProgramNameAndDefaultSoundFontComeFromTheProgramPath) {
    const struct {
        const char* path;
        const char* name;
        const char* font;
    } cases[] = {
        {"C:\\Apps\\Sorvanto.exe", "Sorvanto.exe", "C:\\Apps\\Sorvanto.sf2"},
        {"/opt/sorvanto/bin/sorvanto-cli", "sorvanto-cli", "/opt/sorvanto/bin/Sorvanto.sf2"},
        {"sorvanto-cli", "sorvanto-cli", ""},  // no folder part: nothing to register
        {"", "sorvanto", ""},
        {"/usr/bin/", "sorvanto", "/usr/bin/Sorvanto.sf2"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(programNameFrom(c.path), c.name) << c.path;
        EXPECT_EQ(defaultSoundFontFor(c.path), c.font) << c.path;
    }
}

TEST(EngineSettings, OutputRateAndControlRatio) {
    const struct {
        int outputRate;
        std::optional<int> forced;
        std::optional<int> ratio;
        int rate, controlRatio;
    } cases[] = {
        {0, std::nullopt, std::nullopt, 44100, 44},
        {-5, std::nullopt, std::nullopt, 44100, 44},
        {8000, std::nullopt, std::nullopt, 8000, 8},
        {300000, std::nullopt, std::nullopt, 300000, 255},
        {500, std::nullopt, std::nullopt, 500, 1},
        {48000, 22050, std::nullopt, 22050, 22},
        {48000, 0, std::nullopt, 48000, 48},  // a forced rate of 0 forces nothing
        {44100, std::nullopt, 100, 44100, 100},
        {44100, std::nullopt, 1000, 44100, 255},
    };
    for (const auto& c : cases) {
        const int rate = settleOutputRate(c.outputRate, c.forced);
        EXPECT_EQ(rate, c.rate) << c.outputRate;
        EXPECT_EQ(settleControlRatio(rate, c.ratio), c.controlRatio) << c.outputRate;
    }
}

TEST(EngineSettings, DrumChannelsFromAListEndedByMinusOne) {
    const struct {
        std::vector<int> list;
        uint32_t mask;
    } cases[] = {
        {{10, -1}, 1u << 9},
        {{10, 11, -1, 12}, (1u << 9) | (1u << 10)},  // -1 ends the list
        {{}, 0},
        {{0, 33, 1, -7}, 1u},  // out of range numbers are passed over
        {{32}, 1u << 31},
    };
    for (const auto& c : cases) EXPECT_EQ(channelMaskFromList(c.list), c.mask);
    EXPECT_EQ(makeEngineSettings({}).drumChannels, 1u << 9);
}

TEST(EngineSettings, OutputChoice) {
    bool liveDevice = true;
    int liveProbes = 0;
    const std::vector<OutputCandidate> outputs = {
        {'d',
         [&] {
             ++liveProbes;
             return liveDevice;
         }},
        {'w', {}},
        {'g', {}},
    };
    const struct {
        bool device;
        std::optional<std::string_view> svt;
        std::optional<size_t> front;
        std::optional<size_t> chosen;
    } cases[] = {
        {true, std::nullopt, std::nullopt, 0},
        {true, "w", std::nullopt, 1},
        {true, "gogo", std::nullopt, 2},           // first character counts
        {false, "d", std::nullopt, std::nullopt},  // preselected device missing, none detected
        {false, "d", 1, 1},
        {true, "x", std::nullopt, 0},  // unknown letter: ordinary choice
        {true, "", 2, 2},
        {false, std::nullopt, std::nullopt, std::nullopt},  // no device: the program exits with 1
        {true, std::nullopt, 7, 0},                         // a choice beyond the list is none
    };
    for (const auto& c : cases) {
        liveDevice = c.device;
        EXPECT_EQ(chooseOutput(outputs, c.svt, c.front), c.chosen)
            << "device " << c.device << " SVT " << c.svt.value_or("(unset)");
    }
    EXPECT_GT(liveProbes, 0);
}

TEST(EngineSettings, FolderArgumentsGetASeparator) {
    const auto isFolder = [](const std::string& a) {
        return a.rfind("C:\\Music", 0) == 0 || a.rfind("@list", 0) == 0;
    };
    const std::vector<std::string> in = {"C:\\Music", "C:\\Music\\", "song.mid", "@list", ""};
    const std::vector<std::string> out = {"C:\\Music/", "C:\\Music\\", "song.mid", "@list", ""};
    EXPECT_EQ(markFolderArguments(in, isFolder), out);
}

}  // namespace
}  // namespace svt
