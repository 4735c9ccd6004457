#pragma once
// Turns system-exclusive messages of GM, GS and XG songs into ordinary song events at
// the message's time. The readers hand every complete 0xF0 message to both
// interpreters: first the single-message one, then the multi-event one.

#include <cstdint>
#include <span>
#include <string_view>

#include "song/SongEvent.h"

namespace svt {

// The largest expansion is a tuning bulk dump: 1 + 128 * 2 events.
inline constexpr int kMaxSysexEvents = 257;

// GS set-up data seen in the current track (cleared at every track start). When the
// voice-reserve data and all eight parameters at 40 01 38..3F have been seen, each with
// a non-zero first byte, the track is a GS set-up track.
struct GsSetupBlock {
    uint8_t voiceReserve[18] = {};
    bool voiceReserveSeen = false;
    uint8_t params[8][3] = {};
    uint8_t paramsSeen = 0;  // bit i: parameter 40 01 38+i seen
    bool setupFlag = false;

    void clear() { *this = GsSetupBlock{}; }
};

// Text-bearing results (GS display text and bitmap) go into the song's string table.
class SysexTextStore {
  public:
    virtual ~SysexTextStore() = default;
    // Stores `text` and returns an event of `type` that refers to it (time left 0).
    virtual SongEvent makeTextEvent(uint8_t type, std::string_view text) = 0;
};

// The events of an XG drum set-up or GS drum map message are addressed to the set, not to a
// channel: channel kDrumSetAddress + 16 * port + set. The event list hands them to every part
// that plays that set when they arrive, and to a part that takes the set up later.
inline constexpr uint8_t kDrumSetAddress = 0xC0;

// Parameter codes of the system-exclusive parameter events, shared with the channels that
// apply them. EV_SYSEX_LSB (universal table):
namespace sysex_code {
// Six controller-destination records of eleven codes each, in this order; add a kDest* offset.
inline constexpr uint8_t kChannelPressure = 0x00;
inline constexpr uint8_t kKeyPressure = 0x0B;
inline constexpr uint8_t kModulationWheel = 0x16;
inline constexpr uint8_t kPitchBend = 0x21;
inline constexpr uint8_t kController1 = 0x2C;
inline constexpr uint8_t kController2 = 0x37;
inline constexpr uint8_t kDestPitch = 0, kDestCutoff = 1, kDestAmplitude = 2, kDestLfo1Rate = 3,
                         kDestLfo1Pitch = 4, kDestLfo1Filter = 5, kDestLfo1Amplitude = 6,
                         kDestLfo2Rate = 7, kDestLfo2Pitch = 8, kDestLfo2Filter = 9,
                         kDestLfo2Amplitude = 10;
inline constexpr uint8_t kNoteLimitLow = 0x42, kNoteLimitHigh = 0x43;
inline constexpr uint8_t kVelocityLimitLow = 0x44, kVelocityLimitHigh = 0x45;
// Drum key in the pending EV_SYSEX_MSB's `a`.
inline constexpr uint8_t kDrumReceiveNoteOff = 0x46, kDrumReceiveNoteOn = 0x47;
// Receive switches: pitch bend, channel pressure, program, control change, key pressure, notes,
// RPN, NRPN, modulation, volume, pan, expression, hold, portamento, sostenuto, soft, bank select
// (bank select LSB follows). The channels do not act on them.
inline constexpr uint8_t kReceiveSwitchFirst = 0x48;
inline constexpr uint8_t kReverbType = 0x60, kChorusType = 0x61;

// EV_SYSEX_GS_LSB (second table).
inline constexpr uint8_t kGsEqSwitch = 0x00;
inline constexpr uint8_t kGsEqLowFrequency = 0x01, kGsEqHighFrequency = 0x02, kGsEqLowGain = 0x03,
                         kGsEqHighGain = 0x04;
inline constexpr uint8_t kGsReverbMacro = 0x05;  // 0x05..0x0C: reverb addresses 40 01 30..37
inline constexpr uint8_t kGsChorusMacro = 0x0D;  // 0x0D..0x15: chorus addresses 40 01 38..40
inline constexpr uint8_t kGsDelayMacro = 0x16;   // 0x16..0x20: delay addresses 40 01 50..5A
inline constexpr uint8_t kGsChorusSendToReverb = 0x14;
inline constexpr uint8_t kGsReverbTime = 0x09;
inline constexpr uint8_t kGsChorusFeedback = 0x10, kGsChorusRate = 0x12, kGsChorusDepth = 0x13;
inline constexpr uint8_t kGsVelocitySenseDepth = 0x21, kGsVelocitySenseOffset = 0x22;
inline constexpr uint8_t kGsInsertionSwitch = 0x23, kGsAssignMode = 0x24, kGsToneMap = 0x25;
inline constexpr uint8_t kGsPitchOffsetFine = 0x26;
inline constexpr uint8_t kGsInsertionTypeMsb =
    0x27;                                           // 0x27..0x44: insertion addresses 40 03 00..1F
inline constexpr uint8_t kGsReceiveChannel = 0x45;  // 0x80: receives nothing
inline constexpr uint8_t kGsPortSelect = 0x46;
inline constexpr uint8_t kGsDrumReceiveNoteOff =
    0x47;  // drum key in the pending EV_SYSEX_GS_MSB's `a`

// EV_SYSEX_XG_LSB (third table). The pending EV_SYSEX_XG_MSB's `b` names the group and its
// `a` the unit; a lone LSB (nothing pending) is a part parameter.
inline constexpr uint8_t kXgGroupPart = 0, kXgGroupEffect = 1, kXgGroupInsertion = 2,
                         kXgGroupMultiEq = 3;
// Part group. Drum codes take the drum key from the pending `a`.
inline constexpr uint8_t kXgReceiveChannel = 'e', kXgDryLevel = 'g', kXgDrumAlternateGroup = 'h',
                         kXgDrumKeyAssign = 'i';
// Effect group: the code is the address low byte of 02 01 00..75 (reverb, chorus, variation);
// insertion group: that of 03 uu 00..43, unit uu 0 or 1; multi-EQ group: that of 02 40 00..14.
inline constexpr uint8_t kXgEffectLast = 0x75, kXgInsertionLast = 0x43, kXgMultiEqLast = 0x14;
}  // namespace sysex_code

// `message` holds the bytes after 0xF0: manufacturer ID first, the closing 0xF7 included.
// Returns true and fills `out` (time left 0) when the message yields its one event.
bool interpretSingleSysex(std::span<const uint8_t> message, GsSetupBlock& setup,
                          SysexTextStore& texts, SongEvent& out);

// Writes the events of a part, drum, effect or tuning message into `out`; returns
// how many (times left 0). Tuning changes come as EV_TUNING_BULK or EV_TUNING_NOTE items:
// `channel` 0 opens the change (a = tuning program, b = tuning bank), then per key one item
// with `channel` 1 (a = key, b = semitone) and one with `channel` 2 (a, b = the fraction's
// high and low 7 bits). Scale tuning offsets in `b` of EV_SCALE_TUNING are signed cents; so
// are those of EV_USER_TEMPERAMENT (`channel` = user temperament + 4 for its minor set, `a` =
// degree above the tonic).
int interpretMultiSysex(std::span<const uint8_t> message,
                        std::span<SongEvent, kMaxSysexEvents> out);

}  // namespace svt
