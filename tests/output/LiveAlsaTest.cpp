// The live output on a real ALSA device that needs no sound card: a "file" PCM over "null"
// writes exactly the stream the device was given, paced by the audio queue as on a
// loudspeaker. That stream must be the song the WAV output writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Engine.h"
#include "output/LiveOutput.h"
#include "output/WavOutput.h"
#include "support/CliRun.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt {
namespace {

using test::TempDir;

// A second and a half of a chord whose notes end one after another.
std::string song(const TempDir& dir) {
    test::SmfBuilder smf(0, 480);
    smf.track()
        .tempo(0, 500000)
        .program(0, 0, 0)
        .noteOn(0, 0, 69, 110)
        .noteOn(240, 0, 76, 90)
        .noteOff(720, 0, 69)
        .noteOn(0, 0, 64, 70)
        .noteOff(480, 0, 76)
        .noteOff(0, 0, 64)
        .endOfTrack();
    return dir.write("chord.mid", smf.build());
}

// Writes `midi` into the WAV file `wav`.
int renderWav(const std::string& font, const std::string& midi, const std::string& wav) {
    Engine engine(EngineSettings{});
    if (!engine.loadSoundFont(font).ok()) return -100;
    if (!engine.selectOutput("w")) return -101;
    engine.output().name = wav;
    if (engine.openOutput() < 0) return -102;
    const int result = engine.playFile(midi);
    engine.closeOutput();
    return result;
}

// The command line's player on an ALSA device that an .asoundrc in a home of the test's own
// defines: a file PCM over null that starts a new numbered file each time the device opens.
// (That --interp reaches the sound is checked on conversions, which share the options.)
TEST(LiveAlsa, ThePlayCommandPlaysTheSongTheWavFileHolds) {
    TempDir dir;
    const std::string font = dir.write("sine.sf2", test::sineFont()), midi = song(dir);
    const std::string wav = dir.file("chord.wav"), raw = dir.file("played.raw");
    ASSERT_EQ(renderWav(font, midi, wav), CmdTuneEnd);
    {
        std::ofstream rc(dir.file(".asoundrc"));
        rc << "pcm.sorvanto_test {\n  type file\n  slave.pcm \"null\"\n  file \"" << raw
           << "\"\n  format \"raw\"\n  truncate false\n}\n";
    }
    // ALSA reads ~/.asoundrc; the player inherits this home.
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    setenv("HOME", dir.path().c_str(), 1);
    const test::CliRun run = test::runCli("play " + midi + " -s " + font +
                                          " --device sorvanto_test --verbose < /dev/null");
    setenv("HOME", savedHome.c_str(), 1);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("Gerät offen."), std::string::npos) << run.out;
    EXPECT_TRUE(run.out.ends_with("Device closed.\n"))
        << "every buffer came back before the close\n"
        << run.out;

    std::vector<uint8_t> played;
    for (int n = 0; n < 100; ++n) {
        char suffix[8] = "";
        if (n > 0) std::snprintf(suffix, sizeof suffix, ".%04d", n);
        if (!std::filesystem::exists(raw + suffix)) break;
        const std::vector<uint8_t> part = test::readFileBytes(raw + suffix);
        played.insert(played.end(), part.begin(), part.end());
    }
    const std::vector<uint8_t> file = test::readFileBytes(wav);
    ASSERT_GT(file.size(), output::kWavHeaderBytes);
    const std::vector<uint8_t> expected(file.begin() + output::kWavHeaderBytes, file.end());
    // The live stream ends with the last bucket padded with silence to its whole size.
    ASSERT_GE(played.size(), expected.size());
    EXPECT_LT(played.size() - expected.size(), static_cast<size_t>(output::kLiveBufferBytes));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin()));
    EXPECT_TRUE(std::all_of(played.begin() + static_cast<long>(expected.size()), played.end(),
                            [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](uint8_t b) { return b != 0; }));
}

TEST(LiveAlsa, AnUnknownDeviceIsNotDetectedAndDoesNotOpen) {
    output::LiveOutput live;
    live.setDeviceName("sorvanto-no-such-pcm");
    EXPECT_FALSE(live.detect());
    EXPECT_EQ(live.openOutput(), -1);
    EXPECT_TRUE(live.lastMessage().starts_with(
        "There is no audio device available! (sorvanto-no-such-pcm: "))
        << live.lastMessage() << ": the device and the system's reason are named";
}

}  // namespace
}  // namespace svt
