#pragma once
// The synthesizer behind the playback loop: sixteen channels, the table of 256 voices, and
// the mixer that shapes every voice by envelope, tremolo, filter and pan into the block.
//
// One per engine. Everything it changes lives in the object; the curves and tables it reads
// are shared read-only. Events arrive between renders; render() allocates nothing and
// takes no lock. Instruments come from the engine's banks: what the song marked is loaded
// before it plays, anything else on demand at its note-on.
//
// It joins its parts and plays the notes: the channels (ChannelController), the voice table
// (VoiceAllocator), each voice's sound (VoiceShaper), its mixing (VoiceMixer) and the sends
// into the effects (EffectSends).

#include <array>
#include <cstdint>
#include <span>

#include "base/Constants.h"
#include "song/EngineSettings.h"
#include "synth/ChannelController.h"
#include "synth/ChannelState.h"
#include "synth/EffectRack.h"
#include "synth/EffectSends.h"
#include "synth/MixTeam.h"
#include "synth/Resampler.h"
#include "synth/Synthesis.h"
#include "synth/Voice.h"
#include "synth/VoiceAllocator.h"
#include "synth/VoiceMixer.h"
#include "synth/VoiceShaper.h"

namespace svt {

class InstrumentBanks;
struct Instrument;

class Synthesizer final : public Synthesis, private ChannelVoices {
  public:
    static constexpr int kFadeSlots = VoiceAllocator::kFadeSlots;
    static constexpr int kDyingFrames = VoiceMixer::kDyingFrames;

    Synthesizer(const EngineSettings& settings, InstrumentBanks& banks,
                const PlayerControls& controls);
    Synthesizer(const Synthesizer&) = delete;
    Synthesizer& operator=(const Synthesizer&) = delete;

    // Synthesis
    void resetChannels() override;
    void systemReset() override;
    void setSystemMode(int mode) override { channels_.setSystemMode(mode); }
    void applyEvent(const SongEvent& event, bool sounding) override;
    void render(StereoView<int32_t> out) override;
    int voicesInUse() const override { return allocator_.voicesInUse(); }
    void releaseAllNotes() override;
    void cutAllVoices() override;
    void clearEffectTails() override;
    void setVoiceLimit(int voices) override { allocator_.setVoiceLimit(voices); }
    int voiceLimit() const override { return allocator_.voiceLimit(); }
    int cutQuietestReleased(int count) override { return allocator_.cutQuietestReleased(count); }
    int reducibleVoices() const override { return allocator_.reducibleVoices(); }
    void setReduceQuality(bool on) override { mixer_.resampler().setReduceQuality(on); }
    ChannelProgram channelProgram(int channel) const override;
    ChannelSummary channelSummary(int channel) const override;
    // Tells the listener the channel's panning now (after it moved by itself: random pan).
    void tellPanning(int c);
    void setListener(SynthesisListener* listener) override;
    void setMonoOutput(bool mono) override;
    void setSong(SongInfo* song) override { channels_.setSong(song); }
    void seedRandom(uint32_t seed) override { channels_.seedRandom(seed); }
    // The engine's random source.
    EngineRandom& random() { return channels_.random(); }

    // The effects the channels send into; none (the default) renders dry. The rack must
    // outlive the synthesizer's use of it. Buffers for the sends are made here, once.
    void setEffects(EffectRack* rack);
    // Reverb level of the channel as the sends use it (its own, or the mode's default).
    int reverbLevelOf(int c) const { return sends_.reverbLevelOf(c); }
    int chorusLevelOf(int c) const { return sends_.chorusLevelOf(c); }

    // The drum channels a reset starts from (the song's own mask; the settings' by default).
    void setDefaultDrumChannels(uint32_t mask) { channels_.setDefaultDrumChannels(mask); }
    Resampler& resampler() { return mixer_.resampler(); }

    const ChannelState& channel(int c) const { return channels_.channel(c); }
    std::span<const Voice> voices() const { return allocator_.voices(); }
    int cutNotes() const { return allocator_.cutNotes(); }
    int lostNotes() const { return allocator_.lostNotes(); }
    // Stretches whose voices several threads mixed.
    int64_t sharedStretches() const { return team_.sharedStretches(); }

  private:
    void applyToChannel(const SongEvent& event, bool sounding);
    void noteOn(int c, int key, int velocity);
    // Doubles the voice in `slot` into a surround-chorus pair when a slot can be had.
    void pairForChorus(int slot);
    void noteOff(int c, int key);
    int playedKey(int c, int key, const Instrument& inst) const;
    const Instrument* instrumentFor(int c, int key);
    template <typename Fn>
    void eachVoiceOf(int c, Fn&& fn);

    // ChannelVoices
    void retune(int c) override;
    void restartVibrato(int c) override;
    void retemper(int c) override;
    void repress(int c, int key) override;
    void relevel(int c) override;
    void relevelAll() override;
    void refilter(int c) override;
    void retuneAndRelevel(int c) override;
    void repan(int c, int panning, bool keepDrumKeyPans) override;
    void repanDrumKey(int c, int key, int panning) override;
    void releaseSustained(int c) override;
    void holdSounding(int c) override;
    void allNotesOff(int c, bool held) override;
    void allSoundsOff(int c) override;
    void stopGlides(int c) override;

    const EngineSettings settings_;
    InstrumentBanks& banks_;
    const PlayerControls& controls_;
    ChannelController channels_;
    EffectSends sends_;
    VoiceAllocator allocator_;
    VoiceShaper shaper_;
    VoiceMixer mixer_;
    MixTeam team_;

    SynthesisListener* listener_ = nullptr;
    std::array<int64_t, 2 * kBlockFrames> mix_{};
    // What the voices' amplitudes were made for.
    int appliedAmplification_ = -1;
    double appliedDryLevel_ = 0;
    int64_t renderedFrames_ = 0;
};

}  // namespace svt
