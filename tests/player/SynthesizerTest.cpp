// The synthesizer as a listener hears it: pitch, level, pan, note lifetimes, pedals, the
// voice table when it is full, and the ramps that keep every change click-free.

#include <gtest/gtest.h>

#include "SynthRig.h"

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
    struct Case {
        const char* what;
        void (*setup)(SynthRig&);
        int key;
        double expectedHz;
    } cases[] = {
        {"A4", [](SynthRig&) {}, 69, 440.0},
        {"A5", [](SynthRig&) {}, 81, 880.0},
        {"C4", [](SynthRig&) {}, 60, 261.6256},
        {"bend up, range 2", [](SynthRig& r) { r.event(EV_PITCH_BEND, 0, 127, 127); }, 69, 440.0 * std::exp2(2.0 * 8191 / 8192 / 12)},
        {"bend down, range 2", [](SynthRig& r) { r.event(EV_PITCH_BEND, 0, 0, 0); }, 69, 440.0 * std::exp2(-2.0 / 12)},
        {"bend up, range 12", [](SynthRig& r) { r.rpn(0, 0, 0, 12); r.event(EV_PITCH_BEND, 0, 0, 96); }, 69, 440.0 * std::exp2(12.0 * 4096 / 8192 / 12)},
        {"coarse tuning +2", [](SynthRig& r) { r.rpn(0, 0, 2, 66); }, 69, 440.0 * std::exp2(2.0 / 12)},
        {"fine tuning -50 cents", [](SynthRig& r) { r.rpn(0, 0, 1, 32); }, 69, 440.0 * std::exp2(-0.5 / 12)},
        {"transposed +12", [](SynthRig& r) { r.controls.noteKeyOffset = 12; }, 69, 880.0},
        {"key shift -12", [](SynthRig& r) { r.event(EV_KEY_SHIFT, 0, 64 - 12); }, 69, 220.0},
    };
    for (const Case& c : cases) {
        SynthRig rig;
        c.setup(rig);
        rig.noteOn(0, c.key);
        EXPECT_NEAR(cents(pitchOf(rig), c.expectedHz), 0.0, 3.0) << c.what;
    }
}

TEST(SynthesizerPitch, BendMovesASoundingNoteAtOnce) {
    SynthRig rig;
    rig.noteOn(0, 69);
    EXPECT_NEAR(cents(pitchOf(rig), 440.0), 0.0, 3.0);
    rig.event(EV_PITCH_BEND, 0, 0, 0);
    EXPECT_NEAR(cents(pitchOf(rig), 440.0), -200.0, 3.0);
    rig.event(EV_PITCH_BEND, 0, 0, 64);
    EXPECT_NEAR(cents(pitchOf(rig), 440.0), 0.0, 3.0);
}

TEST(SynthesizerPitch, DrumChannelPlaysTheDrumSetAndIgnoresTransposition) {
    SynthRig rig;
    rig.controls.noteKeyOffset = 5;
    rig.noteOn(9, 36);
    EXPECT_NEAR(cents(pitchOf(rig), 1000.0), 0.0, 3.0);
    // The same key on a melodic channel plays the piano-side program.
    SynthRig melodic;
    melodic.noteOn(0, 36);
    EXPECT_NEAR(cents(pitchOf(melodic), 65.406), 0.0, 3.0);
    // A drum-part change turns channel 0 into a drum channel.
    SynthRig changed;
    changed.event(EV_DRUM_PART, 0, 1, 255);
    EXPECT_TRUE(changed.synth->drumChannelMask() & 1u);
    changed.noteOn(0, 36);
    EXPECT_NEAR(cents(pitchOf(changed), 1000.0), 0.0, 3.0);
}

}  // namespace
}  // namespace svt
