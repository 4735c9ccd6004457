// What an engine makes of its settings, heard in the sound it renders: the dry level beside
// the effects, timing at every output rate, the interpolation of drums resampled as they
// load, and the peak limiter in front of the output on real fonts.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Conversion.h"
#include "support/Sf2Builder.h"
#include "support/Signal.h"
#include "support/SongRig.h"

namespace svt::test {
namespace {

// One engine over a font of the test's own; plays a song and gives the left side.
struct EngineUnderTest : SongRig {
    explicit EngineUnderTest(const EngineSettings& settings = {},
                             std::vector<uint8_t> fontBytes = sineFont())
        : SongRig(std::move(fontBytes), settings) {}
    std::vector<double> play(const SmfBuilder& song) {
        SongRig::play(song);
        return side(0);
    }
};

double rmsBetween(const std::vector<double>& x, double fromSeconds, double toSeconds) {
    return rms(between(x, fromSeconds, toSeconds));
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
        return rmsBetween(e.play(heldNote()), 0.2, 0.9);
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

// Preset 0: a 440 Hz sine with a 5 Hz vibrato of 100 cents that sounds after a quarter-second
// delay. Drum kit 0: a 5 kHz sine recorded at 32 kHz, played once on every key.
std::vector<uint8_t> timingFont() {
    Sf2Builder sf;
    const int sine = sf.addSample(Sf2Builder::sineSample("sine", 440.0, 44100, 69));
    const int vibrato = sf.addInstrument("Late vibrato");
    sf.instrumentZone(vibrato)
        .loopMode(1)
        .gen(GEN_VIB_LFO_TO_PITCH, 100)
        .gen(GEN_FREQ_VIB_LFO, int(std::lround(1200 * std::log2(5.0 / 8.176))))
        .gen(GEN_DELAY_VOL_ENV, Sf2Builder::timecents(0.25))
        .sample(sine);
    sf.presetZone(sf.addPreset("Late vibrato", 0, 0)).instrument(vibrato);
    const int hit = sf.addSample(Sf2Builder::sineSample("hit", 5000.0, 32000, 60, 16000, false));
    const int kit = sf.addInstrument("Hit");
    sf.instrumentZone(kit).sample(hit);
    sf.presetZone(sf.addPreset("Kit", 128, 0)).instrument(kit);
    return sf.build();
}

EngineSettings settingsAt(int rateHz,
                          InterpolationKind interpolation = InterpolationKind::SineLagrange) {
    EngineSettings s;
    s.outputRateHz = rateHz;
    s.controlRatio = settleControlRatio(rateHz);
    s.interpolation = interpolation;
    return s;
}

// Rate of a vibrato in Hz: the pitch from one rising zero crossing to the next, and how often
// it swings through its mean (with a margin, so that rounding near the mean is not counted).
double vibratoRateHz(const std::vector<double>& x, double rateHz) {
    std::vector<double> times, pitches;
    double last = -1;
    for (size_t i = 1; i < x.size(); ++i) {
        if (!(x[i - 1] < 0 && x[i] >= 0)) continue;
        const double t = (double(i) - x[i] / (x[i] - x[i - 1])) / rateHz;
        if (last >= 0) {
            times.push_back(t);
            pitches.push_back(1.0 / (t - last));
        }
        last = t;
    }
    if (pitches.empty()) return 0;
    const auto [low, high] = std::minmax_element(pitches.begin(), pitches.end());
    const double mean = (*low + *high) / 2, margin = (*high - *low) / 5;
    double first = -1, latest = -1;
    int swings = 0;
    bool below = pitches[0] < mean;
    for (size_t k = 0; k < pitches.size(); ++k) {
        if (below && pitches[k] > mean + margin) {
            below = false;
            if (first < 0)
                first = times[k];
            else
                ++swings;
            latest = times[k];
        } else if (!below && pitches[k] < mean - margin) {
            below = true;
        }
    }
    return swings > 0 ? swings / (latest - first) : 0;
}

TEST(EngineSound, VibratoAndEnvelopeDelayKeepTheirTimeAtEveryRate) {
    for (const int rate : {22050, 44100, 48000}) {
        SCOPED_TRACE(rate);
        EngineUnderTest e(settingsAt(rate), timingFont());
        SmfBuilder song(0, 480);
        song.track().noteOn(0, 0, 69, 100).noteOff(2880, 0, 69).endOfTrack();  // 3 s
        const std::vector<double> left = e.play(song);
        ASSERT_GT(left.size(), size_t(3 * rate));
        const double loudest = peak(left);
        ASSERT_GT(loudest, 1e6);
        size_t onset = 0;
        while (onset < left.size() && std::abs(left[onset]) < loudest * 0.01) ++onset;
        EXPECT_NEAR(double(onset) / rate, 0.25, 0.003) << "the envelope's delay";
        const std::vector<double> held(left.begin() + rate / 2,
                                       left.begin() + 3 * rate - rate / 10);
        EXPECT_NEAR(vibratoRateHz(held, rate), 5.0, 0.1);
    }
}

TEST(EngineSound, TheEnginesInterpolationReachesDrumsResampledAsTheyLoad) {
    // The drum's data is resampled once from 32 kHz to the output rate as the font loads; what
    // lies outside its 5 kHz then is what that resampling added.
    auto aliasing = [](InterpolationKind kind) {
        EngineUnderTest e(settingsAt(44100, kind), timingFont());
        SmfBuilder song(0, 480);
        song.track().noteOn(0, 9, 60, 127).noteOff(400, 9, 60).endOfTrack();
        std::vector<double> left = e.play(song);
        left.erase(left.begin(), left.begin() + 2000);
        left.resize(16384);
        const double partial[] = {5000.0};
        return aliasingDb(left, 44100, partial, 100.0);
    };
    const double none = aliasing(InterpolationKind::None);
    const double linear = aliasing(InterpolationKind::Linear);
    const double best = aliasing(InterpolationKind::SineLagrange);
    EXPECT_LT(linear, none - 6.0);
    EXPECT_LT(best, linear - 10.0);
}

class DebianFontLevels : public ::testing::TestWithParam<const char*> {};

TEST_P(DebianFontLevels, AtTheDefaultVolumeTheLimiterLeavesASongAlone) {
    // Over full scale the limiter's work is checked on the command line with loud sines.
    const std::string font = std::string("/usr/share/sounds/sf2/") + GetParam();
    if (!std::filesystem::exists(font)) GTEST_SKIP() << font << " is not installed";
    TempDir dir;
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
        const auto wav = readWav(out);
        ASSERT_TRUE(wav.ok());
        EXPECT_GT(peak(toDoubles(wav->samples)), 32768 * 0.05) << "the song is heard";
        files[limiter ? 1 : 0] = readFileBytes(out);
    }
    EXPECT_TRUE(files[0] == files[1]) << "bit for bit the same file";
}

INSTANTIATE_TEST_SUITE_P(Fonts, DebianFontLevels,
                         ::testing::Values("FluidR3_GM.sf2", "TimGM6mb.sf2"));

}  // namespace
}  // namespace svt::test
