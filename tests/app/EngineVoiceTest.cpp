// How a voice sounds through an engine and its player: a note held by the pedal fading away,
// the filters, the pan delay, the end of a stream and the surround chorus.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "support/Sf2Builder.h"
#include "support/Signal.h"
#include "support/SongRig.h"

namespace svt::test {
namespace {

constexpr int kRate = 44100;
// At 480 ticks a quarter and the default tempo, a second.
constexpr uint32_t kTicksPerSecond = 960;

// A font of one instrument, one looped zone over `sample` that `zone` gives its generators,
// as program 0 of bank 0 and as drum kit 0.
std::vector<uint8_t> fontWith(const std::function<void(Sf2Zone&)>& zone,
                              Sf2Sample sample = Sf2Builder::sineSample("sine", 440.0, kRate, 69)) {
    Sf2Builder sf;
    const int s = sf.addSample(std::move(sample));
    const int inst = sf.addInstrument("Voice");
    Sf2Zone& z = sf.instrumentZone(inst).keyRange(0, 127).loopMode(1);
    zone(z);
    z.sample(s);
    sf.presetZone(sf.addPreset("Voice", 0, 0)).instrument(inst);
    sf.presetZone(sf.addPreset("Kit", 128, 0)).instrument(inst);
    return sf.build();
}

// One note of key 69 on channel 0 held for `seconds`, after the controllers given.
SmfBuilder heldNote(double seconds, std::initializer_list<std::pair<int, int>> controllers = {}) {
    SmfBuilder song(0, 480);
    SmfTrack& t = song.track();
    for (const auto& [number, value] : controllers) t.controller(0, 0, number, value);
    t.noteOn(0, 0, 69, 100).noteOff(uint32_t(seconds * kTicksPerSecond), 0, 69).endOfTrack();
    return song;
}

TEST(EngineVoices, ANoteHeldByThePedalFadesAwayBeforeThePedalLifts) {
    SongRig rig(
        fontWith([](Sf2Zone& z) { z.gen(GEN_RELEASE_VOL_ENV, Sf2Builder::timecents(0.2)); }));
    SmfBuilder song(0, 480);
    song.track()
        .controller(0, 0, 64, 127)
        .noteOn(0, 0, 69, 100)
        .noteOff(96, 0, 69)
        .controller(20 * kTicksPerSecond, 0, 64, 0)
        .endOfTrack();
    rig.play(song);
    const auto x = rig.side(0);
    const double held = rms(between(x, 0.2, 0.3));
    ASSERT_GT(held, 1e5);
    EXPECT_LT(rms(between(x, 2.0, 2.1)), 0.5 * held) << "fading";
    EXPECT_EQ(peak(between(x, 15.0, 19.0)), 0.0) << "gone with the pedal still down";
}

// A saw of `hz` (rooted at `key`) held for a second through a low-pass at `cutoffHz` with
// `resonanceCb`, by the filter `filter`: the left side.
std::vector<double> filteredSaw(int filter, double cutoffHz, int resonanceCb, double hz, int key) {
    EngineSettings settings = drySettings();
    settings.voiceFilter = filter;
    SongRig rig(fontWith(
                    [&](Sf2Zone& z) {
                        z.gen(GEN_INITIAL_FILTER_FC,
                              int(std::lround(1200 * std::log2(cutoffHz / 8.176))))
                            .gen(GEN_INITIAL_FILTER_Q, resonanceCb);
                    },
                    Sf2Builder::sawSample("saw", hz, kRate, key)),
                settings);
    rig.play(heldNote(1.0));
    return rig.side(0);
}

TEST(EngineVoices, TheFourPoleFilterFallsTwiceAsSteeplyAndStaysBounded) {
    // A 220 Hz saw through a 1 kHz low-pass: its 18th partial lies two octaves above. The
    // saw's partials fall by 20 log10(9) = 19 dB on their own between the two.
    auto fall = [](int filter) {
        const std::vector<double> left = filteredSaw(filter, 1000.0, 0, 220.0, 57);
        const auto x = between(left, 0.3, 0.8);
        return magnitudeDb(x, kRate, 440.0) - magnitudeDb(x, kRate, 3960.0) - 19.1;
    };
    EXPECT_NEAR(fall(kFilterTwoPole), 24.0, 4.0) << "12 dB an octave";
    EXPECT_NEAR(fall(kFilterFourPole), 48.0, 6.0) << "24 dB an octave";
    // At full resonance the four-pole filter rings but never runs away.
    for (const double cutoffHz : {200.0, 2000.0, 15000.0}) {
        const auto x = filteredSaw(kFilterFourPole, cutoffHz, 960, 110.0, 45);
        EXPECT_GT(rms(between(x, 0.5, 0.9)), 1e4) << cutoffHz << " Hz: heard";
        EXPECT_LT(peak(x), double(kFullScale)) << cutoffHz << " Hz: does not run away";
    }
}

TEST(EngineVoices, ThePanDelayLetsTheFarSideHearAVoiceLater) {
    // Panned to 20: the right side is the far one, (64 - 20) * 48 / 64 = 33 frames behind.
    for (const bool panDelay : {false, true}) {
        EngineSettings settings = drySettings();
        settings.panDelay = panDelay;
        SongRig rig(fontWith([](Sf2Zone&) {}), settings);
        rig.play(heldNote(0.5, {{10, 20}}));
        const auto left = rig.side(0), right = rig.side(1);
        int bestLag = -1;
        double best = -1e300;
        for (int lag = 0; lag < kPanDelayFrames; ++lag) {
            double sum = 0;
            for (size_t n = 4410; n < 8820; ++n) sum += left[n] * right[n + size_t(lag)];
            if (sum > best) best = sum, bestLag = lag;
        }
        EXPECT_EQ(bestLag, panDelay ? 33 : 0) << (panDelay ? "with" : "without") << " pan delay";
    }
}

TEST(EngineVoices, AStreamPlaysOutItsEndBriefly) {
    // Frames after the song's last event: a second for the held note, then the releases in
    // half seconds while anything sounds and the closing silence once all is quiet (a second,
    // or 10 ms for a stream). A stream gives its releases three half seconds, then fades what
    // still sounds over 50 ms and cuts it (20 frames); a file lets them die away. A stream
    // that ends before it began plays nothing.
    struct Case {
        const char* what;
        double releaseSeconds;             // 0: no note at all
        int64_t fileFrames, streamFrames;  // -1: it dies away, however long that takes
    };
    const int64_t second = kRate, half = kRate / 2, fade = kRate / 20, cut = 20;
    const Case cases[] = {
        {"an empty song", 0, second, 0},
        {"a note that stops at once", 0.001, second + half + second, second + half + 441},
        {"a note ringing for ten seconds", 10.0, -1, second + 3 * half + fade + cut},
    };
    for (const Case& c : cases) {
        for (const bool stream : {false, true}) {
            SongRig rig(fontWith([&](Sf2Zone& z) {
                z.gen(GEN_RELEASE_VOL_ENV,
                      Sf2Builder::timecents(std::max(c.releaseSeconds, 0.001)));
            }));
            rig.engine.player().options().realTimeMode = stream;
            SmfBuilder song(0, 480);
            SmfTrack& t = song.track();
            if (c.releaseSeconds > 0) t.noteOn(0, 0, 69, 100).controller(480, 0, 7, 100);
            t.endOfTrack();
            rig.play(song);
            const int64_t songFrames = c.releaseSeconds > 0 ? half : 0;
            const int64_t frames = int64_t(rig.recorder.samples.size() / 2) - songFrames;
            const int64_t expected = stream ? c.streamFrames : c.fileFrames;
            if (expected < 0) {
                // Longer than the six half seconds that once cut such a note.
                EXPECT_GT(frames, second + 6 * half + second) << c.what;
            } else {
                EXPECT_EQ(frames, expected)
                    << c.what << (stream ? ", as a stream" : ", from a file");
            }
        }
    }
}

TEST(EngineVoices, SurroundChorusSoundsEachNoteAsASpreadPair) {
    // A centred note's pair goes hard left and hard right, the right one (the second) 0.003
    // octave times 2 - 69/127 higher; a drum key's pair is not detuned. The far voice of a
    // panned note starts 12 ms after the near one.
    struct Case {
        const char* what;
        bool surround;
        int channel, pan;         // pan -1: the channel's own
        double rightCentsHigher;  // NAN: not judged (both voices on one side)
        double rightLateMs;       // the right side's onset after the left's
    };
    const double detune = 1200 * 0.003 * (2 - 69 / 127.0);
    const Case cases[] = {
        {"a note without the pair", false, 0, -1, 0, 0},
        {"a centred note", true, 0, -1, detune, NAN},
        {"a drum key", true, 9, -1, 0, NAN},
        {"a note panned left", true, 0, 32, NAN, 12},
        {"a note panned right", true, 0, 96, NAN, -12},
    };
    auto onsetMs = [](const std::vector<double>& x) {
        double peak = 0;
        for (double s : x) peak = std::max(peak, std::abs(s));
        for (size_t i = 0; i < x.size(); ++i)
            if (std::abs(x[i]) > peak * 0.01) return 1000.0 * double(i) / kRate;
        return -1.0;
    };
    for (const Case& c : cases) {
        EngineSettings settings = drySettings();
        settings.surroundChorus = c.surround;
        SongRig rig(fontWith([](Sf2Zone&) {}), settings);
        SmfBuilder song(0, 480);
        SmfTrack& t = song.track();
        if (c.pan >= 0) t.controller(0, c.channel, 10, c.pan);
        t.noteOn(0, c.channel, 69, 100).noteOff(kTicksPerSecond, c.channel, 69).endOfTrack();
        rig.play(song);
        const std::vector<double> left = rig.side(0), right = rig.side(1);
        EXPECT_GT(rms(between(left, 0.2, 0.9)), 0.0) << c.what;
        EXPECT_GT(rms(between(right, 0.2, 0.9)), 0.0) << c.what;
        if (!std::isnan(c.rightCentsHigher)) {
            const double cents =
                1200 * std::log2(pitchByZeroCrossings(between(right, 0.2, 0.9), kRate) /
                                 pitchByZeroCrossings(between(left, 0.2, 0.9), kRate));
            EXPECT_NEAR(cents, c.rightCentsHigher, 0.5) << c.what;
        }
        if (!std::isnan(c.rightLateMs)) {
            EXPECT_NEAR(onsetMs(right) - onsetMs(left), c.rightLateMs, 0.5) << c.what;
        }
    }
}

}  // namespace
}  // namespace svt::test
