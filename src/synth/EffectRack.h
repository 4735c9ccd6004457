#pragma once
// The seam between the mixer and the effects. The synthesizer mixes each channel into the
// main block or into a buffer of its own, sends those buffers into the effect buses through
// this interface and lets the effects add their output into the block. The effects library
// implements it; the engine binds the two. Nothing here allocates or locks.

#include <cstdint>

#include "base/StereoView.h"
#include "song/SongEvent.h"

namespace svt {

class RenderWorkers;

// What the reverb makes of the channels' send levels.
struct ReverbMode {
    enum class Reverb : uint8_t { Off, Standard, SongChooses };
    enum class Levels : uint8_t {
        PerChannel,  // each channel's own send level
        OneForAll,   // one level for every channel: nothing reaches the reverb bus
        Fixed,       // every channel at fixedLevel, whatever the song sends
    };
    Reverb reverb = Reverb::SongChooses;
    Levels levels = Levels::PerChannel;
    int fixedLevel = 0;  // 0..127, with Levels::Fixed

    constexpr ReverbMode() = default;
    // From the numeric option of the settings: 0 off; 1 and 2 the standard reverb, 3 and 4
    // the one the song chooses, with the channels' own levels (1, 3) or one for all (2, 4);
    // -n every channel at n & 0x7F, with the standard reverb when n has 0x100, else the song's.
    explicit constexpr ReverbMode(int option) {
        if (option < 0) {
            reverb = (-option & 0x100) ? Reverb::Standard : Reverb::SongChooses;
            levels = Levels::Fixed;
            fixedLevel = -option & 0x7F;
            return;
        }
        reverb = option == 0                  ? Reverb::Off
                 : option == 3 || option == 4 ? Reverb::SongChooses
                                              : Reverb::Standard;
        levels = option == 1 || option == 3 ? Levels::PerChannel : Levels::OneForAll;
    }
    bool off() const { return reverb == Reverb::Off; }
    // True when the channels' sends reach the reverb bus.
    bool hearsChannels() const { return !off() && levels != Levels::OneForAll; }
    friend bool operator==(const ReverbMode&, const ReverbMode&) = default;
};

// Which effect a channel's signal is sent to.
enum EffectBus : int { BUS_REVERB = 0, BUS_CHORUS = 1, BUS_DELAY = 2, BUS_EQ = 3, BUS_COUNT = 4 };

class EffectRack {
  public:
    virtual ~EffectRack() = default;

    virtual ReverbMode reverbMode() const = 0;
    // Chorus mode: 0 none, 1 each channel's own level.
    virtual int chorusMode() const = 0;
    // True while the bus listens (its effect is switched on and does something).
    virtual bool busActive(EffectBus bus) const = 0;
    // Adds `block` scaled by level/127 (0..127) into the bus; the reverb also applies its
    // input gain.
    virtual void send(EffectBus bus, StereoView<const int64_t> block, int level) = 0;
    // Runs the equaliser, chorus, delay and reverb on what was sent and adds their output into
    // `out`; the buses are cleared.
    virtual void process(StereoView<int64_t> out) = 0;
    // The threads that render the song's voices, idle while the effects run: process() may
    // hand them a share of its work (null: the calling thread does it all).
    virtual void shareWith(RenderWorkers* /*helpers*/) {}

    // True while the GS insertion effect is built; the channels whose insertion switch is on
    // share it.
    virtual bool insertionActive() const { return false; }
    // Runs the insertion effect on `block` (the channels routed to it), sends the result to
    // the reverb, chorus and delay with the effect's own send levels and adds it into `out`.
    virtual void insertion(StereoView<const int64_t> block, StereoView<int64_t> out) {
        for (int i = 0; i < block.values(); ++i) out[i] += block[i];
    }

    // XG insertion effects belong to one part each (an insertion block, or the variation when
    // it is connected as an insertion): bit c is set while channel c has one. insertInto runs
    // the channel's effects in place on its buffer, before its sends.
    virtual uint32_t insertionChannels() const { return 0; }
    virtual void insertInto(int /*channel*/, StereoView<int64_t> /*block*/) {}

    // A channel's own two-band equaliser (XG part EQ): gains 64 flat (+-12 dB), frequency
    // values 4..40 (bass) and 28..58 (treble); channelEq runs it in place on the channel.
    virtual void setChannelEq(int /*channel*/, int /*bassGain*/, int /*trebleGain*/,
                              int /*bassFrequency*/, int /*trebleFrequency*/) {}
    virtual void channelEq(int /*channel*/, StereoView<int64_t> /*block*/) {}

    // System mode changed or the system was reset: every effect back to its defaults (the GS
    // or XG ones for those modes), every bus and delay line silent.
    virtual void resetEffects(int systemMode) = 0;
    // Delay lines and buses silent, parameters kept.
    virtual void clearTails() = 0;
    // An effect parameter from a system-exclusive message: `type` is EV_SYSEX_LSB,
    // EV_SYSEX_GS_LSB or EV_SYSEX_XG_LSB, `code` its parameter code, `value` 0..127;
    // for XG, `group` and `block` come from the pending EV_SYSEX_XG_MSB.
    virtual void parameter(int type, int code, int value, int group, int block) = 0;
};

}  // namespace svt
