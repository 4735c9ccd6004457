// Measurements on the synthesizer's output against what a font asks for: the envelope's
// times and levels, and the pitch of every key of a piano at several sample and output rates.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/SynthRig.h"

namespace svt {
namespace {

using test::cents;
using test::Sf2Builder;
using test::Sf2Sample;
using test::SynthRig;

constexpr int kRate = 44100;

// A looped constant: the output of a voice playing it is its envelope, frame by frame.
Sf2Sample constantSample() {
    Sf2Sample s;
    s.name = "dc";
    s.pcm.assign(kRate, 16000);
    s.originalKey = 60;
    s.loopStart = 100;
    s.loopEnd = kRate - 100;
    return s;
}

struct EnvelopeTimes {
    double delay, attack, hold, decay;
    int sustainCb;
    double release;
};

// A melodic instrument, or with `kit` a drum kit whose keys 36..40 play it.
std::vector<uint8_t> envelopeFont(const EnvelopeTimes& e, bool kit = false) {
    Sf2Builder sf;
    const int dc = sf.addSample(constantSample());
    const int inst = sf.addInstrument("envelope");
    sf.instrumentZone(inst)
        .keyRange(kit ? 36 : 0, kit ? 40 : 127)
        .loopMode(1)
        .gen(GEN_DELAY_VOL_ENV, Sf2Builder::timecents(e.delay))
        .gen(GEN_ATTACK_VOL_ENV, Sf2Builder::timecents(e.attack))
        .gen(GEN_HOLD_VOL_ENV, Sf2Builder::timecents(e.hold))
        .gen(GEN_DECAY_VOL_ENV, Sf2Builder::timecents(e.decay))
        .gen(GEN_SUSTAIN_VOL_ENV, e.sustainCb)
        .gen(GEN_RELEASE_VOL_ENV, Sf2Builder::timecents(e.release))
        .sample(dc);
    sf.presetZone(sf.addPreset("envelope", kit ? kPercussionBank : 0, 0)).instrument(inst);
    return sf.build();
}

// First frame at or after `from` where the level crosses `threshold` in the given direction;
// the crossing is placed between its two frames. -1 when it never does.
double crossing(const std::vector<double>& x, size_t from, double threshold, bool rising) {
    for (size_t i = std::max<size_t>(from, 1); i < x.size(); ++i) {
        const bool crossed = rising ? (x[i - 1] < threshold && x[i] >= threshold)
                                    : (x[i - 1] > threshold && x[i] <= threshold);
        if (crossed) return double(i - 1) + (threshold - x[i - 1]) / (x[i] - x[i - 1]);
    }
    return -1;
}

double db(double ratio) {
    return 20 * std::log10(ratio);
}

TEST(SynthesizerEnvelope, StageTimesAndSustainLevelFollowTheFont) {
    const EnvelopeTimes e{0.05, 0.2, 0.1, 0.4, 200, 0.5};
    SynthRig rig(envelopeFont(e));
    rig.noteOn(0, 60, 127);
    const auto x = rig.left(kRate * 3 / 2);
    const double full = test::peak(x);
    ASSERT_GT(full, 1e6);

    // Delay: silence, then the attack rises linearly in amplitude.
    const double start = crossing(x, 0, 0.5, true);
    const double t25 = crossing(x, 0, 0.25 * full, true), t75 = crossing(x, 0, 0.75 * full, true);
    ASSERT_GT(start, 0);
    ASSERT_GT(t75, t25);
    const double attack = (t75 - t25) / 0.5;
    const double attackStart = t25 - 0.25 * attack;
    EXPECT_NEAR(start / kRate, e.delay, 0.05 * e.delay) << "delay";
    EXPECT_NEAR(attackStart / kRate, e.delay, 0.05 * e.delay) << "delay, from the attack's line";
    EXPECT_NEAR(attack / kRate, e.attack, 0.05 * e.attack) << "attack";
    const double attackEnd = attackStart + attack;

    // Hold at the top, then a decay that falls linearly in decibels to the sustain level.
    const double sustain = x[size_t(kRate * 1.4)];
    const double sustainDb = db(sustain / full);
    EXPECT_NEAR(-sustainDb, e.sustainCb / 10.0, 0.05 * e.sustainCb / 10.0) << "sustain level";
    EXPECT_NEAR(db(x[size_t(kRate * 1.3)] / sustain), 0.0, 0.1) << "the sustain holds";
    const double d4 = crossing(x, size_t(t75), full * std::pow(10, -4 / 20.0), false);
    const double d14 = crossing(x, size_t(t75), full * std::pow(10, -14 / 20.0), false);
    ASSERT_GT(d14, d4);
    const double dbPerFrame = 10.0 / (d14 - d4);
    const double decayStart = d4 - 4 / dbPerFrame;
    const double decay = -sustainDb / dbPerFrame;
    EXPECT_NEAR((decayStart - attackEnd) / kRate, e.hold, 0.05 * e.hold) << "hold";
    EXPECT_NEAR(decay / kRate, e.decay, 0.05 * e.decay) << "decay to the sustain level";
    const double plateau =
        test::peak(std::span(x).subspan(size_t(attackEnd) + 441, size_t(e.hold * kRate) - 882));
    EXPECT_NEAR(db(plateau / full), 0.0, 0.05) << "the hold stays at the top";
}

TEST(SynthesizerEnvelope, ReleaseFallsAtTheFontsRateAndEnds) {
    // Full sustain: the release covers the whole range of the envelope in its time.
    const EnvelopeTimes e{0.001, 0.001, 0.001, 0.001, 0, 0.5};
    SynthRig rig(envelopeFont(e));
    rig.noteOn(0, 60, 127);
    rig.render(kRate / 10);
    const double held = test::peak(rig.left(441));
    rig.noteOff(0, 60);
    std::vector<double> x;
    int endedAt = -1;
    for (int frame = 0; frame < kRate; frame += 44) {
        const auto part = rig.left(44);
        x.insert(x.end(), part.begin(), part.end());
        if (endedAt < 0 && rig.synth->voicesInUse() == 0) endedAt = frame + 44;
    }
    const double d6 = crossing(x, 0, held * std::pow(10, -6 / 20.0), false);
    const double d36 = crossing(x, 0, held * std::pow(10, -36 / 20.0), false);
    ASSERT_GT(d36, d6);
    const double range = 960 / 10.0;  // the envelope's whole range, in dB
    const double release = range / (30.0 / (d36 - d6));
    EXPECT_NEAR(release / kRate, e.release, 0.05 * e.release) << "release";
    // The voice goes once its level rounds to nothing: deep in the release, never after it.
    const double d60 = crossing(x, 0, held * std::pow(10, -60 / 20.0), false);
    ASSERT_GT(endedAt, 0) << "the voice ends";
    EXPECT_LE(double(endedAt) / kRate, 1.05 * e.release) << "the voice ends with the release";
    EXPECT_GT(endedAt, d60) << "not while it is still heard";

    // A note released during its decay starts the release from the level it had reached.
    const EnvelopeTimes slow{0.001, 0.001, 0.001, 1.0, 1000, 0.5};
    SynthRig decaying(envelopeFont(slow));
    decaying.noteOn(0, 60, 127);
    const auto before = decaying.left(kRate / 4);
    decaying.noteOff(0, 60);
    const auto after = decaying.left(100);
    EXPECT_LT(test::largestStep(after), 0.01 * test::peak(before)) << "no jump at the release";
}

TEST(SynthesizerEnvelope, AQuickAttackRisesOverAMillisecondFromSilence) {
    // The font's quickest attack: as fast as the envelope goes (a millisecond), and no faster,
    // through no filter and through a resonant one.
    for (const bool resonant : {false, true}) {
        Sf2Builder sf;
        const int dc = sf.addSample(constantSample());
        const int inst = sf.addInstrument("click");
        test::Sf2Zone& z = sf.instrumentZone(inst).loopMode(1);
        if (resonant) z.gen(GEN_INITIAL_FILTER_FC, 9000).gen(GEN_INITIAL_FILTER_Q, 100);
        z.sample(dc);
        sf.presetZone(sf.addPreset("click", 0, 0)).instrument(inst);
        SynthRig rig(sf.build());
        rig.noteOn(0, 60, 127);
        const auto x = rig.left(kRate / 10);
        const double full = std::abs(x.back());
        ASSERT_GT(full, 1e6);
        auto upTo = [&](double ms) {
            return test::peak(std::span(x).first(size_t(ms * kRate / 1000))) / full;
        };
        EXPECT_LT(upTo(0.25), 0.35) << "resonant " << resonant;
        EXPECT_LT(upTo(0.5), 0.6) << "resonant " << resonant;
        EXPECT_GT(upTo(1.5), 0.9) << "resonant " << resonant;
    }
}

TEST(SynthesizerEnvelope, DrumKeyOffsetsChangeOnlyTheirKeysTimes) {
    // 50 ms attack, 0.4 s decay to silence.
    const EnvelopeTimes e{0.0, 0.05, 0.0, 0.4, 1000, 0.1};
    // (NRPN high byte, value) for key 37; key 36 keeps the font's times.
    auto play = [&](std::initializer_list<std::pair<int, int>> offsets, int key) {
        SynthRig rig(envelopeFont(e, true));
        for (auto [nrpn, value] : offsets) {
            rig.event(EV_NRPN_MSB, 9, nrpn);
            rig.event(EV_NRPN_LSB, 9, 37);
            rig.event(EV_DATA_ENTRY_MSB, 9, value);
        }
        rig.noteOn(9, key, 127);
        return rig.left(kRate / 2);
    };
    auto attackMs = [](const std::vector<double>& x) {
        return crossing(x, 0, 0.5 * test::peak(x), true) * 1000.0 / kRate;
    };
    auto levelAt = [](const std::vector<double>& x, double seconds) {
        return x[size_t(seconds * kRate)] / test::peak(x);
    };
    const auto plain = play({}, 37);
    EXPECT_NEAR(attackMs(plain), 25.0, 3.0);
    EXPECT_EQ(play({{0x16, 127}, {0x17, 0}}, 36), play({}, 36)) << "another key's offsets";
    EXPECT_EQ(play({{0x16, 64}, {0x17, 64}}, 37), plain) << "64: the font's own times";
    // A later attack and a quicker one.
    EXPECT_GT(attackMs(play({{0x16, 127}}, 37)), 2 * attackMs(plain));
    EXPECT_LT(attackMs(play({{0x16, 0}}, 37)), attackMs(plain) / 2);
    // The decay: slower holds the level longer, faster has it gone early.
    const double plainAt = levelAt(plain, 0.15);
    EXPECT_GT(levelAt(play({{0x17, 127}}, 37), 0.15), plainAt + 0.3);
    EXPECT_LT(levelAt(play({{0x17, 0}}, 37), 0.15), plainAt / 4);
}

// A piano of sines: one looped sine per octave, each serving the keys up to its root, so
// that no key plays its sample more than an octave away (as real fonts are made).
std::vector<uint8_t> sinePiano(uint32_t sampleRate) {
    Sf2Builder sf;
    const int inst = sf.addInstrument("sines");
    for (int root = 24; root <= 108; root += 12) {
        const double hz = 440.0 * std::exp2((root - 69) / 12.0);
        const int s = sf.addSample(Sf2Builder::sineSample(
            "sine" + std::to_string(root), hz, sampleRate, uint8_t(root), int(sampleRate)));
        sf.instrumentZone(inst)
            .keyRange(root == 24 ? 0 : root - 11, root == 108 ? 127 : root)
            .loopMode(1)
            .gen(GEN_ATTACK_VOL_ENV, Sf2Builder::timecents(0.002))
            .sample(s);
    }
    sf.presetZone(sf.addPreset("sines", 0, 0)).instrument(inst);
    return sf.build();
}

double measuredHz(SynthRig& rig, int key) {
    rig.noteOn(0, key);
    rig.render(rig.rateHz / 20);
    // Low keys need more periods for a precise count.
    const auto x = rig.left(key < 45 ? rig.rateHz : rig.rateHz / 2);
    rig.event(EV_ALL_SOUNDS_OFF, 0, 0);
    rig.render(64);
    return test::pitchByZeroCrossings(x, rig.rateHz);
}

TEST(SynthesizerPitch, EveryPianoKeyWithinACentAtSeveralRates) {
    struct Rates {
        uint32_t sample;
        int output;
    } combos[] = {{44100, 44100}, {48000, 44100}, {22050, 48000}};
    for (const Rates& r : combos) {
        SynthRig rig(sinePiano(r.sample), r.output);
        for (int key = 21; key <= 108; ++key) {
            const double expected = 440.0 * std::exp2((key - 69) / 12.0);
            EXPECT_NEAR(cents(measuredHz(rig, key), expected), 0.0, 1.0)
                << "key " << key << ", samples at " << r.sample << " Hz, output " << r.output;
        }
    }
}

}  // namespace
}  // namespace svt
