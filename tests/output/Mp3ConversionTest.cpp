// Songs converted to MP3 on the command line, decoded again by Debian's mpg123: the tags, the
// bit rates and rates chosen, standard output, and the failures of -f mp3.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/CliRun.h"
#include "support/DecodedAudio.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

// What an MP3 may hold beyond its input: the end padded to a whole frame of 1,152 samples,
// and the encoder's delay when a decoder does not remove it.
constexpr size_t kFrameSamples = 1152;
constexpr size_t kEncoderDelay = 576 + 529;

std::string sineFont(const TempDir& dir) {
    return dir.write("sine.sf2", test::sineFont());
}

// No preset the songs choose: the notes are silent and the song ends exactly at its end, so
// sizes are exact.
std::string silentFont(const TempDir& dir) {
    return dir.write("silent.sf2", test::silentFont());
}

// Two seconds of a held A and E, then a quieter second; titled as given. A last note is
// struck as the song ends, so that it ends there whatever the synthesizer sounds.
std::string song(const TempDir& dir, const std::string& file, const std::string& title) {
    test::SmfBuilder smf(1, 480);
    smf.track().trackName(0, title).tempo(0, 500000).endOfTrack(1920);
    smf.track()
        .program(0, 0, 0)
        .noteOn(0, 0, 69, 110)
        .noteOn(0, 0, 76, 90)
        .noteOff(1920, 0, 69)
        .noteOff(0, 0, 76)
        .noteOn(0, 0, 64, 60)
        .noteOff(960, 0, 64)
        .noteOn(0, 0, 62, 1)
        .noteOff(0, 0, 62)
        .endOfTrack();
    return dir.write(file, smf.build());
}

// The command line as a user runs it, from a folder of its own, so that the library beside
// the program (or its absence) is what the test put there.
struct ProgramCopy {
    explicit ProgramCopy(const TempDir& dir, const char* library) : folder(dir.file("program")) {
        fs::create_directories(folder);
        fs::copy_file(std::string(SORVANTO_BINARY_DIR) + "/bin/sorvanto-cli",
                      folder + "/sorvanto-cli");
        if (library != nullptr) fs::copy_file(library, folder + "/libgogo.so");
    }
    test::CliRun run(const std::string& env, const std::string& args) const {
        test::CliRun r;
        r.exitCode = test::runCommand("env XDG_CONFIG_HOME=" + folder + "/config " + env + " " +
                                          folder + "/sorvanto-cli " + args + " 2>&1",
                                      &r.out);
        return r;
    }
    std::string folder;
};

// The file's own title tag and its sound are checked with every other format in
// tests/app/FileFormatsTest.cpp; here the MP3 settings and standard output.
TEST(Mp3Conversion, CommandLineWritesMp3FilesAtTheChosenRateAndThroughAPipe) {
    TempDir dir;
    const std::string title = "A title longer than thirty characters, cut";
    const std::string midi = song(dir, "Tune.mid", title);
    const size_t songFrames = 44100 * 3 + 44100;  // the song and the second of silence after it

    // Bit rates reach the encoder: a constant 320 kbps file is five times one of 64.
    auto run = test::runCli("convert -s " + silentFont(dir) + " " + midi +
                            " -f mp3 --bitrate 64 -o " + dir.file("64.mp3"));
    ASSERT_EQ(run.exitCode, 0) << run.out;
    run = test::runCli("convert -s " + silentFont(dir) + " " + midi + " -f mp3 --bitrate 320 -o " +
                       dir.file("320.mp3"));
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const double ratio = static_cast<double>(fs::file_size(dir.file("320.mp3"))) /
                         static_cast<double>(fs::file_size(dir.file("64.mp3")));
    EXPECT_NEAR(ratio, 5.0, 0.5);
    run = test::runCli("convert -s " + silentFont(dir) + " " + midi +
                       " -f mp3 --vbr 4 --rate 22050 -o " + dir.file("vbr.mp3"));
    ASSERT_EQ(run.exitCode, 0) << run.out;
    auto decoded = test::decodeMp3(dir.file("vbr.mp3"));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->rateHz, 22050);

    // Standard output: the whole file arrives through the pipe.
    ASSERT_EQ(test::runCommand("(" + std::string(SORVANTO_BINARY_DIR) +
                               "/bin/sorvanto-cli convert -s " + silentFont(dir) + " " + midi +
                               " -f mp3 -o - > " + dir.file("piped.mp3") + ") 2>/dev/null"),
              0);
    decoded = test::decodeMp3(dir.file("piped.mp3"));
    ASSERT_TRUE(decoded);
    // Without the length header of a repositioned file the encoder's delay stays in.
    EXPECT_GE(decoded->frames(), songFrames);
    EXPECT_LE(decoded->frames(), songFrames + kFrameSamples + kEncoderDelay + kFrameSamples);
    EXPECT_EQ(test::mpg123Title(dir.file("piped.mp3")), title);
}

TEST(Mp3Conversion, CommandLineRefusesWhatCannotBeEncoded) {
    TempDir dir;
    const std::string midi = song(dir, "a.mid", "A");
    struct Case {
        const char* args;
        const char* says;
    };
    const Case cases[] = {
        {"-f aiff", "-f wants wav, mp3, flac, ogg or opus"},
        {"--bitrate 128", "is for -f mp3"},
        {"-f mp3 --bitrate 100", "--bitrate wants one of"},
        {"-f mp3 --vbr 10", "--vbr wants a quality from 0 to 9"},
        {"-f mp3 --vbr 2 --bitrate 128", "exclude each other"},
        {"-f mp3 --rate 96000", "MP3 files are made at"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const auto run = test::runCli("convert -s " + sineFont(dir) + " " + midi + " " + c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    }
    EXPECT_FALSE(fs::exists(dir.file("a.mp3")));
    EXPECT_FALSE(fs::exists(dir.file("a.wav")));
}

TEST(Mp3Conversion, EncoderFailingMidSongFailsThatFileOnly) {
    TempDir dir;
    const std::string a = song(dir, "a.mid", "A"), b = song(dir, "b.mid", "B");
    const ProgramCopy fake(dir, FAKE_GOGO_PATH);
    // The fake takes ten frames of 1,152 samples, a quarter of a second, then fails writing.
    auto run = fake.run("FAKE_GOGO=failAfter=10",
                        "convert -s " + silentFont(dir) + " " + a + " " + b + " -f mp3");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.find(" -> "), std::string::npos) << "no file is reported converted\n"
                                                       << run.out;
    EXPECT_NE(run.out.find("a.mid: MP3 file could not be created! (" + dir.file("a.mp3") +
                           ": the encoder could not write it)"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("0 files written, 2 failed"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(dir.file("a.mp3"))) << "the half-written file is removed";
    EXPECT_FALSE(fs::exists(dir.file("b.mp3")));

    // The same fake without the failure writes the raw samples it took, whole frames of them.
    run = fake.run("", "convert -s " + silentFont(dir) + " " + a + " -f mp3");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(fs::file_size(dir.file("a.mp3")), (44100u * 4 * 4 + 4607) / 4608 * 4608);
}

}  // namespace
}  // namespace svt
