#include "synth/FixedNoteInterpolator.h"

#include <algorithm>
#include <cmath>

namespace svt {

namespace {

// Each stretch starts from its exact position, so the 12 fraction bits of the increment
// cannot let the read position drift over a long sample.
constexpr size_t kStretchPoints = 256;

}  // namespace

FixedNoteInterpolator::FixedNoteInterpolator(InterpolationKind kind) {
    resampler_.setInterpolation(kind);
}

void FixedNoteInterpolator::resample(std::span<const int16_t> in, double step,
                                     std::span<int16_t> out) const {
    std::fill(out.begin(), out.end(), int16_t{0});
    if (in.size() <= size_t(kPcmPaddingSamples) || !(step > 0)) return;
    const int64_t dataPoints = int64_t(in.size()) - kPcmPaddingSamples;
    SampleView view;
    view.pcm = in.data();
    view.endPos = dataPoints << kPositionFractionBits;
    const double increment = std::round(step * (1 << kPositionFractionBits));
    if (increment < 1 || increment > 2147483647.0) return;
    int32_t values[kStretchPoints];
    for (size_t at = 0; at < out.size(); at += kStretchPoints) {
        ResampleState state;
        state.position = std::llround(double(at) * step * (1 << kPositionFractionBits));
        if (state.position >= view.endPos) break;
        state.increment = static_cast<int32_t>(increment);
        const size_t n = std::min(kStretchPoints, out.size() - at);
        const int made = resampler_.render(state, view, std::span<int32_t>(values, n));
        for (int i = 0; i < made; ++i)
            out[at + size_t(i)] = static_cast<int16_t>(std::clamp(values[i], -32768, 32767));
    }
}

}  // namespace svt
