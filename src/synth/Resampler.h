#pragma once
// The resampler: turns a voice's 16-bit sample data into one value per output frame. It walks
// the data with the voice's fixed-point position and increment (12 fraction bits),
// interpolates, follows the region's loop, applies vibrato and portamento to the increment,
// and marks the voice for freeing at the end of non-looping data.
//
// How the voice mixer uses it, once per voice and rendered stretch:
//   1. Each Voice keeps a ResampleState (it *is* the voice's position, increment, timeout,
//      vibrato and portamento state) and a SampleView of its SampleRegion.
//   2. Before the call it sets state.status to the voice's status (on, sustained, off, ...):
//      that decides whether a loop without envelope still loops.
//   3. int got = resampler.render(voice.resample, voice.view, buffer);
//      got may be smaller than the buffer when non-looping data ended; state.timeout is then
//      1 and the voice is freed.
// One Resampler per engine. resample() gives the same into a buffer of the resampler's own,
// valid until the next call. Neither allocates, locks or throws.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/Constants.h"
#include "synth/Interpolation.h"

namespace svt {

// How one call treats the region's loop.
enum class LoopMode : uint8_t { Forward = 0, None = 1, Bidirectional = 2 };

// SampleRegion::modeFlags bits the resampler reads.
inline constexpr uint8_t kModeLooping = 0x04;
inline constexpr uint8_t kModeBidirectional = 0x08;
inline constexpr uint8_t kModeEnvelope = 0x40;

// Voice::status values the loop decision reads.
inline constexpr uint8_t kVoiceOn = 2;
inline constexpr uint8_t kVoiceSustained = 4;

// The sample data and loop points of the region a voice plays. Each field is the
// SampleRegion field of the same name with the same unit; the positions are widened to 64
// bits so that arithmetic on them never wraps.
struct SampleView {
    // Mono 16-bit data, followed by at least kPcmPaddingSamples zero samples after
    // endPos >> 12 (interpolators read up to two samples past the end).
    const int16_t* pcm = nullptr;
    int64_t loopStartPos = 0;  // 12 fraction bits
    int64_t loopEndPos = 0;    // 12 fraction bits; exclusive
    int64_t endPos = 0;        // 12 fraction bits; end of the playable data
    uint8_t modeFlags = 0;     // kModeLooping, kModeBidirectional, kModeEnvelope
};

inline constexpr int kPcmPaddingSamples = 3;

// Vibrato of one voice: the increment is replaced every controlRatio frames by the voice's
// increment scaled by 2^(cents / 1200), where cents follow the LFO sine over 64 phases.
// Fields map onto the vibrato fields of Voice.
struct VibratoState {
    int32_t controlRatio = 0;  // frames per phase step; 0 = no vibrato
    int32_t counter = 0;       // frames left until the next phase step
    int32_t delay = 0;         // frames before the vibrato starts (reduced per phase step)
    int32_t phase = 0;         // 0..63
    // Depth in steps of 400/256 cents (SampleRegion::pitchLfoDepth plus the channel's part,
    // limited to 1..384 and negated for a negative region depth).
    int32_t depth = 0;
    int32_t sweepStep = 0;           // added to sweepPosition per phase step until 65536; 0 = none
    int32_t sweepPosition = 0;       // the depth is scaled by sweepPosition / 65536 while sweeping
    bool modulationWheelUp = false;  // the sweep only runs while the wheel is at 0
    int32_t current = 0;  // increment in effect (magnitude); 0 = compute at the next frame
    // Increments of the 64 phases; the two phases with equal sine share a slot. 0 = empty.
    int32_t cache[32] = {};

    // Call whenever the voice's frequency (and so its increment) is recomputed.
    void clearCache() {
        for (int32_t& c : cache) c = 0;
        current = 0;
    }
};

struct ResampleState;

// The portamento glide is computed by the synthesizer: every controlRatio frames the resampler
// calls step(context, state), which moves the voice's pitch one step and stores the new
// increment in state.increment (keeping its sign); it sets controlRatio to 0 when the glide has
// arrived. While a glide runs the vibrato is not applied.
struct PortamentoHook {
    void (*step)(void* context, ResampleState& state) = nullptr;
    void* context = nullptr;
    int32_t controlRatio = 0;  // frames per step; 0 = no glide running
    int32_t counter = 0;       // frames left until the next step
};

// What the resampler reads and writes of a voice.
struct ResampleState {
    int64_t position = 0;  // Voice sample position, 12 fraction bits
    int32_t increment =
        0;  // Voice sample increment; negative while a bidirectional loop plays backwards
    int32_t timeout = -1;       // Voice timeout: -1 none, 1 = free at the next block (set here)
    uint8_t status = kVoiceOn;  // Voice status, read only
    VibratoState vibrato;
    PortamentoHook portamento;
};

// The loop handling a call applies: a looping region with envelope always loops; one without
// envelope loops only while its key is held (on or sustained) and plays to its end after
// release. A loop that is empty or lies outside the data is no loop. A voice that plays a
// cached resampled copy must drop it when this returns Bidirectional.
LoopMode loopModeFor(const SampleView& view, uint8_t status);

// The sample increment of a voice: frequency * sampleRate / (rootFreq * outputRate) in steps of
// 1/4096 sample per output frame, rounded (frequencies in 1/1000 Hz). 0 when any input is 0 or
// negative (the voice cannot play); at most INT32_MAX. The caller keeps the sign of a voice
// that plays backwards.
int32_t sampleIncrementFor(int64_t frequencyMilliHz, int32_t sampleRateHz, int32_t rootFreqMilliHz,
                           int32_t outputRateHz);

class Resampler {
  public:
    // One block plus a reserve, so that a caller asking for slightly more than a block is
    // served; larger requests are cut to the capacity.
    static constexpr int kReserveFrames = 256;
    static constexpr int kCapacityFrames = kBlockFrames + kReserveFrames;

    // Kernels of the level chosenSimdLevel(simd) names.
    explicit Resampler(std::optional<SimdLevel> simd = std::nullopt);

    void setInterpolation(InterpolationKind kind) { kind_ = kind; }
    InterpolationKind interpolation() const { return kind_; }
    // While set, the Lagrange interpolator gives way to linear (the none interpolator stays).
    void setReduceQuality(bool on) { reduceQuality_ = on; }
    bool reduceQuality() const { return reduceQuality_; }
    SimdLevel simdLevel() const { return simd_; }

    // Produces up to `frames` values (at most kCapacityFrames) into the resampler's buffer.
    std::span<const int32_t> resample(ResampleState& state, const SampleView& view, int frames);
    // The same into a buffer of the caller's; returns the number of frames produced.
    int render(ResampleState& state, const SampleView& view, std::span<int32_t> out);

  private:
    struct Data;
    int renderPlain(InterpolationKind kind, const Data& d, LoopMode mode, int64_t& position,
                    int32_t& increment, int32_t* out, int count, bool& ended);
    void interpolateRun(InterpolationKind kind, const Data& d, int64_t position, int32_t increment,
                        int count, int32_t* out);
    int32_t vibratoIncrement(ResampleState& state, bool advance) const;
    // A frame near either end of the data. A looping voice whose loop ends just short of its
    // data's end passes the same few indices on every pass, and the voices of a chord read
    // the same sample: the polynomial's differences at each index are kept, so that a frame
    // there costs one evaluation instead of a sum over its taps per degree.
    int32_t edgeFrame(const int16_t* pcm, int64_t dataSamples, int64_t position);

    InterpolationKind kind_ = InterpolationKind::SineLagrange;
    bool reduceQuality_ = false;
    SimdLevel simd_;
    LagrangeRunFn lagrangeRun_;
    LinearRunFn linearRun_;
    const InterpolationTables& tables_;
    std::vector<int32_t> buffer_;
    // The differences depend on nothing but the degree and the samples they were made from,
    // which the entry keeps: an entry serves whichever sample, at whatever address, has them.
    struct EdgeDifferences {
        int degree = 0;  // 0: the entry is empty
        int16_t samples[kNewtonMaxDegree + 1];
        double differences[kNewtonMaxDegree + 1];
    };
    static constexpr int kEdgeEntries = 512;
    std::vector<EdgeDifferences> edges_;
};

}  // namespace svt
