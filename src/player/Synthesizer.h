#pragma once
// The synthesizer behind the playback loop: sixteen channels, the table of 256 voices, and
// the mixer that shapes every voice by envelope, tremolo, filter and pan into the block.
//
// One per engine. Everything it changes lives in the object; the curves and tables it reads
// are shared read-only. Events arrive between renders; render() allocates nothing and
// takes no lock. Instruments come from the engine's banks: what the song marked is loaded
// before it plays, anything else on demand at its note-on.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "base/Constants.h"
#include "player/ChannelState.h"
#include "player/EffectRack.h"
#include "player/MixKernels.h"
#include "player/Resampler.h"
#include "player/Synthesis.h"
#include "player/Voice.h"
#include "song/EngineSettings.h"

namespace svt {

class InstrumentBanks;
struct Instrument;

class Synthesizer final : public Synthesis {
  public:
    // Stolen voices fade out here for a few frames while their slot already serves the new
    // note; when all are busy the quietest fade stops.
    static constexpr int kFadeSlots = 32;
    // A cut voice fades to silence within this many frames.
    static constexpr int kDyingFrames = 20;
    // Every voice's gain at the default level: dense General MIDI songs then stay about under
    // full scale at the default amplification, and the output's limiter has little to do.
    static constexpr double kMixLevel = 0.5;

    Synthesizer(const EngineSettings& settings, InstrumentBanks& banks,
                const PlayerControls& controls);
    Synthesizer(const Synthesizer&) = delete;
    Synthesizer& operator=(const Synthesizer&) = delete;

    // Synthesis
    void resetChannels() override;
    void setSystemMode(int mode) override { systemMode_ = mode; }
    void applyEvent(const SongEvent& event, bool sounding) override;
    void render(int32_t* out, int frames) override;
    int voicesInUse() const override;
    void releaseAllNotes() override;
    void cutAllVoices() override;
    void clearEffectTails() override;
    void setVoiceLimit(int voices) override;
    int voiceLimit() const override { return voiceLimit_; }
    int cutQuietestReleased(int count) override;
    ChannelProgram channelProgram(int channel) const override;

    // The effects the channels send into; none (the default) renders dry. The rack must
    // outlive the synthesizer's use of it. Buffers for the sends are made here, once.
    void setEffects(EffectRack* rack);
    // Reverb level of the channel as the sends use it (its own, or the mode's default).
    int reverbLevelOf(int c) const;
    int chorusLevelOf(int c) const;

    // The drum channels a reset starts from (the song's own mask; the settings' by default).
    void setDefaultDrumChannels(uint32_t mask) { defaultDrumMask_ = mask; }
    uint32_t drumChannelMask() const { return drumMask_; }
    Resampler& resampler() { return resampler_; }

    const ChannelState& channel(int c) const { return channels_[size_t(c & 15)]; }
    std::span<const Voice> voices() const { return voices_; }
    // Notes cut because their slot was needed: released voices first, then held ones.
    int cutNotes() const { return cutNotes_; }
    // Notes cut while they were still sounding at full strength (the ladder's last rungs).
    int lostNotes() const { return lostNotes_; }

  private:
    bool isDrum(int c) const { return (drumMask_ >> c) & 1u; }

    // Channels
    void resetControllers(int c);
    void resetChannel(int c);
    void resetParameters(int c);
    void programChange(int c, int program);
    void drumPartChange(int c, bool on);
    void controlChange(const SongEvent& e);
    void dataEntry(int c, int delta, bool msb, uint8_t value);
    void applyParameter(int c, int index);
    int parameterIndex(int c) const;
    void sustainPedal(int c, int value);
    void sostenutoPedal(int c, int value);
    void releaseSustained(int c);
    void allNotesOff(int c);
    void allSoundsOff(int c);
    void systemExclusiveParameter(const SongEvent& e);
    int randomPan();
    void updatePortamentoTime(int c);
    void stopPortamento(int c);
    static void portamentoStep(void* context, ResampleState& state);

    // Notes and voices
    void noteOn(int c, int key, int velocity);
    void noteOff(int c, int key);
    int playedKey(int c, int key, const Instrument& inst) const;
    const Instrument* instrumentFor(int c, int key);
    int allocateVoice(int c, int key);
    int stealVoice();
    void fadeOutInPlace(Voice& victim);
    void startVoice(Voice& v, const SampleRegion& region, int c, int note, int velocity,
                    int32_t frequency);
    void finishNote(Voice& v);
    void cutVoice(Voice& v);
    void freeVoice(Voice& v);
    void lowerUpperBound();
    void recomputeFrequency(Voice& v);
    void recomputeAmplitude(Voice& v);
    void recomputeFilter(Voice& v);
    double channelPitchFactor(int c, const Voice& v) const;
    double masterGain() const;
    // The dry signal's share: lower while any effect is heard.
    double dryLevel() const;

    // Effect sends
    bool routeChannels(int frames);  // false: no effect listens, everything goes straight out
    void sendEffects(int frames);
    void sendBuffer(int c, int64_t* buffer, int values, int reverbLevel, int chorusLevel,
                    int delayLevel);
    void groupDrumKeys();
    int64_t* drumKeyTarget(const Voice& v);
    int defaultReverbLevel() const;
    void effectParameter(const SongEvent& e);

    // Mixing
    struct AheadRun;
    struct PendingVoice;
    void mixVoice(Voice& v, int frames);
    void mixFrom(Voice& v, int frames, int offset, const AheadRun* ahead,
                 PendingVoice* pending = nullptr);
    void flushFilterBatch();
    bool controlUpdate(Voice& v);  // false: the voice ended
    bool nextVolumeStage(Voice& v);
    bool advanceVolume(Voice& v);
    void nextModulationStage(Voice& v);
    void advanceModulation(Voice& v);
    double envelopeFactor(const Voice& v) const;
    void setMixTargets(Voice& v);
    template <bool kFiltered>
    void mixChunk(Voice& v, const int32_t* samples, int count, int64_t* out);

    const EngineSettings settings_;
    InstrumentBanks& banks_;
    const PlayerControls& controls_;
    Resampler resampler_;

    std::array<ChannelState, kChannels> channels_{};
    std::array<Voice, kMaxVoices> voices_{};
    std::array<Voice, kFadeSlots> fades_{};
    // Note pairing: head and tail counters per channel and key.
    std::array<std::array<uint8_t, 128>, kChannels> pairingHead_{};
    std::array<std::array<uint8_t, 128>, kChannels> pairingTail_{};
    int upperBound_ = 0;
    int voiceLimit_ = kMaxVoices;
    int systemMode_ = SYSTEM_GM_OFF;
    uint32_t drumMask_ = kDefaultDrumChannelMask;
    uint32_t defaultDrumMask_ = kDefaultDrumChannelMask;
    int32_t masterVolumeRatio_ = 0xFFFF;
    int appliedAmplification_ = -1;
    double appliedDryLevel_ = 0;
    int cutNotes_ = 0;
    int lostNotes_ = 0;
    int32_t rampFrames_ = 22;
    bool overlappingNotes_ = true;
    uint32_t random_ = 0x2545F491u;  // the engine's own random source for random pan

    // Scratch of the render path, made once.
    std::array<int32_t, Resampler::kCapacityFrames> samples_{};
    std::array<int64_t, 2 * kBlockFrames> mix_{};
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
    const int pendingRecords_ = kBlockFrames / std::max(1, settings_.controlRatio) + 4;
    std::array<PendingVoice, kFilterLanes> pending_{};
    int pendingVoices_ = 0;
    std::vector<int32_t> pendingSamples_ =
        std::vector<int32_t>(size_t(kFilterLanes) * Resampler::kCapacityFrames);
    std::vector<MixChunk> pendingChunks_ =
        std::vector<MixChunk>(size_t(kFilterLanes * pendingRecords_));
    std::vector<FilterSegment> pendingSegments_ =
        std::vector<FilterSegment>(size_t(kFilterLanes * pendingRecords_));

    // Effect sends: each channel that sends mixes into a buffer of its own; the channels of
    // the insertion effect share one. destination_ tells each voice where it mixes to.
    EffectRack* effects_ = nullptr;
    std::vector<int64_t> channelMix_;
    std::vector<int64_t> insertionMix_;
    std::array<int64_t*, kChannels> destination_{};
    uint32_t ownBuffers_ = 0;     // bit c: channel c mixed into its own buffer this block
    uint32_t ownInsertions_ = 0;  // bit c: an insertion effect of channel c's own runs on it
    bool insertionUsed_ = false;

    // Drum keys with sends of their own mix into buffers of their own; the keys of one channel
    // with the same three sends share one. The grouping is made again when a key's sends or
    // the drum channels change.
    static constexpr int kDrumKeyBuffers = 8;
    struct DrumKeyGroup {
        int8_t channel = -1, reverb = -1, chorus = -1, delay = -1;  // -1: the channel's level
    };
    std::vector<int64_t> drumKeyMix_;
    std::array<DrumKeyGroup, kDrumKeyBuffers> drumGroups_{};
    std::array<std::array<int8_t, 128>, kChannels> drumKeyGroup_{};  // -1: the channel's buffer
    int drumGroupCount_ = 0;
    uint32_t drumGroupChannels_ = 0;  // bit c: some key of channel c has a buffer of its own
    uint32_t drumKeysRouted_ = 0;     // the same, for this block (0 while no effect listens)
    uint32_t drumGroupsMixed_ = 0;    // bit g: group g's buffer holds this block's voices
    int routedValues_ = 0;
    bool drumGroupsStale_ = true;
    int64_t* target_ = mix_.data();
    int64_t renderedFrames_ = 0;
};

}  // namespace svt
