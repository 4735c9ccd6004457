#pragma once
// The sixteen channels: what the song's controllers, registered and non-registered parameters,
// program changes and system-exclusive channel settings set on them. A change that concerns
// notes already sounding is handed to ChannelVoices, which carries it out on the voice table.

#include <array>
#include <cstdint>
#include <memory>

#include "base/Constants.h"
#include "song/EngineRandom.h"
#include "song/EngineSettings.h"
#include "song/SongEvent.h"
#include "song/SongInfo.h"
#include "synth/ChannelState.h"
#include "synth/EffectRack.h"
#include "synth/Temperament.h"

namespace svt {

// What a channel event does to the voices sounding on a channel.
class ChannelVoices {
  public:
    virtual ~ChannelVoices() = default;
    // Frequencies recomputed (bend, tuning, drum key pitch, vibrato settings).
    virtual void retune(int channel) = 0;
    // The vibrato starts over (its sweep and phase), then frequency, level and filter are
    // recomputed (the modulation wheel).
    virtual void restartVibrato(int channel) = 0;
    // Voices take their key's frequency from the temperament and tuning tables again.
    virtual void retemper(int channel) = 0;
    // A pressure changed: voices that are on (with `key` >= 0 only those of that key as
    // struck) recompute frequency, level and filter.
    virtual void repress(int channel, int key) = 0;
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
    // The drum voices of `key` move to `panning`.
    virtual void repanDrumKey(int /*channel*/, int /*key*/, int /*panning*/) {}
    // Voices held by a pedal are released.
    virtual void releaseSustained(int channel) = 0;
    // Voices whose keys are down or already released become held (the sostenuto pedal).
    virtual void holdSounding(int channel) = 0;
    // Voices whose keys are down are released, or held when `held` (the sustain pedal is down);
    // the channel's note pairing starts afresh.
    virtual void allNotesOff(int channel, bool held) = 0;
    // Every voice of the channel stops (with its short fade); the note pairing starts afresh.
    virtual void allSoundsOff(int channel) = 0;
    // Running portamento glides arrive at once.
    virtual void stopGlides(int channel) = 0;
};

// A key's frequency as the channel's temperament or tuning program places it, and the key
// that frequency is nearest to (the key that sounds).
struct TemperedNote {
    int32_t frequency = 0;  // mHz
    int key = 0;
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
    // The drum channels a reset starts from (the settings' by default).
    void setDefaultDrumChannels(uint32_t mask) { defaultDrumMask_ = mask; }
    // The record of the song playing, or null: a reset starts from its drum channels and
    // keeps its locked ones; the song's drum-part changes are written back into it.
    void setSong(SongInfo* song) { song_ = song; }
    uint32_t drumChannelMask() const { return drumMask_; }
    bool isDrum(int c) const { return (drumMask_ >> c) & 1u; }

    // Draws where the song asks for chance (random pan). Seeded from each song, so that a song
    // sounds the same in every run and beside any other.
    EngineRandom& random() { return random_; }
    void seedRandom(uint32_t seed) { random_ = EngineRandom(seed); }

    // The channels that play an event of `source`: its own, and every channel that layers it.
    uint32_t receiversOf(int source) const { return receivers_[size_t(source & 15)]; }
    // Events that reach every channel layering their channel; the rest (system-exclusive
    // settings of one part, song-wide events) reach their own channel only.
    static bool isLayeredEvent(const SongEvent& e);

    // Where `key` sounds on channel `c` with the temperament laid out for tonic `tonic` (the
    // temperament table index).
    TemperedNote noteFrequency(int c, int key, int tonic) const;
    // The sum of what pressure, wheel, bend and the two assignable controllers do on channel
    // `c` to a note of `eventKey` (the key as struck).
    ChannelModulation modulation(int c, int eventKey) const;
    // Velocity (after the channel's velocity sense), volume and expression through the
    // system mode's curves, the drum key's level and the sources' level factors.
    // `note` is the key that sounds, `eventKey` the key as struck.
    double channelGain(int c, int velocity, int note, int eventKey, bool drum) const;

    // Every channel back to its start state for the system mode in effect.
    void resetChannels();
    // Applies an event that acts on channels but plays no note: controllers, program changes,
    // master volume, system-exclusive channel and effect parameters.
    void apply(const SongEvent& event);
    // After an effect tail is cut, the next song starts from the default reverb level.
    void forgetReverbLevels();

    const ChannelState& channel(int c) const { return channels_[size_t(c & 15)]; }

    // What a note played on a channel leaves there. The synthesizer tells the channel; the
    // channel's state is otherwise set by events alone.
    //
    // Something of channel `c` sounds up to `frame`: its effect sends are kept open until then.
    void noteSounding(int c, int64_t frame) { channels_[size_t(c & 15)].lastNoteFrame = frame; }
    // A note of `key` starts on channel `c`: a key or channel panned at random goes somewhere
    // new. True when the channel's own pan moved (a drum key's pan is the key's alone).
    bool drawNotePan(int c, int key, bool drum);
    // A note of `note` starts on channel `c`: the portamento glide from the channel's previous
    // note in 1/256 semitone (0: none), and `note` becomes the one the next glide starts from
    // while the portamento is on.
    int32_t glideTo(int c, int note);
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
    bool drumPartChange(int c, bool on);
    void alternateAssignFor(int c);
    void receiveChannel(int c, uint32_t layer, int port);
    void updateReceivers();
    void destinationParameter(int c, int code, int v);
    void drumReceiveSwitch(int c, int key, bool noteOn, bool on);
    void tuningItem(const SongEvent& e);
    void temperament(const SongEvent& e);
    void controlChange(const SongEvent& e);
    void dataEntry(int c, int delta, bool msb, uint8_t value);
    void applyParameter(int c, int index);
    int parameterIndex(int c) const;
    void sustainPedal(int c, int value);
    void sostenutoPedal(int c, int value);
    void systemExclusiveParameter(const SongEvent& e);
    void effectParameter(const SongEvent& e);
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
    SongInfo* song_ = nullptr;
    uint32_t drumLock_ = 0;  // channels whose drum state events do not change
    std::array<uint32_t, kChannels> receivers_{};
    EngineRandom random_;

    // The temperament key signature: major or minor set, and whether the set is adjusted.
    bool temperamentMinor_ = false;
    bool temperamentAdjusted_ = false;
    UserTemperaments userTemperaments_;
    std::unique_ptr<TuningPrograms> tuning_ = std::make_unique<TuningPrograms>();
    // The tuning message being applied: its program and the key whose semitone came last.
    int tuningProgram_ = 0;
    int tuningKey_ = 0;
    int tuningSemitone_ = 0;
    bool tuningAtOnce_ = false;

    // Exclusive groups of each drum set; a set without groups of its own uses set 0's.
    std::array<AlternateAssignTable, 128> drumSetGroups_{};
    std::array<bool, 128> drumSetHasGroups_{};
};

}  // namespace svt
