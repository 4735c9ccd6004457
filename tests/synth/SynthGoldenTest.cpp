// The demo song through the playback loop and the synthesizer with TimGM6mb, against a
// stored render of its opening seconds (mono, 22,050 Hz, 16-bit). A change that alters what
// the song sounds like fails here; harmless rounding differences do not.
//
// After an intended change of the sound, listen to the new render and store it:
//   SORVANTO_REGENERATE_GOLDEN=1 build/dev/tests/synthesizer_test
//   --gtest_filter='SynthesizerGolden.*'

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "instruments/InstrumentBanks.h"
#include "instruments/SoundFontRegistry.h"
#include "player/Player.h"
#include "song/SongInput.h"
#include "support/OfflineSink.h"
#include "support/Signal.h"
#include "synth/Synthesizer.h"

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

std::vector<int16_t> renderDemo() {
    EngineSettings settings;
    settings.outputRateHz = kGoldenRate;
    settings.controlRatio = settleControlRatio(kGoldenRate);
    InstrumentSettings is(settings);
    is.printDiagnostics = false;
    SoundFontRegistry registry(is);
    registry.selectFont(kFont);
    InstrumentBanks banks(registry);
    EXPECT_EQ(banks.indexFonts(), 0);
    PlayerControls controls;
    Synthesizer synth(settings, banks, controls);
    SongInput input(settings);
    QuietControl control;
    MonoSink sink;
    Player player(input, &banks, synth, control, &controls);
    player.setSink(&sink);
    EXPECT_EQ(player.playFile(std::string(SORVANTO_SOURCE_DIR) + "/data/demo.mid"), CmdTuneEnd)
        << player.lastError();
    return std::move(sink.samples);
}

TEST(SynthesizerGolden, DemoSongSoundsAsStored) {
    if (!std::filesystem::exists(kFont))
        GTEST_SKIP() << kFont << " is not installed (Debian package timgm6mb-soundfont)";
    const std::string golden =
        std::string(SORVANTO_SOURCE_DIR) + "/tests/data/golden/demo-timgm6mb.wav";
    const std::vector<int16_t> rendered = renderDemo();
    ASSERT_EQ(rendered.size(), size_t(kGoldenRate * kGoldenSeconds))
        << "the demo song is longer than that";
    ASSERT_GT(test::rms(test::toDoubles(rendered)), 300.0) << "the demo song is heard";

    const char* regenerate = std::getenv("SORVANTO_REGENERATE_GOLDEN");
    if (regenerate != nullptr && std::string(regenerate) == "1") {
        std::filesystem::create_directories(std::filesystem::path(golden).parent_path());
        ASSERT_TRUE(test::writeWav16(golden, kGoldenRate, 1, rendered)) << golden;
        GTEST_SKIP() << "stored a new reference in " << golden;
    }
    const auto stored = test::readWav(golden);
    ASSERT_TRUE(stored.ok()) << golden << ": " << stored.error().message
                             << " (SORVANTO_REGENERATE_GOLDEN=1 stores a new one)";
    ASSERT_EQ(stored->rateHz, kGoldenRate);
    ASSERT_EQ(stored->channels, 1);
    ASSERT_EQ(stored->frames(), rendered.size());
    const double snr = test::snrDb(test::toDoubles(rendered), stored->channel(0));
    std::printf("[ info ] demo song against the stored render: %.1f dB SNR\n", snr);
    EXPECT_GE(snr, kMinimumSnrDb) << "the demo song sounds different from " << golden
                                  << "; if that is intended, listen to it and store it again with "
                                     "SORVANTO_REGENERATE_GOLDEN=1";
}

}  // namespace
}  // namespace svt
