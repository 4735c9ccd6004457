#include "synth/ChannelController.h"

#include <algorithm>
#include <cmath>

#include "song/Sysex.h"
#include "synth/Voice.h"

namespace svt {

using namespace sysex_code;

namespace {

int clamp7(int v) {
    return std::clamp(v, 0, 127);
}

}  // namespace

ChannelController::ChannelController(const EngineSettings& settings, ChannelVoices& voices)
    : settings_(settings),
      voices_(voices),
      drumMask_(settings.drumChannels),
      defaultDrumMask_(settings.drumChannels) {}

void ChannelController::resetControllers(int c) {
    ChannelState& ch = channels_[size_t(c)];
    ch.volume = systemMode_ == SYSTEM_XG_ON ? 100 : 90;
    ch.expression = 127;
    ch.sustain = 0;
    ch.sostenuto = 0;
    ch.pitchBend = 8192;
    ch.modulationWheel = 0;
    ch.channelPressure = 0;
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

void ChannelController::resetParameters(int c) {
    ChannelState& ch = channels_[size_t(c)];
    ch.rpnLocked = false;
    ch.parameterMsb.fill(0);
    ch.parameterLsb.fill(0);
    ch.lastParameterLsb = ch.lastParameterMsb = 0;
    ch.parameterKind = ParameterKind::Rpn;
    ch.parameterMsb[PARAM_BEND_RANGE] = 2;
    ch.parameterMsb[PARAM_FINE_TUNING] = 64;
    ch.parameterMsb[PARAM_COARSE_TUNING] = 64;
    ch.parameterMsb[PARAM_MODULATION_RANGE] = 0;
    ch.parameterLsb[PARAM_MODULATION_RANGE] = 64;
    ch.modulationDepthCents = 50;
}

void ChannelController::resetChannel(int c) {
    resetControllers(c);
    ChannelState& ch = channels_[size_t(c)];
    ch.cutoffOffset = ch.resonanceOffset = 0;
    ch.vibratoRatio = 1.0;
    ch.vibratoDepth = ch.vibratoDelay = 0;
    ch.scaleTuningCents.fill(0);
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
    ch.program = static_cast<int8_t>(settings_.defaultPrograms[size_t(c)] & 0x7F);
    ch.panning = -1;
    ch.bank = 0;
    ch.bankLsb = 0;
    ch.bankMsb = (systemMode_ == SYSTEM_XG_ON && c == 9) ? 127 : 0;
    resetParameters(c);
    ch.keyShift = 0;
    ch.eqSwitch = 1;
    ch.insertionSwitch = 0;
    ch.dryLevel = 127;
    ch.lastNoteFrame = -1;
    ch.pendingXgUnit = ch.pendingXgGroup = 0;
    ch.eqBassGain = ch.eqTrebleGain = 64;
    ch.eqBassFrequency = 12;
    ch.eqTrebleFrequency = 54;
    ch.eqInUse = false;
    if (effects_) effects_->setChannelEq(c, 64, 64, 12, 54);
}

void ChannelController::resetChannels() {
    drumMask_ = defaultDrumMask_;
    for (int c = 0; c < kChannels; ++c) resetChannel(c);
    masterVolumeRatio_ = 0xFFFF;
}

void ChannelController::programChange(int c, int program) {
    ChannelState& ch = channels_[size_t(c)];
    int bank = ch.bankMsb;
    if (systemMode_ == SYSTEM_GM2_ON) {
        if (ch.bankMsb == 120) drumPartChange(c, true);
        if (ch.bankMsb == 121) drumPartChange(c, false);
        bank = ch.bankLsb;
    } else if (systemMode_ == SYSTEM_XG_ON) {
        if (ch.bankMsb == 0 || ch.bankMsb == 64) drumPartChange(c, false);
        if (ch.bankMsb == 126 || ch.bankMsb == 127) drumPartChange(c, true);
        bank = ch.bankLsb;
    }
    if (isDrum(c)) {
        ch.bank = static_cast<int16_t>(program);
        ch.program = static_cast<int8_t>(program);
    } else {
        ch.bank = static_cast<int16_t>(std::clamp(bank, 0, 127));
        ch.program = static_cast<int8_t>(program);
    }
}

void ChannelController::drumPartChange(int c, bool on) {
    drumSendsChanged();
    if (on)
        drumMask_ |= 1u << c;
    else
        drumMask_ &= ~(1u << c);
}

int ChannelController::parameterIndex(int c) const {
    const ChannelState& ch = channels_[size_t(c)];
    const int number = ch.lastParameterMsb * 256 + ch.lastParameterLsb;
    if (ch.parameterKind == ParameterKind::Rpn) {
        switch (number) {
            case 0x0000:
                return PARAM_BEND_RANGE;
            case 0x0001:
                return PARAM_FINE_TUNING;
            case 0x0002:
                return PARAM_COARSE_TUNING;
            case 0x0003:
                return PARAM_TUNING_PROGRAM;
            case 0x0004:
                return PARAM_TUNING_BANK;
            case 0x0005:
                return PARAM_MODULATION_RANGE;
            case 0x7F7F:
                return PARAM_RPN_LOCK;
            case 0xFFFF:
                return PARAM_RPN_RESET;
            default:
                return -1;
        }
    }
    if (ch.parameterKind != ParameterKind::Nrpn) return -1;
    switch (number) {
        case 0x0108:
            return PARAM_VIBRATO_RATE;
        case 0x0109:
            return PARAM_VIBRATO_DEPTH;
        case 0x010A:
            return PARAM_VIBRATO_DELAY;
        case 0x0120:
            return PARAM_CUTOFF;
        case 0x0121:
            return PARAM_RESONANCE;
        case 0x0130:
            return PARAM_EQ_BASS_GAIN;
        case 0x0131:
            return PARAM_EQ_TREBLE_GAIN;
        case 0x0134:
            return PARAM_EQ_BASS_FREQUENCY;
        case 0x0135:
            return PARAM_EQ_TREBLE_FREQUENCY;
        case 0x0163:
            return PARAM_ATTACK;
        case 0x0164:
            return PARAM_DECAY;
        case 0x0166:
            return PARAM_RELEASE;
        default:
            break;
    }
    switch (number >> 8) {
        case 0x14:
            return PARAM_DRUM_CUTOFF;
        case 0x15:
            return PARAM_DRUM_RESONANCE;
        case 0x18:
            return PARAM_DRUM_COARSE;
        case 0x19:
            return PARAM_DRUM_FINE;
        case 0x1A:
            return PARAM_DRUM_LEVEL;
        case 0x1C:
            return PARAM_DRUM_PAN;
        case 0x1D:
            return PARAM_DRUM_REVERB;
        case 0x1E:
            return PARAM_DRUM_CHORUS;
        case 0x1F:
            return PARAM_DRUM_DELAY;
        default:
            return -1;
    }
}

void ChannelController::dataEntry(int c, int delta, bool msb, uint8_t value) {
    ChannelState& ch = channels_[size_t(c)];
    if (ch.rpnLocked) return;
    const int index = parameterIndex(c);
    if (index < 0) return;
    if (delta != 0) {
        ch.parameterMsb[size_t(index)] =
            static_cast<uint8_t>(clamp7(ch.parameterMsb[size_t(index)] + delta));
    } else if (msb) {
        ch.parameterMsb[size_t(index)] = value & 0x7F;
    } else {
        ch.parameterLsb[size_t(index)] = value & 0x7F;
        return;
    }
    applyParameter(c, index);
}

void ChannelController::applyParameter(int c, int index) {
    ChannelState& ch = channels_[size_t(c)];
    const int v = ch.parameterMsb[size_t(index)];
    DrumNoteState& drum = ch.drumNotes[ch.lastParameterLsb & 0x7F];
    auto retune = [&] { voices_.retune(c); };
    switch (index) {
        case PARAM_VIBRATO_RATE:
            ch.vibratoRatio = v == 64    ? 1.0
                              : v == 0   ? 1.0 / 0.016
                              : v <= 100 ? 1.0 / (v * 1.6 / 100.0)
                                         : 1.0 / ((v - 101) * 1.33 / 26.0 + 1.67);
            retune();
            break;
        case PARAM_VIBRATO_DEPTH:
            ch.vibratoDepth = static_cast<int32_t>((v - 64) * 0.15 * 256 / 400);
            break;
        case PARAM_VIBRATO_DELAY:
            ch.vibratoDelay = v == 0 ? 0
                                     : static_cast<int32_t>(std::exp(v * 0.0795) * 0.2092 *
                                                            settings_.outputRateHz * 0.001);
            break;
        case PARAM_CUTOFF:
            ch.cutoffOffset = static_cast<int8_t>(v - 64);
            break;
        case PARAM_RESONANCE:
            ch.resonanceOffset = static_cast<int8_t>(v - 64);
            break;
        case PARAM_EQ_BASS_GAIN:
        case PARAM_EQ_TREBLE_GAIN:
        case PARAM_EQ_BASS_FREQUENCY:
        case PARAM_EQ_TREBLE_FREQUENCY:
            if (index == PARAM_EQ_BASS_GAIN) ch.eqBassGain = uint8_t(v);
            if (index == PARAM_EQ_TREBLE_GAIN) ch.eqTrebleGain = uint8_t(v);
            if (index == PARAM_EQ_BASS_FREQUENCY)
                ch.eqBassFrequency = uint8_t(std::clamp(v, 4, 40));
            if (index == PARAM_EQ_TREBLE_FREQUENCY)
                ch.eqTrebleFrequency = uint8_t(std::clamp(v, 28, 58));
            ch.eqInUse = ch.eqBassGain != 64 || ch.eqTrebleGain != 64;
            if (effects_)
                effects_->setChannelEq(c, ch.eqBassGain, ch.eqTrebleGain, ch.eqBassFrequency,
                                       ch.eqTrebleFrequency);
            break;
        case PARAM_ATTACK:
            ch.envelopeRateOverride[ENV_ATTACK] = v;
            break;
        case PARAM_DECAY:
            ch.envelopeRateOverride[ENV_DECAY] = v;
            break;
        case PARAM_RELEASE:
            ch.envelopeRateOverride[ENV_RELEASE1] = v;
            break;
        case PARAM_DRUM_CUTOFF:
            drum.used = true;
            drum.cutoffOffset = static_cast<int8_t>(v - 64);
            break;
        case PARAM_DRUM_RESONANCE:
            drum.used = true;
            drum.resonanceOffset = static_cast<int8_t>(v - 64);
            break;
        case PARAM_DRUM_COARSE:
            drum.used = true;
            drum.coarsePitch = static_cast<int8_t>(v - 64);
            retune();
            break;
        case PARAM_DRUM_FINE:
            drum.used = true;
            drum.finePitch = static_cast<int8_t>(v - 64);
            retune();
            break;
        case PARAM_DRUM_LEVEL:
            // 64 is the instrument's own level; each step of 16 doubles or halves it.
            drum.used = true;
            drum.level = static_cast<float>(std::exp2((v - 64) / 16.0));
            break;
        case PARAM_DRUM_PAN:
            drum.used = true;
            drum.panning = static_cast<int8_t>(v == 0 ? 64 : v);
            break;
        case PARAM_DRUM_REVERB:
            drum.used = true;
            drum.reverbSend = static_cast<int8_t>(v);
            drumSendsChanged();
            break;
        case PARAM_DRUM_CHORUS:
            drum.used = true;
            drum.chorusSend = static_cast<int8_t>(v);
            drumSendsChanged();
            break;
        case PARAM_DRUM_DELAY:
            drum.used = true;
            drum.delaySend = static_cast<int8_t>(v);
            drumSendsChanged();
            break;
        case PARAM_BEND_RANGE:
            ch.parameterMsb[PARAM_BEND_RANGE] = static_cast<uint8_t>(std::min(v, 24));
            retune();
            break;
        case PARAM_FINE_TUNING:
        case PARAM_COARSE_TUNING:
            retune();
            break;
        case PARAM_MODULATION_RANGE:
            ch.modulationDepthCents =
                ((v * 128 + ch.parameterLsb[PARAM_MODULATION_RANGE]) * 100) >> 7;
            break;
        case PARAM_RPN_LOCK:
            ch.rpnLocked = true;
            break;
        case PARAM_RPN_RESET:
            resetParameters(c);
            retune();
            break;
        default:
            break;
    }
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
    // The notes down now are held; notes struck later are not.
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
        case EV_PITCH_BEND:
            ch.pitchBend = (e.a & 0x7F) + 128 * (e.b & 0x7F);
            voices_.retune(c);
            break;
        case EV_CHANNEL_PRESSURE:
            ch.channelPressure = static_cast<int8_t>(value);
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
            ch.panning = static_cast<int8_t>(randomPan());
            voices_.repan(c, ch.panning, false);
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
        case EV_PROGRAM:
            programChange(e.channel & 15, e.a & 0x7F);
            break;
        case EV_MASTER_VOLUME:
            masterVolumeRatio_ = e.a + 256 * e.b;
            voices_.relevelAll();
            break;
        case EV_SYSEX_LSB:
        case EV_SYSEX_GS_LSB:
        case EV_SYSEX_XG_LSB:
            systemExclusiveParameter(e);
            break;
        case EV_SYSEX_XG_MSB:
            if (e.channel < kChannels) {
                channels_[e.channel].pendingXgUnit = e.a;
                channels_[e.channel].pendingXgGroup = e.b;
            }
            break;
        default:
            if (isChannelEvent(e.type)) controlChange(e);
            break;
    }
}

void ChannelController::systemExclusiveParameter(const SongEvent& e) {
    if (e.channel >= kChannels) return;
    ChannelState& ch = channels_[e.channel];
    const int v = e.a & 0x7F;
    if (e.type == EV_SYSEX_XG_LSB) {
        if (ch.pendingXgGroup == kXgGroupPart) {
            if (e.b == kXgDryLevel) ch.dryLevel = static_cast<int8_t>(v);
        } else {
            effectParameter(e);
        }
        ch.pendingXgUnit = ch.pendingXgGroup = 0;
        return;
    }
    if (e.type == EV_SYSEX_LSB) {
        switch (e.b) {
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
            default:
                break;
        }
        return;
    }
    switch (e.b) {
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
        default:
            if ((e.b >= kGsEqLowFrequency && e.b < kGsVelocitySenseDepth) ||
                (e.b >= kGsInsertionTypeMsb && e.b < kGsReceiveChannel))
                effectParameter(e);
            break;
    }
}

int ChannelController::randomPan() {
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return static_cast<int>(random_ % 128);
}

void ChannelController::effectParameter(const SongEvent& e) {
    if (effects_ == nullptr) return;
    const ChannelState& ch = channels_[size_t(e.channel & 15)];
    effects_->parameter(e.type, e.b, e.a & 0x7F, ch.pendingXgGroup, ch.pendingXgUnit);
}

void ChannelController::forgetReverbLevels() {
    for (ChannelState& ch : channels_) ch.reverbLevel = -1;
}

}  // namespace svt
