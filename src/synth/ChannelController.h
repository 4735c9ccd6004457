#pragma once
// The sixteen channels: what the song's controllers, registered and non-registered parameters,
// program changes and system-exclusive channel settings set on them. A change that concerns
// notes already sounding is handed to ChannelVoices, which carries it out on the voice table.

#include <array>
#include <cstdint>

#include "base/Constants.h"
#include "song/EngineSettings.h"
#include "song/SongEvent.h"
#include "synth/ChannelState.h"
#include "synth/EffectRack.h"

namespace svt {

// What a channel event does to the voices sounding on a channel.
class ChannelVoices {
  public:
    virtual ~ChannelVoices() = default;
    // Frequencies recomputed (bend, tuning, drum key pitch, vibrato settings).
    virtual void retune(int channel) = 0;
    // The vibrato starts over from its first phase, then the frequency is recomputed.
    virtual void restartVibrato(int channel) = 0;
    // Amplitudes recomputed (volume, expression).
    virtual void relevel(int channel) = 0;
    // Every voice of every channel (master volume).
    virtual void relevelAll() = 0;
    virtual void refilter(int channel) = 0;
    // Frequencies, then amplitudes (a controller reset).
    virtual void retuneAndRelevel(int channel) = 0;
    // The voices move to the channel pan `panning`; with `keepDrumKeyPans` a drum key with a pan
    // of its own keeps it.
    virtual void repan(int channel, int panning, bool keepDrumKeyPans) = 0;
    // Voices held by a pedal are released.
    virtual void releaseSustained(int channel) = 0;
    // Voices whose keys are down now become held (the sostenuto pedal).
    virtual void holdSounding(int channel) = 0;
    // Voices whose keys are down are released, or held when `held` (the sustain pedal is down);
    // the channel's note pairing starts afresh.
    virtual void allNotesOff(int channel, bool held) = 0;
    // Every voice of the channel stops (with its short fade); the note pairing starts afresh.
    virtual void allSoundsOff(int channel) = 0;
    // Running portamento glides arrive at once.
    virtual void stopGlides(int channel) = 0;
};

class ChannelController {
  public:
    ChannelController(const EngineSettings& settings, ChannelVoices& voices);
    ChannelController(const ChannelController&) = delete;
    ChannelController& operator=(const ChannelController&) = delete;

    // The effects whose modes decide the sends and which take the channels' effect parameters;
    // null when nothing listens.
    void setEffects(EffectRack* rack) { effects_ = rack; }
    void setSystemMode(int mode) { systemMode_ = mode; }
    int systemMode() const { return systemMode_; }
    // The drum channels a reset starts from (the song's own mask; the settings' by default).
    void setDefaultDrumChannels(uint32_t mask) { defaultDrumMask_ = mask; }
    uint32_t drumChannelMask() const { return drumMask_; }
    bool isDrum(int c) const { return (drumMask_ >> c) & 1u; }

    // Every channel back to its start state for the system mode in effect.
    void resetChannels();
    // Applies an event that acts on channels but plays no note: controllers, program changes,
    // master volume, system-exclusive channel and effect parameters.
    void apply(const SongEvent& event);
    // After an effect tail is cut, the next song starts from the default reverb level.
    void forgetReverbLevels();

    const ChannelState& channel(int c) const { return channels_[size_t(c & 15)]; }
    ChannelState& channel(int c) { return channels_[size_t(c & 15)]; }
    const std::array<ChannelState, kChannels>& channels() const { return channels_; }
    // Master volume from the song, 0..0xFFFF.
    int32_t masterVolumeRatio() const { return masterVolumeRatio_; }
    // Counts changes of the drum keys' own sends and of the drum channels: whoever groups the
    // keys by their sends does it again when this moves on.
    uint32_t drumSendsVersion() const { return drumSendsVersion_; }

  private:
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
    void systemExclusiveParameter(const SongEvent& e);
    void effectParameter(const SongEvent& e);
    int randomPan();
    void updatePortamentoTime(int c);
    void stopPortamento(int c);
    void drumSendsChanged() { ++drumSendsVersion_; }

    const EngineSettings& settings_;
    ChannelVoices& voices_;
    EffectRack* effects_ = nullptr;
    std::array<ChannelState, kChannels> channels_{};
    int systemMode_ = SYSTEM_GM_OFF;
    uint32_t drumMask_ = kDefaultDrumChannelMask;
    uint32_t defaultDrumMask_ = kDefaultDrumChannelMask;
    int32_t masterVolumeRatio_ = 0xFFFF;
    uint32_t drumSendsVersion_ = 0;
    uint32_t random_ = 0x2545F491u;  // the engine's own random source for random pan
};

}  // namespace svt
