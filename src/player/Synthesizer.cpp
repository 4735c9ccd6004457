#include "player/Synthesizer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "instruments/InstrumentBanks.h"
#include "instruments/Tables.h"
#include "player/SynthCurves.h"
#include "song/Sysex.h"

namespace svt {

using namespace sysex_code;

namespace {

// General MIDI drum keys that silence each other: the hi-hats, the whistles, the guiros, the
// cuicas and the triangles. A new hit of a group cuts the sounding one.
constexpr std::array<uint8_t, 128> kDrumExclusiveGroups = [] {
    std::array<uint8_t, 128> g{};
    g[42] = g[44] = g[46] = 1;
    g[71] = g[72] = 2;
    g[73] = g[74] = 3;
    g[78] = g[79] = 4;
    g[80] = g[81] = 5;
    return g;
}();

constexpr int kDefaultVibratoMilliHz = 5000;
constexpr uint8_t kReservedChannel = 0xFF;

int clamp7(int v) {
    return std::clamp(v, 0, 127);
}

// A channel pan places a mono region; the two halves of a stereo sample keep their spread
// around it, so that a panned stereo piano stays stereo instead of collapsing into one point.
int panningFor(const SampleRegion& r, int channelPan) {
    if (r.sfSampleType != kSampleLeft && r.sfSampleType != kSampleRight) return channelPan;
    const int room = std::min(channelPan, 127 - channelPan);  // a hard pan leaves no room
    return clamp7(channelPan + (r.pan - 64) * room / 64);
}

}  // namespace

Synthesizer::Synthesizer(const EngineSettings& settings, InstrumentBanks& banks,
                         const PlayerControls& controls)
    : settings_(settings), banks_(banks), controls_(controls) {
    drumMask_ = defaultDrumMask_ = settings_.drumChannels;
    rampFrames_ = std::max(1, static_cast<int>(settings_.outputRateHz * 0.0005));
    destination_.fill(mix_.data());
    resetChannels();
}

// --- Channels --------------------------------------------------------------------------

void Synthesizer::resetControllers(int c) {
    ChannelState& ch = channels_[size_t(c)];
    ch.volume = systemMode_ == SYSTEM_XG_ON ? 100 : 90;
    ch.expression = 127;
    ch.sustain = 0;
    ch.sostenuto = 0;
    ch.pitchBend = 8192;
    ch.pitchFactor = 0.0;
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

void Synthesizer::resetParameters(int c) {
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
    ch.pitchFactor = 0.0;
}

void Synthesizer::resetChannel(int c) {
    resetControllers(c);
    ChannelState& ch = channels_[size_t(c)];
    ch.cutoffOffset = ch.resonanceOffset = 0;
    ch.vibratoRatio = 1.0;
    ch.vibratoDepth = ch.vibratoDelay = 0;
    ch.scaleTuningCents.fill(0);
    ch.velocitySenseDepth = ch.velocitySenseOffset = 64;
    ch.assignMode = (systemMode_ == SYSTEM_GS_RESET || isDrum(c)) ? 1 : 2;
    ch.drumNotes.fill(DrumNoteState{});
    drumGroupsStale_ = true;
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
    ch.pendingXgValue = ch.pendingXgParameter = 0;
    ch.eqBassGain = ch.eqTrebleGain = 64;
    ch.eqBassFrequency = 12;
    ch.eqTrebleFrequency = 54;
    ch.eqInUse = false;
    if (effects_) effects_->setChannelEq(c, 64, 64, 12, 54);
}

void Synthesizer::resetChannels() {
    drumMask_ = defaultDrumMask_;
    for (int c = 0; c < kChannels; ++c) resetChannel(c);
    for (Voice& v : voices_) v = Voice{};
    for (Voice& v : fades_) v = Voice{};
    for (auto& row : pairingHead_) row.fill(0);
    for (auto& row : pairingTail_) row.fill(0);
    upperBound_ = 0;
    cutNotes_ = lostNotes_ = 0;
    masterVolumeRatio_ = 0xFFFF;
    appliedAmplification_ = controls_.amplification;
    if (effects_) effects_->resetEffects(systemMode_);
}

void Synthesizer::programChange(int c, int program) {
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

void Synthesizer::drumPartChange(int c, bool on) {
    drumGroupsStale_ = true;
    if (on)
        drumMask_ |= 1u << c;
    else
        drumMask_ &= ~(1u << c);
}

int Synthesizer::parameterIndex(int c) const {
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

void Synthesizer::dataEntry(int c, int delta, bool msb, uint8_t value) {
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

void Synthesizer::applyParameter(int c, int index) {
    ChannelState& ch = channels_[size_t(c)];
    const int v = ch.parameterMsb[size_t(index)];
    DrumNoteState& drum = ch.drumNotes[ch.lastParameterLsb & 0x7F];
    auto retune = [&] {
        ch.pitchFactor = 0.0;
        for (int i = 0; i < upperBound_; ++i)
            if (voices_[size_t(i)].inUse() && voices_[size_t(i)].channel == c)
                recomputeFrequency(voices_[size_t(i)]);
    };
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
            drumGroupsStale_ = true;
            break;
        case PARAM_DRUM_CHORUS:
            drum.used = true;
            drum.chorusSend = static_cast<int8_t>(v);
            drumGroupsStale_ = true;
            break;
        case PARAM_DRUM_DELAY:
            drum.used = true;
            drum.delaySend = static_cast<int8_t>(v);
            drumGroupsStale_ = true;
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

void Synthesizer::updatePortamentoTime(int c) {
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

void Synthesizer::stopPortamento(int c) {
    ChannelState& ch = channels_[size_t(c)];
    ch.portamentoControlRatio = 0;
    ch.lastNoteFine = -1;
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (!v.inUse() || v.channel != c || v.portamentoOffset == 0) continue;
        v.portamentoOffset = 0;
        v.resample.portamento.controlRatio = 0;
        recomputeFrequency(v);
    }
}

void Synthesizer::portamentoStep(void* context, ResampleState& state) {
    Voice& v = *static_cast<Voice*>(context);
    if (v.portamentoOffset > 0)
        v.portamentoOffset = std::max(0, v.portamentoOffset - v.portamentoStep);
    else
        v.portamentoOffset = std::min(0, v.portamentoOffset + v.portamentoStep);
    if (v.portamentoOffset == 0) state.portamento.controlRatio = 0;
    const double scaled = std::round(v.plainIncrement * std::exp2(v.portamentoOffset / 3072.0));
    const int32_t magnitude = static_cast<int32_t>(std::clamp(scaled, 1.0, 2147483647.0));
    state.increment = state.increment < 0 ? -magnitude : magnitude;
}

void Synthesizer::releaseSustained(int c) {
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (v.status == kVoiceSustained && v.channel == c) finishNote(v);
    }
}

void Synthesizer::sustainPedal(int c, int value) {
    ChannelState& ch = channels_[size_t(c)];
    ch.sustain = static_cast<int8_t>(ch.damperMode ? value : (value >= 64 ? 127 : 0));
    if (ch.sustain == 0 && ch.sostenuto == 0) releaseSustained(c);
}

void Synthesizer::sostenutoPedal(int c, int value) {
    ChannelState& ch = channels_[size_t(c)];
    ch.sostenuto = value >= 64 ? 1 : 0;
    if (ch.sustain == 0 && ch.sostenuto == 0) {
        releaseSustained(c);
        return;
    }
    if (!ch.sostenuto || isDrum(c)) return;
    // The notes down now are held; notes struck later are not.
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (v.channel == c && v.status == kVoiceOn) v.status = kVoiceSustained;
    }
}

void Synthesizer::allNotesOff(int c) {
    const bool held = channels_[size_t(c)].sustain != 0;
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (v.channel != c || v.status != kVoiceOn) continue;
        if (held)
            v.status = kVoiceSustained;
        else
            finishNote(v);
    }
    pairingHead_[size_t(c)].fill(0);
    pairingTail_[size_t(c)].fill(0);
}

void Synthesizer::allSoundsOff(int c) {
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (v.channel == c && v.inUse() && v.status != kVoiceDying) cutVoice(v);
    }
    pairingHead_[size_t(c)].fill(0);
    pairingTail_[size_t(c)].fill(0);
}

void Synthesizer::controlChange(const SongEvent& e) {
    const int c = e.channel & 15;
    ChannelState& ch = channels_[size_t(c)];
    const int value = e.a & 0x7F;
    auto eachVoice = [&](auto&& fn) {
        for (int i = 0; i < upperBound_; ++i) {
            Voice& v = voices_[size_t(i)];
            if (v.inUse() && v.channel == c) fn(v);
        }
    };
    switch (e.type) {
        case EV_BANK_MSB:
            ch.bankMsb = static_cast<int8_t>(value);
            break;
        case EV_BANK_LSB:
            ch.bankLsb = static_cast<int8_t>(value);
            break;
        case EV_MODULATION:
            ch.modulationWheel = static_cast<int8_t>(value);
            ch.pitchFactor = 0.0;
            eachVoice([&](Voice& v) {
                v.resample.vibrato.phase = 0;
                recomputeFrequency(v);
            });
            break;
        case EV_VOLUME:
        case EV_EXPRESSION:
            (e.type == EV_VOLUME ? ch.volume : ch.expression) = static_cast<int8_t>(value);
            eachVoice([&](Voice& v) { recomputeAmplitude(v); });
            break;
        case EV_PAN:
            ch.panning = static_cast<int8_t>(value);
            eachVoice([&](Voice& v) {
                if (v.drum && ch.drumNotes[v.note].panning >= 0) return;
                v.panning = panningFor(*v.region, value);
                recomputeAmplitude(v);
            });
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
            eachVoice([&](Voice& v) { recomputeFilter(v); });
            break;
        case EV_RELEASE_TIME:
            ch.envelopeRateOverride[ENV_RELEASE1] = value;
            break;
        case EV_ATTACK_TIME:
            ch.envelopeRateOverride[ENV_ATTACK] = value;
            break;
        case EV_REVERB_SEND:
            if (!effects_ || effects_->reverbMode() != 0)
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
            ch.pitchFactor = 0.0;
            eachVoice([&](Voice& v) { recomputeFrequency(v); });
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
            allSoundsOff(c);
            break;
        case EV_RESET_CONTROLLERS:
            resetControllers(c);
            eachVoice([&](Voice& v) {
                recomputeFrequency(v);
                recomputeAmplitude(v);
            });
            break;
        case EV_ALL_NOTES_OFF:
            allNotesOff(c);
            break;
        case EV_MONO:
        case EV_POLY:
            ch.mono = e.type == EV_MONO ? 1 : 0;
            allNotesOff(c);
            break;
        case EV_KEY_SHIFT:
            if (value - 64 != ch.keyShift) {
                allSoundsOff(c);
                ch.keyShift = static_cast<int8_t>(value - 64);
            }
            break;
        case EV_RANDOM_PAN:
            ch.panning = static_cast<int8_t>(randomPan());
            eachVoice([&](Voice& v) {
                v.panning = panningFor(*v.region, ch.panning);
                recomputeAmplitude(v);
            });
            break;
        case EV_SCALE_TUNING:
            ch.scaleTuningCents[size_t(e.a % 12)] = static_cast<int8_t>(e.b);
            eachVoice([&](Voice& v) { recomputeFrequency(v); });
            break;
        case EV_DRUM_PART:
            drumPartChange(c, e.a != 0);
            programChange(c, ch.program < 0 ? 0 : ch.program);
            break;
        default:
            break;
    }
}

void Synthesizer::applyEvent(const SongEvent& e, bool sounding) {
    const int c = e.channel & 15;
    switch (e.type) {
        case EV_NOTE_ON:
            if (!sounding) break;
            if ((e.b & 0x7F) == 0)
                noteOff(c, e.a & 0x7F);
            else
                noteOn(c, e.a & 0x7F, e.b & 0x7F);
            break;
        case EV_NOTE_OFF:
            noteOff(c, e.a & 0x7F);
            break;
        case EV_PROGRAM:
            programChange(c, e.a & 0x7F);
            break;
        case EV_MASTER_VOLUME:
            masterVolumeRatio_ = e.a + 256 * e.b;
            for (int i = 0; i < upperBound_; ++i)
                if (voices_[size_t(i)].inUse()) recomputeAmplitude(voices_[size_t(i)]);
            break;
        case EV_SYSEX_LSB:
        case EV_SYSEX_GS_LSB:
        case EV_SYSEX_XG_LSB:
            systemExclusiveParameter(e);
            break;
        case EV_SYSEX_XG_MSB:
            if (e.channel < kChannels) {
                channels_[e.channel].pendingXgValue = e.a;
                channels_[e.channel].pendingXgParameter = e.b;
            }
            break;
        default:
            if (isChannelEvent(e.type)) controlChange(e);
            break;
    }
}

void Synthesizer::systemExclusiveParameter(const SongEvent& e) {
    if (e.channel >= kChannels) return;
    ChannelState& ch = channels_[e.channel];
    const int v = e.a & 0x7F;
    if (e.type == EV_SYSEX_XG_LSB) {
        if (ch.pendingXgParameter == kXgGroupPart) {
            if (e.b == kXgDryLevel) ch.dryLevel = static_cast<int8_t>(v);
        } else {
            effectParameter(e);
        }
        ch.pendingXgValue = ch.pendingXgParameter = 0;
        return;
    }
    if (e.type == EV_SYSEX_LSB) {
        switch (e.b) {
            case kReverbType:
            case kChorusType:
                effectParameter(e);
                break;
            case 0x42:
                ch.noteLimitLow = static_cast<int8_t>(v);
                break;
            case 0x43:
                ch.noteLimitHigh = static_cast<int8_t>(v);
                break;
            case 0x44:
                ch.velocityLimitLow = static_cast<int8_t>(v);
                break;
            case 0x45:
                ch.velocityLimitHigh = static_cast<int8_t>(v);
                break;
            default:
                break;
        }
        return;
    }
    switch (e.b) {
        case 0x21:
            ch.velocitySenseDepth = static_cast<int8_t>(v);
            break;
        case 0x22:
            ch.velocitySenseOffset = static_cast<int8_t>(v);
            break;
        case 0x24:
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

int Synthesizer::randomPan() {
    random_ ^= random_ << 13;
    random_ ^= random_ >> 17;
    random_ ^= random_ << 5;
    return static_cast<int>(random_ % 128);
}

// --- Notes -----------------------------------------------------------------------------

ChannelProgram Synthesizer::channelProgram(int c) const {
    ChannelProgram info;
    if (c < 0 || c >= kChannels) return info;
    const ChannelState& ch = channels_[size_t(c)];
    info.program = ch.program;
    info.bank = (int32_t(uint8_t(ch.bankMsb)) << 16) | (int32_t(uint8_t(ch.bankLsb)) << 8) |
                int32_t(ch.bank & 0xFF);
    const bool drum = isDrum(c);
    // A drum set has an instrument per key: the first key that has one names the set.
    const std::string* name = nullptr;
    if (drum)
        for (int key = 0; key < kSlotsPerBank && !name; ++key)
            name = banks_.instrumentName(true, ch.bank, key);
    else
        name = banks_.instrumentName(false, ch.bank, std::max<int>(ch.program, 0));
    if (name) info.name = name->c_str();
    return info;
}

const Instrument* Synthesizer::instrumentFor(int c, int key) {
    const ChannelState& ch = channels_[size_t(c)];
    const bool drum = isDrum(c);
    // Drum channels look the key up in the drum set; melodic ones the program in the bank.
    const int slot = drum ? key : std::max<int>(ch.program, 0);
    if (const Instrument* inst = banks_.loadedInstrument(drum, ch.bank, slot)) return inst;
    return banks_.instrumentOnDemand(drum, ch.bank, slot);
}

int Synthesizer::playedKey(int c, int key, const Instrument& inst) const {
    const uint8_t fixed = inst.regions.empty() ? 0 : inst.regions.front().fixedNote;
    if (isDrum(c)) return fixed ? fixed : key & 0x7F;
    if (fixed) return fixed;
    return std::clamp(key + channels_[size_t(c)].keyShift + controls_.noteKeyOffset, 0, 127);
}

int Synthesizer::allocateVoice(int c, int key) {
    const ChannelState& ch = channels_[size_t(c)];
    const uint8_t group = isDrum(c) ? kDrumExclusiveGroups[size_t(key)] : 0;
    int candidate = -1;
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (!v.inUse()) {
            if (candidate < 0) candidate = i;
            continue;
        }
        if (v.channel != c) continue;
        const bool sameKey = v.note == key;
        bool cut = ch.mono != 0;
        if (sameKey &&
            (overlappingNotes_ ? (v.status == kVoiceSustained || v.status == kVoiceOff) : true))
            cut = true;
        if (group != 0 && kDrumExclusiveGroups[v.note] == group && v.drum) cut = true;
        if (sameKey && (ch.assignMode == 0 || (ch.assignMode == 1 && v.fresh == 0))) cut = true;
        if (cut && v.status != kVoiceDying) cutVoice(v);
        if (sameKey) v.fresh = 0;
    }
    if (candidate >= 0) return candidate;
    if (upperBound_ < voiceLimit_) return upperBound_++;
    return stealVoice();
}

int Synthesizer::stealVoice() {
    auto fixedDrum = [](const Voice& v) { return v.drum && v.region && v.region->fixedNote != 0; };
    auto quietest = [&](auto&& eligible) {
        int best = -1;
        for (int i = 0; i < upperBound_; ++i) {
            const Voice& v = voices_[size_t(i)];
            if (!v.inUse() || v.channel == kReservedChannel || !eligible(v)) continue;
            if (best < 0 || v.loudness() < voices_[size_t(best)].loudness()) best = i;
        }
        return best;
    };
    struct Rung {
        bool lost;
        bool (*eligible)(const Voice&, bool fixed);
    };
    static constexpr Rung kLadder[] = {
        {false, [](const Voice& v, bool fixed) { return v.status == kVoiceOff && !fixed; }},
        {false,
         [](const Voice& v, bool fixed) {
             return (v.status == kVoiceOff && !fixed) || v.status == kVoiceDying;
         }},
        {false, [](const Voice& v, bool) { return v.status == kVoiceSustained; }},
        {true, [](const Voice&, bool fixed) { return !fixed; }},
        {true, [](const Voice&, bool) { return true; }},
    };
    for (const Rung& rung : kLadder) {
        const int best = quietest([&](const Voice& v) { return rung.eligible(v, fixedDrum(v)); });
        if (best < 0) continue;
        (rung.lost ? lostNotes_ : cutNotes_) += 1;
        fadeOutInPlace(voices_[size_t(best)]);
        return best;
    }
    return -1;
}

void Synthesizer::fadeOutInPlace(Voice& victim) {
    // The note keeps sounding for a few frames in a fade slot, so its end does not click;
    // its own slot is free at once.
    if (victim.loudness() > 0) {
        int fade = 0;
        for (int i = 0; i < kFadeSlots; ++i) {
            if (!fades_[size_t(i)].inUse()) {
                fade = i;
                break;
            }
            if (fades_[size_t(i)].loudness() < fades_[size_t(fade)].loudness()) fade = i;
        }
        fades_[size_t(fade)] = victim;
        fades_[size_t(fade)].status = kVoiceDying;
        fades_[size_t(fade)].resample.portamento = PortamentoHook{};
    }
    victim = Voice{};
}

void Synthesizer::setVoiceLimit(int voices) {
    voiceLimit_ = std::clamp(voices, 1, kMaxVoices);
}

int Synthesizer::cutQuietestReleased(int count) {
    int cut = 0;
    for (; cut < count; ++cut) {
        int best = -1;
        for (int i = 0; i < upperBound_; ++i) {
            const Voice& v = voices_[size_t(i)];
            if (v.status != kVoiceOff && v.status != kVoiceDying) continue;
            const bool fixedDrum = v.drum && v.region && v.region->fixedNote != 0;
            if (fixedDrum && v.status != kVoiceDying) continue;
            if (best < 0 || v.loudness() < voices_[size_t(best)].loudness()) best = i;
        }
        if (best < 0) break;
        fadeOutInPlace(voices_[size_t(best)]);
    }
    lowerUpperBound();
    return cut;
}

void Synthesizer::noteOn(int c, int key, int velocity) {
    ChannelState& ch = channels_[size_t(c)];
    const bool drum = isDrum(c);
    if (drum && ch.drumNotes[size_t(key)].used && !ch.drumNotes[size_t(key)].receiveNoteOn) return;
    const Instrument* inst = instrumentFor(c, key);
    if (inst == nullptr || inst->regions.empty()) return;
    const int n = playedKey(c, key, *inst);
    if (n < ch.noteLimitLow || n > ch.noteLimitHigh) return;
    if (velocity < ch.velocityLimitLow || velocity > ch.velocityLimitHigh) return;

    ch.lastNoteFrame = renderedFrames_;
    const int32_t f = noteFrequencyMilliHz(n);
    auto frequencyIn = [&](const SampleRegion& r) {
        if (r.scaleTuning == 1024) return double(f);
        return double(noteFrequencyMilliHz(r.scaleCenterKey)) *
               std::exp2((n - r.scaleCenterKey) * r.scaleTuning / 1024.0 / 12.0);
    };

    // Regions that serve the key and velocity. A right half of a stereo pair also comes with
    // its left when its own ranges leave it out; fonts whose pairs are not linked by sample
    // number still sound both halves, because each half serves the note on its own.
    std::array<const SampleRegion*, kMaxVoices> chosen{};
    int count = 0;
    for (const SampleRegion& r : inst->regions) {
        if (f < r.lowKeyFreq || f > r.highKeyFreq || velocity < r.lowVelocity ||
            velocity > r.highVelocity)
            continue;
        if (count < kMaxVoices) chosen[size_t(count++)] = &r;
    }
    if (count == 0) {
        const SampleRegion* nearest = nullptr;
        for (int pass = 0; pass < 2 && nearest == nullptr; ++pass)
            for (const SampleRegion& r : inst->regions) {
                if ((r.sfSampleType == kSampleRight) != (pass == 1)) continue;
                if (!nearest ||
                    std::abs(int64_t(r.rootFreq) - f) < std::abs(int64_t(nearest->rootFreq) - f))
                    nearest = &r;
            }
        if (nearest) chosen[size_t(count++)] = nearest;
    }
    const int firstPass = count;
    for (int i = 0; i < firstPass; ++i) {
        const SampleRegion& left = *chosen[size_t(i)];
        if (left.sfSampleType != kSampleLeft) continue;
        bool linkedChosen = false;
        for (int j = 0; j < count && !linkedChosen; ++j)
            linkedChosen = chosen[size_t(j)]->sfSampleType == kSampleRight &&
                           chosen[size_t(j)]->sfSampleIndex == left.sfLinkedSample;
        if (linkedChosen) continue;
        const SampleRegion* partner = nullptr;
        for (const SampleRegion& r : inst->regions) {
            if (r.sfSampleType != kSampleRight || r.sfSampleIndex != left.sfLinkedSample) continue;
            const bool serves = f >= r.lowKeyFreq && f <= r.highKeyFreq &&
                                velocity >= r.lowVelocity && velocity <= r.highVelocity;
            if (!partner || serves) partner = &r;
            if (serves) break;
        }
        if (partner && count < kMaxVoices) chosen[size_t(count++)] = partner;
    }

    int32_t pairing = 0;
    if (overlappingNotes_) pairing = pairingHead_[size_t(c)][size_t(key)]++;
    if (controls_.channelMuteMask & (1u << c)) return;  // nothing of a muted channel is heard
    // Every slot is taken before any voice starts, so that the note's own voices never cut
    // each other; a taken slot belongs to no channel until its voice starts.
    std::array<int16_t, kMaxVoices> slots{};
    int taken = 0;
    for (int i = 0; i < count; ++i) {
        const int slot = allocateVoice(c, n);
        if (slot < 0) break;
        voices_[size_t(slot)].status = kVoiceOn;
        voices_[size_t(slot)].channel = kReservedChannel;
        slots[size_t(taken++)] = static_cast<int16_t>(slot);
    }
    // A glide runs from the channel's previous note while the portamento is on.
    const int32_t glide =
        (ch.portamentoControlRatio > 0 && ch.lastNoteFine >= 0) ? ch.lastNoteFine - n * 256 : 0;
    if (ch.portamento) ch.lastNoteFine = n * 256;
    for (int i = taken - 1; i >= 0; --i) {
        Voice& v = voices_[size_t(slots[size_t(i)])];
        const SampleRegion& r = *chosen[size_t(i)];
        startVoice(v, r, c, n, velocity, static_cast<int32_t>(std::lround(frequencyIn(r))));
        v.pairing = pairing;
        v.eventKey = static_cast<uint8_t>(key);
        if (glide != 0 && v.inUse()) {
            v.portamentoOffset = glide;
            v.portamentoStep = ch.portamentoStep;
            v.resample.portamento =
                PortamentoHook{&Synthesizer::portamentoStep, &v, ch.portamentoControlRatio, 0};
            recomputeFrequency(v);
        }
    }
}

void Synthesizer::startVoice(Voice& v, const SampleRegion& r, int c, int note, int velocity,
                             int32_t frequency) {
    const ChannelState& ch = channels_[size_t(c)];
    v = Voice{};
    v.status = kVoiceOn;
    v.channel = static_cast<uint8_t>(c);
    v.note = static_cast<uint8_t>(note);
    v.velocity = static_cast<uint8_t>(velocity);
    v.fresh = 1;
    v.drum = isDrum(c);
    v.region = &r;
    v.view = SampleView{r.pcm, r.loopStartPos, r.loopEndPos, r.endPos, r.modeFlags};
    v.resample = ResampleState{};
    v.resample.position = 0;
    v.baseFrequency = frequency;
    v.delay = r.volEnvDelay;

    VibratoState& vib = v.resample.vibrato;
    vib.controlRatio = r.pitchLfoControlRatio;
    vib.delay = r.pitchLfoDelay + ch.vibratoDelay;
    vib.sweepStep = r.pitchLfoSweepStep;
    vib.sweepPosition = 0;

    v.tremoloDelay = r.ampLfoDelay;
    v.tremoloPhaseStep = r.ampLfoPhaseStep;
    v.tremoloDepth = r.ampLfoDepth;

    const DrumNoteState& dn = ch.drumNotes[size_t(note)];
    v.panning = (v.drum && dn.panning >= 0) ? dn.panning
                : ch.panning >= 0           ? panningFor(r, ch.panning)
                                            : r.pan;

    v.volume = EnvelopeState{};
    v.modulation = EnvelopeState{};
    if (r.modeFlags & kRegionEnvelope) {
        nextModulationStage(v);
        if (!nextVolumeStage(v)) {
            v = Voice{};
            return;
        }
    } else {
        v.volume.level = kEnvelopeFullLevel;
        v.volume.stage = ENV_RELEASE1;
    }
    v.envelopeFactor = envelopeFactor(v);
    recomputeFrequency(v);
    if (!v.inUse()) return;
    recomputeFilter(v);
    recomputeAmplitude(v);
    v.controlCounter = 0;
}

void Synthesizer::noteOff(int c, int key) {
    ChannelState& ch = channels_[size_t(c)];
    const bool drum = isDrum(c);
    // Note-offs match the key struck, not the key sounded: a transposition or key shift that
    // changes while a note sounds must not leave it hanging.
    const Instrument* inst = drum ? banks_.loadedInstrument(true, ch.bank, key) : nullptr;
    if (drum && ch.drumNotes[size_t(key)].used && ch.drumNotes[size_t(key)].receiveNoteOff) {
        // A key that asks for note-offs still lets a one-shot drum play to its end.
        if (inst == nullptr || inst->regions.empty() ||
            !(inst->regions.front().modeFlags & kRegionLooping))
            return;
    }
    int32_t pairing = 0;
    if (overlappingNotes_) {
        uint8_t& head = pairingHead_[size_t(c)][size_t(key)];
        uint8_t& tail = pairingTail_[size_t(c)][size_t(key)];
        if (head == tail) return;
        pairing = tail++;
    }
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (v.status != kVoiceOn || v.channel != c || v.eventKey != key || v.pairing != pairing)
            continue;
        if (ch.sustain != 0)
            v.status = kVoiceSustained;
        else
            finishNote(v);
    }
}

void Synthesizer::finishNote(Voice& v) {
    if (v.region == nullptr) return;
    v.status = kVoiceOff;
    if (v.region->modeFlags & kRegionEnvelope) {
        v.volume.stage = ENV_DECAY;
        if (!nextVolumeStage(v)) {
            cutVoice(v);
            return;
        }
        v.modulation.stage = ENV_DECAY;
        nextModulationStage(v);
        setMixTargets(v);
    }
}

void Synthesizer::cutVoice(Voice& v) {
    if (!v.inUse()) return;
    v.status = kVoiceDying;
}

void Synthesizer::freeVoice(Voice& v) {
    v = Voice{};
}

void Synthesizer::lowerUpperBound() {
    while (upperBound_ > 0 && !voices_[size_t(upperBound_ - 1)].inUse()) --upperBound_;
}

int Synthesizer::voicesInUse() const {
    int n = 0;
    for (int i = 0; i < upperBound_; ++i) n += voices_[size_t(i)].inUse() ? 1 : 0;
    for (const Voice& v : fades_) n += v.inUse() ? 1 : 0;
    return n;
}

void Synthesizer::releaseAllNotes() {
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (v.status == kVoiceOn || v.status == kVoiceSustained) finishNote(v);
    }
}

void Synthesizer::cutAllVoices() {
    for (int i = 0; i < upperBound_; ++i) cutVoice(voices_[size_t(i)]);
    for (auto& row : pairingHead_) row.fill(0);
    for (auto& row : pairingTail_) row.fill(0);
}

// --- Pitch, level, filter ---------------------------------------------------------------

double Synthesizer::channelPitchFactor(int c, const Voice& v) const {
    const ChannelState& ch = channels_[size_t(c)];
    int64_t i = ((ch.parameterMsb[PARAM_COARSE_TUNING] - 64) * 64 +
                 (ch.parameterMsb[PARAM_FINE_TUNING] - 64)) *
                128;
    if (v.drum) {
        const DrumNoteState& dn = ch.drumNotes[v.note];
        i += (dn.coarsePitch * 64 + dn.finePitch) * 128;
    }
    i += int64_t(ch.parameterMsb[PARAM_BEND_RANGE]) * (ch.pitchBend - 8192);
    if (!v.drum) i += int64_t(ch.scaleTuningCents[v.note % 12]) * 8192 / 100;
    if (i == 0) return 1.0;
    const SynthTables& t = synthTables();
    const int64_t m = std::min<int64_t>(i < 0 ? -i : i, (int64_t(127) << 13) | 0x1FFF);
    const double factor = t.coarseBend[size_t(m >> 13)] * t.fineBend[size_t((m >> 5) & 0xFF)];
    return i < 0 ? 1.0 / factor : factor;
}

void Synthesizer::recomputeFrequency(Voice& v) {
    const SampleRegion* r = v.region;
    if (r == nullptr) return;
    const ChannelState& ch = channels_[v.channel];
    VibratoState& vib = v.resample.vibrato;
    // The modulation wheel adds its depth to the region's own vibrato.
    const int wheelDepth = ch.modulationWheel * ch.modulationDepthCents * 256 / (400 * 127);
    if (r->pitchLfoDepth != 0 || wheelDepth > 0) {
        int depth = std::abs(r->pitchLfoDepth) + wheelDepth + ch.vibratoDepth;
        depth = std::clamp(depth, 1, 384);
        vib.depth = r->pitchLfoDepth < 0 ? -depth : depth;
        const int period = r->pitchLfoControlRatio > 0
                               ? r->pitchLfoControlRatio
                               : settings_.outputRateHz * 1000 / (kDefaultVibratoMilliHz * 64);
        vib.controlRatio = std::max(1, static_cast<int>(period * ch.vibratoRatio));
        vib.modulationWheelUp = ch.modulationWheel > 0;
    } else {
        vib.depth = 0;
        vib.controlRatio = r->pitchLfoControlRatio;
    }
    double factor = channelPitchFactor(v.channel, v);
    if (r->modEnvToPitch != 0 && v.modulation.stage >= 0)
        factor *= std::exp2(r->modEnvToPitch * (double(v.modulation.level) / kEnvelopeFullLevel) /
                            1200.0);
    v.frequency = factor == 1.0 ? v.baseFrequency : static_cast<int32_t>(v.baseFrequency * factor);
    const int32_t increment =
        sampleIncrementFor(v.frequency, r->sampleRateHz, r->rootFreq, settings_.outputRateHz);
    if (increment == 0) {
        // A voice that cannot advance would sound one value for ever.
        freeVoice(v);
        return;
    }
    v.plainIncrement = increment;
    int32_t magnitude = increment;
    if (v.portamentoOffset != 0)
        magnitude = static_cast<int32_t>(std::clamp(
            std::round(increment * std::exp2(v.portamentoOffset / 3072.0)), 1.0, 2147483647.0));
    v.resample.increment = v.resample.increment < 0 ? -magnitude : magnitude;
    vib.clearCache();
}

double Synthesizer::dryLevel() const {
    // With effects the dry signal leaves room for what they add; without, it plays louder.
    constexpr double kDryWithEffects = 0.7425, kDryAlone = 1.35;
    if (effects_ == nullptr) return kDryAlone;
    const bool heard = effects_->busActive(BUS_REVERB) || effects_->busActive(BUS_CHORUS) ||
                       effects_->busActive(BUS_DELAY) || effects_->busActive(BUS_EQ) ||
                       effects_->insertionActive() || effects_->insertionChannels() != 0;
    return heard ? kDryWithEffects : kDryAlone;
}

double Synthesizer::masterGain() const {
    return controls_.amplification / 100.0 * masterVolumeRatio_ / 65535.0 * kMixLevel;
}

void Synthesizer::recomputeAmplitude(Voice& v) {
    const SampleRegion* r = v.region;
    if (r == nullptr) return;
    const ChannelState& ch = channels_[v.channel];
    const SynthCurves& curves = synthCurves();
    const auto& curve = systemMode_ == SYSTEM_GM2_ON ? curves.volumeGm2 : curves.volumeDefault;
    const int vel =
        clamp7(ch.velocitySenseDepth * v.velocity / 64 + 2 * ch.velocitySenseOffset - 128);
    double gain = r->gain * masterGain() * curve[size_t(vel)] * curve[size_t(clamp7(ch.volume))] *
                  curve[size_t(clamp7(ch.expression))];
    gain *= dryLevel();
    if (v.drum) gain *= ch.drumNotes[v.note].level;
    gain *= v.filter.active ? v.filter.gain : 1.0;
    const auto& pan = systemMode_ == SYSTEM_GM2_ON ? curves.panGm2 : curves.pan;
    const int p = std::clamp(v.panning, 0, 127);
    constexpr double kPanScale = 1.0 / double(1 << 27);
    v.leftAmplitude = pan[size_t(128 - p)] * gain * kPanScale;
    v.rightAmplitude = pan[size_t(p)] * gain * kPanScale;
    setMixTargets(v);
}

void Synthesizer::recomputeFilter(Voice& v) {
    const SampleRegion* r = v.region;
    VoiceFilter& flt = v.filter;
    if (r == nullptr || r->cutoffHz <= 0) {
        flt.active = false;
        return;
    }
    const ChannelState& ch = channels_[v.channel];
    double cents = 0;
    if (r->modEnvToCutoff != 0 && v.modulation.stage >= 0)
        cents += r->modEnvToCutoff * (double(v.modulation.level) / kEnvelopeFullLevel);
    int offset = ch.cutoffOffset;
    if (v.drum) offset += ch.drumNotes[v.note].cutoffOffset;
    cents += offset * 2400.0 / 64.0;  // the brightness controller spans two octaves each way
    double cutoff = r->cutoffHz * std::exp2(cents / 1200.0);
    if (ch.softPedal > 0) cutoff *= 1.0 - ch.softPedal * (v.note < 50 ? 0.25 : 0.2) / 127.0;
    const double rate = settings_.outputRateHz;
    if (cutoff >= rate * 0.45) {
        flt.active = false;
        return;
    }
    cutoff = std::max(cutoff, 10.0);
    const int32_t cutoffHz = static_cast<int32_t>(cutoff);
    if (flt.active && cutoffHz == flt.cutoffHz) return;
    const double db = std::max(0.0, r->resonanceCb / 10.0);
    // Damping 1/Q: Butterworth without resonance, less as the resonance rises.
    const double k = std::clamp(std::sqrt(2.0) / std::pow(10.0, db / 20.0), 0.02, 2.0);
    const double g = std::tan(std::numbers::pi * cutoff / rate);
    const double a1 = 1.0 / (1.0 + g * (g + k));
    constexpr double kOne = 1 << 24;
    if (!flt.active) flt.s1 = flt.s2 = 0;
    flt.active = true;
    flt.cutoffHz = cutoffHz;
    const double a2 = g * a1, a3 = g * g * a1;
    auto q24 = [&](double c) { return static_cast<int64_t>(std::lround(c * kOne)); };
    flt.s1Gain = q24(2 * a1 - 1);
    flt.s1FromIn = q24(2 * a2);
    flt.s2FromS1 = q24(2 * a2);
    flt.s2FromIn = q24(2 * a3);
    flt.gain = std::pow(10.0, -db / 40.0);
}

}  // namespace svt
