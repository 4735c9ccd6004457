#pragma once
// Mixing of one voice into a stereo block: its samples come from the resampler, its shape
// (envelopes, tremolo) moves on once per control period, and in between each frame adds the
// voice's (filtered) value times its mix. Mix changes ramp so that nothing clicks. Voices
// through a filter wait until several of them can run their filters side by side.
//
// What mix() does with one voice's stretch of a block:
//
//   dying voice:  resample -> fade over kDyingFrames -> target
//   pitch moved by the modulation envelope (or no region):  per control period: control
//       update -> resample that period -> filter -> mix with ramps -> target
//   pitch steady:  the whole stretch resampled in one run, then per control period:
//       no filter ............ control update -> mix with ramps -> target
//       ladder filter or pan delay: control update -> filter in place -> mix -> target
//       two-pole filter ...... control update -> its mix values and filter coefficients
//                              noted in a pending lane; once kFilterLanes lanes wait (or at
//                              flush()) their filters run side by side (filterRuns), then
//                              each noted chunk is mixed with its ramps -> target

#include <array>
#include <cstdint>
#include <vector>

#include "base/StereoView.h"
#include "song/EngineSettings.h"
#include "synth/MixKernels.h"
#include "synth/Resampler.h"
#include "synth/Voice.h"
#include "synth/VoiceShaper.h"

namespace svt {

class VoiceMixer {
  public:
    // A cut voice fades to silence within this many frames.
    static constexpr int kDyingFrames = 20;

    VoiceMixer(const EngineSettings& settings, VoiceShaper& shaper);
    VoiceMixer(const VoiceMixer&) = delete;
    VoiceMixer& operator=(const VoiceMixer&) = delete;

    Resampler& resampler() { return resampler_; }
    // Told of the voices that end while they mix (none by default).
    void setListener(SynthesisListener* listener) { listener_ = listener; }

    // Adds the voice into `target` (the caller has zeroed it), as many frames as it holds. A
    // voice that ends is freed. What a filtered voice mixes may wait until flush().
    void mix(Voice& v, StereoView<int64_t> target);
    // Mixes what waits; to be called before the targets are read.
    void flush();

  private:
    struct AheadRun;
    struct PendingVoice;
    void mixFrom(Voice& v, int frames, int offset, int64_t* target, const AheadRun* ahead,
                 PendingVoice* pending = nullptr);
    template <bool kFiltered>
    void mixChunk(Voice& v, const int32_t* samples, int count, int64_t* out);

    const EngineSettings& settings_;
    VoiceShaper& shaper_;
    Resampler resampler_;
    SynthesisListener* listener_ = nullptr;

    // Scratch of the render path, made once.
    std::array<int32_t, Resampler::kCapacityFrames> samples_{};
    MixKernels kernels_ = mixKernelsFor(resampler_.simdLevel());
    // Filtered voices resampled for the whole stretch wait here until kFilterLanes of them
    // (or the end of the block) let their filters run side by side. Their control updates run
    // at once and leave what the mix needs: the mix values of each chunk and the filter's
    // coefficients wherever they change.
    struct PendingVoice {
        Voice* voice;  // null when it ended within the stretch
        int64_t* target;
        int from;  // samples[k] is frame from + k
        int count;
        VoiceFilter filter;  // the state the stretch starts from and, filtered, ends with
        int chunks;
        int segments;
    };
    // Chunks of one stretch: a period each, a first one cut short and a last fade.
    const int pendingRecords_;
    std::array<PendingVoice, kFilterLanes> pending_{};
    int pendingVoices_ = 0;
    std::vector<int32_t> pendingSamples_ =
        std::vector<int32_t>(size_t(kFilterLanes) * Resampler::kCapacityFrames);
    std::vector<MixChunk> pendingChunks_;
    std::vector<FilterSegment> pendingSegments_;
};

}  // namespace svt
