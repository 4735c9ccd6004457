// The mixing half of the synthesizer: per control period every voice's envelopes and
// tremolo advance and its mix values are recomputed; in between, each frame adds the
// voice's resampled (and filtered) value times its mix into the block. Mix changes are
// spread over half a millisecond so that nothing clicks.

#include <algorithm>
#include <cmath>
#include <limits>

#include "instruments/Tables.h"
#include "player/Interpolation.h"
#include "player/SynthCurves.h"
#include "player/Synthesizer.h"

namespace svt {

namespace {

constexpr int32_t kTremoloCycle = 31250;

int32_t rampStep(int32_t from, int32_t to, int32_t frames) {
    const int32_t d = to - from;
    if (d == 0) return 0;
    if (std::abs(d) > frames) return d / frames;
    return d > 0 ? 1 : -1;
}

// Moves `mix` one step towards `target`, never past it.
inline void stepMix(int32_t& mix, int32_t target, int32_t step) {
    mix += step;
    if ((step > 0 && mix > target) || (step < 0 && mix < target)) mix = target;
}

// The calls of stepMix that take `mix` to `target` (a step away from it lands there at once);
// none when it never gets there.
int64_t stepsToTarget(int32_t mix, int32_t target, int32_t step) {
    if (mix == target) return 0;
    if (step == 0) return std::numeric_limits<int64_t>::max();
    if ((step > 0) != (target > mix)) return 1;
    const int64_t distance = std::abs(int64_t(target) - mix), size = std::abs(int64_t(step));
    return (distance + size - 1) / size;
}

// Where `frames` frames of the mix ramp leave both sides: the ramp steps both until both have
// arrived, as the mixing loops do frame by frame.
void advanceRamps(Voice& v, int frames) {
    const int64_t left = stepsToTarget(v.leftMix, v.leftTarget, v.leftStep);
    const int64_t right = stepsToTarget(v.rightMix, v.rightTarget, v.rightStep);
    const int64_t steps = std::min<int64_t>(frames, std::max(left, right));
    v.leftMix = left <= steps ? v.leftTarget : static_cast<int32_t>(v.leftMix + steps * v.leftStep);
    v.rightMix =
        right <= steps ? v.rightTarget : static_cast<int32_t>(v.rightMix + steps * v.rightStep);
}

}  // namespace

double Synthesizer::envelopeFactor(const Voice& v) const {
    const SampleRegion* r = v.region;
    if (r == nullptr || !(r->modeFlags & kRegionEnvelope)) return 1.0;
    const SynthTables& t = synthTables();
    const auto& table = r->regionKind == kRegionKindSoundFont ? t.soundFontVolume
                        : (systemMode_ == SYSTEM_GS_RESET || systemMode_ == SYSTEM_XG_ON)
                            ? t.defaultVolumeGsXg
                            : t.defaultVolumeGm;
    auto at = [](int64_t level) { return size_t(std::clamp<int64_t>(level >> 20, 0, 1023)); };
    const int stage = v.volume.stage;
    if (stage <= ENV_HOLD) return t.attackVolume[at(v.volume.level)];
    if (stage == ENV_DECAY) return table[at(v.volume.level)];
    return table[at((int64_t(v.volume.level) * v.releaseScale) >> 16)] * v.releaseFactor;
}

bool Synthesizer::nextVolumeStage(Voice& v) {
    const SampleRegion& r = *v.region;
    EnvelopeState& e = v.volume;
    const ChannelState& ch = channels_[v.channel];
    for (;;) {
        ++e.stage;
        if (e.stage >= kEnvelopeStages) return false;
        const size_t s = size_t(e.stage);
        e.target = r.volEnvTarget[s];
        double rate = r.volEnvRate[s];
        if (e.level == e.target || (e.stage >= ENV_RELEASE1 && e.target > e.level)) continue;
        if (!v.drum && r.volEnvKeyScale[s] != 0)
            rate *= std::exp2((v.note - 60) * r.volEnvKeyScale[s] / 1200.0);
        const int group = e.stage <= ENV_HOLD    ? ENV_ATTACK
                          : e.stage == ENV_DECAY ? ENV_DECAY
                                                 : ENV_RELEASE1;
        const int32_t override = ch.envelopeRateOverride[size_t(group)];
        if (override >= 0) rate *= synthCurves().envelopeTime[size_t(override & 0x7F)];
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

bool Synthesizer::advanceVolume(Voice& v) {
    EnvelopeState& e = v.volume;
    if (e.stage >= kEnvelopeStages) return false;
    if (e.stage == ENV_RELEASE1 && v.status == kVoiceOn) return true;  // the sustain
    if (e.stage == ENV_RELEASE1 && v.status == kVoiceSustained) {
        // A note held by the pedal sounds on like a held key unless the instrument asks it
        // to fade over a number of seconds.
        const int seconds = channels_[v.channel].sustainDecaySeconds;
        if (seconds <= 0) return true;
        const int64_t width = std::max<int64_t>(
            1, int64_t(seconds) * settings_.outputRateHz / settings_.controlRatio);
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

void Synthesizer::nextModulationStage(Voice& v) {
    const SampleRegion& r = *v.region;
    EnvelopeState& e = v.modulation;
    for (;;) {
        ++e.stage;
        if (e.stage >= kEnvelopeStages) return;
        const size_t s = size_t(e.stage);
        e.target = r.modEnvTarget[s];
        double rate = r.modEnvRate[s];
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

void Synthesizer::advanceModulation(Voice& v) {
    EnvelopeState& e = v.modulation;
    if (e.stage < 0 || e.stage >= kEnvelopeStages) return;
    if (e.stage == ENV_RELEASE1 && (v.status == kVoiceOn || v.status == kVoiceSustained)) return;
    e.level += e.increment;
    const bool reached = e.increment > 0 ? e.level >= e.target : e.level <= e.target;
    if (reached) {
        e.level = e.target;
        nextModulationStage(v);
    }
}

void Synthesizer::setMixTargets(Voice& v) {
    const double scale = v.tremoloFactor * v.envelopeFactor * 4096.0;
    v.leftTarget = static_cast<int32_t>(std::clamp(v.leftAmplitude * scale, 0.0, double(kMaxMix)));
    v.rightTarget =
        static_cast<int32_t>(std::clamp(v.rightAmplitude * scale, 0.0, double(kMaxMix)));
    v.leftStep = rampStep(v.leftMix, v.leftTarget, rampFrames_);
    v.rightStep = rampStep(v.rightMix, v.rightTarget, rampFrames_);
}

bool Synthesizer::controlUpdate(Voice& v) {
    const SampleRegion& r = *v.region;
    if ((r.modeFlags & kRegionEnvelope) && !advanceVolume(v)) return false;
    if (r.modEnvToPitch != 0 || r.modEnvToCutoff != 0) {
        const int32_t before = v.modulation.level;
        advanceModulation(v);
        if (v.modulation.level != before) {
            if (r.modEnvToPitch != 0) {
                recomputeFrequency(v);
                if (!v.inUse()) return false;
            }
            if (r.modEnvToCutoff != 0) recomputeFilter(v);
        }
    }
    if (v.tremoloDepth != 0) {
        if (v.tremoloDelay > 0) {
            v.tremoloDelay -= settings_.controlRatio;
            v.tremoloFactor = 1.0;
        } else {
            // The region's phase step gives 31250 phase units per cycle (it is frequency in
            // mHz / 32 per control period of a millisecond).
            v.tremoloPhase = (v.tremoloPhase + v.tremoloPhaseStep) % kTremoloCycle;
            const double sine =
                lfoSine(interpolationTables(),
                        static_cast<int>(int64_t(v.tremoloPhase) * kLfoSineSteps / kTremoloCycle));
            // Depth 256 takes the level all the way down at the bottom of the swing; the top
            // of the swing is the note's own level, so a deep tremolo cannot clip.
            const double depth = std::min(1.0, std::abs(v.tremoloDepth) / 256.0);
            const double swing = v.tremoloDepth < 0 ? -sine : sine;
            v.tremoloFactor = 1.0 - depth * (1.0 - swing) / 2.0;
        }
    }
    v.envelopeFactor = envelopeFactor(v);
    setMixTargets(v);
    const bool released = v.status == kVoiceOff || v.status == kVoiceSustained;
    return !(released && v.leftTarget <= 0 && v.rightTarget <= 0 && v.leftMix <= 0 &&
             v.rightMix <= 0);
}

namespace {

// Frames k..count-1 at a constant mix, through the voice's filter on the way.
template <MixSides kSides>
void mixFiltered(VoiceFilter& f, const int32_t* s, int k, int count, int64_t left, int64_t right,
                 int64_t* out) {
    VoiceFilter local = f;  // in registers for the loop
    for (; k < count; ++k) {
        const int64_t x = local.step(s[k]);
        addFrame<kSides>(out, k, x, left, right);
    }
    f.s1 = local.s1;
    f.s2 = local.s2;
}

}  // namespace

template <bool kFiltered>
void Synthesizer::mixChunk(Voice& v, const int32_t* s, int count, int64_t* out) {
    // The filter runs in the same loop as the mix: its step is one long chain of dependent
    // products, and the mix's work fills the time the processor would otherwise wait.
    VoiceFilter& f = v.filter;
    auto in = [&](int k) { return kFiltered ? f.step(s[k]) : s[k]; };
    int k = 0;
    for (; k < count && (v.leftMix != v.leftTarget || v.rightMix != v.rightTarget); ++k) {
        stepMix(v.leftMix, v.leftTarget, v.leftStep);
        stepMix(v.rightMix, v.rightTarget, v.rightStep);
        const int64_t x = in(k);
        out[2 * k] += x * v.leftMix;
        out[2 * k + 1] += x * v.rightMix;
    }
    const int64_t left = v.leftMix, right = v.rightMix;
    if (left == 0 && right == 0) {
        // Silent for now, but the filter keeps its state moving with the input.
        if (kFiltered)
            for (; k < count; ++k) f.step(s[k]);
        return;
    }
    if constexpr (!kFiltered) {
        kernels_.mixConstant(s + k, count - k, v.leftMix, v.rightMix, out + 2 * k);
    } else if (right == 0) {
        mixFiltered<kLeftOnly>(f, s, k, count, left, right, out);
    } else if (left == 0) {
        mixFiltered<kRightOnly>(f, s, k, count, left, right, out);
    } else if (left == right) {
        mixFiltered<kCentre>(f, s, k, count, left, right, out);
    } else {
        mixFiltered<kBothSides>(f, s, k, count, left, right, out);
    }
}

// Frames resampled ahead for the whole stretch: samples[k] is frame `from` + k; `ended` when
// the data ran out within them.
struct Synthesizer::AheadRun {
    const int32_t* samples;
    int from;
    int count;
    bool ended;
};

namespace {

// A recorded chunk mixed as mixChunk<false> mixes it: the ramp, then the constant mix.
void mixRecorded(const MixChunk& c, const int32_t* s, int64_t* out, MixConstantFn mixConstant) {
    int32_t left = c.left, right = c.right;
    int k = 0;
    for (; k < c.count && (left != c.leftTarget || right != c.rightTarget); ++k) {
        stepMix(left, c.leftTarget, c.leftStep);
        stepMix(right, c.rightTarget, c.rightStep);
        const int64_t x = s[k];
        out[2 * k] += x * left;
        out[2 * k + 1] += x * right;
    }
    if (left == 0 && right == 0) return;
    mixConstant(s + k, c.count - k, left, right, out + 2 * k);
}

bool sameCoefficients(const FilterSegment& g, const VoiceFilter& f) {
    return g.active == f.active && g.s1Gain == f.s1Gain && g.s1FromIn == f.s1FromIn &&
           g.s2FromS1 == f.s2FromS1 && g.s2FromIn == f.s2FromIn;
}

}  // namespace

void Synthesizer::mixVoice(Voice& v, int frames) {
    if (v.status == kVoiceDying) {
        mixFrom(v, frames, 0, nullptr);
        return;
    }
    int offset = 0;
    if (v.delay > 0) {
        if (v.delay >= frames) {
            v.delay -= frames;
            return;
        }
        offset = v.delay;
        v.delay = 0;
    }
    if (v.region == nullptr || v.region->modEnvToPitch != 0 || offset >= frames) {
        mixFrom(v, frames, offset, nullptr);
        return;
    }
    // Nothing a control update does changes this voice's increment, so the whole stretch is
    // resampled in one call (a run per loop pass instead of per period). A filtered voice then
    // waits for its filter to run beside the filters of other voices.
    const bool batched = v.filter.active;
    int32_t* samples =
        batched ? pendingSamples_.data() + size_t(pendingVoices_) * Resampler::kCapacityFrames
                : samples_.data();
    v.resample.status = v.status;
    const int count =
        resampler_.render(v.resample, v.view, std::span<int32_t>(samples, size_t(frames - offset)));
    const bool ended = count < frames - offset || v.resample.timeout == 1;
    const AheadRun ahead{samples, offset, count, ended};
    if (batched) {
        PendingVoice& p = pending_[size_t(pendingVoices_++)];
        p = {&v, target_, offset, count, v.filter, 0, 0};
        mixFrom(v, frames, offset, &ahead, &p);
        if (!v.inUse()) p.voice = nullptr;
        if (pendingVoices_ == kFilterLanes) flushFilterBatch();
        return;
    }
    mixFrom(v, frames, offset, &ahead);
}

void Synthesizer::flushFilterBatch() {
    const int n = pendingVoices_;
    if (n == 0) return;
    pendingVoices_ = 0;
    std::array<FilterRun, kFilterLanes> runs;
    for (int j = 0; j < n; ++j) {
        PendingVoice& p = pending_[size_t(j)];
        runs[size_t(j)] = {
            &p.filter, pendingSamples_.data() + size_t(j) * Resampler::kCapacityFrames,
            p.chunks > 0 ? p.count : 0,
            pendingSegments_.data() + size_t(j) * size_t(pendingRecords_), p.segments};
    }
    kernels_.filterRuns(runs.data(), n);
    for (int j = 0; j < n; ++j) {
        const PendingVoice& p = pending_[size_t(j)];
        if (p.voice) {
            p.voice->filter.s1 = p.filter.s1;
            p.voice->filter.s2 = p.filter.s2;
        }
        const MixChunk* chunk = pendingChunks_.data() + size_t(j) * size_t(pendingRecords_);
        for (int c = 0; c < p.chunks; ++c)
            mixRecorded(chunk[c], runs[size_t(j)].samples + (chunk[c].offset - p.from),
                        p.target + 2 * chunk[c].offset, kernels_.mixConstant);
    }
}

void Synthesizer::mixFrom(Voice& v, int frames, int offset, const AheadRun* ahead,
                          PendingVoice* pending) {
    // A pending voice only notes down what each chunk mixes and how its filter is set, and
    // moves its mix values on as the mix would.
    const size_t lane = pending ? size_t(pending - pending_.data()) : 0;
    auto record = [&](int got) {
        MixChunk* chunks = pendingChunks_.data() + lane * size_t(pendingRecords_);
        FilterSegment* segments = pendingSegments_.data() + lane * size_t(pendingRecords_);
        const VoiceFilter& f = v.filter;
        if (pending->segments == 0 || !sameCoefficients(segments[pending->segments - 1], f)) {
            const bool restart =
                pending->segments > 0 && !segments[pending->segments - 1].active && f.active;
            segments[pending->segments++] = {offset - ahead->from, f.active,   restart,   f.s1Gain,
                                             f.s1FromIn,           f.s2FromS1, f.s2FromIn};
        }
        chunks[pending->chunks++] = {offset,       got,           v.leftMix,  v.rightMix,
                                     v.leftTarget, v.rightTarget, v.leftStep, v.rightStep};
        advanceRamps(v, got);
    };
    auto produce = [&](int count) {
        const int32_t* s = samples_.data();
        int got;
        if (ahead) {
            s = ahead->samples + (offset - ahead->from);
            got = std::min(count, ahead->from + ahead->count - offset);
        } else {
            v.resample.status = v.status;
            got = resampler_.render(v.resample, v.view,
                                    std::span<int32_t>(samples_.data(), size_t(count)));
        }
        if (pending)
            record(got);
        else if (v.filter.active)
            mixChunk<true>(v, s, got, target_ + 2 * offset);
        else
            mixChunk<false>(v, s, got, target_ + 2 * offset);
        offset += got;
        if (ahead) return !(ahead->ended && offset >= ahead->from + ahead->count);
        return got == count && v.resample.timeout != 1;
    };

    auto fadeOut = [&](int n) {
        n = std::min(n, kDyingFrames);
        if (n <= 0 || (v.leftMix <= 0 && v.rightMix <= 0)) return;
        v.leftTarget = v.rightTarget = 0;
        v.leftStep = -std::max(1, v.leftMix / n);
        v.rightStep = -std::max(1, v.rightMix / n);
        produce(n);
    };
    if (v.status == kVoiceDying) {
        fadeOut(frames);
        freeVoice(v);
        return;
    }
    while (offset < frames) {
        if (v.controlCounter <= 0) {
            if (!controlUpdate(v)) {
                // An envelope that has ended may still leave a level to ramp down from.
                fadeOut(frames - offset);
                freeVoice(v);
                return;
            }
            v.controlCounter = settings_.controlRatio;
        }
        const int chunk = std::min(frames - offset, v.controlCounter);
        v.controlCounter -= chunk;
        if (!produce(chunk)) {
            freeVoice(v);
            return;
        }
    }
}

void Synthesizer::render(int32_t* out, int frames) {
    frames = std::clamp(frames, 0, kBlockFrames);
    const double dry = dryLevel();
    if (controls_.amplification != appliedAmplification_ || dry != appliedDryLevel_) {
        appliedAmplification_ = controls_.amplification;
        appliedDryLevel_ = dry;
        for (int i = 0; i < upperBound_; ++i)
            if (voices_[size_t(i)].inUse()) recomputeAmplitude(voices_[size_t(i)]);
    }
    std::fill_n(mix_.begin(), 2 * frames, int64_t{0});
    const bool effects = routeChannels(frames);
    for (int i = 0; i < upperBound_; ++i) {
        Voice& v = voices_[size_t(i)];
        if (!v.inUse()) continue;
        if (controls_.channelMuteMask & (1u << v.channel)) cutVoice(v);
        target_ = (drumKeysRouted_ >> (v.channel & 15)) & 1u ? drumKeyTarget(v)
                                                             : destination_[v.channel & 15];
        mixVoice(v, frames);
    }
    for (Voice& v : fades_) {
        if (!v.inUse()) continue;
        target_ = (drumKeysRouted_ >> (v.channel & 15)) & 1u ? drumKeyTarget(v)
                                                             : destination_[v.channel & 15];
        mixVoice(v, frames);
    }
    flushFilterBatch();
    target_ = mix_.data();
    lowerUpperBound();
    if (effects) sendEffects(frames);
    renderedFrames_ += frames;
    // Peaks above full scale are left to the output's limiter; only what 32 bits cannot hold
    // (thousands of loud voices at full amplification) is clamped here.
    for (int i = 0; i < 2 * frames; ++i)
        out[i] = static_cast<int32_t>(std::clamp<int64_t>(mix_[size_t(i)], -kMixLimit, kMixLimit));
}

}  // namespace svt
