#pragma once
// What the song's channel messages have set on one of the sixteen channels. Note handling
// and mixing read it whenever they start a voice or recompute one.

#include <array>
#include <cstdint>

namespace svt {

// Settings of one key of a drum channel, made on first use by a drum-note parameter.
struct DrumNoteState {
    bool used = false;
    int8_t panning = -1;  // -1: the channel's
    float level = 1.0f;
    int8_t coarsePitch = 0;  // semitones
    int8_t finePitch = 0;    // 1/64 semitone
    int8_t cutoffOffset = 0;
    int8_t resonanceOffset = 0;
    int8_t reverbSend = -1;
    int8_t chorusSend = -1;
    int8_t delaySend = -1;
    // The key's receive switches. Set: note-offs of one-shot drums are ignored. The
    // system-exclusive messages that switch them are read but not applied yet.
    bool receiveNoteOn = true;
    bool receiveNoteOff = false;
};

// Indexes into the parameter data of a channel (the registered and non-registered
// parameters it knows).
enum ParameterIndex : int {
    PARAM_VIBRATO_RATE = 0,
    PARAM_VIBRATO_DEPTH = 1,
    PARAM_VIBRATO_DELAY = 2,
    PARAM_CUTOFF = 3,
    PARAM_RESONANCE = 4,
    PARAM_EQ_BASS_GAIN = 5,
    PARAM_EQ_TREBLE_GAIN = 6,
    PARAM_EQ_BASS_FREQUENCY = 7,
    PARAM_EQ_TREBLE_FREQUENCY = 8,
    PARAM_ATTACK = 9,
    PARAM_DECAY = 10,
    PARAM_RELEASE = 11,
    PARAM_DRUM_CUTOFF = 12,
    PARAM_DRUM_RESONANCE = 13,
    PARAM_DRUM_COARSE = 16,
    PARAM_DRUM_FINE = 17,
    PARAM_DRUM_LEVEL = 18,
    PARAM_DRUM_PAN = 19,
    PARAM_DRUM_REVERB = 20,
    PARAM_DRUM_CHORUS = 21,
    PARAM_DRUM_DELAY = 22,
    PARAM_BEND_RANGE = 27,
    PARAM_FINE_TUNING = 28,
    PARAM_COARSE_TUNING = 29,
    PARAM_TUNING_PROGRAM = 30,
    PARAM_TUNING_BANK = 31,
    PARAM_MODULATION_RANGE = 32,
    PARAM_RPN_LOCK = 33,
    PARAM_RPN_RESET = 34,
    PARAM_COUNT = 35,
};

enum class ParameterKind : int8_t { Rpn = 0, Nrpn = 1 };

struct ChannelState {
    int8_t bankMsb = 0;
    int8_t bankLsb = 0;
    int16_t bank = 0;  // effective bank (drum channels: the drum set) from the last program change
    int8_t program = 0;
    int8_t volume = 90;
    int8_t expression = 127;
    int8_t sustain = 0;   // 0 or 127 (the raw value in damper mode)
    int8_t panning = -1;  // -1: the region's own pan
    int8_t mono = 0;
    int8_t portamento = 0;
    uint8_t portamentoTimeMsb = 0;
    uint8_t portamentoTimeLsb = 0;
    int32_t portamentoControlRatio = 0;  // frames between glide steps; 0 = off
    int32_t portamentoStep = 0;          // 1/256 semitone per step
    int32_t lastNoteFine = -1;           // 1/256 semitone of the last note; -1 = none
    int8_t keyShift = 0;
    // Seconds over which a note held by the pedal fades (0: it sounds on). It comes from the
    // instrument bank's settings of the program, which are not applied yet.
    int8_t sustainDecaySeconds = 0;
    int8_t chorusLevel = 0;
    int8_t reverbLevel = -1;  // -1: the reverb mode's default level
    int8_t delayLevel = 0;
    int8_t eqSwitch = 1;         // the channel goes through the system equaliser
    int8_t insertionSwitch = 0;  // the channel goes through the insertion effect
    int8_t dryLevel = 127;       // level of the channel's direct signal
    // Frame up to which the channel last sounded (its last note-on, or the end of the last
    // block in which one of its voices was in use; -1: never); its reverb send stops four
    // seconds after it.
    int64_t lastNoteFrame = -1;
    // The channel's own two-band equaliser (XG): gains 64 = flat, frequency values as sent.
    uint8_t eqBassGain = 64, eqTrebleGain = 64, eqBassFrequency = 12, eqTrebleFrequency = 54;
    bool eqInUse = false;
    // The first half of a two-part XG message, which the second half completes: the unit
    // (an effect block) and the parameter group.
    uint8_t pendingXgUnit = 0;
    uint8_t pendingXgGroup = 0;
    int32_t pitchBend = 8192;
    int8_t softPedal = 0;
    int8_t sostenuto = 0;
    // 1: half-damper, the sustain keeps the pedal's raw value. Like the sustain decay it comes
    // from the program's settings in the instrument bank, not applied yet.
    int8_t damperMode = 0;
    int8_t legato = 0;  // the legato footswitch; no note is played legato yet
    int8_t assignMode = 2;
    int8_t cutoffOffset = 0;
    int8_t resonanceOffset = 0;  // kept for the voice filter, which does not follow it yet
    int8_t velocitySenseDepth = 64;
    int8_t velocitySenseOffset = 64;
    int8_t noteLimitLow = 0;
    int8_t noteLimitHigh = 127;
    int8_t velocityLimitLow = 0;
    int8_t velocityLimitHigh = 127;
    int8_t modulationWheel = 0;
    int8_t channelPressure = 0;  // kept for the pressure controls, which move no voice yet
    // Cents of vibrato at full modulation wheel.
    int32_t modulationDepthCents = 50;
    // Envelope rate overrides by stage (attack 0, decay 2, release 3); -1 = none.
    std::array<int32_t, 6> envelopeRateOverride{-1, -1, -1, -1, -1, -1};

    std::array<uint8_t, PARAM_COUNT> parameterMsb{};
    std::array<uint8_t, PARAM_COUNT> parameterLsb{};
    uint8_t lastParameterLsb = 0;
    uint8_t lastParameterMsb = 0;
    ParameterKind parameterKind = ParameterKind::Rpn;
    bool rpnLocked = false;

    // Vibrato offsets from the non-registered parameters: a factor on the vibrato period,
    // depth added in the region's depth unit, and frames before the vibrato starts.
    double vibratoRatio = 1.0;
    int32_t vibratoDepth = 0;
    int32_t vibratoDelay = 0;
    std::array<int8_t, 12> scaleTuningCents{};  // by pitch class

    std::array<DrumNoteState, 128> drumNotes{};
};

}  // namespace svt
