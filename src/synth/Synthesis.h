#pragma once
// The seam between the playback loop and the synthesizer. The loop walks the song, decides
// when audio is rendered and which events reach the channels; everything that sounds (channel
// state, voices, resampling, mixing) lives behind this interface. The loop owns the
// PlayerControls and the synthesizer reads them: they are the user's controls of a song.

#include <cstdint>

#include "base/Constants.h"
#include "base/StereoView.h"
#include "song/SongEvent.h"

namespace svt {

struct SongInfo;

// The player's global controls, changed by the loop and by player commands between blocks.
struct PlayerControls {
    double timeRatio = 1.0;        // event time x timeRatio = sample time
    int noteKeyOffset = 0;         // semitones added to every non-drum note
    int temperamentIndex = 0;      // 0..11, the tonic the temperaments are laid out for
    int keySignature = 0;          // -7..7 major, 9..23 minor
    int amplification = 70;        // master volume in percent, 0..200
    uint32_t channelMuteMask = 0;  // bit c set: channel c is not heard
};

// Told of what changes in the synthesizer without a song event saying so. Called while events
// are applied and while blocks render: it must neither allocate nor block.
// A voice's status as listeners and notices tell it (the values of Voice::status).
enum class VoiceStatus : int32_t {
    Free = 1,       // ended, stolen, or silenced because its channel is muted
    On = 2,         // started
    Sustained = 4,  // released while a pedal holds it
    Off = 8,        // released
    Dying = 16,     // cut: it fades out within a few frames
};

class SynthesisListener {
  public:
    virtual ~SynthesisListener() = default;
    // A voice's status changed. A voice that dies after its cut is not told of again.
    virtual void voiceChanged(VoiceStatus status, int channel, int note, int velocity) = 0;
    // The channel's panning moved by itself (random pan).
    virtual void panningChanged(int /*channel*/, int /*panning*/) {}
};

// What a channel plays, for the front-end's display.
struct ChannelProgram {
    int program = 0;
    int32_t bank = 0;  // bank MSB << 16 | bank LSB << 8 | effective bank
    const char* name =
        nullptr;  // the instrument's name when one is loaded; valid until the next event
};

// A channel's controllers as the front-end shows them.
struct ChannelSummary {
    int volume = 90;
    int expression = 127;
    int sustain = 0;
    int modulationWheel = 0;
    int pitchBend = 8192;
    int panning = 64;
    int temperamentType = 0;
    int chorusLevel = 0;
    int reverbLevel = 40;
};

class Synthesis {
  public:
    virtual ~Synthesis() = default;

    // Every channel back to its start state, every voice free, nothing sent anywhere. Used at
    // song start, before a seek and on a system reset (after the system mode has changed).
    virtual void resetChannels() = 0;
    // A reset message of the song: the sounding voices end with the short fade of a cut (and
    // are told), then everything is as after resetChannels.
    virtual void systemReset() { resetChannels(); }
    // Changes the system mode (SystemMode of SongEvent.h) a reset follows.
    virtual void setSystemMode(int mode) = 0;
    // Applies one event that acts on channels: the types reachesSynthesizer (SongEvent.h)
    // sends here. With sounding false (a seek is
    // replaying the song up to a position) note-ons start no voices; everything else applies.
    virtual void applyEvent(const SongEvent& event, bool sounding) = 0;
    // Fills `out` (1..kBlockFrames frames), full scale +-kFullScale, peaks beyond it up to
    // +-kMixLimit. Allocates nothing, takes no lock.
    virtual void render(StereoView<int32_t> out) = 0;
    // Voices not free.
    virtual int voicesInUse() const = 0;
    // End of a song: every voice that is on or held by a pedal is released.
    virtual void releaseAllNotes() = 0;
    // Every voice stops at once (with the short ramp that keeps it from clicking).
    virtual void cutAllVoices() = 0;
    // Reverb and delay lines emptied, so the next song starts without the last one's echo.
    virtual void clearEffectTails() = 0;
    // Live playback that falls behind: the most voices that may sound (1..kMaxVoices), and
    // stopping up to `count` of the quietest released or dying voices (held and sounding
    // notes are spared); returns how many were stopped.
    virtual void setVoiceLimit(int /*voices*/) {}
    virtual int voiceLimit() const { return kMaxVoices; }
    virtual int cutQuietestReleased(int /*count*/) { return 0; }
    // Voices cutQuietestReleased may stop: released or dying, and no one-shot drum sounding.
    virtual int reducibleVoices() const { return 0; }
    // Linear interpolation instead of the better kinds, while live output falls behind.
    virtual void setReduceQuality(bool /*on*/) {}
    virtual ChannelProgram channelProgram(int /*channel*/) const { return {}; }
    virtual ChannelSummary channelSummary(int /*channel*/) const { return {}; }
    // Where voice changes are told; none (the default) tells nobody.
    virtual void setListener(SynthesisListener* /*listener*/) {}
    // The output has one channel: no effects, every voice in the middle.
    virtual void setMonoOutput(bool /*mono*/) {}
    // The record of the song about to play (null after it): resets start from its drum
    // channels, and its drum-part changes are written back into it.
    virtual void setSong(SongInfo* /*song*/) {}
    // Starts the random source over for a song; the same seed gives the same draws.
    virtual void seedRandom(uint32_t /*seed*/) {}
};

// Until a song has instruments, or in tests of the loop: silence of the right length.
class SilentSynthesis final : public Synthesis {
  public:
    void resetChannels() override {}
    void setSystemMode(int) override {}
    void applyEvent(const SongEvent&, bool) override {}
    void render(StereoView<int32_t> out) override {
        for (int32_t& v : out.span()) v = 0;
    }
    int voicesInUse() const override { return 0; }
    void releaseAllNotes() override {}
    void cutAllVoices() override {}
    void clearEffectTails() override {}
};

}  // namespace svt
