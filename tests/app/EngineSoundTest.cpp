// What an engine makes of its settings, heard in the sound it renders: the dry level beside
// the effects.
#include <gtest/gtest.h>

#include "app/Engine.h"
#include "support/OfflineSink.h"
#include "support/Signal.h"
#include "support/SmfBuilder.h"
#include "support/TempDir.h"
#include "support/TestFonts.h"

namespace svt::test {
namespace {

// One engine over a font of the test's own, rendering into memory.
struct EngineUnderTest {
    TempDir dir;
    std::vector<uint8_t> font;
    Engine engine;
    StereoRecorder recorder;

    explicit EngineUnderTest(EngineSettings settings = {},
                             std::vector<uint8_t> fontBytes = sineFont())
        : font(std::move(fontBytes)), engine(settings), recorder(settings.outputRateHz) {
        engine.fonts().registerBytes("test.sf2", font);
        engine.banks().indexFonts();
        engine.player().setSink(&recorder);
    }
    // Plays the song and returns the left side of what was rendered.
    std::vector<double> play(SmfBuilder& song) {
        const std::string path = dir.write("song.mid", song.build());
        EXPECT_EQ(engine.playFile(path), CmdTuneEnd);
        std::vector<double> left;
        for (size_t i = 0; i < recorder.samples.size(); i += 2) left.push_back(recorder.samples[i]);
        return left;
    }
};

double rmsBetween(const std::vector<double>& x, double fromSeconds, double toSeconds,
                  int rateHz = 44100) {
    const size_t a = std::min(x.size(), size_t(fromSeconds * rateHz));
    const size_t b = std::min(x.size(), size_t(toSeconds * rateHz));
    return rms(std::span<const double>(x.data() + a, b - a));
}

TEST(EngineSound, DryLevelIsLowerWhileAnyEffectIsHeard) {
    // A held sine that sends nothing to reverb or chorus: what is heard is the dry signal.
    auto heldNote = [] {
        SmfBuilder song(0, 480);
        song.track()
            .controller(0, 0, 91, 0)
            .controller(0, 0, 93, 0)
            .noteOn(0, 0, 69, 100)
            .noteOff(960, 0, 69)
            .endOfTrack();
        return song;
    };
    auto level = [&](int reverbMode, int chorusMode) {
        EngineSettings settings;
        settings.reverbMode = reverbMode;
        settings.chorusMode = chorusMode;
        EngineUnderTest e(settings);
        SmfBuilder song = heldNote();
        return rmsBetween(e.play(song), 0.2, 0.9);
    };
    const double alone = level(0, 0);
    ASSERT_GT(alone, 1e6);
    struct Case {
        int reverbMode, chorusMode;
    };
    for (const Case c : {Case{3, 1}, Case{3, 0}, Case{0, 1}, Case{1, 0}})
        EXPECT_NEAR(level(c.reverbMode, c.chorusMode) / alone, 0.7425 / 1.35, 0.005)
            << "reverb mode " << c.reverbMode << ", chorus mode " << c.chorusMode;
}

}  // namespace
}  // namespace svt::test
