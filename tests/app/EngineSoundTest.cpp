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

// Sixteen channels at once for 20 s: every melodic channel plays overlapping chords of five
// or six notes on a program of its own, channel 10 a steady beat; about a hundred notes sound
// at any time, as in the densest General MIDI songs.
std::vector<uint8_t> denseSong() {
    constexpr uint32_t kBeat = 480, kBeats = 40;
    struct Note {
        uint32_t tick;
        bool on;
        int channel, key, velocity;
    };
    std::vector<Note> notes;
    auto note = [&](uint32_t at, uint32_t length, int c, int key, int velocity) {
        notes.push_back({at, true, c, key, velocity});
        notes.push_back({at + length, false, c, key, 0});
    };
    const int chords[4][6] = {{48, 52, 55, 60, 64, 67},
                              {45, 48, 52, 57, 60, 64},
                              {41, 45, 48, 53, 57, 60},
                              {43, 47, 50, 55, 59, 62}};
    const int melodic[15] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 15; ++i)
        for (uint32_t beat = 0; beat < kBeats; beat += 2) {
            // Held for three beats, struck every two: each chord rings into the next.
            const int* chord = chords[(beat / 4) % 4];
            for (int k = 0; k < (i % 2 == 0 ? 6 : 5); ++k)
                note(beat * kBeat + uint32_t(i % 4) * 20, 3 * kBeat, melodic[i],
                     chord[k] + 12 * ((i % 3) - 1), 60 + (k * 7) % 40);
        }
    for (uint32_t eighth = 0; eighth < 2 * kBeats; ++eighth) {
        note(eighth * kBeat / 2, kBeat / 4, 9, 42, 100);
        if (eighth % 2 == 0) note(eighth * kBeat / 2, kBeat / 4, 9, eighth % 4 == 0 ? 36 : 38, 100);
    }
    std::stable_sort(notes.begin(), notes.end(), [](const Note& a, const Note& b) {
        return a.tick != b.tick ? a.tick < b.tick : (!a.on && b.on);
    });
    SmfBuilder smf(0, int(kBeat));
    SmfTrack& t = smf.track();
    const int programs[15] = {0, 4, 19, 24, 32, 40, 48, 52, 56, 61, 65, 71, 73, 80, 89};
    for (int i = 0; i < 15; ++i)
        t.program(0, melodic[i], programs[i])
            .controller(0, melodic[i], 10, (i * 37) % 128)
            .controller(0, melodic[i], 7, 90);
    uint32_t now = 0;
    for (const Note& n : notes) {
        if (n.on)
            t.noteOn(n.tick - now, n.channel, n.key, n.velocity);
        else
            t.noteOff(n.tick - now, n.channel, n.key, 0);
        now = n.tick;
    }
    t.endOfTrack();
    return smf.build();
}

class DebianFontLevels : public ::testing::TestWithParam<const char*> {};

TEST_P(DebianFontLevels, NothingClipsAndWhatStaysUnderIsLeftAlone) {
    const std::string font = std::string("/usr/share/sounds/sf2/") + GetParam();
    if (!std::filesystem::exists(font)) GTEST_SKIP() << font << " is not installed";
    TempDir dir;
    const std::string dense = dir.write("dense.mid", denseSong());
    const std::string demo = std::string(SORVANTO_SOURCE_DIR) + "/data/demo.mid";
    struct Render {
        int64_t clipped;
        std::vector<uint8_t> bytes;
        double peak;
    };
    int renders = 0;
    auto render = [&](const std::string& song, int volume, bool limiter) {
        ConvertOptions options;
        options.soundFont = font;
        options.amplification = volume;
        options.settings.limiter = limiter;
        const std::string out = dir.file("out" + std::to_string(renders++) + ".wav");
        const BatchOutcome outcome = convertSong({song, out}, options);
        EXPECT_EQ(outcome.kind, BatchOutcome::Written) << outcome.message;
        const auto wav = readWav(out);
        EXPECT_TRUE(wav.ok());
        return Render{outcome.clippedSamples, readFileBytes(out),
                      wav.ok() ? peak(toDoubles(wav->samples)) : 0.0};
    };
    // At the default volume both songs stay under full scale: the limiter changes nothing.
    for (const std::string& song : {demo, dense}) {
        SCOPED_TRACE(song);
        const Render on = render(song, 70, true), off = render(song, 70, false);
        EXPECT_EQ(off.clipped, 0);
        EXPECT_GT(on.peak, 32768 * 0.05) << "the song is heard";
        EXPECT_TRUE(on.bytes == off.bytes) << "bit for bit the same file";
    }
    // Twice as loud the dense song goes over; the limiter keeps every sample under.
    const Render loud = render(dense, 200, true), raw = render(dense, 200, false);
    EXPECT_GT(raw.clipped, 0) << "the raw mix goes over full scale";
    EXPECT_EQ(loud.clipped, 0);
    EXPECT_LT(loud.peak, 32767.0);
}

INSTANTIATE_TEST_SUITE_P(Fonts, DebianFontLevels,
                         ::testing::Values("FluidR3_GM.sf2", "TimGM6mb.sf2"));

}  // namespace
}  // namespace svt::test
