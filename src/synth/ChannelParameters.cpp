// The channels' registered and non-registered parameters (data entry into them), the tuning
// programs and the temperaments: where a channel's keys sound.
#include <algorithm>
#include <cmath>

#include "instruments/Tables.h"
#include "synth/ChannelController.h"
#include "synth/Voice.h"

namespace svt {

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
    ch.destinations[SOURCE_MODULATION].lfo1PitchCents = 50;
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
        case 0x16:
            return PARAM_DRUM_ATTACK;
        case 0x17:
            return PARAM_DRUM_DECAY;
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
        case 0x30:
        case 0x31:
            return PARAM_DRUM_EQ_FIRST + (number >> 8) - 0x30;
        case 0x34:
        case 0x35:
            return PARAM_DRUM_EQ_FIRST + (number >> 8) - 0x32;
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
            static_cast<uint8_t>(std::clamp(ch.parameterMsb[size_t(index)] + delta, 0, 127));
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
            voices_.refilter(c);
            break;
        case PARAM_RESONANCE:
            ch.resonanceOffset = static_cast<int8_t>(v - 64);
            voices_.refilter(c);
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
            voices_.refilter(c);
            break;
        case PARAM_DRUM_RESONANCE:
            drum.used = true;
            drum.resonanceOffset = static_cast<int8_t>(v - 64);
            voices_.refilter(c);
            break;
        case PARAM_DRUM_ATTACK:
            drum.used = true;
            drum.envelopeRateOverride[ENV_ATTACK] = v & 0x7F;
            break;
        case PARAM_DRUM_DECAY:
            drum.used = true;
            drum.envelopeRateOverride[ENV_HOLD] = v & 0x7F;
            drum.envelopeRateOverride[ENV_DECAY] = v & 0x7F;
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
            drum.randomPan = v == 0;
            drum.panning = static_cast<int8_t>(v == 0 ? random_.below(128) : v);
            // The key's sounding voices move with it, unless the whole channel wanders.
            if (!ch.randomPan) voices_.repanDrumKey(c, ch.lastParameterLsb & 0x7F, drum.panning);
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
        case PARAM_DRUM_EQ_FIRST:
        case PARAM_DRUM_EQ_FIRST + 1:
        case PARAM_DRUM_EQ_FIRST + 2:
        case PARAM_DRUM_EQ_FIRST + 3:
            drum.used = true;
            break;
        case PARAM_BEND_RANGE:
            ch.parameterMsb[PARAM_BEND_RANGE] = static_cast<uint8_t>(std::min(v, 24));
            retune();
            break;
        case PARAM_FINE_TUNING:
        case PARAM_COARSE_TUNING:
            retune();
            break;
        case PARAM_TUNING_PROGRAM:
        case PARAM_TUNING_BANK:
            voices_.retemper(c);
            break;
        case PARAM_MODULATION_RANGE:
            ch.destinations[SOURCE_MODULATION].lfo1PitchCents =
                ((v * 128 + ch.parameterLsb[PARAM_MODULATION_RANGE]) * 100) >> 7;
            retune();
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

void ChannelController::tuningItem(const SongEvent& e) {
    switch (tuningItemOf(e)) {
        case TuningItem::Program:
            tuningProgram_ = e.a & 0x7F;
            tuningAtOnce_ = e.type == EV_TUNING_NOTE;
            break;
        case TuningItem::Key:
            tuningKey_ = e.a & 0x7F;
            tuningSemitone_ = e.b & 0x7F;
            break;
        case TuningItem::Fraction:
            tuning_->set(tuningProgram_, tuningKey_, tuningSemitone_,
                         (e.a & 0x7F) * 128 + (e.b & 0x7F));
            // A single-note change is heard at once; a bulk dump waits for the next notes.
            if (tuningAtOnce_)
                for (int c = 0; c < kChannels; ++c)
                    if (channels_[size_t(c)].parameterMsb[PARAM_TUNING_PROGRAM] == tuningProgram_)
                        voices_.retemper(c);
            break;
        default:
            break;
    }
}

void ChannelController::temperament(const SongEvent& e) {
    const bool atOnce = e.b != 0;
    switch (e.type) {
        case EV_SCALE_TYPE: {
            const int code = e.a + 8;
            temperamentMinor_ = code % 32 - 8 >= 8;
            temperamentAdjusted_ = (code >> 5) & 1;
            if (atOnce)
                for (int c = 0; c < kChannels; ++c) voices_.retemper(c);
            break;
        }
        case EV_TEMPERAMENT_TYPE:
            if (e.channel >= kChannels) break;
            channels_[e.channel].temperamentType = static_cast<int8_t>(e.a);
            if (atOnce) voices_.retemper(e.channel);
            break;
        case EV_MASTER_TEMPERAMENT_TYPE:
            for (int c = 0; c < kChannels; ++c) {
                channels_[size_t(c)].temperamentType = static_cast<int8_t>(e.a);
                if (atOnce) voices_.retemper(c);
            }
            break;
        case EV_USER_TEMPERAMENT: {
            const TemperamentDegree d = temperamentDegreeOf(e);
            userTemperaments_.cents[size_t(d.temperament)][d.minor][size_t(d.degree)] =
                static_cast<int8_t>(d.cents);
            break;
        }
        default:
            break;
    }
}

TemperedNote ChannelController::noteFrequency(int c, int key, int tonic) const {
    TemperedNote n{noteFrequencyMilliHz(key), key};
    if (isDrum(c)) return n;
    const ChannelState& ch = channels_[size_t(c & 15)];
    if (ch.temperamentType == TEMPERAMENT_EQUAL) {
        const int program = ch.parameterMsb[PARAM_TUNING_PROGRAM];
        if (!tuning_->retuned(program)) return n;
        const int32_t f = tuning_->frequency(program, key);
        if (f == n.frequency || f <= 0) return n;
        n.frequency = f;
        // The key that sounds is the one nearest the frequency: region and same-key rules
        // follow it.
        n.key =
            std::clamp(static_cast<int>(std::lround(69 + 12 * std::log2(f / 440000.0))), 0, 127);
        return n;
    }
    const TemperamentKey at{tonic, temperamentMinor_, temperamentAdjusted_};
    const double cents = temperamentCents(ch.temperamentType, key, at, userTemperaments_);
    if (cents != 0.0)
        n.frequency = static_cast<int32_t>(std::lround(n.frequency * std::exp2(cents / 1200.0)));
    return n;
}

}  // namespace svt
