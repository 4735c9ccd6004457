#include "synth/VoiceMixer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace svt {

namespace {

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
    // Mixes and steps lie within 0..kMaxMix: a 32-bit division, the cheaper kind.
    const uint32_t distance = uint32_t(std::abs(target - mix)), size = uint32_t(std::abs(step));
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

VoiceMixer::VoiceMixer(const EngineSettings& settings, VoiceShaper& shaper)
    : settings_(settings),
      shaper_(shaper),
      resampler_(settings.simd),
      pendingRecords_(kBlockFrames / std::max(1, settings.controlRatio) + 4),
      pendingChunks_(size_t(kFilterLanes * pendingRecords_)),
      pendingSegments_(size_t(kFilterLanes * pendingRecords_)) {}

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
void VoiceMixer::mixChunk(Voice& v, const int32_t* s, int count, int64_t* out) {
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
struct VoiceMixer::AheadRun {
    int32_t* samples;
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

// The voice's filter over `count` samples, in place: the ladder, or the two-pole filter of a
// voice that mixes by a way of its own.
void filterInPlace(VoiceFilter& f, int32_t* s, int count) {
    if (f.ladder) {
        for (int k = 0; k < count; ++k) s[k] = f.stepLadder(s[k]);
        return;
    }
    VoiceFilter local = f;
    for (int k = 0; k < count; ++k) s[k] = local.step(s[k]);
    f.s1 = local.s1;
    f.s2 = local.s2;
}

// A two-sided voice whose far side lags: the near side hears each value at once, the far one
// reads it from the ring `panDelayFrames` frames later.
void mixPanDelayed(Voice& v, const int32_t* s, int count, int64_t* out) {
    const int lag = v.panDelayFrames;
    int at = v.panDelayAt;
    for (int k = 0; k < count; ++k) {
        stepMix(v.leftMix, v.leftTarget, v.leftStep);
        stepMix(v.rightMix, v.rightTarget, v.rightStep);
        const int64_t near = s[k];
        const int64_t far = v.panDelayLine[size_t((at + kPanDelayFrames - lag) % kPanDelayFrames)];
        v.panDelayLine[size_t(at)] = s[k];
        at = (at + 1) % kPanDelayFrames;
        out[2 * k] += (v.panDelayLeft ? far : near) * v.leftMix;
        out[2 * k + 1] += (v.panDelayLeft ? near : far) * v.rightMix;
    }
    v.panDelayAt = static_cast<uint8_t>(at);
}

bool sameCoefficients(const FilterSegment& g, const VoiceFilter& f) {
    return g.active == f.active && g.s1Gain == f.s1Gain && g.s1FromIn == f.s1FromIn &&
           g.s2FromS1 == f.s2FromS1 && g.s2FromIn == f.s2FromIn;
}

}  // namespace

void VoiceMixer::mix(Voice& v, StereoView<int64_t> block) {
    const int frames = block.frames();
    int64_t* const target = block.data();
    if (v.status == kVoiceDying) {
        mixFrom(v, frames, 0, target, nullptr);
        return;
    }
    int offset = 0;
    if (v.delay > 0) {
        if (v.delay >= frames) {
            v.delay -= frames;
            shaper_.wait(v, frames);
            return;
        }
        offset = v.delay;
        shaper_.wait(v, offset);
        v.delay = 0;
    }
    if (v.region == nullptr || v.region->modEnvToPitch != 0 || offset >= frames) {
        mixFrom(v, frames, offset, target, nullptr);
        return;
    }
    // Nothing a control update does changes this voice's increment, so the whole stretch is
    // resampled in one call (a run per loop pass instead of per period). A filtered voice then
    // waits for its filter to run beside the filters of other voices.
    const bool batched = v.filter.active && !v.filter.ladder && v.panDelayFrames == 0;
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
        p = {&v, target, offset, count, v.filter, 0, 0};
        mixFrom(v, frames, offset, target, &ahead, &p);
        if (!v.inUse()) p.voice = nullptr;
        if (pendingVoices_ == kFilterLanes) flush();
        return;
    }
    mixFrom(v, frames, offset, target, &ahead);
}

void VoiceMixer::flush() {
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

void VoiceMixer::mixFrom(Voice& v, int frames, int offset, int64_t* target, const AheadRun* ahead,
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
        int32_t* s = samples_.data();
        int got;
        if (ahead) {
            s = ahead->samples + (offset - ahead->from);
            got = std::min(count, ahead->from + ahead->count - offset);
        } else {
            v.resample.status = v.status;
            got = resampler_.render(v.resample, v.view,
                                    std::span<int32_t>(samples_.data(), size_t(count)));
        }
        if (pending) {
            record(got);
        } else if (v.filter.active && !v.filter.ladder && v.panDelayFrames == 0) {
            mixChunk<true>(v, s, got, target + 2 * offset);
        } else {
            if (v.filter.active) filterInPlace(v.filter, s, got);
            if (v.panDelayFrames > 0)
                mixPanDelayed(v, s, got, target + 2 * offset);
            else
                mixChunk<false>(v, s, got, target + 2 * offset);
        }
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
        v = Voice{};
        return;
    }
    while (offset < frames) {
        if (v.controlCounter <= 0) {
            if (!shaper_.controlUpdate(v)) {
                // An envelope that has ended may still leave a level to ramp down from.
                fadeOut(frames - offset);
                freeAndTell(listener_, v);
                return;
            }
            v.controlCounter = settings_.controlRatio;
        }
        const int chunk = std::min(frames - offset, v.controlCounter);
        v.controlCounter -= chunk;
        if (!produce(chunk)) {
            freeAndTell(listener_, v);  // its sample has ended
            return;
        }
    }
}

}  // namespace svt
