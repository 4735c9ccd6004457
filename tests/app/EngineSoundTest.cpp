// What an engine makes of its settings, heard in the sound it renders: the dry level beside
// the effects, and the peak limiter in front of the output on real fonts.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Conversion.h"
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
