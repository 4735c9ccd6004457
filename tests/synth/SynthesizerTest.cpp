// The synthesizer as a listener hears it: pitch, level, pan, note lifetimes, pedals, the
// voice table when it is full, and the ramps that keep every change click-free.

#include <gtest/gtest.h>

#include "support/SynthRig.h"

namespace svt {
namespace {

using test::cents;
using test::SynthRig;

constexpr int kSecond = 44100;

double pitchOf(SynthRig& rig, int frames = kSecond / 2) {
    rig.render(2048);  // past the attack
    const auto x = rig.left(frames);
    return test::pitchByZeroCrossings(x, kSecond);
}

TEST(SynthesizerPitch, NotesBendTuningAndTransposition) {
    // A4 as it is, after an RPN (coarse tuning 2, fine tuning 1) or a key shift (64: none).
    struct Case {
        const char* what;
        int rpn, value, keyShift;
        double cents;
    } cases[] = {{"A4", -1, 0, 64, 0},
                 {"coarse tuning +2", 2, 66, 64, 200},
                 {"fine tuning -50 cents", 1, 32, 64, -50},
                 {"key shift -12", -1, 0, 64 - 12, -1200}};
    for (const Case& c : cases) {
        SynthRig rig;
        if (c.rpn >= 0) rig.rpn(0, 0, c.rpn, c.value);
        rig.event(EV_KEY_SHIFT, 0, c.keyShift);
        rig.noteOn(0, 69);
        EXPECT_NEAR(cents(pitchOf(rig), 440.0), c.cents, 3.0) << c.what;
    }
    // A bend full down, at the default range of two semitones and at twelve.
    for (int range : {2, 12}) {
        SynthRig bent;
        bent.rpn(0, 0, 0, range);
        bent.event(EV_PITCH_BEND, 0, 0, 0);
        bent.noteOn(0, 69);
        EXPECT_NEAR(cents(pitchOf(bent), 440.0), -100.0 * range, 3.0) << range;
    }
}

int statusOf(const SynthRig& rig, int channel, int key) {
    for (const Voice& v : rig.synth->voices())
        if (v.inUse() && v.channel == channel && v.note == key) return v.status;
    return kVoiceFree;
}

TEST(SynthesizerNotes, NoteOffReleasesAndTheVoiceFrees) {
    SynthRig rig;
    rig.noteOn(0, 69);
    EXPECT_EQ(rig.synth->voicesInUse(), 1);
    const double held = test::rms(rig.left(4410));
    EXPECT_GT(held, 1e6);
    rig.noteOff(0, 69);
    EXPECT_EQ(statusOf(rig, 0, 69), kVoiceOff);
    rig.render(kSecond);  // the release takes 0.2 s
    EXPECT_EQ(rig.synth->voicesInUse(), 0);
    EXPECT_EQ(test::peak(rig.left(1000)), 0.0);
    // A transposition that changes while a note sounds does not leave it hanging.
    rig.noteOn(0, 64);
    rig.render(4410);
    rig.controls.noteKeyOffset = 3;
    rig.noteOff(0, 64);
    EXPECT_EQ(statusOf(rig, 0, 64), kVoiceOff);
    rig.controls.noteKeyOffset = 0;
    rig.render(kSecond);
    // A note-off for a key that is not sounding changes nothing.
    rig.noteOn(0, 60);
    rig.noteOff(0, 61);
    EXPECT_EQ(statusOf(rig, 0, 60), kVoiceOn);

    // In mono mode a new note cuts the one before.
    SynthRig mono;
    mono.event(EV_MONO, 0, 0);
    mono.noteOn(0, 60);
    mono.noteOn(0, 64);
    mono.render(1000);
    EXPECT_EQ(statusOf(mono, 0, 60), kVoiceFree);
    EXPECT_EQ(statusOf(mono, 0, 64), kVoiceOn);
}

TEST(SynthesizerNotes, PedalsHoldUntilReleased) {
    SynthRig rig;
    rig.noteOn(0, 69);
    rig.render(4410);
    rig.event(EV_SUSTAIN, 0, 127);
    rig.noteOff(0, 69);
    EXPECT_EQ(statusOf(rig, 0, 69), kVoiceSustained);
    // (How a held note fades: EngineVoices.ANoteHeldByThePedalFadesAwayBeforeThePedalLifts.)
    rig.render(kSecond);
    rig.event(EV_SUSTAIN, 0, 0);
    EXPECT_EQ(statusOf(rig, 0, 69), kVoiceOff);
    rig.render(kSecond);
    EXPECT_EQ(rig.synth->voicesInUse(), 0);

    // All notes off with the pedal down holds the notes instead of releasing them.
    rig.event(EV_SUSTAIN, 0, 127);
    rig.noteOn(0, 60);
    rig.event(EV_ALL_NOTES_OFF, 0, 0);
    EXPECT_EQ(statusOf(rig, 0, 60), kVoiceSustained);
    // Striking a held key again cuts the held voice: one voice sounds the key.
    rig.noteOn(0, 60);
    rig.render(100);
    EXPECT_EQ(rig.synth->voicesInUse(), 1);

    // The sostenuto holds only the notes down when it is pressed.
    SynthRig sos;
    sos.noteOn(0, 60);
    sos.event(EV_SOSTENUTO, 0, 127);
    sos.noteOn(0, 64);
    sos.render(4410);
    sos.noteOff(0, 60);
    sos.noteOff(0, 64);
    EXPECT_EQ(statusOf(sos, 0, 60), kVoiceSustained);
    EXPECT_EQ(statusOf(sos, 0, 64), kVoiceOff);
    // Sustain at 63 is "up": nothing held by the sostenuto is let go.
    sos.event(EV_SUSTAIN, 0, 63);
    EXPECT_EQ(statusOf(sos, 0, 60), kVoiceSustained);
    sos.event(EV_SOSTENUTO, 0, 0);
    EXPECT_EQ(statusOf(sos, 0, 60), kVoiceOff);
}

TEST(SynthesizerNotes, LimitsAndMuteKeepNotesSilent) {
    SynthRig rig;
    rig.controls.channelMuteMask = 1u << 3;
    rig.noteOn(3, 69);
    rig.render(100);
    EXPECT_EQ(rig.synth->voicesInUse(), 0);
    EXPECT_EQ(test::peak(rig.left(4410)), 0.0);

    // Muting a sounding channel frees its voices: nothing of them reaches the next block.
    rig.noteOn(4, 69);
    rig.render(4410);
    rig.controls.channelMuteMask |= 1u << 4;
    const auto out = rig.left(4410);
    EXPECT_EQ(rig.synth->voicesInUse(), 0);
    EXPECT_EQ(test::peak(out), 0.0);
}

// Largest step between neighbouring samples relative to the signal's peak. A sine of
// 441 Hz moves at most 6.3 % of its peak per sample; a click jumps much further.
double clickiness(const std::vector<double>& x, double reference) {
    return test::largestStep(x) / reference;
}

TEST(SynthesizerVoices, FullTableStealsTheQuietestReleasedVoiceWithoutAClick) {
    SynthRig rig;
    // 255 silent voices fill the table beside one audible note; they are louder in mix terms
    // (channel volume at its top) than the audible one, which is released before the table
    // overflows.
    rig.program(0, 3);
    rig.event(EV_VOLUME, 0, 40);
    rig.noteOn(0, 69);
    for (int c = 1; c < 16; ++c) {
        if (c == 9) continue;
        rig.program(c, 2);
        rig.event(EV_VOLUME, c, 127);
    }
    int started = 1;
    for (int c = 1; c < 16 && started < kMaxVoices; ++c) {
        if (c == 9) continue;
        for (int key = 10; key < 120 && started < kMaxVoices; ++key, ++started) rig.noteOn(c, key);
    }
    EXPECT_EQ(rig.synth->voicesInUse(), kMaxVoices);
    const auto before = rig.left(4410);
    const double reference = test::peak(before);
    ASSERT_GT(reference, 1e5);
    rig.noteOff(0, 69);
    rig.noteOn(15, 5);  // one more: the released cosine gives way
    EXPECT_EQ(statusOf(rig, 0, 69), kVoiceFree);
    EXPECT_EQ(statusOf(rig, 15, 5), kVoiceOn);
    EXPECT_EQ(rig.synth->cutNotes(), 1);
    EXPECT_EQ(rig.synth->lostNotes(), 0);
    const auto after = rig.left(200);
    EXPECT_LT(clickiness(after, reference), 0.1);
    EXPECT_EQ(test::peak(std::span(after).subspan(Synthesizer::kDyingFrames)), 0.0);
    EXPECT_EQ(rig.synth->voicesInUse(), kMaxVoices);
}

double levelOf(SynthRig& rig, int which) {
    rig.render(4410);
    return test::rms(SynthRig::side(rig.render(4410), which));
}

TEST(SynthesizerLevels, VolumeExpressionVelocityAndMasterGain) {
    SynthRig full;
    full.noteOn(0, 69, 127);
    full.event(EV_VOLUME, 0, 127);
    const double reference = levelOf(full, 0);
    const double curve64 = std::pow(64.0 / 127.0, 1.66096404744);
    // Each at full volume but for what it sets: (type, data bytes) on channel 0, a velocity.
    struct Case {
        const char* what;
        uint8_t type;
        int a, b, velocity;
        double ratio;
    } cases[] = {
        {"volume 64", EV_VOLUME, 64, 0, 127, curve64},
        {"expression 64", EV_EXPRESSION, 64, 0, 127, curve64},
        {"velocity 64", EV_VOLUME, 127, 0, 64, curve64},
        {"master volume half", EV_MASTER_VOLUME, 0xFF, 0x7F, 127, 32767.0 / 65535.0},
    };
    for (const Case& c : cases) {
        SynthRig rig;
        rig.event(EV_VOLUME, 0, 127);
        rig.event(c.type, 0, c.a, c.b);
        rig.noteOn(0, 69, c.velocity);
        EXPECT_NEAR(levelOf(rig, 0) / reference, c.ratio, 0.02 * c.ratio) << c.what;
    }
    // A change while the note sounds applies to it at once. (The user's volume:
    // PlayerCommands.MasterVolumeScalesTheOutputWithinItsRange.)
    full.event(EV_EXPRESSION, 0, 64);
    EXPECT_NEAR(levelOf(full, 0) / reference, curve64, 0.02 * curve64);
}

TEST(SynthesizerLevels, PanningSetsTheBalanceOfNotesAndStereoPairs) {
    // 0 and 1 are hard left, 127 hard right, 32 leans left.
    for (int pan : {0, 1, 32, 64, 127}) {
        SynthRig rig;
        rig.event(EV_PAN, 0, pan);
        rig.noteOn(0, 69);
        rig.render(4410);
        const auto out = rig.render(4410);
        const double l = test::rms(SynthRig::side(out, 0)), r = test::rms(SynthRig::side(out, 1));
        EXPECT_GT(std::max(l, r), 1e6) << pan;
        EXPECT_EQ(r == 0.0, pan <= 1) << pan;
        EXPECT_EQ(l == 0.0, pan == 127) << pan;
        if (pan == 32 || pan == 64) {
            EXPECT_NEAR(l / r, pan == 64 ? 1.0 : 3.0, pan == 64 ? 0.01 : 1.5) << pan;
        }
    }
    // A pan change moves a sounding note.
    SynthRig rig;
    rig.noteOn(0, 69);
    rig.event(EV_PAN, 0, 127);
    rig.render(4410);
    EXPECT_EQ(test::rms(SynthRig::side(rig.render(4410), 0)), 0.0);

    // A stereo pair sounds both halves on their sides.
    SynthRig pair;
    pair.program(0, 6);
    pair.event(EV_PAN, 0, 64);  // a centred channel keeps the halves apart
    pair.noteOn(0, 69);
    EXPECT_EQ(pair.synth->voicesInUse(), 2);
    pair.render(4410);
    const auto out = pair.render(kSecond / 2);
    EXPECT_NEAR(cents(test::pitchByZeroCrossings(SynthRig::side(out, 0), kSecond), 440.0), 0.0,
                3.0);
    EXPECT_NEAR(cents(test::pitchByZeroCrossings(SynthRig::side(out, 1), kSecond), 660.0), 0.0,
                3.0);
    // Panned hard right, both halves sound on the right only.
    pair.event(EV_PAN, 0, 127);
    pair.render(4410);
    const auto right = pair.render(4410);
    EXPECT_EQ(test::rms(SynthRig::side(right, 0)), 0.0);
    EXPECT_GT(test::rms(SynthRig::side(right, 1)), 1e6);
}

TEST(SynthesizerShaping, LowPassFilterAndBrightness) {
    auto harmonics = [](int program, int brightness) {
        SynthRig rig;
        rig.program(0, program);
        if (brightness >= 0) rig.event(EV_BRIGHTNESS, 0, brightness);
        rig.noteOn(0, 57);
        rig.render(4410);
        const auto x = rig.left(kSecond / 2);
        return std::pair{test::magnitudeDb(x, kSecond, 220.0),
                         test::magnitudeDb(x, kSecond, 4180.0)};
    };
    const auto [plainLow, plainHigh] = harmonics(4, -1);
    const auto [low, high] = harmonics(5, -1);
    EXPECT_NEAR(low, plainLow, 1.0) << "the fundamental passes";
    EXPECT_LT(high - plainHigh, -20.0) << "two octaves above the cutoff, 12 dB per octave";
    const auto [brightLow, brightHigh] = harmonics(5, 127);
    EXPECT_GT(brightHigh - high, 15.0) << "brightness opens the filter by two octaves";
    EXPECT_NEAR(brightLow, plainLow, 1.0);
}

TEST(SynthesizerShaping, ModulationWheelAddsVibrato) {
    // The pitch swings by tens of cents around the note.
    auto swing = [](int wheel) {
        SynthRig r;
        r.event(EV_MODULATION, 0, wheel);
        r.noteOn(0, 69);
        r.render(4410);
        const auto x = r.left(kSecond);
        double lowest = 1e9, highest = -1e9;
        for (size_t at = 0; at + 1764 <= x.size(); at += 441) {
            const double c =
                cents(test::pitchByZeroCrossings(std::span(x).subspan(at, 1764), kSecond), 440.0);
            lowest = std::min(lowest, c);
            highest = std::max(highest, c);
        }
        return highest - lowest;
    };
    EXPECT_LT(swing(0), 2.0);
    EXPECT_GT(swing(127), 40.0);
}

TEST(SynthesizerShaping, TremoloSwingsTheLevelAtItsRate) {
    SynthRig rig;
    rig.program(0, 8);
    rig.noteOn(0, 69);
    rig.render(4410);
    const auto x = rig.left(2 * kSecond);
    // The level of every 10 ms stretch: a slow wave around its mean.
    std::vector<double> level;
    for (size_t at = 0; at + 441 <= x.size(); at += 441)
        level.push_back(test::rms(std::span(x).subspan(at, 441)));
    const auto [lo, hi] = std::minmax_element(level.begin(), level.end());
    // 60 cB give a depth of 127/256: the level swings 127/1024 up and down around its own.
    const double swing = 127.0 / 1024.0;
    EXPECT_NEAR(20 * std::log10(*hi / *lo), 20 * std::log10((1 + swing) / (1 - swing)), 0.2);
    EXPECT_NEAR(test::pitchByZeroCrossings(level, 100.0), 5.0, 0.15);
}

TEST(SynthesizerShaping, PortamentoGlidesFromTheLastNote) {
    SynthRig rig;
    rig.event(EV_PORTAMENTO_TIME_MSB, 0, 64);  // about 20 semitones a second
    rig.event(EV_PORTAMENTO, 0, 127);
    rig.noteOn(0, 57);
    rig.render(4410);
    rig.noteOff(0, 57);
    rig.noteOn(0, 69);
    auto window = [&] { return test::pitchByZeroCrossings(rig.left(1764), kSecond); };
    const double start = window();
    EXPECT_LT(start, 250.0) << "the glide starts at the last note (220 Hz)";
    rig.render(kSecond / 5);
    const double middle = window();
    EXPECT_GT(middle, start + 50.0);
    EXPECT_LT(middle, 420.0);
    rig.render(kSecond);
    EXPECT_NEAR(cents(window(), 440.0), 0.0, 3.0) << "and arrives at the new one";

    // Switched off, a glide stops at once on the new note's own pitch.
    rig.noteOff(0, 69);
    rig.render(kSecond);
    rig.noteOn(0, 57);
    rig.render(2205);
    rig.event(EV_PORTAMENTO, 0, 0);
    EXPECT_NEAR(cents(window(), 220.0), 0.0, 3.0);
}

TEST(SynthesizerChannels, SystemExclusiveChannelSettings) {
    SynthRig rig;
    rig.event(EV_SYSEX_LSB, 0, 60, 0x42);  // note limit low
    rig.event(EV_SYSEX_LSB, 0, 90, 0x45);  // velocity limit high
    rig.noteOn(0, 59);
    rig.noteOn(0, 61, 91);
    EXPECT_EQ(rig.synth->voicesInUse(), 0);
    rig.noteOn(0, 61, 90);
    EXPECT_EQ(rig.synth->voicesInUse(), 1);

    // Velocity sense depth 32 and offset 40 turn velocity 100 into 2.
    SynthRig sense, reference;
    sense.event(EV_SYSEX_GS_LSB, 0, 32, 0x21);
    sense.event(EV_SYSEX_GS_LSB, 0, 40, 0x22);
    sense.noteOn(0, 69, 100);
    reference.noteOn(0, 69, 2);
    EXPECT_NEAR(levelOf(sense, 0) / levelOf(reference, 0), 1.0, 0.01);

    // Scale tuning moves one pitch class only.
    SynthRig tuned;
    tuned.event(EV_SCALE_TUNING, 0, 9, 50);  // A: +50 cents
    tuned.noteOn(0, 69);
    EXPECT_NEAR(cents(pitchOf(tuned), 440.0), 50.0, 3.0);
    SynthRig other;
    other.event(EV_SCALE_TUNING, 0, 9, 50);
    other.noteOn(0, 72);
    EXPECT_NEAR(cents(pitchOf(other), 523.2511), 0.0, 3.0);
}

// A change of volume moves the level over half a millisecond, and so do the all-off messages
// on a chord. (The start of a note:
// SynthesizerEnvelope.AQuickAttackRisesOverAMillisecondFromSilence.)
TEST(SynthesizerClicks, VolumeChangesAndAllOffMessagesRampTheLevel) {
    SynthRig vol;
    vol.program(0, 3);  // a cosine
    vol.noteOn(0, 69);
    const auto loud = vol.left(4410);
    vol.event(EV_VOLUME, 0, 10);
    EXPECT_LT(clickiness(vol.left(400), test::peak(loud)), 0.1);

    for (int message : {EV_ALL_NOTES_OFF, EV_ALL_SOUNDS_OFF}) {
        SynthRig rig;
        rig.program(0, 1);  // instant release: only the ramp stands between the note and a click
        for (int key : {57, 64, 69, 76}) rig.noteOn(0, key);
        const auto held = rig.left(4410);
        const double reference = test::peak(held);
        ASSERT_GT(reference, 1e6);
        rig.event(uint8_t(message), 0, 0);
        const auto after = rig.left(800);
        EXPECT_LT(clickiness(after, reference), 0.1) << message;
        EXPECT_EQ(test::peak(std::span(after).subspan(400)), 0.0) << message;
        EXPECT_EQ(rig.synth->voicesInUse(), 0) << message;
    }
}

}  // namespace
}  // namespace svt
