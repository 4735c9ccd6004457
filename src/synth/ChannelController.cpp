#include "synth/ChannelController.h"

#include <algorithm>
#include <cmath>

#include "song/ProgramChoice.h"
#include "song/Sysex.h"
#include "synth/SynthCurves.h"
#include "synth/Voice.h"

namespace svt {

using namespace sysex_code;

namespace {

int clamp7(int v) {
    return std::clamp(v, 0, 127);
}

// The General MIDI kit's keys that cut each other: the hi-hats, the whistles, the guiros, the
// cuicas and the triangles. Drum sets the song gives no groups of their own use these.
AlternateAssignTable standardDrumGroups() {
    AlternateAssignTable t;
    t.group[42] = t.group[44] = t.group[46] = 1;
    t.group[71] = t.group[72] = 2;
    t.group[73] = t.group[74] = 3;
    t.group[78] = t.group[79] = 4;
    t.group[80] = t.group[81] = 5;
    return t;
}

// The depth a source's value gives: 7-bit sources swing 0..1, the bend -1..1.
double swingOf(const ChannelState& ch, int source, int eventKey) {
    switch (source) {
        case SOURCE_CHANNEL_PRESSURE:
            return ch.channelPressure / 127.0;
        case SOURCE_KEY_PRESSURE:
            return eventKey >= 0 ? ch.keyPressure[size_t(eventKey & 0x7F)] / 127.0 : 0.0;
        case SOURCE_MODULATION:
            return ch.modulationWheel / 127.0;
        case SOURCE_BEND:
            return (ch.pitchBend - 8192) / 8192.0;
        default:
            return 0.0;  // the assignable controllers have no controller events to follow
    }
}

bool drivesMoreThanPitch(const ControllerDestinations& d) {
    return d.cutoffCents != 0 || d.amplitude != 0.0 || d.lfo1RateHz != 0.0 ||
           d.lfo1PitchCents != 0 || d.lfo1FilterCents != 0 || d.lfo1Amplitude != 0.0 ||
           d.lfo2RateHz != 0.0 || d.lfo2PitchCents != 0 || d.lfo2FilterCents != 0 ||
           d.lfo2Amplitude != 0.0;
}

// The depth in cents of an LFO's pitch for a parameter value.
int32_t lfoDepthCents(int v) {
    return static_cast<int32_t>(0.0318 * v * v + 0.6858 * v + 0.5);
}

}  // namespace

ChannelController::ChannelController(const EngineSettings& settings, ChannelVoices& voices)
    : settings_(settings),
      voices_(voices),
      drumMask_(settings.drumChannels),
      defaultDrumMask_(settings.drumChannels) {
    tuning_->reset();
    updateReceivers();
}

bool ChannelController::isLayeredEvent(const SongEvent& e) {
    return routeOf(e.type) == EventRoute::Layered && e.b != kFromSysex;
}

void ChannelController::updateReceivers() {
    receivers_.fill(0);
    for (int c = 0; c < kChannels; ++c) {
        const ChannelState& ch = channels_[size_t(c)];
        // Events arrive on the first port: parts that listen to another port hear none.
        if (ch.port != 0) continue;
        for (int source = 0; source < kChannels; ++source)
            if ((ch.layer >> source) & 1u) receivers_[size_t(source)] |= 1u << c;
    }
}

void ChannelController::resetControllers(int c) {
    ChannelState& ch = channels_[size_t(c)];
    ch.volume = systemMode_ == SYSTEM_XG_ON ? 100 : 90;
    ch.expression = 127;
    ch.sustain = 0;
    ch.sostenuto = 0;
    ch.pitchBend = 8192;
    ch.modulationWheel = 0;
    ch.channelPressure = 0;
    ch.keyPressure.fill(0);
    ch.portamento = 0;
    ch.portamentoTimeMsb = ch.portamentoTimeLsb = 0;
    ch.portamentoControlRatio = 0;
    ch.lastNoteFine = -1;
    ch.envelopeRateOverride.fill(-1);
    ch.reverbLevel = -1;
    ch.chorusLevel = 0;
    ch.mono = 0;
    ch.delayLevel = 0;
}

void ChannelController::resetChannel(int c) {
    resetControllers(c);
    ChannelState& ch = channels_[size_t(c)];
    ch.cutoffOffset = ch.resonanceOffset = 0;
    ch.vibratoRatio = 1.0;
    ch.vibratoDepth = ch.vibratoDelay = 0;
    ch.scaleTuningCents.fill(0);
    ch.temperamentType = TEMPERAMENT_EQUAL;
    ch.pitchOffsetFineHz = 0.0;
    ch.velocitySenseDepth = ch.velocitySenseOffset = 64;
    ch.assignMode = (systemMode_ == SYSTEM_GS_RESET || isDrum(c)) ? 1 : 2;
    ch.drumNotes.fill(DrumNoteState{});
    drumSendsChanged();
    ch.noteLimitLow = 0;
    ch.noteLimitHigh = 127;
    ch.velocityLimitLow = 0;
    ch.velocityLimitHigh = 127;
    ch.legato = 0;
    ch.damperMode = 0;
    ch.softPedal = 0;
    ch.destinations.fill(ControllerDestinations{});
    ch.destinations[SOURCE_MODULATION].lfo1PitchCents = 50;
    ch.layer = 1u << c;
    ch.port = 0;
    ch.toneMap = 0;
    ch.mapIdentity = 0;
    ch.program = static_cast<int8_t>(settings_.defaultPrograms[size_t(c)] & 0x7F);
    ch.panning = -1;
    ch.randomPan = false;
    ch.bank = 0;
    ch.alternateAssign = isDrum(c) ? &drumSetGroups_[0] : nullptr;
    ch.bankLsb = 0;
    ch.bankMsb = (systemMode_ == SYSTEM_XG_ON && c == 9) ? 127 : 0;
    resetParameters(c);
    ch.keyShift = 0;
    ch.eqSwitch = 1;
    ch.insertionSwitch = 0;
    ch.dryLevel = 127;
    ch.lastNoteFrame = -1;
    ch.pendingXg = ch.pendingUniversal = ch.pendingGs = SysexAddress{};
    ch.eqBassGain = ch.eqTrebleGain = 64;
    ch.eqBassFrequency = 12;
    ch.eqTrebleFrequency = 54;
    ch.eqInUse = false;
    if (effects_) effects_->setChannelEq(c, 64, 64, 12, 54);
}

void ChannelController::resetChannels() {
    drumMask_ = song_ ? song_->drumMask2 & 0xFFFFu : defaultDrumMask_;
    drumLock_ = song_ ? song_->drumLock & 0xFFFFu : 0;
    drumSetGroups_.fill(AlternateAssignTable{});
    drumSetHasGroups_.fill(false);
    drumSetGroups_[0] = standardDrumGroups();
    drumSetHasGroups_[0] = true;
    temperamentMinor_ = temperamentAdjusted_ = false;
    userTemperaments_ = UserTemperaments{};
    tuning_->reset();
    tuningProgram_ = tuningKey_ = tuningSemitone_ = 0;
    for (int c = 0; c < kChannels; ++c) resetChannel(c);
    updateReceivers();
    masterVolumeRatio_ = 0xFFFF;
}

void ChannelController::programChange(int c, int program) {
    ChannelState& ch = channels_[size_t(c)];
    const ProgramChoice choice = chooseProgram(systemMode_, ch.bankMsb, ch.bankLsb, ch.toneMap);
    if (choice.drum >= 0) drumPartChange(c, choice.drum == 1);
    const int map = isDrum(c) ? choice.mapDrum : choice.mapMelodic;
    if (map >= 0) ch.mapIdentity = map;
    if (isDrum(c)) {
        ch.bank = static_cast<int16_t>(program);
        ch.program = static_cast<int8_t>(program);
        alternateAssignFor(c);
    } else {
        ch.bank = static_cast<int16_t>(std::clamp(choice.bank, 0, 127));
        ch.program = static_cast<int8_t>(program);
        ch.alternateAssign = nullptr;
    }
}

void ChannelController::alternateAssignFor(int c) {
    ChannelState& ch = channels_[size_t(c)];
    const size_t set = size_t(ch.bank & 0x7F);
    ch.alternateAssign = drumSetHasGroups_[set] ? &drumSetGroups_[set] : &drumSetGroups_[0];
}

bool ChannelController::drumPartChange(int c, bool on) {
    if ((drumLock_ >> c) & 1u) return false;
    drumSendsChanged();
    const uint32_t bit = 1u << c;
    drumMask_ = on ? drumMask_ | bit : drumMask_ & ~bit;
    if (song_) song_->drumMask = on ? song_->drumMask | bit : song_->drumMask & ~bit;
    return true;
}

void ChannelController::updatePortamentoTime(int c) {
    ChannelState& ch = channels_[size_t(c)];
    if (!ch.portamento || (ch.portamentoTimeMsb == 0 && ch.portamentoTimeLsb == 0)) {
        ch.portamentoControlRatio = 0;
        return;
    }
    // t seconds per 1/256 semitone; the glide moves d such steps every rate * t * d frames.
    const double t = std::exp2((ch.portamentoTimeMsb - 64) / 16.0) *
                     std::exp2(ch.portamentoTimeLsb / 2048.0) * 0.0002;
    const int d = 1 + static_cast<int>(1.0 / (256.0 * t));
    ch.portamentoControlRatio = std::max(1, static_cast<int>(settings_.outputRateHz * t * d + 0.5));
    ch.portamentoStep = d;
}

void ChannelController::stopPortamento(int c) {
    ChannelState& ch = channels_[size_t(c)];
    ch.portamentoControlRatio = 0;
    ch.lastNoteFine = -1;
    voices_.stopGlides(c);
}

void ChannelController::sustainPedal(int c, int value) {
    ChannelState& ch = channels_[size_t(c)];
    // A half-damper pedal going down catches what still rings, as the sostenuto does.
    if (ch.sustain == 0 && value >= 64 && ch.damperMode && !isDrum(c)) voices_.holdSounding(c);
    ch.sustain = static_cast<int8_t>(ch.damperMode ? value : (value >= 64 ? 127 : 0));
    if (ch.sustain == 0 && ch.sostenuto == 0) voices_.releaseSustained(c);
}

void ChannelController::sostenutoPedal(int c, int value) {
    ChannelState& ch = channels_[size_t(c)];
    ch.sostenuto = value >= 64 ? 1 : 0;
    if (ch.sustain == 0 && ch.sostenuto == 0) {
        voices_.releaseSustained(c);
        return;
    }
    if (!ch.sostenuto || isDrum(c)) return;
    // The notes down now, and those still ringing after their keys went up, are held; notes
    // struck later are not.
    voices_.holdSounding(c);
}

void ChannelController::controlChange(const SongEvent& e) {
    const int c = e.channel & 15;
    ChannelState& ch = channels_[size_t(c)];
    const int value = e.a & 0x7F;
    switch (e.type) {
        case EV_BANK_MSB:
            ch.bankMsb = static_cast<int8_t>(value);
            break;
        case EV_BANK_LSB:
            ch.bankLsb = static_cast<int8_t>(value);
            break;
        case EV_MODULATION:
            ch.modulationWheel = static_cast<int8_t>(value);
            voices_.restartVibrato(c);
            break;
        case EV_VOLUME:
        case EV_EXPRESSION:
            (e.type == EV_VOLUME ? ch.volume : ch.expression) = static_cast<int8_t>(value);
            voices_.relevel(c);
            break;
        case EV_PAN:
            ch.panning = static_cast<int8_t>(value);
            ch.randomPan = false;
            voices_.repan(c, value, true);
            break;
        case EV_SUSTAIN:
            sustainPedal(c, value);
            break;
        case EV_SOSTENUTO:
            sostenutoPedal(c, value);
            break;
        case EV_SOFT_PEDAL:
            ch.softPedal = static_cast<int8_t>(value);
            break;
        case EV_LEGATO:
            ch.legato = value >= 64 ? 1 : 0;
            break;
        case EV_HARMONIC_CONTENT:
            ch.resonanceOffset = static_cast<int8_t>(value - 64);
            voices_.refilter(c);
            break;
        case EV_BRIGHTNESS:
            ch.cutoffOffset = static_cast<int8_t>(value - 64);
            voices_.refilter(c);
            break;
        case EV_RELEASE_TIME:
            ch.envelopeRateOverride[ENV_RELEASE1] = value;
            break;
        case EV_ATTACK_TIME:
            ch.envelopeRateOverride[ENV_ATTACK] = value;
            break;
        case EV_REVERB_SEND:
            if (!effects_ || !effects_->reverbMode().off())
                ch.reverbLevel = static_cast<int8_t>(value);
            break;
        case EV_CHORUS_SEND:
            if (!effects_ || effects_->chorusMode() != 0)
                ch.chorusLevel = static_cast<int8_t>(value);
            break;
        case EV_CELESTE_SEND:
            ch.delayLevel = static_cast<int8_t>(value);
            break;
        case EV_PORTAMENTO:
            ch.portamento = value >= 64 ? 1 : 0;
            if (!ch.portamento) stopPortamento(c);
            updatePortamentoTime(c);
            break;
        case EV_PORTAMENTO_TIME_MSB:
        case EV_PORTAMENTO_TIME_LSB:
            (e.type == EV_PORTAMENTO_TIME_MSB ? ch.portamentoTimeMsb : ch.portamentoTimeLsb) =
                static_cast<uint8_t>(value);
            updatePortamentoTime(c);
            break;
        case EV_PITCH_BEND: {
            ch.pitchBend = pitchBendOf(e);
            voices_.retune(c);
            // Beyond its pitch the bend may also drive the filter, the level and the LFOs.
            if (drivesMoreThanPitch(ch.destinations[SOURCE_BEND])) voices_.repress(c, -1);
            break;
        }
        case EV_CHANNEL_PRESSURE:
            ch.channelPressure = static_cast<int8_t>(value);
            voices_.repress(c, -1);
            break;
        case EV_KEY_PRESSURE:
            ch.keyPressure[size_t(value)] = static_cast<int8_t>(e.b & 0x7F);
            voices_.repress(c, value);
            break;
        case EV_DATA_ENTRY_MSB:
            dataEntry(c, 0, true, e.a);
            break;
        case EV_DATA_ENTRY_LSB:
            dataEntry(c, 0, false, e.a);
            break;
        case EV_DATA_INCREMENT:
            dataEntry(c, 1, true, 0);
            break;
        case EV_DATA_DECREMENT:
            dataEntry(c, -1, true, 0);
            break;
        case EV_NRPN_LSB:
            ch.lastParameterLsb = e.a;
            ch.parameterKind = ParameterKind::Nrpn;
            break;
        case EV_NRPN_MSB:
            ch.lastParameterMsb = e.a;
            ch.parameterKind = ParameterKind::Nrpn;
            break;
        case EV_RPN_LSB:
            ch.lastParameterLsb = e.a;
            ch.parameterKind = ParameterKind::Rpn;
            break;
        case EV_RPN_MSB:
            ch.lastParameterMsb = e.a;
            ch.parameterKind = ParameterKind::Rpn;
            break;
        case EV_ALL_SOUNDS_OFF:
            voices_.allSoundsOff(c);
            break;
        case EV_RESET_CONTROLLERS:
            resetControllers(c);
            voices_.retuneAndRelevel(c);
            break;
        case EV_ALL_NOTES_OFF:
            voices_.allNotesOff(c, ch.sustain != 0);
            break;
        case EV_MONO:
        case EV_POLY:
            ch.mono = e.type == EV_MONO ? 1 : 0;
            voices_.allNotesOff(c, ch.sustain != 0);
            break;
        case EV_KEY_SHIFT:
            if (value - 64 != ch.keyShift) {
                voices_.allSoundsOff(c);
                ch.keyShift = static_cast<int8_t>(value - 64);
            }
            break;
        case EV_RANDOM_PAN:
            ch.panning = static_cast<int8_t>(random_.below(128));
            ch.randomPan = true;
            voices_.repan(c, ch.panning, false);
            break;
        case EV_TUNING_BULK:
        case EV_TUNING_NOTE:
            tuningItem(e);
            break;
        case EV_SCALE_TUNING:
            ch.scaleTuningCents[size_t(e.a % 12)] = static_cast<int8_t>(e.b);
            voices_.retune(c);
            break;
        case EV_DRUM_PART:
            drumPartChange(c, e.a != 0);
            programChange(c, ch.program < 0 ? 0 : ch.program);
            break;
        default:
            break;
    }
}

void ChannelController::apply(const SongEvent& e) {
    switch (e.type) {
        case EV_SCALE_TYPE:
        case EV_TEMPERAMENT_TYPE:
        case EV_MASTER_TEMPERAMENT_TYPE:
        case EV_USER_TEMPERAMENT:
            temperament(e);
            break;
        case EV_SYSEX_MSB:
            if (e.channel < kChannels) channels_[e.channel].pendingUniversal = sysexAddressOf(e);
            break;
        case EV_SYSEX_GS_MSB:
            if (e.channel < kChannels) channels_[e.channel].pendingGs = sysexAddressOf(e);
            break;
        case EV_PROGRAM:
            programChange(e.channel & 15, e.a & 0x7F);
            break;
        case EV_MASTER_VOLUME:
            masterVolumeRatio_ = masterVolumeOf(e);
            voices_.relevelAll();
            break;
        case EV_SYSEX_LSB:
        case EV_SYSEX_GS_LSB:
        case EV_SYSEX_XG_LSB:
            systemExclusiveParameter(e);
            break;
        case EV_SYSEX_XG_MSB:
            if (e.channel < kChannels) channels_[e.channel].pendingXg = sysexAddressOf(e);
            break;
        default:
            if (isChannelEvent(e.type)) controlChange(e);
            break;
    }
}

void ChannelController::systemExclusiveParameter(const SongEvent& e) {
    const SysexValue p = sysexValueOf(e);
    if (p.part >= kChannels) return;
    const int c = p.part;
    ChannelState& ch = channels_[size_t(c)];
    const int v = p.value & 0x7F;
    if (e.type == EV_SYSEX_XG_LSB) {
        if (ch.pendingXg.code == kXgGroupPart) {
            const int key = ch.pendingXg.key & 0x7F;
            switch (p.code) {
                case kXgDryLevel:
                    ch.dryLevel = static_cast<int8_t>(v);
                    break;
                case kXgReceiveChannel:
                    // 0..15 a channel (16..31 the same channels of the second port, which the
                    // song's conversion has folded onto the first); anything else is off.
                    receiveChannel(c, v < 32 ? 1u << (v & 15) : 0u, 0);
                    break;
                case kXgDrumAlternateGroup:
                    if (isDrum(c)) {
                        // The set gets groups of its own, starting from those it used so far.
                        const size_t set = size_t(ch.bank & 0x7F);
                        if (!drumSetHasGroups_[set]) {
                            drumSetGroups_[set] = drumSetGroups_[0];
                            drumSetHasGroups_[set] = true;
                        }
                        drumSetGroups_[set].group[size_t(key)] = static_cast<uint8_t>(v);
                        alternateAssignFor(c);
                    }
                    break;
                default:
                    break;
            }
        } else {
            effectParameter(e);
        }
        ch.pendingXg = SysexAddress{};
        return;
    }
    if (e.type == EV_SYSEX_LSB) {
        const int key = ch.pendingUniversal.key & 0x7F;
        if (p.code < kNoteLimitLow) {
            destinationParameter(c, p.code, v);
        } else {
            switch (p.code) {
                case kReverbType:
                case kChorusType:
                    effectParameter(e);
                    break;
                case kNoteLimitLow:
                    ch.noteLimitLow = static_cast<int8_t>(v);
                    break;
                case kNoteLimitHigh:
                    ch.noteLimitHigh = static_cast<int8_t>(v);
                    break;
                case kVelocityLimitLow:
                    ch.velocityLimitLow = static_cast<int8_t>(v);
                    break;
                case kVelocityLimitHigh:
                    ch.velocityLimitHigh = static_cast<int8_t>(v);
                    break;
                case kDrumReceiveNoteOff:
                case kDrumReceiveNoteOn:
                    drumReceiveSwitch(c, key, p.code == kDrumReceiveNoteOn, v != 0);
                    break;
                default:
                    break;
            }
        }
        ch.pendingUniversal = SysexAddress{};
        return;
    }
    const int key = ch.pendingGs.key & 0x7F;
    ch.pendingGs = SysexAddress{};
    switch (p.code) {
        case kGsVelocitySenseDepth:
            ch.velocitySenseDepth = static_cast<int8_t>(v);
            break;
        case kGsVelocitySenseOffset:
            ch.velocitySenseOffset = static_cast<int8_t>(v);
            break;
        case kGsAssignMode:
            ch.assignMode = static_cast<int8_t>(v);
            break;
        case kGsEqSwitch:
            ch.eqSwitch = static_cast<int8_t>(v);
            break;
        case kGsInsertionSwitch:
            ch.insertionSwitch = static_cast<int8_t>(v);
            break;
        case kGsToneMap:
            ch.toneMap = static_cast<int8_t>(v);
            break;
        case kGsPitchOffsetFine:
            ch.pitchOffsetFineHz = (((v * 16) | v) - 128) / 10.0;
            voices_.retune(c);
            break;
        case kGsReceiveChannel:
            // 0x80: the part receives nothing.
            receiveChannel(c, p.value < kChannels ? 1u << p.value : 0u, ch.port);
            break;
        case kGsPortSelect:
            receiveChannel(c, ch.layer, v);
            break;
        case kGsDrumReceiveNoteOff:
            drumReceiveSwitch(c, key, false, v != 0);
            break;
        default:
            if ((p.code >= kGsEqLowFrequency && p.code < kGsVelocitySenseDepth) ||
                (p.code >= kGsInsertionTypeMsb && p.code < kGsReceiveChannel))
                effectParameter(e);
            break;
    }
}

void ChannelController::receiveChannel(int c, uint32_t layer, int port) {
    ChannelState& ch = channels_[size_t(c)];
    resetControllers(c);
    voices_.retuneAndRelevel(c);
    voices_.allNotesOff(c, false);
    ch.layer = layer;
    ch.port = port;
    updateReceivers();
}

void ChannelController::destinationParameter(int c, int code, int v) {
    ChannelState& ch = channels_[size_t(c)];
    ControllerDestinations& d = ch.destinations[size_t(code / 11)];
    switch (code % 11) {
        case kDestPitch:
            d.pitchSemitones = std::clamp(v, 0x28, 0x58) - 64;
            break;
        case kDestCutoff:
            d.cutoffCents = (v - 64) * 150;
            break;
        case kDestAmplitude:
            d.amplitude = v / 64.0 - 1.0;
            break;
        case kDestLfo1Rate:
            d.lfo1RateHz = (v - 64) / 6.4;
            break;
        case kDestLfo1Pitch:
            d.lfo1PitchCents = lfoDepthCents(v);
            break;
        case kDestLfo1Filter:
            d.lfo1FilterCents = static_cast<int32_t>((0.0318 * v * v + 0.6858 * v) * 4 + 0.5);
            break;
        case kDestLfo1Amplitude:
            d.lfo1Amplitude = v / 127.0;
            break;
        case kDestLfo2Rate:
            d.lfo2RateHz = (v - 64) / 6.4;
            break;
        case kDestLfo2Pitch:
            d.lfo2PitchCents = lfoDepthCents(v);
            break;
        case kDestLfo2Filter:
            d.lfo2FilterCents = static_cast<int32_t>((0.0318 * v * v + 0.6858 * v) * 4 + 0.5);
            break;
        default:
            d.lfo2Amplitude = v / 127.0;
            break;
    }
    voices_.repress(c, -1);
}

void ChannelController::drumReceiveSwitch(int c, int key, bool noteOn, bool on) {
    DrumNoteState& d = channels_[size_t(c)].drumNotes[size_t(key & 0x7F)];
    d.used = true;
    (noteOn ? d.receiveNoteOn : d.receiveNoteOff) = on;
}

ChannelModulation ChannelController::modulation(int c, int eventKey) const {
    const ChannelState& ch = channels_[size_t(c & 15)];
    ChannelModulation m;
    for (int source = 0; source < SOURCE_COUNT; ++source) {
        const ControllerDestinations& d = ch.destinations[size_t(source)];
        const double swing = swingOf(ch, source, eventKey);
        if (swing == 0.0) continue;
        // The bend's pitch is its range, applied with the bend itself; its other parts swing
        // both ways, its LFO depths grow with the distance from the centre.
        const double depth = std::abs(swing);
        if (source != SOURCE_BEND)
            m.pitch += static_cast<int32_t>(std::lround(d.pitchSemitones * 8192 * swing));
        m.cutoffCents += d.cutoffCents * swing;
        m.amplitudeFactor *= std::max(0.0, 1.0 + d.amplitude * swing);
        m.lfo1RateHz += d.lfo1RateHz * depth;
        m.lfo1PitchCents += d.lfo1PitchCents * depth;
        m.lfo1FilterCents += d.lfo1FilterCents * depth;
        m.lfo1Amplitude += d.lfo1Amplitude * depth;
        m.lfo2RateHz += d.lfo2RateHz * depth;
        m.lfo2PitchCents += d.lfo2PitchCents * depth;
        m.lfo2FilterCents += d.lfo2FilterCents * depth;
        m.lfo2Amplitude += d.lfo2Amplitude * depth;
    }
    return m;
}

double ChannelController::channelGain(int c, int velocity, int note, int eventKey,
                                      bool drum) const {
    const ChannelState& ch = channels_[size_t(c & 15)];
    const SynthCurves& curves = synthCurves();
    const int vel =
        clamp7(ch.velocitySenseDepth * velocity / 64 + 2 * ch.velocitySenseOffset - 128);
    const auto& volumeCurve = systemMode_ == SYSTEM_GM2_ON     ? curves.volumeGm2
                              : systemMode_ == SYSTEM_GS_RESET ? curves.volumeGs
                                                               : curves.volumeDefault;
    const auto& velocityCurve = systemMode_ == SYSTEM_GS_RESET ? curves.velocityGs : volumeCurve;
    double gain = velocityCurve[size_t(vel)] * volumeCurve[size_t(clamp7(ch.volume))] *
                  volumeCurve[size_t(clamp7(ch.expression))];
    if (drum) gain *= ch.drumNotes[size_t(note & 0x7F)].level;
    return gain * modulation(c, eventKey).amplitudeFactor;
}

void ChannelController::effectParameter(const SongEvent& e) {
    if (effects_ == nullptr) return;
    const SysexValue p = sysexValueOf(e);
    const ChannelState& ch = channels_[size_t(p.part & 15)];
    effects_->parameter(e.type, p.code, p.value & 0x7F, ch.pendingXg.code, ch.pendingXg.key);
}

void ChannelController::forgetReverbLevels() {
    for (ChannelState& ch : channels_) ch.reverbLevel = -1;
}

bool ChannelController::drawNotePan(int c, int key, bool drum) {
    ChannelState& ch = channels_[size_t(c & 15)];
    DrumNoteState& drumKey = ch.drumNotes[size_t(key & 0x7F)];
    if (drum && drumKey.randomPan) {
        drumKey.panning = static_cast<int8_t>(random_.below(128));
        return false;
    }
    if (drum || !ch.randomPan) return false;
    ch.panning = static_cast<int8_t>(random_.below(128));
    return true;
}

int32_t ChannelController::glideTo(int c, int note) {
    ChannelState& ch = channels_[size_t(c & 15)];
    const int32_t glide =
        (ch.portamentoControlRatio > 0 && ch.lastNoteFine >= 0) ? ch.lastNoteFine - note * 256 : 0;
    if (ch.portamento) ch.lastNoteFine = note * 256;
    return glide;
}

}  // namespace svt
