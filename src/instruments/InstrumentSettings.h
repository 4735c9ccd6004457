#pragma once
// Engine settings that shape how presets become regions. Fixed while a font's index
// exists: changing them means indexing again.

#include <algorithm>
#include <cstdint>
#include <span>

#include "song/EngineSettings.h"

namespace svt {

// Resamples the data of a region that always plays one note (a drum hit) once, at
// load time, so that the voice can later copy it without interpolation. Without one handed
// in, linear interpolation is used.
class FixedNoteResampler {
  public:
    virtual ~FixedNoteResampler() = default;
    // `in` holds the data followed by at least three zero points; out[n] is the value at
    // source position n * step (in points), each limited to 16 bits.
    virtual void resample(std::span<const int16_t> in, double step,
                          std::span<int16_t> out) const = 0;
};

struct InstrumentSettings {
    // The output rate and control period are the engine's, taken from its settings and from
    // nowhere else, so that regions are timed for the rate they are played at. `resampler` is
    // the engine's own interpolator for fixed-note regions (it must outlive the settings).
    explicit InstrumentSettings(const EngineSettings& engine,
                                const FixedNoteResampler* resampler = nullptr)
        : outputRate_(std::max(engine.outputRateHz, 1)),
          controlRatio_(std::clamp(engine.controlRatio, 1, 255)),
          resampler_(resampler) {
        songKeysFixed = engine.songKeysFixed;
    }

    int32_t outputRate() const { return outputRate_; }  // Hz
    // Output frames per envelope/LFO update, 1..255.
    int32_t controlRatio() const { return controlRatio_; }
    // Null: linear interpolation.
    const FixedNoteResampler* resampler() const { return resampler_; }

    bool fastDecay = false;      // doubles every envelope rate
    int32_t fixedReleaseMs = 0;  // non-zero: every release takes this long instead of the font's
    // On: the player applies the modulation envelope to the filter at run time; off: a
    // positive modEnvToFilterFc is folded into the region's fixed cutoff.
    bool modulationEnabled = true;
    // Low-pass filters data recorded above the output rate when it is loaded.
    bool antiAliasing = false;
    // Frees every instrument at the end of a song, so each song holds only what it uses.
    bool freeInstrumentsAfterSong = true;
    // A compressed sample is decoded only for the notes a song plays, as decoding is slow and
    // its result large. Points read from an uncompressed font are left out that way only when
    // no key control can later ask for a region the song's notes did not reach.
    bool songKeysFixed = false;

  private:
    int32_t outputRate_;
    int32_t controlRatio_;
    const FixedNoteResampler* resampler_;
};

}  // namespace svt
