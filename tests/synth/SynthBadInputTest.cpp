// Hostile fonts and songs: absurd generator values, broken loops, a flood of notes, controllers
// and bends at and beyond their ends. Whatever comes in, the synthesizer keeps rendering,
// nothing it computes turns into NaN or infinity, and the block stays within full scale.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "support/SynthRig.h"

namespace svt {
namespace {

using test::Sf2Builder;
using test::Sf2Sample;
using test::SynthRig;

// Every number of every voice that feeds the mix is finite and inside its range.
void expectSaneVoices(const Synthesizer& synth, const std::string& what) {
    for (const Voice& v : synth.voices()) {
        if (!v.inUse()) continue;
        ASSERT_TRUE(std::isfinite(v.leftAmplitude) && std::isfinite(v.rightAmplitude)) << what;
        ASSERT_TRUE(std::isfinite(v.envelopeFactor) && std::isfinite(v.tremoloFactor)) << what;
        ASSERT_TRUE(std::isfinite(v.releaseFactor) && std::isfinite(v.filter.gain)) << what;
        ASSERT_GE(v.leftMix, 0) << what;
        ASSERT_LE(v.leftMix, kMaxMix) << what;
        ASSERT_GE(v.rightMix, 0) << what;
        ASSERT_LE(v.rightMix, kMaxMix) << what;
    }
}

// Renders `frames` and checks the block's range and the voices after every block.
void renderChecked(SynthRig& rig, int frames, const std::string& what) {
    std::vector<int32_t> block(2 * kBlockFrames);
    for (int done = 0; done < frames; done += kBlockFrames) {
        const int n = std::min(kBlockFrames, frames - done);
        rig.synth->render({block.data(), n});
        for (int i = 0; i < 2 * n; ++i) {
            ASSERT_LE(block[size_t(i)], kMixLimit) << what << " frame " << done + i / 2;
            ASSERT_GE(block[size_t(i)], -kMixLimit) << what << " frame " << done + i / 2;
        }
        expectSaneVoices(*rig.synth, what);
        if (testing::Test::HasFatalFailure()) return;
    }
}

struct Gen {
    uint16_t oper;
    int amount;
};

// Samples with sound in them and with headers that do not add up.
enum SampleKind {
    kSine,
    kZeroLoop,
    kLoopPastEnd,
    kLoopReversed,
    kTiny,
    kRateZero,
    kRateHuge,
    kKeyHuge
};

Sf2Sample sampleOf(SampleKind kind) {
    Sf2Sample s = Sf2Builder::sineSample("s", 440.0, 44100, 69, 4410, true, 1.0);
    switch (kind) {
        case kSine:
            break;
        case kZeroLoop:
            s.loopStart = s.loopEnd = 2000;
            break;
        case kLoopPastEnd:
            s.loopStart = 4000;
            s.loopEnd = 900000;
            break;
        case kLoopReversed:
            s.loopStart = 3000;
            s.loopEnd = 100;
            break;
        case kTiny:
            s.pcm.assign(1, 32767);
            s.loopStart = 0;
            s.loopEnd = 1;
            break;
        case kRateZero:
            s.sampleRate = 0;
            break;
        case kRateHuge:
            s.sampleRate = 0xFFFFFFFFu;
            break;
        case kKeyHuge:
            s.originalKey = 255;
            s.pitchCorrection = -128;
            break;
    }
    return s;
}

std::vector<uint8_t> fontWith(SampleKind kind, const std::vector<Gen>& gens) {
    Sf2Builder sf;
    const int sample = sf.addSample(sampleOf(kind));
    const int inst = sf.addInstrument("hostile");
    test::Sf2Zone& zone = sf.instrumentZone(inst);
    // Looped unless the case says otherwise.
    if (std::none_of(gens.begin(), gens.end(),
                     [](const Gen& g) { return g.oper == GEN_SAMPLE_MODES; }))
        zone.gen(GEN_SAMPLE_MODES, 1);
    for (const Gen& g : gens) zone.gen(g.oper, g.amount);
    zone.sample(sample);
    sf.presetZone(sf.addPreset("hostile", 0, 0)).instrument(inst);
    return sf.build();
}

// Loud chords over the whole keyboard, held, bent, released and left to ring.
void playHard(SynthRig& rig, const std::string& what) {
    rig.controls.amplification = 200;
    for (int c : {0, 1}) {
        rig.event(EV_VOLUME, c, 127);
        for (int key : {0, 21, 60, 69, 108, 127}) rig.noteOn(c, key, 127);
    }
    renderChecked(rig, 8192, what + " held");
    rig.event(EV_PITCH_BEND, 0, 127, 127);
    rig.event(EV_MODULATION, 1, 127);
    renderChecked(rig, 8192, what + " bent");
    for (int c : {0, 1})
        for (int key : {0, 21, 60, 69, 108, 127}) rig.noteOff(c, key);
    renderChecked(rig, 44100, what + " released");
}

TEST(SynthesizerBadInput, AbsurdGeneratorsAndBrokenLoopsStayInRange) {
    struct Case {
        const char* what;
        std::vector<Gen> gens;
        SampleKind sample = kSine;
    } cases[] = {
        {"plain loop", {}},
        {"zero-length loop", {}, kZeroLoop},
        {"zero-length loop, ping-pong", {{GEN_SAMPLE_MODES, 3}}, kZeroLoop},
        {"loop past the end", {}, kLoopPastEnd},
        {"loop start after loop end", {}, kLoopReversed},
        {"one-sample data", {}, kTiny},
        {"sample rate 0", {}, kRateZero},
        {"sample rate 4 GHz", {}, kRateHuge},
        {"root key 255, correction -128", {}, kKeyHuge},
        {"loop offsets",
         {{GEN_STARTLOOP_ADDRS_COARSE_OFFSET, -32768}, {GEN_ENDLOOP_ADDRS_COARSE_OFFSET, 32767}}},
        {"loop past the data",
         {{GEN_STARTLOOP_ADDRS_COARSE_OFFSET, 200}, {GEN_ENDLOOP_ADDRS_OFFSET, 32767}}},
        {"start and end crossed",
         {{GEN_SAMPLE_MODES, 0},
          {GEN_START_ADDRS_OFFSET, 32767},
          {GEN_END_ADDRS_OFFSET, -32768},
          {GEN_START_ADDRS_COARSE_OFFSET, 5}}},
        {"filter top", {{GEN_INITIAL_FILTER_FC, 13500}, {GEN_INITIAL_FILTER_Q, 960}}},
        {"filter bottom", {{GEN_INITIAL_FILTER_FC, 1500}, {GEN_INITIAL_FILTER_Q, 32767}}},
        {"cutoff beyond", {{GEN_INITIAL_FILTER_FC, -32768}, {GEN_MOD_ENV_TO_FILTER_FC, 32767}}},
        {"instant envelope", {{GEN_ATTACK_VOL_ENV, -32768}, {GEN_RELEASE_VOL_ENV, -32768}}},
        {"endless envelope",
         {{GEN_ATTACK_VOL_ENV, 32767},
          {GEN_HOLD_VOL_ENV, 32767},
          {GEN_DECAY_VOL_ENV, 32767},
          {GEN_RELEASE_VOL_ENV, 32767},
          {GEN_DELAY_VOL_ENV, 32767}}},
        {"sustain below silence",
         {{GEN_SUSTAIN_VOL_ENV, 32767},
          {GEN_KEYNUM_TO_VOL_ENV_DECAY, 32767},
          {GEN_KEYNUM_TO_VOL_ENV_HOLD, -32768}}},
        {"negative sustain", {{GEN_SUSTAIN_VOL_ENV, -32768}, {GEN_INITIAL_ATTENUATION, -32768}}},
        {"tuning top",
         {{GEN_COARSE_TUNE, 32767},
          {GEN_FINE_TUNE, 32767},
          {GEN_SCALE_TUNING, 32767},
          {GEN_MOD_ENV_TO_PITCH, 32767},
          {GEN_ATTACK_MOD_ENV, 32767}}},
        {"tuning bottom",
         {{GEN_COARSE_TUNE, -32768}, {GEN_FINE_TUNE, -32768}, {GEN_SCALE_TUNING, -32768}}},
        {"scale tuning 0", {{GEN_SCALE_TUNING, 0}}},
        {"LFOs at their ends",
         {{GEN_VIB_LFO_TO_PITCH, 32767},
          {GEN_FREQ_VIB_LFO, 32767},
          {GEN_MOD_LFO_TO_PITCH, -32768},
          {GEN_MOD_LFO_TO_VOLUME, 32767},
          {GEN_MOD_LFO_TO_FILTER_FC, 32767},
          {GEN_FREQ_MOD_LFO, -32768},
          {GEN_DELAY_MOD_LFO, -32768},
          {GEN_DELAY_VIB_LFO, 32767}}},
        {"LFO depths negative", {{GEN_VIB_LFO_TO_PITCH, -32768}, {GEN_MOD_LFO_TO_VOLUME, -32768}}},
        {"pan, key, velocity, root",
         {{GEN_PAN, 32767},
          {GEN_KEYNUM, 300},
          {GEN_VELOCITY, -5},
          {GEN_OVERRIDING_ROOT_KEY, 32767},
          {GEN_EXCLUSIVE_CLASS, -1}}},
        {"sample modes garbage", {{GEN_SAMPLE_MODES, -1}}},
    };
    for (const Case& c : cases) {
        SynthRig rig(fontWith(c.sample, c.gens));
        playHard(rig, c.what);
        if (HasFatalFailure()) return;
        for (int ch : {0, 1}) rig.event(EV_ALL_SOUNDS_OFF, ch, 0);
        rig.render(64);
        for (const Voice& v : rig.synth->voices())
            EXPECT_NE(v.status, kVoiceDying) << c.what << ": a cut voice must fade and go";
    }
}

TEST(SynthesizerBadInput, FloodOfNotesAtFullAmplificationIsClampedToTheMixLimit) {
    // 10,000 note-ons at once on every channel and key at top velocity, the sine starting at
    // its peak so that the voices add up in phase.
    SynthRig rig;
    rig.controls.amplification = 200;
    for (int c = 0; c < 16; ++c) {
        rig.program(c, 3);
        rig.event(EV_VOLUME, c, 127);
    }
    for (int n = 0; n < 10000; ++n) rig.noteOn(n % 16, 69, 127);
    EXPECT_LE(rig.synth->voicesInUse(), kMaxVoices + Synthesizer::kFadeSlots);
    const auto out = rig.render(8192);
    int32_t top = 0;
    for (int32_t x : out) {
        ASSERT_LE(x, kMixLimit);
        ASSERT_GE(x, -kMixLimit);
        top = std::max(top, x);
    }
    EXPECT_EQ(top, kMixLimit) << "so many voices in phase reach the clamp";
    expectSaneVoices(*rig.synth, "flood");
    // And they all end.
    for (int c = 0; c < 16; ++c) rig.event(EV_ALL_NOTES_OFF, c, 0);
    rig.render(2 * 44100);
    EXPECT_EQ(rig.synth->voicesInUse(), 0);
}

TEST(SynthesizerBadInput, ControllersAndBendsBeyondTheirRanges) {
    // Each channel event type with data bytes at 0, 127 and beyond 127, on a sounding chord;
    // then the tuning parameters at their ends with the bend at both extremes.
    for (int value : {0, 127, 128, 255}) {
        SynthRig rig;
        rig.controls.amplification = 200;
        for (int key : {21, 69, 108}) rig.noteOn(0, key, 127);
        rig.noteOn(9, 36, 127);
        const std::string what = "data " + std::to_string(value);
        for (int type = EV_KEY_PRESSURE; type <= EV_MODULE_SAMPLE_OFFSET; ++type) {
            if (type == EV_ALL_SOUNDS_OFF || type == EV_ALL_NOTES_OFF ||
                type == EV_RESET_CONTROLLERS)
                continue;
            for (int c : {0, 9}) rig.event(uint8_t(type), c, value, value);
            renderChecked(rig, 256, what + " type " + std::to_string(type));
            if (HasFatalFailure()) return;
        }
        for (int key : {0, 60, 127, 200, 255}) rig.noteOn(0, key, value);
        renderChecked(rig, 4096, what + " notes after");
        if (HasFatalFailure()) return;
    }

    for (int tuning : {0, 127}) {
        for (int bend : {0, 127}) {
            SynthRig rig;
            rig.rpn(0, 0, 0, 127);     // bend range far beyond 24 semitones
            rig.rpn(0, 0, 2, tuning);  // coarse tuning at its end
            rig.rpn(0, 0, 1, tuning);  // fine tuning at its end
            rig.event(EV_PITCH_BEND, 0, bend, bend);
            rig.event(EV_KEY_SHIFT, 0, tuning);
            rig.controls.noteKeyOffset = tuning == 0 ? -127 : 127;
            for (int key : {0, 69, 127}) rig.noteOn(0, key, 127);
            const std::string what =
                "tuning " + std::to_string(tuning) + " bend " + std::to_string(bend);
            renderChecked(rig, 8192, what);
            if (HasFatalFailure()) return;
            // Back and forth between the ends while the notes sound.
            for (int k = 0; k < 8; ++k) {
                rig.event(EV_PITCH_BEND, 0, (k & 1) ? 127 : 0, (k & 1) ? 127 : 0);
                renderChecked(rig, 100, what + " swinging");
            }
        }
    }
}

TEST(SynthesizerBadInput, NotesThatNeverEndKeepTheTableBounded) {
    // Note-ons without note-offs on a sustained channel for a long stretch: the table fills,
    // stealing takes over, and everything still ends with the song.
    SynthRig rig;
    for (int c = 0; c < 8; ++c) rig.event(EV_SUSTAIN, c, 127);
    for (int block = 0; block < 200; ++block) {
        for (int k = 0; k < 7; ++k) rig.noteOn(k, (block * 3 + k) % 128, 100);
        rig.render(512);
        ASSERT_LE(rig.synth->voicesInUse(), kMaxVoices + Synthesizer::kFadeSlots);
    }
    EXPECT_GT(rig.synth->lostNotes(), 0) << "notes still held give way once the table is full";
    rig.synth->releaseAllNotes();
    for (int c = 0; c < 8; ++c) rig.event(EV_SUSTAIN, c, 0);
    rig.render(2 * 44100);
    EXPECT_EQ(rig.synth->voicesInUse(), 0);
}

}  // namespace
}  // namespace svt
