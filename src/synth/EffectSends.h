#pragma once
// The synthesizer's side of the effects: which channels (and which drum keys) mix into a
// buffer of their own in a block, and the sends from those buffers and from the main block
// into the effect buses. Buffers are made once, when the effects are bound.

#include <array>
#include <cstdint>
#include <vector>

#include "base/Constants.h"
#include "base/StereoView.h"
#include "song/EngineSettings.h"
#include "synth/ChannelController.h"
#include "synth/EffectRack.h"
#include "synth/Voice.h"

namespace svt {

class EffectSends {
  public:
    EffectSends(const EngineSettings& settings, const ChannelController& channels);
    EffectSends(const EffectSends&) = delete;
    EffectSends& operator=(const EffectSends&) = delete;

    // The effects the channels send into; none renders dry. The rack must outlive its use here.
    void setEffects(EffectRack* rack);
    EffectRack* effects() const { return effects_; }

    // Reverb level of the channel as the sends use it (its own, or the mode's default).
    int reverbLevelOf(int c) const;
    int chorusLevelOf(int c) const;
    // The dry signal's share of a voice's level: lower while any effect is heard.
    double dryLevel() const;
    // A mono output hears no effect at all: every channel mixes straight into the block.
    void setMonoOutput(bool mono) { mono_ = mono; }
    bool monoOutput() const { return mono_; }

    // Decides where each channel mixes in the block `main` (`renderedFrames` into the song):
    // into `main`, or a zeroed buffer of its own. False when no effect listens and everything
    // goes straight into `main`.
    bool route(StereoView<int64_t> main, int64_t renderedFrames);
    // The block voice `v` mixes into, as the last route() decided.
    StereoView<int64_t> targetFor(const Voice& v) {
        const int c = v.channel & 15;
        return {(drumKeysRouted_ >> c) & 1u ? drumKeyTarget(v) : destination_[size_t(c)],
                routedFrames_};
    }
    // Runs the channels' own effects on their buffers, sends them and `main` into the buses,
    // adds their dry signal into `main` and lets the effects add their output there.
    void send(StereoView<int64_t> main, int64_t renderedFrames);

  private:
    void sendBuffer(int c, StereoView<int64_t> buffer, int64_t renderedFrames,
                    StereoView<int64_t> main, int reverbLevel, int chorusLevel, int delayLevel);
    void groupDrumKeys();
    int64_t* drumKeyTarget(const Voice& v);
    int defaultReverbLevel() const;

    const EngineSettings& settings_;
    const ChannelController& channels_;
    EffectRack* effects_ = nullptr;
    bool mono_ = false;

    // Each channel that sends mixes into a buffer of its own; the channels of the insertion
    // effect share one. destination_ tells each voice where it mixes to.
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
    int routedFrames_ = 0;
    bool drumGroupsMade_ = false;
    uint32_t drumGroupsVersion_ = 0;  // the channels' drumSendsVersion() they were made for
};

}  // namespace svt
