// The encodings a WAV file can be written in, chosen on convert's command line or by the
// "SVT" variable, and the sound of a mono file: no effects.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "support/DecodedAudio.h"
#include "support/Signal.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt::test {
namespace {

const std::string kCli = std::string(SORVANTO_BINARY_DIR) + "/bin/sorvanto-cli";

int u16At(const std::vector<uint8_t>& b, size_t at) {
    return b.size() < at + 2 ? -1 : b[at] | b[at + 1] << 8;
}

// Half a second of A4 with the reverb send full up, then the song's end.
std::vector<uint8_t> song() {
    SmfBuilder s(0, 480);
    s.track().controller(0, 0, 91, 127).noteOn(0, 0, 69, 100).noteOff(480, 0, 69).endOfTrack();
    return s.build();
}

struct Converted {
    int status;
    std::string out;
    std::vector<uint8_t> file;
};

Converted convert(TempDir& dir, const std::string& env, const std::string& args) {
    static int n = 0;
    const std::string name = dir.file("out" + std::to_string(n++) + ".wav");
    Converted c;
    c.status = runCommand(env + " " + kCli + " convert " + dir.file("a.mid") + " -s " +
                              dir.file("sine.sf2") + " -o " + name + " " + args,
                          &c.out);
    c.file = readFileBytes(name);
    return c;
}

TEST(ConvertEncoding, TheCommandLineAndSvtChooseTheEncoding) {
    TempDir dir;
    dir.write("sine.sf2", sineFont());
    dir.write("a.mid", song());
    struct Case {
        const char* env;
        const char* args;
        int tag, channels, bits;
    };
    const Case cases[] = {
        {"", "", 1, 2, 16},
        {"", "-f wav:24", 1, 2, 24},
        {"", "-f wav:8,mono", 1, 1, 8},
        {"", "-f wav:ulaw", 7, 2, 8},
        {"", "--encoding A", 6, 2, 8},
        {"", "-f wav:24 --encoding M", 1, 1, 24},
        {"SVT=w2M", "", 1, 1, 24},
        {"SVT=w2M", "-f wav:16,stereo", 1, 2, 16},  // the command line has the last word
        {"SVT=d", "", 1, 2, 16},                    // names another output: left alone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.env) + " " + c.args);
        const Converted r = convert(dir, c.env, c.args);
        ASSERT_EQ(r.status, 0) << r.out;
        ASSERT_GT(r.file.size(), 44u);
        EXPECT_EQ(u16At(r.file, 20), c.tag) << "format tag";
        EXPECT_EQ(u16At(r.file, 22), c.channels);
        EXPECT_EQ(u16At(r.file, 34), c.bits);
        EXPECT_EQ(u16At(r.file, 32), c.channels * c.bits / 8) << "bytes a frame";
        if (c.tag != 1 || c.bits < 16) continue;
        // The reverb's tail rings on after the song in stereo; a mono file has no effects.
        const auto wav = parseWav(r.file);
        ASSERT_TRUE(wav.ok());
        const std::vector<double> left = wav->channel(0);
        EXPECT_EQ(peak(std::span(left).last(22050)) > 0, c.channels == 2);
    }
    for (const auto& [env, args] :
         {std::pair{"", "-f wav:12"}, std::pair{"", "--encoding Q"}, std::pair{"SVT=wQ", ""}}) {
        const Converted r = convert(dir, env, args);
        EXPECT_EQ(r.status, 2) << env << " " << args << ": " << r.out;
    }
}

// The program alone in a folder of its own, without the encoder library beside it: --encoder
// tells where the library is, and the location is kept for the runs that follow.
TEST(ConvertEncoding, TheEncoderLocationIsKeptWhenTheLibraryIsFoundNowhereElse) {
    TempDir dir;
    dir.write("sine.sf2", sineFont());
    dir.write("a.mid", song());
    const std::string program = dir.file("alone/sorvanto-cli");
    std::filesystem::create_directories(dir.file("alone"));
    std::filesystem::copy_file(kCli, program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    const std::string library = std::string(SORVANTO_BINARY_DIR) + "/bin/libgogo.so";
    auto run = [&](const std::string& output, const std::string& extra) {
        std::string out;
        const int status =
            runCommand("HOME=" + dir.file("home") + " XDG_CONFIG_HOME= " + program + " convert " +
                           dir.file("a.mid") + " -s " + dir.file("sine.sf2") + " -o " +
                           dir.file(output) + " " + extra,
                       &out);
        return std::pair{status, out};
    };
    const auto [missing, said] = run("none.mp3", "");
    EXPECT_EQ(missing, 1);
    EXPECT_NE(said.find("Error loading MP3-Encoder!"), std::string::npos) << said;
    EXPECT_EQ(run("plain.wav", "").first, 0) << "WAV files need no library";
    const auto [told, out] = run("told.mp3", "--encoder " + library);
    EXPECT_EQ(told, 0) << out;
    const auto [kept, again] = run("kept.mp3", "");
    EXPECT_EQ(kept, 0) << "the location was kept: " << again;
    EXPECT_TRUE(std::filesystem::exists(dir.file("kept.mp3")));
}

}  // namespace
}  // namespace svt::test
