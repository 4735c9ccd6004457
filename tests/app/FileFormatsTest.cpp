// Every file format convert writes, checked the way a user would: decoded by Debian's own tools
// and compared with the WAV file of the same song, tags read back by the tools people use.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "support/DecodedAudio.h"
#include "support/Signal.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt::test {
namespace {

const std::string kCli = std::string(SORVANTO_BINARY_DIR) + "/bin/sorvanto-cli";

// Three seconds of notes of different lengths and loudness with rests between, so that the
// level rises and falls; its title is Latin-1 as old songs have them, with an umlaut.
std::vector<uint8_t> song() {
    SmfBuilder s(0, 480);
    SmfTrack& t = s.track();
    t.trackName(0,
                "Gr\xFC\xDF"
                "e aus K\xF6ln")
        .text(0, 2, "(C) 2024 Sorvanto")
        .text(0, 1, "Composer: J\xFCrgen Beispiel");
    const int velocities[] = {110, 40, 90, 20, 127, 60};
    for (int i = 0; i < 6; ++i)
        t.noteOn(i == 0 ? 0 : 120, 0, 60 + 2 * i, velocities[i])
            .noteOff(120 + 60 * i, 0, 60 + 2 * i);
    t.endOfTrack();
    return s.build();
}

std::string shell(const std::string& command) {
    std::string out;
    runCommand(command + " 2>&1", &out);
    return out;
}

// The level of each 10 ms of the mono mix.
std::vector<double> envelope(const WavData& wav) {
    const size_t window = static_cast<size_t>(wav.rateHz / 100);
    std::vector<double> levels;
    for (size_t at = 0; at + window <= wav.frames(); at += window) {
        double sum = 0;
        for (size_t i = at; i < at + window; ++i)
            for (int c = 0; c < wav.channels; ++c) {
                const double v = wav.samples[i * static_cast<size_t>(wav.channels) + c];
                sum += v * v;
            }
        levels.push_back(std::sqrt(sum / static_cast<double>(window)));
    }
    return levels;
}

double correlation(std::vector<double> a, std::vector<double> b) {
    const size_t n = std::min(a.size(), b.size());
    a.resize(n);
    b.resize(n);
    auto mean = [n](const std::vector<double>& x) {
        double s = 0;
        for (double v : x) s += v;
        return s / static_cast<double>(n);
    };
    const double ma = mean(a), mb = mean(b);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

TEST(FileFormats, EachFormatDecodesToTheSongAndCarriesItsTags) {
    TempDir dir;
    const std::string font = dir.write("sine.sf2", sineFont());
    const std::string midi = dir.write("Gruss.mid", song());
    auto convert = [&](const std::string& file, const std::string& args) {
        std::string out;
        const int status = runCommand(
            kCli + " convert " + midi + " -s " + font + " -o " + dir.file(file) + " " + args, &out);
        EXPECT_EQ(status, 0) << file << ": " << out;
    };
    convert("ref44.wav", "");
    convert("ref48.wav", "--rate 48000");
    const auto ref44 = readWav(dir.file("ref44.wav"));
    const auto ref48 = readWav(dir.file("ref48.wav"));
    ASSERT_TRUE(ref44.ok() && ref48.ok());

    struct Case {
        const char* file;
        const char* args;
        const char* decode;     // shell command making dec.wav from IN ("" reads the file itself)
        const char* reference;  // "44" or "48": the WAV it is compared with
        bool identical;         // sample for sample, else by envelope
        const char* tags;       // shell command listing the tags of IN
    };
    const Case cases[] = {
        {"a.flac", "", "flac -d -s -f -o OUT IN", "44", true, "metaflac --export-tags-to=- IN"},
        {"b.flac", "-f flac:24 --compression 8", "flac -d -s -f -o OUT IN", "44", false,
         "metaflac --export-tags-to=- IN"},
        {"c.ogg", "--quality 3", "oggdec -Q -o OUT IN", "44", false, "vorbiscomment -l IN"},
        {"d.opus", "--bitrate 96", "opusdec --quiet --rate 48000 IN OUT", "48", false,
         "opusinfo IN"},
        {"e.mp3", "", "mpg123 -q -w OUT IN", "44", false, "mid3v2 -l IN"},
        {"f.wav", "-f wav:24", "", "44", false, "exiftool -a -s -RIFF:all IN"},
        {"g.wav", "-f wav:float", "sox IN -b 32 -e signed-integer OUT", "44", false,
         "exiftool -a -s -RIFF:all IN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        convert(c.file, c.args);
        const std::string in = dir.file(c.file), decoded = dir.file("dec.wav");
        std::string decode = c.decode;
        if (decode.empty()) decode = "cp IN OUT";
        decode.replace(decode.find("IN"), 2, in);
        decode.replace(decode.find("OUT"), 3, decoded);
        const std::string log = shell(decode);
        const auto wav = readWav(decoded);
        ASSERT_TRUE(wav.ok()) << decode << ": " << log;
        const WavData& ref = std::strcmp(c.reference, "48") == 0 ? ref48.value() : ref44.value();
        EXPECT_EQ(wav->rateHz, ref.rateHz);
        if (c.identical) {
            EXPECT_EQ(wav->samples, ref.samples) << "lossless is sample for sample";
        } else {
            EXPECT_GE(correlation(envelope(wav.value()), envelope(ref)), 0.99);
        }
        if (wav->bitsPerSample == 16) {  // as loud as the song, whatever the encoder did
            EXPECT_NEAR(decibels(rms(toDoubles(wav->samples)) / rms(toDoubles(ref.samples))), 0.0,
                        1.0);
        }
        std::string tags = c.tags;
        tags.replace(tags.find("IN"), 2, in);
        const std::string listed = shell(tags);
        for (const char* expected :
             {"Gr\xC3\xBC\xC3\x9F"
              "e aus K\xC3\xB6ln",
              "(C) 2024 Sorvanto", "J\xC3\xBCrgen Beispiel", "Gruss.mid", "Sorvanto 1."})
            EXPECT_NE(listed.find(expected), std::string::npos) << expected << " in\n" << listed;
    }
    // Without tags a WAV file has the plain 44-byte header, and the others carry none of the
    // song's texts.
    convert("bare.wav", "--no-tags");
    const auto bare = readFileBytes(dir.file("bare.wav"));
    ASSERT_GT(bare.size(), 44u);
    EXPECT_EQ(std::string(bare.begin() + 36, bare.begin() + 40), "data");
    convert("bare.ogg", "--no-tags");
    EXPECT_EQ(shell("vorbiscomment -l " + dir.file("bare.ogg")), "");
    // info lists what it can write, one JSON object a format.
    const std::string formats = shell(kCli + " info --formats --json");
    for (const char* name : {"wav", "mp3", "flac", "ogg", "opus"})
        EXPECT_NE(formats.find("{\"format\":\"" + std::string(name) + "\""), std::string::npos)
            << formats;
    EXPECT_EQ(formats.find("\"available\":false"), std::string::npos) << formats;
}

// A float file keeps what the engine made before it is rounded to 16 bits: a quiet passage has
// values between the 16-bit steps, which round to the 16-bit file's samples.
TEST(FileFormats, FloatKeepsTheBitsThatSixteenBitsLose) {
    TempDir dir;
    const std::string font = dir.write("sine.sf2", sineFont());
    const std::string midi = dir.write("quiet.mid", song());
    for (const char* args : {"-o float.wav -f wav:float", "-o int.wav"})
        ASSERT_EQ(runCommand("cd " + dir.path().string() + " && " + kCli + " convert " + midi +
                             " -s " + font + " --volume 2 " + args),
                  0);
    const auto bytes = readFileBytes(dir.file("float.wav"));
    const auto ints = readWav(dir.file("int.wav"));
    ASSERT_TRUE(ints.ok());
    // The float file's data: after its header, its fact chunk and its tags.
    const std::string text(bytes.begin(), bytes.end());
    const size_t data = text.find("data") + 8;
    ASSERT_EQ(bytes.size() - data, ints->samples.size() * sizeof(float));
    size_t between = 0, sounding = 0;
    for (size_t i = 0; i < ints->samples.size(); ++i) {
        float f;
        std::memcpy(&f, bytes.data() + data + i * sizeof f, sizeof f);
        const double steps = static_cast<double>(f) * 32768.0;
        EXPECT_NEAR(steps, ints->samples[i], 1.0) << "sample " << i;
        if (f == 0) continue;
        ++sounding;
        between += steps != std::floor(steps);
    }
    EXPECT_GT(sounding, 10000u);
    EXPECT_GT(between, sounding * 9 / 10) << "16-bit steps are all a float file would hold";
    EXPECT_NE(shell("soxi " + dir.file("float.wav")).find("32-bit Floating Point PCM"),
              std::string::npos);
}

// Converting songs side by side, each on threads of its own, gives the same files byte for
// byte as one after another on one thread, in every format (an Ogg stream's serial number
// comes from its file's name, not by chance).
TEST(FileFormats, SeveralJobsMakeTheSameBytes) {
    TempDir dir;
    const std::string font = dir.write("sine.sf2", sineFont());
    for (const char* name : {"a.mid", "b.mid", "c.mid"})
        dir.write(std::string("in/") + name, song());
    for (const char* format : {"wav", "flac", "ogg", "opus", "wav:float"}) {
        SCOPED_TRACE(format);
        for (const char* jobs : {"1", "3"})
            ASSERT_EQ(runCommand(kCli + " convert " + dir.file("in") + " -s " + font + " -f " +
                                 format + " --jobs " + jobs + " --threads " + jobs + " -q -o " +
                                 dir.file(jobs) + "/"),
                      0);
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("1"))) {
            const std::string name = entry.path().filename().string();
            EXPECT_EQ(readFileBytes(entry.path().string()), readFileBytes(dir.file("3/" + name)))
                << name;
        }
        std::filesystem::remove_all(dir.file("1"));
        std::filesystem::remove_all(dir.file("3"));
    }
}

}  // namespace
}  // namespace svt::test
