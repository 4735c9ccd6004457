#include "app/Conversion.h"

#include <gtest/gtest.h>

#include "support/CliRun.h"
#include "support/DecodedAudio.h"
#include "support/Sf2Builder.h"
#include "support/Signal.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt {
namespace {

// 1.5 s of song over two tempos. The last note is struck as the song ends, so that the song
// ends at its end event whatever the synthesizer does with the notes before.
std::vector<uint8_t> song() {
    test::SmfBuilder smf(1, 480);
    smf.track().tempo(0, 500000).tempo(480, 1000000).endOfTrack(480);
    smf.track()
        .program(0, 0, 0)
        .noteOn(0, 0, 60, 100)
        .noteOff(960, 0, 60)
        .noteOn(0, 0, 62, 1)
        .noteOff(0, 0, 62)
        .endOfTrack();
    return smf.build();
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(Convert, NamesFoldersAndStandardOutput) {
    test::TempDir dir;
    const std::string bare = dir.write("Tune", song());  // no extension at all
    const std::string other = dir.write("b.mid", song());
    // A font without presets: every note is silent and no voice outlives its song, so lengths
    // are exact.
    const std::string silent = dir.write("silent.sf2", test::silentFont());
    auto run = test::runCli("convert -s " + silent + " " + bare);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(test::readFileBytes(bare), song()) << "the song itself is never overwritten";
    EXPECT_GT(test::readFileBytes(dir.file("Tune.wav")).size(), 44u);
    run = test::runCli("convert -s " + silent + " " + bare + " " + other + " -o " +
                       dir.file("one.wav"));
    EXPECT_EQ(run.exitCode, 2) << "two songs cannot share one file";

    // Standard output cannot be repositioned: both sizes stay unknown.
    test::runCommand("(" + std::string(SORVANTO_BINARY_DIR) +
                     "/bin/sorvanto-cli convert --no-tags -s " + silent + " " + other + " -o - > " +
                     dir.file("piped.wav") + " 2>/dev/null)");
    const auto piped = test::readFileBytes(dir.file("piped.wav"));
    ASSERT_EQ(piped.size(), 44u + (66150u + 44100u) * 4);
    EXPECT_EQ(le32(piped, 4), 0xFFFFFFFFu);
    EXPECT_EQ(le32(piped, 40), 0xFFFFFFFFu);
}

TEST(Convert, SongsSoundWithTheFontNamedAndBadChoicesAreRefused) {
    test::TempDir dir;
    const std::string font = dir.write("sine.sf2", test::sineFont());
    const std::string midi = dir.write("a.mid", song());
    for (const char* interp : {"none", "linear", "default"}) {
        SCOPED_TRACE(interp);
        auto run =
            test::runCli("convert " + midi + " -s " + font + " --overwrite --interp " + interp);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        auto wav = test::readWav(dir.file("a.wav"));
        ASSERT_TRUE(wav.ok());
        // Key 60 on a 440 Hz sample at key 69: 261.63 Hz, during the first second.
        std::vector<double> left = wav->channel(0);
        left.resize(44100);
        EXPECT_NEAR(test::pitchByFft(std::span<const double>(left).subspan(4410), 44100), 261.63,
                    1.0);
        EXPECT_GT(test::rms(left), 500.0);
    }
    auto run = test::runCli("convert " + midi + " -s " + dir.file("nothing.sf2"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("nothing.sf2"), std::string::npos) << run.out;
}

// A melodic A-less C on channel 1 and a drum note on channel 10 for one second, then half a
// second of nothing: with the sine font the melody sounds at 261.63 Hz, the drum at 440 Hz.
std::vector<uint8_t> bandSong() {
    test::SmfBuilder smf(1, 480);
    smf.track()
        .tempo(0, 500000)
        .program(0, 0, 0)
        .program(0, 9, 0)
        .noteOn(0, 0, 60, 100)
        .noteOn(0, 9, 69, 100)
        .noteOff(960, 0, 60)
        .noteOff(0, 9, 69)
        .endOfTrack(480);
    return smf.build();
}

struct Heard {
    double pitch = 0, level = 0;
};

// Pitch and level of the left channel over most of the first second of what the options made.
Heard convertAndListen(test::TempDir& dir, const std::string& font, const std::string& midi,
                       const std::string& options) {
    const auto run = test::runCli("convert " + midi + " -s " + font + " --overwrite -o " +
                                  dir.file("heard.wav") + " " + options);
    EXPECT_EQ(run.exitCode, 0) << options << "\n" << run.out;
    const auto wav = test::readWav(dir.file("heard.wav"));
    if (!wav.ok()) return {};
    std::vector<double> left = wav->channel(0);
    left.resize(44100);
    const std::span<const double> steady = std::span<const double>(left).subspan(4410);
    Heard heard;
    heard.level = test::rms(steady);
    if (heard.level > 1) heard.pitch = test::pitchByFft(steady, 44100);
    return heard;
}

TEST(Convert, TheUsersControlsChangeWhatIsHeard) {
    test::TempDir dir;
    const std::string font = dir.write("sine.sf2", test::sineFont());
    const std::string midi = dir.write("band.mid", bandSong());
    EXPECT_NEAR(convertAndListen(dir, font, midi, "--solo 1").pitch, 261.63, 1.0);
    EXPECT_NEAR(convertAndListen(dir, font, midi, "--solo 1 --transpose 12").pitch, 523.25, 1.5);
    EXPECT_LT(convertAndListen(dir, font, midi, "--mute 1,10").level, 1.0);
    EXPECT_LT(convertAndListen(dir, font, midi, "--volume 0").level, 1.0);
    const double normal = convertAndListen(dir, font, midi, "").level;
    EXPECT_GT(convertAndListen(dir, font, midi, "--volume 140").level, normal * 1.5);
}

TEST(Convert, OneThreadsRangeForConvertAndPlay) {
    // A song that does not exist: an accepted value gets as far as looking for it (exit 1), a
    // refused one is a usage error (exit 2) that names the range. The sound options' own
    // ranges are checked with their parser; one of them shows it answers here too.
    struct Case {
        const char *option, *value;
        bool accepted;
        const char* range;
    };
    const Case cases[] = {
        {"--threads", "64", true, ""},
        {"--threads", "0", false, "between 1 and 64"},
        {"--threads", "65", false, "between 1 and 64"},
        {"--threads", "2x", false, "between 1 and 64"},
        {"--mute", "3,,4", false, "--mute wants"},
    };
    for (const char* command : {"convert", "play"}) {
        for (const Case& c : cases) {
            const auto run = test::runCli(std::string(command) + " " + c.option + " '" + c.value +
                                          "' /nonexistent/song.mid");
            EXPECT_EQ(run.exitCode, c.accepted ? 1 : 2)
                << command << " " << c.option << " " << c.value << run.out;
            EXPECT_NE(run.out.find(c.range), std::string::npos) << run.out;
        }
    }
    const auto jobs = test::runCli("convert --jobs 0 /nonexistent/song.mid");
    EXPECT_EQ(jobs.exitCode, 2) << jobs.out;
}

TEST(Convert, WithoutTheLimiterAClippedRenderSaysSoOnce) {
    test::TempDir dir;
    const std::string font = dir.write("sine.sf2", test::sineFont());
    // Eight loud sines in phase at twice the default volume: far over full scale.
    test::SmfBuilder smf(0, 480);
    auto& track = smf.track().program(0, 0, 0).controller(0, 0, 7, 127);
    for (int c = 0; c < 8; ++c) track.controller(0, c, 7, 127).noteOn(0, c, 69, 127);
    track.noteOff(960, 0, 69).endOfTrack();
    const std::string midi = dir.write("loud.mid", smf.build());
    struct Case {
        const char* options;
        bool clips;
    };
    for (const Case c : {Case{"--volume 200 --limiter off", true}, Case{"--volume 200", false},
                         Case{"--volume 200 --limiter on", false}}) {
        SCOPED_TRACE(c.options);
        const auto run =
            test::runCli("convert " + midi + " -s " + font + " --overwrite " + c.options);
        ASSERT_EQ(run.exitCode, 0) << run.out;
        const auto wav = test::readWav(dir.file("loud.wav"));
        ASSERT_TRUE(wav.ok());
        const auto left = wav->channel(0);
        const auto atLimit = std::count_if(left.begin(), left.end(),
                                           [](double v) { return v >= 32767 || v <= -32768; });
        const size_t note = run.out.find("clipped ");
        if (c.clips) {
            EXPECT_GT(atLimit, 1000);
            ASSERT_NE(note, std::string::npos) << run.out;
            EXPECT_EQ(run.out.find("clipped ", note + 1), std::string::npos) << "once";
            EXPECT_NE(run.out.find(" samples)", note), std::string::npos) << run.out;
        } else {
            EXPECT_EQ(atLimit, 0);
            EXPECT_LT(test::peak(left), 32767 * 0.9);
            EXPECT_EQ(note, std::string::npos) << run.out;
        }
    }
}

TEST(Convert, TheProgressTotalIsTheLengthOfTheFile) {
    // A note whose reverb rings on after the song: the total starts as the song and the
    // second of silence, grows while the tail plays out, and ends as the file's length.
    test::TempDir dir;
    const std::string font = dir.write("sine.sf2", test::sineFont());
    test::SmfBuilder smf(0, 480);
    smf.track().controller(0, 0, 91, 127).noteOn(0, 0, 69, 127).noteOff(480, 0, 69).endOfTrack();
    ConvertOptions options;
    options.soundFont = font;
    std::vector<std::pair<double, double>> reports;
    options.progress = [&](double at, double total) { reports.emplace_back(at, total); };
    const BatchOutcome outcome =
        convertSong({dir.write("tail.mid", smf.build()), dir.file("tail.wav")}, options);
    ASSERT_EQ(outcome.kind, BatchOutcome::Written) << outcome.message;
    ASSERT_GE(reports.size(), 3u);
    EXPECT_DOUBLE_EQ(reports.front().second, 0.5 + 1.0);
    EXPECT_GT(outcome.audioSeconds, 2.0) << "the tail outlasts the second of silence";
    for (size_t i = 1; i < reports.size(); ++i) {
        ASSERT_GE(reports[i].second, reports[i - 1].second);
        ASSERT_LE(reports[i].first, reports[i].second);
    }
    EXPECT_NEAR(reports.back().second, outcome.audioSeconds, 0.1);
    EXPECT_NEAR(reports.back().first, outcome.audioSeconds, 0.1);
}

}  // namespace
}  // namespace svt
