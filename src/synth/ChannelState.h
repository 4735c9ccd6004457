#pragma once
// What the song's channel messages have set on one of the sixteen channels. Note handling
// and mixing read it whenever they start a voice or recompute one.

#include <array>
#include <cstdint>

#include "song/SongEvent.h"

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
    // The key's receive switches. Set: note-offs of one-shot drums are ignored.
    bool receiveNoteOn = true;
    bool receiveNoteOff = false;
    bool randomPan = false;  // every hit of the key goes to a new random place
    // Envelope rate overrides of the key by stage, in the unit of the channel's
    // (ChannelState::envelopeRateOverride: 64 = the instrument's own rate); -1 = none.
    std::array<int32_t, 6> envelopeRateOverride{-1, -1, -1, -1, -1, -1};
};

// The sources that can drive a channel's sound besides notes, in the order of their
// system-exclusive parameter records.
enum ControllerSource : int {
    SOURCE_CHANNEL_PRESSURE = 0,
    SOURCE_KEY_PRESSURE = 1,
    SOURCE_MODULATION = 2,
    SOURCE_BEND = 3,
    SOURCE_CONTROLLER1 = 4,
    SOURCE_CONTROLLER2 = 5,
    SOURCE_COUNT = 6,
};

// What a full swing of one source does: its pitch, filter and level, and how it speeds up and
// deepens the two LFOs (LFO1 is the vibrato). The bend's pitch is its range, which the
// registered parameter keeps.
struct ControllerDestinations {
    int32_t pitchSemitones = 0;
    int32_t cutoffCents = 0;
    double amplitude = 0.0;  // the level at full swing is 1 + amplitude
    double lfo1RateHz = 0.0;
    int32_t lfo1PitchCents = 0;
    int32_t lfo1FilterCents = 0;
    double lfo1Amplitude = 0.0;  // 0..1 of the level
    double lfo2RateHz = 0.0;
    int32_t lfo2PitchCents = 0;
    int32_t lfo2FilterCents = 0;
    double lfo2Amplitude = 0.0;
};

// The sum of every source's part at the channel's present values, for one key.
struct ChannelModulation {
    int32_t pitch = 0;  // 1/8192 semitone
    double cutoffCents = 0.0;
    double amplitudeFactor = 1.0;
    double lfo1RateHz = 0.0;
    double lfo1PitchCents = 0.0;
    double lfo1FilterCents = 0.0;
    double lfo1Amplitude = 0.0;
    double lfo2RateHz = 0.0;
    double lfo2PitchCents = 0.0;
    double lfo2FilterCents = 0.0;
    double lfo2Amplitude = 0.0;
};

// Temperament types of a channel.
enum TemperamentType : int8_t {
    TEMPERAMENT_EQUAL = 0,  // equal, or the channel's tuning program where it differs
    TEMPERAMENT_PYTHAGOREAN = 1,
    TEMPERAMENT_MEANTONE = 2,
    TEMPERAMENT_PURE = 3,
    TEMPERAMENT_USER_FIRST = 0x40,  // 0x40..0x43: the song's own temperaments
    TEMPERAMENT_USER_LAST = 0x43,
};

// Drum keys that cut each other: a new hit of a non-zero group cuts the sounding keys of the
// same group.
struct AlternateAssignTable {
    std::array<uint8_t, 128> group{};
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
    PARAM_DRUM_ATTACK = 14,
    PARAM_DRUM_DECAY = 15,
    PARAM_DRUM_COARSE = 16,
    PARAM_DRUM_FINE = 17,
    PARAM_DRUM_LEVEL = 18,
    PARAM_DRUM_PAN = 19,
    PARAM_DRUM_REVERB = 20,
    PARAM_DRUM_CHORUS = 21,
    PARAM_DRUM_DELAY = 22,
    PARAM_DRUM_EQ_FIRST = 23,  // 23..26: the key's equaliser (only makes its state)
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
    // Seconds over which a note held by the pedal fades (0: the default fade). It would come
    // from the instrument bank's settings of the program, which nothing sets yet.
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
    // The address of a two-part XG parameter, which its value completes.
    SysexAddress pendingXg;
    int32_t pitchBend = 8192;
    int8_t softPedal = 0;
    int8_t sostenuto = 0;
    // 1: half-damper, the sustain keeps the pedal's raw value. Like the sustain decay it comes
    // from the program's settings in the instrument bank, not applied yet.
    int8_t damperMode = 0;
    int8_t legato = 0;  // the legato footswitch; no note is played legato yet
    int8_t assignMode = 2;
    int8_t cutoffOffset = 0;
    int8_t resonanceOffset = 0;  // harmonic content: a quarter decibel of resonance a step
    int8_t velocitySenseDepth = 64;
    int8_t velocitySenseOffset = 64;
    int8_t noteLimitLow = 0;
    int8_t noteLimitHigh = 127;
    int8_t velocityLimitLow = 0;
    int8_t velocityLimitHigh = 127;
    int8_t modulationWheel = 0;
    int8_t channelPressure = 0;
    std::array<int8_t, 128> keyPressure{};  // by key struck
    std::array<ControllerDestinations, SOURCE_COUNT> destinations{};
    // The same of the universal and GS tables: for drum parameters the key.
    SysexAddress pendingUniversal, pendingGs;
    // Source channels whose events this channel plays (bit c: channel c), and the port it
    // listens to; by default its own channel on the first port.
    uint32_t layer = 0;
    int32_t port = 0;
    bool randomPan = false;  // the pan was drawn at random: every note draws again
    int8_t temperamentType = TEMPERAMENT_EQUAL;
    int8_t toneMap = 0;       // GS map 1..4 chosen when a bank select names none; 0 = none
    int32_t mapIdentity = 0;  // instrument map chosen by the last program change; 0 = default
    double pitchOffsetFineHz = 0.0;  // added to the frequency of every note
    // Drum channels: the exclusive groups of the drum set in use.
    const AlternateAssignTable* alternateAssign = nullptr;
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
