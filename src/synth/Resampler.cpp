#include "synth/Resampler.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace svt {

// The region's numbers as one call uses them: loop end limited to the data end.
struct Resampler::Data {
    const int16_t* pcm;
    int64_t end;      // endPos
    int64_t samples;  // endPos >> 12, the data end of the Newton edges
    int64_t loopStart;
    int64_t loopEnd;
};

namespace {

int64_t magnitude(int32_t increment) {
    return increment < 0 ? -int64_t(increment) : increment;
}

// Frames k = 0..n-1 whose position p + k*a (a > 0) lies below `limit`.
int countBelow(int64_t p, int64_t a, int64_t limit, int n) {
    if (p >= limit) return 0;
    return int(std::min<int64_t>(n, (limit - p + a - 1) / a));
}

// Frames k = 0..n-1 whose position p - k*step (step > 0) stays at or above `limit`.
int countAtOrAbove(int64_t p, int64_t step, int64_t limit, int n) {
    if (p < limit) return 0;
    return int(std::min<int64_t>(n, (p - limit) / step + 1));
}

// Cache slot of a vibrato phase: the phases p and 31 - p (and 32 + p and 95 - p) have the same
// sine when it is taken at the middle of the phase, so they share a slot.
int vibratoSlot(int phase) {
    if (phase < 16) return 15 - phase;
    if (phase >= 48) return 79 - phase;
    return phase - 16;
}

}  // namespace

LoopMode loopModeFor(const SampleView& view, uint8_t status) {
    if (!(view.modeFlags & kModeLooping)) return LoopMode::None;
    int64_t loopEnd = std::min(view.loopEndPos, view.endPos);
    if (view.loopStartPos < 0 || view.loopStartPos >= loopEnd) return LoopMode::None;
    if (!(view.modeFlags & kModeEnvelope) && !(status & (kVoiceOn | kVoiceSustained)))
        return LoopMode::None;
    return (view.modeFlags & kModeBidirectional) ? LoopMode::Bidirectional : LoopMode::Forward;
}

int32_t sampleIncrementFor(int64_t frequencyMilliHz, int32_t sampleRateHz, int32_t rootFreqMilliHz,
                           int32_t outputRateHz) {
    if (frequencyMilliHz <= 0 || sampleRateHz <= 0 || rootFreqMilliHz <= 0 || outputRateHz <= 0)
        return 0;
    double increment =
        double(frequencyMilliHz) * sampleRateHz / (double(rootFreqMilliHz) * outputRateHz) * 4096.0;
    return int32_t(std::min(std::round(increment), double(std::numeric_limits<int32_t>::max())));
}

Resampler::Resampler(std::optional<SimdLevel> simd)
    : simd_(chosenSimdLevel(simd)),
      lagrangeRun_(lagrangeRunFor(simd_)),
      linearRun_(linearRunFor(simd_)),
      tables_(interpolationTables()),
      buffer_(kCapacityFrames),
      edges_(kEdgeEntries) {}

std::span<const int32_t> Resampler::resample(ResampleState& state, const SampleView& view,
                                             int frames) {
    int n = std::clamp(frames, 0, kCapacityFrames);
    n = render(state, view, std::span<int32_t>(buffer_.data(), size_t(n)));
    return {buffer_.data(), size_t(n)};
}

int Resampler::render(ResampleState& state, const SampleView& view, std::span<int32_t> out) {
    int count = int(std::min<size_t>(out.size(), size_t(std::numeric_limits<int>::max())));
    if (count == 0) return 0;
    if (!view.pcm || view.endPos <= 0 || state.increment == 0) {
        // Nothing to play, or an increment that can never move: the voice ends.
        state.timeout = 1;
        return 0;
    }
    Data d{view.pcm, view.endPos, view.endPos >> 12, view.loopStartPos,
           std::min(view.loopEndPos, view.endPos)};
    LoopMode mode = loopModeFor(view, state.status);
    InterpolationKind kind = kind_;
    if (reduceQuality_ && kind == InterpolationKind::SineLagrange) kind = InterpolationKind::Linear;

    int64_t p = std::max<int64_t>(state.position, 0);
    int32_t a = std::max(state.increment, -std::numeric_limits<int32_t>::max());
    VibratoState& vib = state.vibrato;
    PortamentoHook& porta = state.portamento;

    int produced = 0;
    bool ended = false;
    while (produced < count && !ended) {
        int chunk = count - produced;
        int32_t runIncrement = a;
        bool gliding = porta.controlRatio > 0 && porta.step;
        bool vibrato = !gliding && vib.controlRatio > 0;
        if (gliding) {
            if (porta.counter <= 0) {
                state.position = p;
                state.increment = a;
                porta.step(porta.context, state);
                a = std::max(state.increment, -std::numeric_limits<int32_t>::max());
                porta.counter = porta.controlRatio;
                continue;  // the glide may have arrived: look again which path applies
            }
            chunk = std::min(chunk, porta.counter);
            runIncrement = a;
        } else if (vibrato) {
            if (vib.counter <= 0) {
                vib.current = vibratoIncrement(state, true);
                vib.counter = vib.controlRatio;
            } else if (vib.current == 0) {
                vib.current = vibratoIncrement(state, false);
            }
            chunk = std::min(chunk, vib.counter);
            runIncrement = a < 0 ? -vib.current : vib.current;
        }
        int32_t used = runIncrement;
        int got = renderPlain(kind, d, mode, p, used, out.data() + produced, chunk, ended);
        if ((used < 0) != (runIncrement < 0)) a = -a;  // a bidirectional loop turned
        if (gliding) porta.counter -= got;
        if (vibrato) vib.counter -= got;
        produced += got;
        if (got == 0) break;
    }
    state.position = p;
    state.increment = a;
    if (ended) state.timeout = 1;
    return produced;
}

int32_t Resampler::vibratoIncrement(ResampleState& state, bool advance) const {
    VibratoState& v = state.vibrato;
    int64_t base = magnitude(state.increment);
    if (v.delay > 0) {
        if (advance) v.delay -= v.controlRatio;
        return int32_t(std::min<int64_t>(base, std::numeric_limits<int32_t>::max()));
    }
    if (advance) v.phase = (v.phase + 1) & 63;
    v.phase &= 63;
    int slot = vibratoSlot(v.phase);
    if (v.cache[slot] != 0) return v.cache[slot];

    int64_t depth = int64_t(std::clamp(v.depth, -32768, 32768)) * 128;
    bool sweeping = v.sweepStep > 0 && !v.modulationWheelUp;
    if (sweeping) {
        v.sweepPosition = int32_t(std::min<int64_t>(int64_t(v.sweepPosition) + v.sweepStep, 65536));
        if (v.sweepPosition >= 65536)
            v.sweepStep = 0;
        else
            depth = depth * v.sweepPosition >> 16;
    }
    // Depth 128 * 256 is 400 cents; the sine is taken at the middle of the phase.
    double cents = double(depth) * lfoSine(tables_, v.phase * 16 + 8) * (400.0 / 32768.0);
    double scaled = std::round(double(base) * std::exp2(cents / 1200.0));
    int32_t increment =
        int32_t(std::clamp(scaled, 1.0, double(std::numeric_limits<int32_t>::max())));
    // A value taken halfway through a sweep would freeze the sweep if it were kept.
    if (!sweeping || v.sweepStep == 0) v.cache[slot] = increment;
    return increment;
}

int Resampler::renderPlain(InterpolationKind kind, const Data& d, LoopMode mode, int64_t& p,
                           int32_t& a, int32_t* out, int count, bool& ended) {
    if (a == 0) {
        ended = true;
        return 0;
    }
    if (mode == LoopMode::None) {
        // A voice released while playing backwards finishes forwards.
        int64_t step = magnitude(a);
        if (p >= d.end) {
            ended = true;
            return 0;
        }
        int run = int(std::min<int64_t>(count, (d.end - p + step - 1) / step));
        interpolateRun(kind, d, p, int32_t(step), run, out);
        p += run * step;
        if (p >= d.end) ended = true;
        return run;
    }

    int64_t loopLength = d.loopEnd - d.loopStart;
    int produced = 0;
    if (mode == LoopMode::Forward) {
        int64_t step = magnitude(a);
        while (produced < count) {
            if (p >= d.loopEnd) p = d.loopStart + (p - d.loopStart) % loopLength;
            int run = int(std::min<int64_t>(count - produced, (d.loopEnd - p + step - 1) / step));
            interpolateRun(kind, d, p, int32_t(step), run, out + produced);
            p += run * step;
            produced += run;
        }
        return produced;
    }

    // Bidirectional: forward runs stop below the loop end, backward runs above the loop start;
    // a position that reaches either point is reflected at once (loop end + d becomes
    // loop end - d) and the increment changes sign.
    auto reflect = [&] {
        bool outside = a > 0 ? p >= d.loopEnd : (p <= d.loopStart || p > d.loopEnd);
        if (!outside) return;
        // Unfold the ping-pong into one forward cycle of 2 * length: the first half runs up
        // from the loop start, the second half down from the loop end. Positions many loop
        // lengths away (large increments, hostile data) land in one step.
        int64_t cycle = 2 * loopLength;
        int64_t u = a > 0 ? p - d.loopStart : (d.loopEnd - p) + loopLength;
        u %= cycle;
        if (u < 0) u += cycle;
        if (u < loopLength) {
            p = d.loopStart + u;
            a = int32_t(magnitude(a));
        } else {
            p = d.loopEnd - (u - loopLength);
            a = int32_t(-magnitude(a));
        }
    };
    reflect();
    while (produced < count) {
        int64_t step = magnitude(a);
        int64_t frames =
            a > 0 ? (d.loopEnd - p + step - 1) / step : (p - d.loopStart + step - 1) / step;
        int run = int(std::min<int64_t>(count - produced, frames));
        interpolateRun(kind, d, p, a, run, out + produced);
        p += run * int64_t(a);
        produced += run;
        reflect();
    }
    return produced;
}

int32_t Resampler::edgeFrame(const int16_t* pcm, int64_t dataSamples, int64_t position) {
    const int64_t i = position >> 12;
    const int64_t toEnd = 2 * (dataSamples - i) - 3;
    // Only the end of the data is kept: the start is passed once, when a voice begins.
    if ((position & kFractionMask) == 0 || toEnd > 2 * i + 1)
        return newtonFrame(pcm, dataSamples, position, tables_);
    const int degree = int(std::max<int64_t>(toEnd, 1));
    const int16_t* first = pcm + (i - degree / 2);
    const size_t bytes = size_t(degree + 1) * sizeof(int16_t);
    EdgeDifferences& e =
        edges_[size_t((reinterpret_cast<uintptr_t>(pcm + i) >> 1) & (kEdgeEntries - 1))];
    if (e.degree != degree || std::memcmp(e.samples, first, bytes) != 0) {
        e.degree = newtonDifferences(pcm, dataSamples, i, tables_, e.differences);
        std::memcpy(e.samples, first, bytes);
    }
    return newtonFromDifferences(e.differences, e.degree, position);
}

void Resampler::interpolateRun(InterpolationKind kind, const Data& d, int64_t p, int32_t a,
                               int count, int32_t* out) {
    if (count <= 0) return;
    const int16_t* s = d.pcm;
    if ((a == kFractionSteps || a == -kFractionSteps) && (p & kFractionMask) == 0) {
        // Whole-sample steps at whole-sample positions: every interpolator gives the stored
        // samples, so they are copied (pass-through and cached resampled copies).
        const int16_t* from = s + (p >> 12);
        if (a > 0)
            for (int k = 0; k < count; ++k) out[k] = from[k];
        else
            for (int k = 0; k < count; ++k) out[k] = from[-k];
        return;
    }
    switch (kind) {
        case InterpolationKind::None:
            for (int k = 0; k < count; ++k, p += a) out[k] = s[p >> 12];
            return;
        case InterpolationKind::Linear:
            linearRun_(s, p, a, count, out);
            return;
        case InterpolationKind::SineLagrange:
            break;
    }

    // The full kernel needs 12 samples before and 13 after the integer index inside the
    // data; the frames nearer the ends (a prefix and a suffix of the run) take the Newton form.
    const int64_t low = int64_t(kLagrangeTapsBefore) << 12;
    const int64_t high = (d.samples - kLagrangeTapsAfter) << 12;
    int start, stop;
    if (a > 0) {
        start = countBelow(p, a, low, count);
        stop = std::max(start, countBelow(p, a, high, count));
    } else {
        start = countAtOrAbove(p, -int64_t(a), high, count);
        stop = std::max(start, countAtOrAbove(p, -int64_t(a), low, count));
    }
    for (int k = 0; k < start; ++k) out[k] = edgeFrame(s, d.samples, p + int64_t(k) * a);
    if (stop > start)
        lagrangeRun_(s, p + int64_t(start) * a, a, stop - start, out + start, tables_.lagrange);
    for (int k = stop; k < count; ++k) out[k] = edgeFrame(s, d.samples, p + int64_t(k) * a);
}

}  // namespace svt
