#pragma once
// What a voice sounds like from its region and its channel: its frequency (tuning, bend,
// vibrato, glide), its level and pan, its filter, and its two envelopes and tremolo, which move
// on once per control period. The mixer asks for that step; channel changes ask for the
// recomputations.

#include <cstdint>

#include "instruments/Instrument.h"
#include "song/EngineSettings.h"
#include "synth/ChannelController.h"
#include "synth/EffectSends.h"
#include "synth/Synthesis.h"
#include "synth/Voice.h"

namespace svt {

// The pan of a region played at the channel pan `channelPan`: a mono region goes there; the
// halves of a stereo sample keep their spread around it, so that a panned stereo piano stays
// stereo instead of collapsing into one point.
int regionPanning(const SampleRegion& r, int channelPan);

class VoiceShaper {
  public:
    // Every voice's gain at the default level: dense General MIDI songs then stay about under
    // full scale at the default amplification, and the output's limiter has little to do.
    static constexpr double kMixLevel = 0.5;

    VoiceShaper(const EngineSettings& settings, const ChannelController& channels,
                const EffectSends& sends, const PlayerControls& controls);

    // Starts `v` as a voice of region `r` for `note` at `velocity` on channel `c`, sounding
    // `frequency` (mHz) before bend and modulation; `eventKey` is the key struck (-1: `note`).
    // The voice stays free when its envelope has nothing to play or its pitch cannot be played.
    void start(Voice& v, const SampleRegion& r, int c, int note, int velocity, int32_t frequency,
               int eventKey = -1);
    // The note's key went up: the envelopes go to their release. The change is told.
    void release(Voice& v);
    // Told of the releases (none by default).
    void setListener(SynthesisListener* listener) { listener_ = listener; }

    void recomputeFrequency(Voice& v);
    void recomputeAmplitude(Voice& v);
    void recomputeFilter(Voice& v);
    // One control period: envelopes, tremolo and the mix values they give. False when the voice
    // has ended.
    bool controlUpdate(Voice& v);
    // `frames` frames of the voice's start delay have passed: the delays of its tremolo and
    // modulation envelope, which count from the note-on, run on meanwhile.
    void wait(Voice& v, int frames);

    // The portamento step the resampler calls for a gliding voice (`context` is the Voice).
    static void portamentoStep(void* context, ResampleState& state);

  private:
    // `controllerPitch`: what the channel's sources add, in 1/8192 semitone.
    double channelPitchFactor(int c, const Voice& v, int32_t controllerPitch) const;
    double masterGain() const;
    double envelopeFactor(const Voice& v) const;
    bool nextVolumeStage(Voice& v);
    bool advanceVolume(Voice& v);
    void nextModulationStage(Voice& v);
    void advanceModulation(Voice& v);
    void setMixTargets(Voice& v);
    void updateTremolo(Voice& v);
    // Rates and depths of the channel LFOs from the channel's sources; LFO1 runs at `lfo1Hz`.
    void setChannelLfos(Voice& v, const ChannelModulation& m, double lfo1Hz) const;
    // Moves the channel LFOs on by a control period. False when the voice has ended.
    bool updateChannelLfos(Voice& v);
    static void setLadder(VoiceFilter& flt, double cutoff, double db, double rate);

    const EngineSettings& settings_;
    const ChannelController& channels_;
    const EffectSends& sends_;
    const PlayerControls& controls_;
    // Mix changes are spread over half a millisecond so that nothing clicks.
    const int32_t rampFrames_;
    const uint64_t rampReciprocal_;  // 2^32 / rampFrames_, rounded up
    // A voice's rise from silence in its attack: a control period at least.
    const int32_t onsetFrames_;
    const uint64_t onsetReciprocal_;
    SynthesisListener* listener_ = nullptr;
};

}  // namespace svt
