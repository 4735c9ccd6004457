// The demo song through a whole engine with TimGM6mb, against stored renders of its opening
// seconds (mono, 22,050 Hz, 16-bit): once dry, once with the reverb and chorus the song asks
// for. A change that alters what the song sounds like fails here; harmless rounding
// differences do not. With the peak limiter at the default volume the song's files are the same
// bit for bit on both Debian fonts.
//
// After an intended change of the sound, listen to the new renders and store them:
//   SORVANTO_REGENERATE_GOLDEN=1 build/release/tests/app_test --gtest_filter='EngineGolden.*'

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/Conversion.h"
#include "app/Engine.h"
#include "support/OfflineSink.h"
#include "support/Signal.h"
#include "support/TempDir.h"

namespace svt {
namespace {

constexpr int kGoldenRate = 22050;
constexpr int kGoldenSeconds = 6;
// Rounding differences between compilers or instruction sets stay far below this; a note
// lost, moved or retuned, or a level change of a decibel, falls far beneath it.
constexpr double kMinimumSnrDb = 40.0;
const char* const kFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Keeps the opening of the song as the stored file has it: the two sides averaged, at 16 bits.
class MonoSink final : public test::OfflineSink {
  public:
    MonoSink() : OfflineSink(kGoldenRate) {}
    std::vector<int16_t> samples;
    int add(StereoView<const int32_t> s) override {
        for (int i = 0; i < s.frames() && samples.size() < size_t(kGoldenRate * kGoldenSeconds);
             ++i) {
            const int64_t mono = (int64_t(s[2 * i]) + s[2 * i + 1]) / 2;
            samples.push_back(int16_t(std::clamp<int64_t>(mono >> 13, -32768, 32767)));
        }
        return 0;
    }
};

std::vector<int16_t> renderDemo(bool effects) {
    EngineSettings settings;
    settings.outputRateHz = kGoldenRate;
    settings.controlRatio = settleControlRatio(kGoldenRate);
    if (!effects) {
        settings.reverbMode = 0;
        settings.chorusMode = 0;
    }
    Engine engine(settings);
    EXPECT_TRUE(engine.loadSoundFont(kFont).ok());
    MonoSink sink;
    engine.player().setSink(&sink);
    EXPECT_EQ(engine.playFile(std::string(SORVANTO_SOURCE_DIR) + "/data/demo.mid"), CmdTuneEnd)
        << engine.player().lastError();
    return std::move(sink.samples);
}

TEST(EngineGolden, DemoSongSoundsAsStored) {
    if (!std::filesystem::exists(kFont))
        GTEST_SKIP() << kFont << " is not installed (Debian package timgm6mb-soundfont)";
    const struct {
        bool effects;
        const char* file;
    } cases[] = {
        {false, "demo-timgm6mb.wav"},
        {true, "demo-timgm6mb-effects.wav"},
    };
    std::vector<std::vector<double>> renders;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string golden =
            std::string(SORVANTO_SOURCE_DIR) + "/tests/data/golden/" + c.file;
        const std::vector<int16_t> rendered = renderDemo(c.effects);
        ASSERT_EQ(rendered.size(), size_t(kGoldenRate * kGoldenSeconds))
            << "the demo song is longer than that";
        ASSERT_GT(test::rms(test::toDoubles(rendered)), 300.0) << "the demo song is heard";
        renders.push_back(test::toDoubles(rendered));

        const char* regenerate = std::getenv("SORVANTO_REGENERATE_GOLDEN");
        if (regenerate != nullptr && std::string(regenerate) == "1") {
            std::filesystem::create_directories(std::filesystem::path(golden).parent_path());
            ASSERT_TRUE(test::writeWav16(golden, kGoldenRate, 1, rendered)) << golden;
            std::printf("[ info ] stored a new reference in %s\n", golden.c_str());
            continue;
        }
        const auto stored = test::readWav(golden);
        ASSERT_TRUE(stored.ok()) << golden << ": " << stored.error().message
                                 << " (SORVANTO_REGENERATE_GOLDEN=1 stores a new one)";
        ASSERT_EQ(stored->rateHz, kGoldenRate);
        ASSERT_EQ(stored->channels, 1);
        ASSERT_EQ(stored->frames(), rendered.size());
        const double snr = test::snrDb(test::toDoubles(rendered), stored->channel(0));
        std::printf("[ info ] %s: %.1f dB SNR against the render\n", c.file, snr);
        EXPECT_GE(snr, kMinimumSnrDb)
            << "the demo song sounds different from " << golden
            << "; if that is intended, listen to it and store it again with "
               "SORVANTO_REGENERATE_GOLDEN=1";
    }
    // The second reference guards the effects only while they are heard in it.
    EXPECT_LT(test::snrDb(renders[1], renders[0]), 20.0) << "reverb and chorus are not heard";
}

class DebianFontLevels : public ::testing::TestWithParam<const char*> {};

TEST_P(DebianFontLevels, AtTheDefaultVolumeTheLimiterLeavesASongAlone) {
    // Over full scale the limiter's work is checked on the command line with loud sines.
    const std::string font = std::string("/usr/share/sounds/sf2/") + GetParam();
    if (!std::filesystem::exists(font)) GTEST_SKIP() << font << " is not installed";
    test::TempDir dir;
    std::vector<uint8_t> files[2];
    for (const bool limiter : {false, true}) {
        ConvertOptions options;
        options.soundFont = font;
        options.settings.limiter = limiter;
        const std::string out = dir.file(limiter ? "on.wav" : "off.wav");
        const BatchOutcome outcome =
            convertSong({std::string(SORVANTO_SOURCE_DIR) + "/data/demo.mid", out}, options);
        ASSERT_EQ(outcome.kind, BatchOutcome::Written) << outcome.message;
        EXPECT_EQ(outcome.clippedSamples, 0);
        const auto wav = test::readWav(out);
        ASSERT_TRUE(wav.ok());
        EXPECT_GT(test::peak(test::toDoubles(wav->samples)), 32768 * 0.05) << "the song is heard";
        files[limiter ? 1 : 0] = test::readFileBytes(out);
    }
    EXPECT_TRUE(files[0] == files[1]) << "bit for bit the same file";
}

INSTANTIATE_TEST_SUITE_P(Fonts, DebianFontLevels,
                         ::testing::Values("FluidR3_GM.sf2", "TimGM6mb.sf2"));

}  // namespace
}  // namespace svt
