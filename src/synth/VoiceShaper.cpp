#include "synth/VoiceShaper.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "instruments/Tables.h"
#include "synth/Interpolation.h"
#include "synth/SynthCurves.h"
#include "synth/VoiceModulators.h"

namespace svt {

namespace {

constexpr int kDefaultVibratoMilliHz = 5000;
// How long a note held by the pedal takes to fade by a factor of e in its envelope level when
// its instrument sets no time of its own.
constexpr int64_t kDefaultMinimumSustainMs = 5000;
constexpr int32_t kTremoloCycle = 31250;
// An LFO's sweep has run its course at this position; its depth then stays full.
constexpr int32_t kSweepEnd = 65536;
constexpr double kLadderMaxFeedback = 3.8;

// The step that takes a mix from `from` to `to` over `frames` frames, at least 1. Every voice
// asks for it each control period: the division by the ramp's length is a product with its
// reciprocal (rounded up, which gives the exact quotient for every distance a mix can span).
int32_t rampStep(int32_t from, int32_t to, int32_t frames, uint64_t reciprocal) {
    const int32_t d = to - from;
    if (d == 0) return 0;
    const uint32_t distance = d < 0 ? uint32_t(-int64_t(d)) : uint32_t(d);
    if (distance <= uint32_t(frames)) return d > 0 ? 1 : -1;
    const uint32_t q =
        distance <= kMaxMix ? uint32_t((distance * reciprocal) >> 32) : distance / uint32_t(frames);
    return d > 0 ? int32_t(q) : -int32_t(q);
}

int clamp7(int v) {
    return std::clamp(v, 0, 127);
}

// The share of its depths the modulation envelope gives at its level now.
double modulationShare(const Voice& v) {
    const int64_t i = std::clamp<int64_t>(v.modulation.level >> 20, 0, 1023);
    return synthCurves().modulationEnvelope[size_t(i)];
}

}  // namespace

int regionPanning(const SampleRegion& r, int channelPan) {
    if (r.sfSampleType != kSampleLeft && r.sfSampleType != kSampleRight) return channelPan;
    const int room = std::min(channelPan, 127 - channelPan);  // a hard pan leaves no room
    return clamp7(channelPan + (r.pan - 64) * room / 64);
}

VoiceShaper::VoiceShaper(const EngineSettings& settings, const ChannelController& channels,
                         const EffectSends& sends, const PlayerControls& controls)
    : settings_(settings),
      channels_(channels),
      sends_(sends),
      controls_(controls),
      rampFrames_(std::max(1, static_cast<int>(settings.outputRateHz * 0.0005))),
      rampReciprocal_(((uint64_t(1) << 32) + uint64_t(rampFrames_) - 1) / uint64_t(rampFrames_)),
      onsetFrames_(std::max(rampFrames_, settings.controlRatio)),
      onsetReciprocal_(((uint64_t(1) << 32) + uint64_t(onsetFrames_) - 1) /
                       uint64_t(onsetFrames_)) {}

void VoiceShaper::start(Voice& v, const SampleRegion& r, int c, int note, int velocity,
                        int32_t frequency, int eventKey) {
    const ChannelState& ch = channels_.channel(c);
    v = Voice{};
    v.status = kVoiceOn;
    v.channel = static_cast<uint8_t>(c);
    v.note = static_cast<uint8_t>(note);
    v.eventKey = static_cast<uint8_t>(eventKey >= 0 ? eventKey : note);
    v.temperedKey = v.note;
    v.velocity = static_cast<uint8_t>(velocity);
    v.fresh = 1;
    v.drum = channels_.isDrum(c);
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
    v.tremoloSweepStep = r.ampLfoSweepStep;
    v.tremoloSweepPosition = 0;
    v.modulationDelay = r.modEnvDelay;

    const ModulatorResult modulated = applyModulators(v, r, ch);
    if (modulated.velocityDepth) {
        // The font gives the velocity's attenuation a depth of its own: the engine's curve
        // (its full depth) is scaled to it, in decibels.
        const double full = channels_.channelGain(c, 127, note, v.eventKey, v.drum);
        const double here = channels_.channelGain(c, velocity, note, v.eventKey, v.drum);
        if (full > 0.0 && here > 0.0)
            v.modulatorGain *= std::pow(here / full, *modulated.velocityDepth / 960.0 - 1.0);
    }

    const DrumNoteState& dn = ch.drumNotes[size_t(note)];
    v.panning = (v.drum && dn.panning >= 0) ? dn.panning
                : ch.panning >= 0           ? regionPanning(r, ch.panning)
                                            : r.pan;
    v.panning = clamp7(v.panning + modulated.panSteps);

    v.volume = EnvelopeState{};
    v.modulation = EnvelopeState{};
    if (r.modeFlags & kRegionEnvelope) {
        // A delayed modulation envelope starts when its delay has passed.
        if (v.modulationDelay <= 0) nextModulationStage(v);
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

void VoiceShaper::release(Voice& v) {
    if (v.region == nullptr) return;
    v.status = kVoiceOff;
    if (v.region->modeFlags & kRegionEnvelope) {
        v.volume.stage = ENV_DECAY;
        if (!nextVolumeStage(v)) {
            cutAndTell(listener_, v);
            return;
        }
        v.modulation.stage = ENV_DECAY;
        nextModulationStage(v);
        setMixTargets(v);
    }
    tellStatus(listener_, v);
}

void VoiceShaper::portamentoStep(void* context, ResampleState& state) {
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

double VoiceShaper::channelPitchFactor(int c, const Voice& v, int32_t controllerPitch) const {
    const ChannelState& ch = channels_.channel(c);
    int64_t i = ((ch.parameterMsb[PARAM_COARSE_TUNING] - 64) * 64 +
                 (ch.parameterMsb[PARAM_FINE_TUNING] - 64)) *
                    128 +
                controllerPitch;
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

void VoiceShaper::recomputeFrequency(Voice& v) {
    const SampleRegion* r = v.region;
    if (r == nullptr) return;
    const ChannelState& ch = channels_.channel(v.channel);
    VibratoState& vib = v.resample.vibrato;
    // The modulation wheel, the pressures and the other sources add their depth to the
    // region's own vibrato (in its unit of 400/256 cents).
    const ChannelModulation m = channels_.modulation(v.channel, v.eventKey);
    const int sourceDepth = static_cast<int>(m.lfo1PitchCents * 256 / 400);
    // A region's vibrato needs both a depth and a rate; without a rate it has none.
    const int regionDepth = r->pitchLfoControlRatio > 0 ? r->pitchLfoDepth : 0;
    if (regionDepth != 0 || sourceDepth > 0) {
        int depth = std::abs(regionDepth) + sourceDepth + ch.vibratoDepth;
        depth = std::clamp(depth, 1, 384);
        vib.depth = regionDepth < 0 ? -depth : depth;
        int period = r->pitchLfoControlRatio > 0
                         ? r->pitchLfoControlRatio
                         : settings_.outputRateHz * 1000 / (kDefaultVibratoMilliHz * 64);
        if (m.lfo1RateHz != 0.0) {
            // 64 phase steps make one cycle.
            const double hz = settings_.outputRateHz / (64.0 * period) + m.lfo1RateHz;
            period = static_cast<int>(settings_.outputRateHz / (64.0 * std::max(hz, 0.1)));
        }
        vib.controlRatio = std::max(1, static_cast<int>(period * ch.vibratoRatio));
        vib.modulationWheelUp = ch.modulationWheel > 0;
        setChannelLfos(v, m, settings_.outputRateHz / (64.0 * vib.controlRatio));
    } else {
        vib.depth = 0;
        vib.controlRatio = r->pitchLfoControlRatio;
        const double hz = r->pitchLfoControlRatio > 0
                              ? settings_.outputRateHz / (64.0 * r->pitchLfoControlRatio)
                              : kDefaultVibratoMilliHz / 1000.0;
        setChannelLfos(v, m, (hz + m.lfo1RateHz) / std::max(ch.vibratoRatio, 0.01));
    }
    double factor = channelPitchFactor(v.channel, v, m.pitch);
    if (v.channelLfoPitchCents != 0.0) factor *= std::exp2(v.channelLfoPitchCents / 1200.0);
    factor *= v.chorusDetune;
    if (v.modEnvToPitch != 0 && v.modulation.stage >= 0)
        factor *= std::exp2(v.modEnvToPitch * modulationShare(v) / 1200.0);
    v.frequency = factor == 1.0 ? v.baseFrequency : static_cast<int32_t>(v.baseFrequency * factor);
    // The channel's pitch offset is in hertz: the same for every key.
    const int32_t offsetMilliHz = static_cast<int32_t>(std::lround(ch.pitchOffsetFineHz * 1000));
    const int32_t increment =
        sampleIncrementFor(std::max(0, v.frequency + offsetMilliHz), r->sampleRateHz, r->rootFreq,
                           settings_.outputRateHz);
    if (increment == 0) {
        // A voice that cannot advance would sound one value for ever.
        v = Voice{};
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

double VoiceShaper::masterGain() const {
    return controls_.amplification / 100.0 * channels_.masterVolumeRatio() / 65535.0 * kMixLevel;
}

void VoiceShaper::recomputeAmplitude(Voice& v) {
    const SampleRegion* r = v.region;
    if (r == nullptr) return;
    const SynthCurves& curves = synthCurves();
    double gain = r->gain * v.modulatorGain * masterGain() *
                  channels_.channelGain(v.channel, v.velocity, v.note, v.eventKey, v.drum);
    gain *= sends_.dryLevel();
    gain *= v.filter.active ? v.filter.gain : 1.0;
    if (sends_.monoOutput()) {
        // One channel: every voice in the middle, at half its full gain on each side.
        v.leftAmplitude = v.rightAmplitude = gain / double(1 << 21);
        v.panDelayFrames = 0;
        setMixTargets(v);
        return;
    }
    const auto& pan = channels_.systemMode() == SYSTEM_GM2_ON ? curves.panGm2 : curves.pan;
    int p = std::clamp(v.panning, 0, 127);
    if (v.chorusSide != 0) {
        // The pair spreads as far as it can around the note's panning, 63 steps each way.
        p = std::max(p, 1);
        p += v.chorusSide * std::min({63, p - 1, 127 - p});
    }
    constexpr double kPanScale = 1.0 / double(1 << 27);
    v.leftAmplitude = pan[size_t(128 - p)] * gain * kPanScale;
    v.rightAmplitude = pan[size_t(p)] * gain * kPanScale;
    const bool twoSided = p > 1 && p < 127 && p != 64;
    if (settings_.panDelay && twoSided) {
        v.panDelayLeft = p >= 64;
        v.panDelayFrames = static_cast<uint8_t>(
            std::clamp((std::abs(p - 64) * kPanDelayFrames + 32) / 64, 1, kPanDelayFrames - 1));
    } else {
        v.panDelayFrames = 0;
    }
    setMixTargets(v);
}

void VoiceShaper::recomputeFilter(Voice& v) {
    const SampleRegion* r = v.region;
    VoiceFilter& flt = v.filter;
    if (r == nullptr || v.cutoffHz <= 0) {
        flt.active = false;
        return;
    }
    const ChannelState& ch = channels_.channel(v.channel);
    double cents = 0;
    if (v.modEnvToCutoff != 0 && v.modulation.stage >= 0)
        cents += v.modEnvToCutoff * modulationShare(v);
    int offset = ch.cutoffOffset;
    if (v.drum) offset += ch.drumNotes[v.note].cutoffOffset;
    cents += offset * 2400.0 / 64.0;  // the brightness controller spans two octaves each way
    cents += channels_.modulation(v.channel, v.eventKey).cutoffCents + v.channelLfoCutoffCents;
    double cutoff = v.cutoffHz * std::exp2(cents / 1200.0);
    if (ch.softPedal > 0) cutoff *= 1.0 - ch.softPedal * (v.note < 50 ? 0.25 : 0.2) / 127.0;
    const double rate = settings_.outputRateHz;
    if (cutoff >= rate * 0.45) {
        flt.active = false;
        return;
    }
    cutoff = std::max(cutoff, 10.0);
    const int32_t cutoffHz = static_cast<int32_t>(cutoff);
    int resonance = ch.resonanceOffset;
    if (v.drum) resonance += ch.drumNotes[v.note].resonanceOffset;
    // The harmonic-content controller moves the resonance by a quarter decibel a step.
    const double db = std::clamp(v.resonanceCb / 10.0 + resonance * 0.25, 0.0, 40.0);
    if (flt.active && cutoffHz == flt.cutoffHz && db == flt.resonanceDb) return;
    if (settings_.voiceFilter == kFilterFourPole) {
        setLadder(flt, cutoff, db, rate);
        flt.cutoffHz = cutoffHz;
        flt.resonanceDb = db;
        return;
    }
    flt.ladder = false;
    // Damping 1/Q: Butterworth without resonance, less as the resonance rises.
    const double k = std::clamp(std::sqrt(2.0) / std::pow(10.0, db / 20.0), 0.02, 2.0);
    const double g = std::tan(std::numbers::pi * cutoff / rate);
    const double a1 = 1.0 / (1.0 + g * (g + k));
    constexpr double kOne = 1 << 24;
    if (!flt.active) flt.s1 = flt.s2 = 0;
    flt.active = true;
    flt.cutoffHz = cutoffHz;
    flt.resonanceDb = db;
    const double a2 = g * a1, a3 = g * g * a1;
    auto q24 = [&](double c) { return static_cast<int64_t>(std::lround(c * kOne)); };
    flt.s1Gain = q24(2 * a1 - 1);
    flt.s1FromIn = q24(2 * a2);
    flt.s2FromS1 = q24(2 * a2);
    flt.s2FromIn = q24(2 * a3);
    flt.gain = std::pow(10.0, -db / 40.0);
}

void VoiceShaper::setLadder(VoiceFilter& flt, double cutoff, double db, double rate) {
    // Four one-pole stages in their zero-delay form with the feedback solved within the
    // sample, so that no resonance below self-oscillation makes it unstable at any cutoff.
    const double g = std::tan(std::numbers::pi * cutoff / rate);
    const double G = g / (1.0 + g), beta = 1.0 - G;
    // Resonance in decibels becomes the feedback, 0 (none) up to just short of 4, where the
    // ladder would ring on its own.
    const double k = std::min(kLadderMaxFeedback, 4.0 * (1.0 - std::pow(10.0, -db / 20.0)));
    const double G2 = G * G, G4 = G2 * G2, solve = 1.0 / (1.0 + k * G4);
    constexpr double kOne = 1 << 24;
    auto q24 = [&](double c) { return static_cast<int64_t>(std::lround(c * kOne)); };
    if (!flt.active || !flt.ladder) flt.l1 = flt.l2 = flt.l3 = flt.l4 = 0;
    flt.active = true;
    flt.ladder = true;
    flt.ladderG = q24(G);
    flt.ladderFrom1 = q24(G2 * G * beta * solve);
    flt.ladderFrom2 = q24(G2 * beta * solve);
    flt.ladderFrom3 = q24(G * beta * solve);
    flt.ladderFrom4 = q24(beta * solve);
    flt.ladderFromIn = q24(G4 * solve);
    flt.ladderFeedback = q24(k);
    // The feedback lowers the pass band to 1 / (1 + k); half of that loss is made up.
    flt.gain = std::sqrt(1.0 + k);
}

double VoiceShaper::envelopeFactor(const Voice& v) const {
    const SampleRegion* r = v.region;
    if (r == nullptr || !(r->modeFlags & kRegionEnvelope)) return 1.0;
    const SynthTables& t = synthTables();
    const auto& table =
        r->regionKind == kRegionKindSoundFont ? t.soundFontVolume
        : (channels_.systemMode() == SYSTEM_GS_RESET || channels_.systemMode() == SYSTEM_XG_ON)
            ? t.defaultVolumeGsXg
            : t.defaultVolumeGm;
    auto at = [](int64_t level) { return size_t(std::clamp<int64_t>(level >> 20, 0, 1023)); };
    const int stage = v.volume.stage;
    if (stage <= ENV_HOLD) return t.attackVolume[at(v.volume.level)];
    if (stage == ENV_DECAY) return table[at(v.volume.level)];
    return table[at((int64_t(v.volume.level) * v.releaseScale) >> 16)] * v.releaseFactor;
}

bool VoiceShaper::nextVolumeStage(Voice& v) {
    const SampleRegion& r = *v.region;
    EnvelopeState& e = v.volume;
    const ChannelState& ch = channels_.channel(v.channel);
    for (;;) {
        ++e.stage;
        if (e.stage >= kEnvelopeStages) return false;
        const size_t s = size_t(e.stage);
        e.target = r.volEnvTarget[s];
        double rate = r.volEnvRate[s];
        if (rate < kEnvelopeInstantRate) rate *= v.volumeRateScale[std::min<size_t>(s, 3)];
        if (e.level == e.target || (e.stage >= ENV_RELEASE1 && e.target > e.level)) continue;
        if (!v.drum && r.volEnvKeyScale[s] != 0)
            rate *= std::exp2((v.note - 60) * r.volEnvKeyScale[s] / 1200.0);
        // A melodic channel's attack, decay and release controllers reach its notes; a drum
        // kit's keys keep their own rates whatever the channel's controllers say, changed only
        // by the offsets the song gives each key.
        const int group = e.stage <= ENV_HOLD    ? ENV_ATTACK
                          : e.stage == ENV_DECAY ? ENV_DECAY
                                                 : ENV_RELEASE1;
        const int32_t override = v.drum ? ch.drumNotes[v.note].envelopeRateOverride[s]
                                        : ch.envelopeRateOverride[size_t(group)];
        if (override >= 0) {
            const SynthCurves& curves = synthCurves();
            const auto& table = e.target > e.level       ? curves.envelopeRise
                                : e.stage < ENV_RELEASE1 ? curves.envelopeFall
                                                         : curves.envelopeRelease;
            rate *= table[size_t(override & 0x7F)];
        }
        if (e.stage >= ENV_RELEASE1) {
            // The release continues from the level heard now, whatever curve brought it there.
            v.releaseFactor = v.envelopeFactor;
            v.releaseScale =
                e.level > 0 ? (int64_t(kEnvelopeFullLevel) << 16) / e.level : (1 << 16);
        }
        if (rate > kEnvelopeMaxRate && e.stage <= ENV_HOLD) {
            e.level = e.target;
            v.envelopeFactor = envelopeFactor(v);
            continue;
        }
        const int32_t step =
            static_cast<int32_t>(std::clamp(rate, 1.0, double(kEnvelopeInstantRate)));
        e.increment = e.target > e.level ? step : -step;
        return true;
    }
}

bool VoiceShaper::advanceVolume(Voice& v) {
    EnvelopeState& e = v.volume;
    if (e.stage >= kEnvelopeStages) return false;
    if (e.stage == ENV_RELEASE1 && v.status == kVoiceOn) return true;  // the sustain
    if (e.stage == ENV_RELEASE1 && v.status == kVoiceSustained) {
        // A note held by the pedal fades by a share of its level each period, over the
        // instrument's sustain time or the default one, but never faster than its own
        // release would: pedalled passages do not pile up voices that are no longer heard.
        const int seconds = channels_.channel(v.channel).sustainDecaySeconds;
        const int64_t periodsPerSecond =
            settings_.outputRateHz / std::max(1, settings_.controlRatio);
        int64_t width = seconds > 0 ? seconds * periodsPerSecond
                                    : kDefaultMinimumSustainMs * periodsPerSecond / 1000;
        const int32_t releaseRate = v.region->volEnvRate[ENV_RELEASE1];
        if (releaseRate > 0) width = std::max<int64_t>(width, kEnvelopeFullLevel / releaseRate);
        width = std::max<int64_t>(1, width);
        e.level -= static_cast<int32_t>(std::max<int64_t>(1, e.level / width));
    } else {
        e.level += e.increment;
        const bool reached = e.increment > 0 ? e.level >= e.target : e.level <= e.target;
        if (reached) {
            e.level = e.target;
            v.envelopeFactor = envelopeFactor(v);
            if (!nextVolumeStage(v)) return false;
        }
    }
    return !(e.stage >= ENV_RELEASE1 && e.level <= 0);
}

void VoiceShaper::nextModulationStage(Voice& v) {
    const SampleRegion& r = *v.region;
    EnvelopeState& e = v.modulation;
    for (;;) {
        ++e.stage;
        if (e.stage >= kEnvelopeStages) return;
        const size_t s = size_t(e.stage);
        e.target = r.modEnvTarget[s];
        double rate = r.modEnvRate[s];
        if (rate < kEnvelopeInstantRate) rate *= v.modulationRateScale[std::min<size_t>(s, 3)];
        if (e.level == e.target || (e.stage >= ENV_RELEASE1 && e.target > e.level)) continue;
        if (!v.drum && r.modEnvKeyScale[s] != 0)
            rate *= std::exp2((v.note - 60) * r.modEnvKeyScale[s] / 1200.0);
        if (rate > kEnvelopeMaxRate && e.stage <= ENV_HOLD) {
            e.level = e.target;
            continue;
        }
        const int32_t step =
            static_cast<int32_t>(std::clamp(rate, 1.0, double(kEnvelopeInstantRate)));
        e.increment = e.target > e.level ? step : -step;
        return;
    }
}

void VoiceShaper::advanceModulation(Voice& v) {
    EnvelopeState& e = v.modulation;
    if (v.modulationDelay > 0) {
        v.modulationDelay -= settings_.controlRatio;
        return;
    }
    if (e.stage < 0) {
        if (v.region->modeFlags & kRegionEnvelope) nextModulationStage(v);
        return;
    }
    if (e.stage >= kEnvelopeStages) return;
    if (e.stage == ENV_RELEASE1 && (v.status == kVoiceOn || v.status == kVoiceSustained)) return;
    e.level += e.increment;
    const bool reached = e.increment > 0 ? e.level >= e.target : e.level <= e.target;
    if (reached) {
        e.level = e.target;
        nextModulationStage(v);
    }
}

void VoiceShaper::setMixTargets(Voice& v) {
    const double scale = v.tremoloFactor * v.channelLfoLevel * v.envelopeFactor * 4096.0;
    v.leftTarget = static_cast<int32_t>(std::clamp(v.leftAmplitude * scale, 0.0, double(kMaxMix)));
    v.rightTarget =
        static_cast<int32_t>(std::clamp(v.rightAmplitude * scale, 0.0, double(kMaxMix)));
    // The envelope moves once a control period, so an attack quicker than that would be the
    // half-millisecond ramp alone: a click on every percussive note. A sounding voice still
    // silent rises over the whole period instead, as a millisecond's attack should.
    const bool onset = v.leftMix == 0 && v.rightMix == 0 && v.status == kVoiceOn;
    const int32_t frames = onset ? onsetFrames_ : rampFrames_;
    const uint64_t reciprocal = onset ? onsetReciprocal_ : rampReciprocal_;
    v.leftStep = rampStep(v.leftMix, v.leftTarget, frames, reciprocal);
    v.rightStep = rampStep(v.rightMix, v.rightTarget, frames, reciprocal);
}

void VoiceShaper::wait(Voice& v, int frames) {
    if (v.tremoloDelay > 0) v.tremoloDelay -= frames;
    if (v.modulationDelay > 0) v.modulationDelay -= frames;
}

void VoiceShaper::updateTremolo(Voice& v) {
    if (v.tremoloDelay > 0) {
        v.tremoloDelay -= settings_.controlRatio;
        v.tremoloFactor = 1.0;
        return;
    }
    int64_t depth = int64_t(v.tremoloDepth) * 128;
    if (v.tremoloSweepStep > 0 && v.tremoloSweepPosition < kSweepEnd) {
        v.tremoloSweepPosition = std::min(kSweepEnd, v.tremoloSweepPosition + v.tremoloSweepStep);
        depth = depth * v.tremoloSweepPosition >> 16;
    }
    // The region's phase step gives 31250 phase units per cycle (it is frequency in mHz / 32
    // per control period of a millisecond), which the 1024 steps of the sine divide.
    v.tremoloPhase = (v.tremoloPhase + v.tremoloPhaseStep) % kTremoloCycle;
    const double sine =
        lfoSine(interpolationTables(),
                static_cast<int>(int64_t(v.tremoloPhase) * kLfoSineSteps / kTremoloCycle));
    // Full depth (256) swings the level a quarter up and down around the note's own.
    v.tremoloFactor = 1.0 + sine * static_cast<double>(depth) / 131072.0;
}

void VoiceShaper::setChannelLfos(Voice& v, const ChannelModulation& m, double lfo1Hz) const {
    const double lfo2Hz = kDefaultVibratoMilliHz / 1000.0 + m.lfo2RateHz;
    const double perPeriod = double(settings_.controlRatio) / settings_.outputRateHz;
    auto stepFor = [&](double hz) {
        const double bounded = std::isfinite(hz) ? std::clamp(hz, 0.1, 100.0) : 0.1;
        return static_cast<uint32_t>(std::min(bounded * perPeriod, 0.5) * 4294967296.0);
    };
    ChannelLfo& lfo1 = v.channelLfos[0];
    ChannelLfo& lfo2 = v.channelLfos[1];
    lfo1.step = stepFor(lfo1Hz);
    lfo1.filterCents = m.lfo1FilterCents;
    lfo1.level = std::clamp(m.lfo1Amplitude, 0.0, 1.0);
    lfo2.step = stepFor(lfo2Hz);
    lfo2.pitchCents = m.lfo2PitchCents;
    lfo2.filterCents = m.lfo2FilterCents;
    lfo2.level = std::clamp(m.lfo2Amplitude, 0.0, 1.0);
    v.channelLfosMove = false;
    for (const ChannelLfo& l : v.channelLfos)
        v.channelLfosMove |= l.pitchCents != 0.0 || l.filterCents != 0.0 || l.level != 0.0;
    if (!v.channelLfosMove) {
        v.channelLfoPitchCents = v.channelLfoCutoffCents = 0.0;
        v.channelLfoLevel = 1.0;
    }
}

bool VoiceShaper::updateChannelLfos(Voice& v) {
    double pitch = 0.0, cutoff = 0.0, level = 1.0;
    for (ChannelLfo& l : v.channelLfos) {
        l.phase += l.step;
        const double sine = lfoSine(interpolationTables(), static_cast<int>(l.phase >> 22));
        pitch += sine * l.pitchCents;
        cutoff += sine * l.filterCents;
        // Down from the note's own level, never above it: at full depth the trough is silent.
        level *= 1.0 - l.level * (1.0 - sine) / 2.0;
    }
    v.channelLfoLevel = level;
    if (cutoff != v.channelLfoCutoffCents) {
        v.channelLfoCutoffCents = cutoff;
        recomputeFilter(v);
    }
    if (pitch != v.channelLfoPitchCents) {
        v.channelLfoPitchCents = pitch;
        recomputeFrequency(v);
        if (!v.inUse()) return false;
    }
    return true;
}

bool VoiceShaper::controlUpdate(Voice& v) {
    const SampleRegion& r = *v.region;
    if ((r.modeFlags & kRegionEnvelope) && !advanceVolume(v)) return false;
    if (v.modEnvToPitch != 0 || v.modEnvToCutoff != 0) {
        const int32_t before = v.modulation.level;
        advanceModulation(v);
        if (v.modulation.level != before) {
            if (v.modEnvToPitch != 0) {
                recomputeFrequency(v);
                if (!v.inUse()) return false;
            }
            if (v.modEnvToCutoff != 0) recomputeFilter(v);
        }
    }
    if (v.tremoloDepth != 0) updateTremolo(v);
    if (v.channelLfosMove && !updateChannelLfos(v)) return false;
    v.envelopeFactor = envelopeFactor(v);
    setMixTargets(v);
    const bool released = v.status == kVoiceOff || v.status == kVoiceSustained;
    return !(released && v.leftTarget <= 0 && v.rightTarget <= 0 && v.leftMix <= 0 &&
             v.rightMix <= 0);
}

}  // namespace svt
