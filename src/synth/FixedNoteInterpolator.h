#pragma once
// The interpolator instruments use when they resample a fixed-note region (a drum hit) once,
// as they load: the same kernels and the same choice of interpolation as the voices, so that
// what the engine's settings choose reaches those regions too.

#include "instruments/InstrumentSettings.h"
#include "synth/Resampler.h"

namespace svt {

class FixedNoteInterpolator final : public FixedNoteResampler {
  public:
    explicit FixedNoteInterpolator(InterpolationKind kind);
    void resample(std::span<const int16_t> in, double step, std::span<int16_t> out) const override;

  private:
    // Loading is not the render path: the resampler's own buffer may serve here.
    mutable Resampler resampler_;
};

}  // namespace svt
