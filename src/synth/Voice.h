#pragma once
// One slot of the voice table: a region being played for one note, with everything the
// mixer needs to shape it (envelopes, tremolo, filter, pan, the ramps that keep level
// changes from clicking).

#include <array>
#include <cstdint>

#include "base/Constants.h"
#include "instruments/Instrument.h"
#include "synth/Resampler.h"
#include "synth/Synthesis.h"

namespace svt {

// Voice::status values; on and sustained are shared with the resampler.
inline constexpr uint8_t kVoiceFree = 1;
inline constexpr uint8_t kVoiceOff = 8;
inline constexpr uint8_t kVoiceDying = 16;
static_assert(kVoiceOn == 2 && kVoiceSustained == 4);
// Listeners are told the same values as VoiceStatus.
static_assert(kVoiceFree == static_cast<uint8_t>(VoiceStatus::Free) &&
              kVoiceOn == static_cast<uint8_t>(VoiceStatus::On) &&
              kVoiceSustained == static_cast<uint8_t>(VoiceStatus::Sustained) &&
              kVoiceOff == static_cast<uint8_t>(VoiceStatus::Off) &&
              kVoiceDying == static_cast<uint8_t>(VoiceStatus::Dying));

// An envelope of six stages (attack, hold, decay, three release stages) over the region's
// rates and targets; levels in the region's unit, full scale kEnvelopeFullLevel.
struct EnvelopeState {
    int32_t level = 0;
    int32_t target = 0;
    int32_t increment = 0;
    int stage = -1;  // -1 before the first, > 5 finished
};

// State-variable low-pass in its zero-delay form (stable for every cutoff below half the
// rate, where the plain Chamberlin form already blows up at a sixth of it), written as the
// update of its two integrator states so that one step is a single row of products per
// state: the chain from one sample to the next is one multiply and two adds long.
// Coefficients carry 24 fraction bits, the states 8 more bits than the samples.
struct VoiceFilter {
    bool active = false;
    // s1' = (s1Gain s1 + s1FromIn (x - s2)) >> 24
    // s2' = s2 + ((s2FromS1 s1 + s2FromIn (x - s2)) >> 24)
    // (s2 enters each row with the input's coefficient negated, so they share one product)
    int64_t s1Gain = 0;
    int64_t s1FromIn = 0;
    int64_t s2FromS1 = 0;
    int64_t s2FromIn = 0;
    int64_t s1 = 0;
    int64_t s2 = 0;
    int32_t cutoffHz = 0;  // the cutoff and resonance the coefficients were made for
    double resonanceDb = 0.0;
    double gain = 1.0;  // compensation for the resonance peak (the ladder: its feedback)

    // The four-pole ladder instead: four one-pole stages l1..l4 (8 more bits than the
    // samples) whose output is fed back by ladderFeedback, solved within the sample:
    //   y = (ladderFromIn x + sum ladderFrom[i] l[i]) >> 24, u = x - (ladderFeedback y >> 24),
    //   then each stage v = (in - l) G, out = v + l, l' = out + v.
    bool ladder = false;
    int64_t ladderG = 0;
    int64_t ladderFrom1 = 0, ladderFrom2 = 0, ladderFrom3 = 0, ladderFrom4 = 0;
    int64_t ladderFromIn = 0;
    int64_t ladderFeedback = 0;
    int64_t l1 = 0, l2 = 0, l3 = 0, l4 = 0;

    // One sample through the filter: the low-pass output, the mean of the old and new s2.
    int32_t step(int32_t in) {
        const int64_t x = int64_t(in) << 8;
        const int64_t a = s1, b = s2;
        const int64_t d = x - b;
        s1 = (s1Gain * a + s1FromIn * d) >> 24;
        s2 = b + ((s2FromS1 * a + s2FromIn * d) >> 24);
        const int64_t out = (b + s2) >> 9;
        return static_cast<int32_t>(out < -(1 << 20)  ? -(1 << 20)
                                    : out > (1 << 20) ? (1 << 20)
                                                      : out);
    }

    // One sample through the ladder: its four-pole low-pass output.
    int32_t stepLadder(int32_t in) {
        const int64_t x = int64_t(in) << 8;
        const int64_t y = (ladderFromIn * x + ladderFrom1 * l1 + ladderFrom2 * l2 +
                           ladderFrom3 * l3 + ladderFrom4 * l4) >>
                          24;
        int64_t u = x - ((ladderFeedback * y) >> 24);
        for (int64_t* l : {&l1, &l2, &l3, &l4}) {
            const int64_t v = ((u - *l) * ladderG) >> 24;
            u = v + *l;
            *l = u + v;
        }
        const int64_t out = u >> 8;
        return static_cast<int32_t>(out < -(1 << 20)  ? -(1 << 20)
                                    : out > (1 << 20) ? (1 << 20)
                                                      : out);
    }
};

// The far side of a two-sided voice can be heard this many frames late at most (the ring's
// length; the delay itself is shorter the nearer the voice is to the centre).
inline constexpr int kPanDelayFrames = 48;

// A channel LFO as the controller destinations drive it: the first runs at the vibrato's rate
// and moves cutoff and level (its pitch is the vibrato itself), the second moves all three.
struct ChannelLfo {
    uint32_t phase = 0;  // a full cycle is 2^32
    uint32_t step = 0;   // per control period
    double pitchCents = 0.0;
    double filterCents = 0.0;
    double level = 0.0;  // the share of the level taken away at the LFO's trough, 0..1
};

struct Voice {
    uint8_t status = kVoiceFree;
    uint8_t channel = 0;
    uint8_t note = 0;         // key sounded, after transposition: same-key rules compare it
    uint8_t eventKey = 0;     // key struck: note-offs match it
    uint8_t temperedKey = 0;  // key whose place in the temperament or tuning the voice plays
    uint8_t velocity = 0;
    uint8_t fresh = 0;  // 1 from its note-on until a later note-on of the same key
    bool drum = false;
    int32_t pairing = 0;

    const SampleRegion* region = nullptr;
    SampleView view;
    ResampleState resample;
    int32_t baseFrequency = 0;  // mHz, before bend and modulation
    int32_t frequency = 0;      // mHz

    EnvelopeState volume;
    EnvelopeState modulation;
    int32_t modulationDelay = 0;  // frames before the modulation envelope moves
    double envelopeFactor = 0.0;
    // Saved when a release stage starts, so that the release continues from the level reached.
    double releaseFactor = 1.0;
    int64_t releaseScale = 1 << 16;

    int32_t tremoloDelay = 0;
    int32_t tremoloPhase = 0;
    int32_t tremoloPhaseStep = 0;
    int32_t tremoloDepth = 0;
    int32_t tremoloSweepStep = 0;  // 0: no sweep, the depth is full from the start
    int32_t tremoloSweepPosition = 0;
    double tremoloFactor = 1.0;

    // Surround chorus: the note sounds as a pair spread around its panning, the first voice
    // (-1) to the left, the second (+1) to the right; 0 a voice of its own.
    int8_t chorusSide = 0;
    double chorusDetune = 1.0;  // the second voice's pitch factor on melodic channels

    std::array<ChannelLfo, 2> channelLfos{};
    bool channelLfosMove = false;  // any of their depths above 0
    // Where the channel LFOs have taken the voice at the last control period.
    double channelLfoPitchCents = 0.0;
    double channelLfoCutoffCents = 0.0;
    double channelLfoLevel = 1.0;

    int panning = 64;
    double leftAmplitude = 0.0;
    double rightAmplitude = 0.0;
    // Mix values in effect (0..kMaxMix) and where the ramps take them.
    int32_t leftMix = 0;
    int32_t rightMix = 0;
    int32_t leftTarget = 0;
    int32_t rightTarget = 0;
    int32_t leftStep = 0;
    int32_t rightStep = 0;

    // Glide from the channel's previous note: pitch offset in 1/256 semitone moving to 0 by
    // portamentoStep every resample.portamento.controlRatio frames.
    int32_t portamentoOffset = 0;
    int32_t portamentoStep = 0;
    int32_t plainIncrement = 0;  // the increment without the glide (magnitude)

    VoiceFilter filter;
    // The region's values as its SoundFont modulators left them at the note-on.
    int32_t cutoffHz = 0;  // 0: no filter
    int16_t resonanceCb = 0;
    int16_t modEnvToCutoff = 0;  // cents
    int16_t modEnvToPitch = 0;   // cents
    double modulatorGain = 1.0;
    // Envelope rate factors for attack, hold, decay and the release stages.
    std::array<float, 4> volumeRateScale{1.0F, 1.0F, 1.0F, 1.0F};
    std::array<float, 4> modulationRateScale{1.0F, 1.0F, 1.0F, 1.0F};
    // With the pan delay on: the frames the far side lags (0: none, the voice mixes as
    // usual), which side that is, and the ring of the near side's last values it reads.
    uint8_t panDelayFrames = 0;
    bool panDelayLeft = false;
    uint8_t panDelayAt = 0;
    std::array<int32_t, kPanDelayFrames> panDelayLine{};
    int32_t delay = 0;           // frames before the voice sounds
    int32_t controlCounter = 0;  // frames left in the current control period

    int32_t loudness() const { return leftMix > rightMix ? leftMix : rightMix; }
    bool inUse() const { return status != kVoiceFree; }
    // Stops the voice: it fades out within a few frames at its next mix, then it is free.
    // False when it was free or dying already.
    bool cut() {
        if (!inUse() || status == kVoiceDying) return false;
        status = kVoiceDying;
        return true;
    }
};

inline constexpr int32_t kMaxMix = 8191;

// Tells `listener` (when there is one) that `v` has the status `status` now. A slot reserved
// for a note whose voice has not started belongs to no channel and is not told.
inline void tellStatus(SynthesisListener* listener, const Voice& v, uint8_t status) {
    if (listener != nullptr && v.channel < kChannels)
        listener->voiceChanged(static_cast<VoiceStatus>(status), v.channel, v.note, v.velocity);
}
inline void tellStatus(SynthesisListener* listener, const Voice& v) {
    tellStatus(listener, v, v.status);
}
// Cuts `v` and tells of it; nothing when it was free or dying already.
inline void cutAndTell(SynthesisListener* listener, Voice& v) {
    if (v.cut()) tellStatus(listener, v);
}
// Frees `v` and tells of it; a voice that was cut was told already.
inline void freeAndTell(SynthesisListener* listener, Voice& v) {
    if (!v.inUse()) return;
    if (v.status != kVoiceDying) tellStatus(listener, v, kVoiceFree);
    v = Voice{};
}

}  // namespace svt
