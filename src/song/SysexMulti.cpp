// Part, drum, effect and tuning parameters of GS, XG and universal messages, each expanded
// into the channel events, NRPN triples and parameter-table events the channels apply.
#include <algorithm>
#include <array>
#include <cmath>

#include "song/Sysex.h"
#include "song/SysexDetail.h"

namespace svt {

namespace {

using namespace sysex_code;
using sysex_detail::endMark;
using sysex_detail::gsChannel;

// What one parameter address turns into.
enum class Act : uint8_t {
    None,
    Control,         // channel event of type x, a = value
    Pan,             // EV_PAN; 0 pans at random
    MonoPoly,        // 0 is EV_MONO, anything else EV_POLY
    ReceiveChannel,  // GS receive channel; 16 and above (off) become 0x80
    Nrpn,            // NRPN x y, data entry = value
    BendRange,       // RPN 00 00, data entry = value - 64
    ScaleTuning,     // note class x, offset value - 64
    Universal,       // EV_SYSEX_LSB code x
    Gs,              // EV_SYSEX_GS_LSB code x
    Xg,              // EV_SYSEX_XG_LSB code x (part group)
    DrumNrpn,        // NRPN x key
    DrumPlayKey,     // GS play key: NRPN 18 key with the key's distance + 64
    UniversalPair,   // EV_SYSEX_MSB (key, x), EV_SYSEX_LSB (value, x)
    GsPair,          // EV_SYSEX_GS_MSB (key, x), EV_SYSEX_GS_LSB (value, x)
    XgPair,          // EV_SYSEX_XG_MSB (key, part group), EV_SYSEX_XG_LSB (value, x)
};

struct Row {
    Act act = Act::None;
    uint8_t x = 0;
    uint8_t y = 0;
};

using Table = std::array<Row, 128>;

// The six modulation destinations of XG: pitch, filter, amplitude, LFO pitch, LFO filter,
// LFO amplitude, as offsets in a controller-destination record.
constexpr uint8_t kXgDestinations[6] = {kDestPitch,     kDestCutoff,     kDestAmplitude,
                                        kDestLfo1Pitch, kDestLfo1Filter, kDestLfo1Amplitude};

constexpr void setDestinations(Table& t, int first, int count, uint8_t record, int skip) {
    for (int i = 0; i < count; ++i)
        t[first + i] = {Act::Universal, static_cast<uint8_t>(record + kXgDestinations[i + skip])};
}

// XG multi part, address 08 pp al.
constexpr Table makeXgPart() {
    Table t{};
    t[0x01] = {Act::Control, EV_BANK_MSB};
    t[0x02] = {Act::Control, EV_BANK_LSB};
    t[0x03] = {Act::Control, EV_PROGRAM};
    t[0x04] = {Act::Xg, kXgReceiveChannel};
    t[0x05] = {Act::MonoPoly};
    t[0x07] = {Act::Control, EV_DRUM_PART};
    t[0x08] = {Act::Control, EV_KEY_SHIFT};
    t[0x0B] = {Act::Control, EV_VOLUME};
    t[0x0C] = {Act::Gs, kGsVelocitySenseDepth};
    t[0x0D] = {Act::Gs, kGsVelocitySenseOffset};
    t[0x0E] = {Act::Pan};
    t[0x0F] = {Act::Universal, kNoteLimitLow};
    t[0x10] = {Act::Universal, kNoteLimitHigh};
    t[0x11] = {Act::Xg, kXgDryLevel};
    t[0x12] = {Act::Control, EV_CHORUS_SEND};
    t[0x13] = {Act::Control, EV_REVERB_SEND};
    t[0x14] = {Act::Control, EV_CELESTE_SEND};
    t[0x15] = {Act::Nrpn, 0x01, 0x08};
    t[0x16] = {Act::Nrpn, 0x01, 0x09};
    t[0x17] = {Act::Nrpn, 0x01, 0x0A};
    t[0x18] = {Act::Nrpn, 0x01, 0x20};
    t[0x19] = {Act::Nrpn, 0x01, 0x21};
    t[0x1A] = {Act::Nrpn, 0x01, 0x63};
    t[0x1B] = {Act::Nrpn, 0x01, 0x64};
    t[0x1C] = {Act::Nrpn, 0x01, 0x66};
    setDestinations(t, 0x1D, 6, kModulationWheel, 0);
    t[0x23] = {Act::BendRange};
    setDestinations(t, 0x24, 5, kPitchBend, 1);  // the bend's pitch is its range above
    for (int i = 0; i <= 0x10; ++i)
        t[0x30 + i] = {Act::Universal, static_cast<uint8_t>(kReceiveSwitchFirst + i)};
    for (int i = 0; i < 12; ++i) t[0x41 + i] = {Act::ScaleTuning, static_cast<uint8_t>(i)};
    setDestinations(t, 0x4D, 6, kChannelPressure, 0);
    setDestinations(t, 0x53, 6, kKeyPressure, 0);
    setDestinations(t, 0x5A, 6, kController1, 0);
    setDestinations(t, 0x61, 6, kController2, 0);
    t[0x67] = {Act::Control, EV_PORTAMENTO};
    t[0x68] = {Act::Control, EV_PORTAMENTO_TIME_MSB};
    t[0x6D] = {Act::Universal, kVelocityLimitLow};
    t[0x6E] = {Act::Universal, kVelocityLimitHigh};
    t[0x72] = {Act::Nrpn, 0x01, 0x30};
    t[0x73] = {Act::Nrpn, 0x01, 0x31};
    t[0x76] = {Act::Nrpn, 0x01, 0x34};
    t[0x77] = {Act::Nrpn, 0x01, 0x35};
    return t;
}

// XG drum setup, address 3s kk al.
constexpr Table makeXgDrum() {
    Table t{};
    constexpr uint8_t kAddress[15] = {0x00, 0x01, 0x02, 0x04, 0x05, 0x06, 0x07, 0x0B,
                                      0x0C, 0x0D, 0x0E, 0x20, 0x21, 0x24, 0x25};
    constexpr uint8_t kNrpn[15] = {0x18, 0x19, 0x1A, 0x1C, 0x1D, 0x1E, 0x1F, 0x14,
                                   0x15, 0x16, 0x17, 0x30, 0x31, 0x34, 0x35};
    for (int i = 0; i < 15; ++i) t[kAddress[i]] = {Act::DrumNrpn, kNrpn[i]};
    t[0x03] = {Act::XgPair, kXgDrumAlternateGroup};
    t[0x08] = {Act::XgPair, kXgDrumKeyAssign};
    t[0x09] = {Act::UniversalPair, kDrumReceiveNoteOff};
    t[0x0A] = {Act::UniversalPair, kDrumReceiveNoteOn};
    return t;
}

// GS patch part, address 40 1b al. 15 and 16 (rhythm part, key shift) are single events
// when they open a message (see gsParameter).
constexpr Table makeGsPart() {
    Table t{};
    t[0x00] = {Act::Control, EV_BANK_MSB};
    t[0x01] = {Act::Control, EV_PROGRAM};
    t[0x02] = {Act::ReceiveChannel};
    for (int i = 0; i < 16; ++i)
        t[0x03 + i] = {Act::Universal, static_cast<uint8_t>(kReceiveSwitchFirst + i)};
    t[0x13] = {Act::MonoPoly};
    t[0x14] = {Act::Gs, kGsAssignMode};
    t[0x15] = {Act::Control, EV_DRUM_PART};
    t[0x16] = {Act::Control, EV_KEY_SHIFT};
    t[0x17] = {Act::Gs, kGsPitchOffsetFine};
    t[0x19] = {Act::Control, EV_VOLUME};
    t[0x1A] = {Act::Gs, kGsVelocitySenseDepth};
    t[0x1B] = {Act::Gs, kGsVelocitySenseOffset};
    t[0x1C] = {Act::Pan};
    t[0x1D] = {Act::Universal, kNoteLimitLow};
    t[0x1E] = {Act::Universal, kNoteLimitHigh};
    t[0x21] = {Act::Control, EV_CHORUS_SEND};
    t[0x22] = {Act::Control, EV_REVERB_SEND};
    t[0x23] = {Act::Universal, kReceiveSwitchFirst + 0x10};
    t[0x24] = {Act::Universal, kReceiveSwitchFirst + 0x11};
    t[0x2C] = {Act::Control, EV_CELESTE_SEND};
    t[0x30] = {Act::Nrpn, 0x01, 0x08};
    t[0x31] = {Act::Nrpn, 0x01, 0x09};
    t[0x32] = {Act::Nrpn, 0x01, 0x20};
    t[0x33] = {Act::Nrpn, 0x01, 0x21};
    t[0x34] = {Act::Nrpn, 0x01, 0x63};
    t[0x35] = {Act::Nrpn, 0x01, 0x64};
    t[0x36] = {Act::Nrpn, 0x01, 0x66};
    t[0x37] = {Act::Nrpn, 0x01, 0x0A};
    for (int i = 0; i < 12; ++i) t[0x40 + i] = {Act::ScaleTuning, static_cast<uint8_t>(i)};
    return t;
}

// GS part controllers, address 40 2b al: six records of eleven destinations, at 16-byte
// steps. The bend's pitch control is its range.
constexpr Table makeGsControllers() {
    Table t{};
    constexpr uint8_t kRecords[6] = {kModulationWheel, kPitchBend,   kChannelPressure,
                                     kKeyPressure,     kController1, kController2};
    for (int r = 0; r < 6; ++r) {
        for (int i = 0; i < 11; ++i)
            t[16 * r + i] = {Act::Universal, static_cast<uint8_t>(kRecords[r] + i)};
    }
    t[0x10] = {Act::BendRange};
    return t;
}

// GS part settings, address 40 4b al.
constexpr Table makeGsPartSettings() {
    Table t{};
    t[0x00] = {Act::Control, EV_BANK_LSB};
    t[0x01] = {Act::Gs, kGsToneMap};
    t[0x20] = {Act::Gs, kGsEqSwitch};
    t[0x22] = {Act::Gs, kGsInsertionSwitch};
    return t;
}

// GS drum set-up, address 41 mk nn, by parameter kind k.
constexpr Table makeGsDrum() {
    Table t{};
    t[0x1] = {Act::DrumPlayKey};
    t[0x2] = {Act::DrumNrpn, 0x1A};
    t[0x4] = {Act::DrumNrpn, 0x1C};
    t[0x5] = {Act::DrumNrpn, 0x1D};
    t[0x6] = {Act::DrumNrpn, 0x1E};
    t[0x7] = {Act::GsPair, kGsDrumReceiveNoteOff};
    t[0x8] = {Act::UniversalPair, kDrumReceiveNoteOn};
    t[0x9] = {Act::DrumNrpn, 0x1F};
    return t;
}

constexpr Table kXgPart = makeXgPart();
constexpr Table kXgDrum = makeXgDrum();
constexpr Table kGsPart = makeGsPart();
constexpr Table kGsControllers = makeGsControllers();
constexpr Table kGsPartSettings = makeGsPartSettings();
constexpr Table kGsDrum = makeGsDrum();

// The events of one message. A parameter's events go in whole or not at all.
class Sink {
  public:
    explicit Sink(std::span<SongEvent, kMaxSysexEvents> out) : out_(out) {}

    bool room(int events) const { return count_ + events <= kMaxSysexEvents; }
    void put(uint8_t type, int channel, int a, int b) {
        out_[static_cast<size_t>(count_++)] =
            SongEvent{0, type, static_cast<uint8_t>(channel), static_cast<uint8_t>(a),
                      static_cast<uint8_t>(b)};
    }
    int count() const { return count_; }

  private:
    std::span<SongEvent, kMaxSysexEvents> out_;
    int count_ = 0;
};

int eventsOf(Act act) {
    switch (act) {
        case Act::None:
            return 0;
        case Act::Nrpn:
        case Act::BendRange:
        case Act::DrumNrpn:
        case Act::DrumPlayKey:
            return 3;
        case Act::UniversalPair:
        case Act::GsPair:
        case Act::XgPair:
            return 2;
        default:
            return 1;
    }
}

void putTriple(Sink& out, uint8_t msbType, uint8_t lsbType, int channel, int hi, int lo,
               int value) {
    out.put(msbType, channel, hi, kFromSysex);
    out.put(lsbType, channel, lo, kFromSysex);
    out.put(EV_DATA_ENTRY_MSB, channel, value, kFromSysex);
}

// `key` is the drum key of drum rows.
void emit(Sink& out, const Row& row, int channel, int value, int key) {
    if (!out.room(eventsOf(row.act))) return;
    switch (row.act) {
        case Act::None:
            break;
        case Act::Control:
            out.put(row.x, channel, value, kFromSysex);
            break;
        case Act::Pan:
            out.put(value == 0 ? EV_RANDOM_PAN : EV_PAN, channel, value, kFromSysex);
            break;
        case Act::MonoPoly:
            out.put(value == 0 ? EV_MONO : EV_POLY, channel, value, kFromSysex);
            break;
        case Act::ReceiveChannel:
            out.put(EV_SYSEX_GS_LSB, channel, value >= 16 ? 0x80 : value, kGsReceiveChannel);
            break;
        case Act::Nrpn:
            putTriple(out, EV_NRPN_MSB, EV_NRPN_LSB, channel, row.x, row.y, value);
            break;
        case Act::BendRange:
            putTriple(out, EV_RPN_MSB, EV_RPN_LSB, channel, 0, 0, std::max(0, value - 64));
            break;
        case Act::ScaleTuning:
            out.put(EV_SCALE_TUNING, channel, row.x, (value - 64) & 0xFF);
            break;
        case Act::Universal:
            out.put(EV_SYSEX_LSB, channel, value, row.x);
            break;
        case Act::Gs:
            out.put(EV_SYSEX_GS_LSB, channel, value, row.x);
            break;
        case Act::Xg:
            out.put(EV_SYSEX_XG_LSB, channel, value, row.x);
            break;
        case Act::DrumNrpn:
            putTriple(out, EV_NRPN_MSB, EV_NRPN_LSB, channel, row.x, key, value);
            break;
        case Act::DrumPlayKey:
            putTriple(out, EV_NRPN_MSB, EV_NRPN_LSB, channel, 0x18, key,
                      std::clamp(value - key + 64, 0, 127));
            break;
        case Act::UniversalPair:
            out.put(EV_SYSEX_MSB, channel, key, row.x);
            out.put(EV_SYSEX_LSB, channel, value, row.x);
            break;
        case Act::GsPair:
            out.put(EV_SYSEX_GS_MSB, channel, key, row.x);
            out.put(EV_SYSEX_GS_LSB, channel, value, row.x);
            break;
        case Act::XgPair:
            out.put(EV_SYSEX_XG_MSB, channel, key, kXgGroupPart);
            out.put(EV_SYSEX_XG_LSB, channel, value, row.x);
            break;
    }
}

void putMasterVolume(Sink& out, int value) {
    if (!out.room(1)) return;
    const int volume = sysex_detail::masterVolumeOf7Bit(value);
    out.put(EV_MASTER_VOLUME, 0, volume & 0xFF, volume >> 8);
}

// One XG address (high, mid, low) set to `value`.
void xgParameter(Sink& out, int high, int mid, int low, int value) {
    if (high == 0x08) {
        emit(out, kXgPart[static_cast<size_t>(low)], mid, value, 0);
    } else if ((high & 0xF0) == 0x30) {
        emit(out, kXgDrum[static_cast<size_t>(low)], kDrumSetAddress + (high & 0x0F), value, mid);
    } else if (high == 0x00 && mid == 0x00 && low == 0x04) {
        putMasterVolume(out, value);
    } else if (high == 0x02 && mid == 0x01 && low <= kXgEffectLast && out.room(2)) {
        out.put(EV_SYSEX_XG_MSB, 0, 0, kXgGroupEffect);
        out.put(EV_SYSEX_XG_LSB, 0, value, low);
    } else if (high == 0x02 && mid == 0x40 && low <= kXgMultiEqLast && out.room(2)) {
        out.put(EV_SYSEX_XG_MSB, 0, 0, kXgGroupMultiEq);
        out.put(EV_SYSEX_XG_LSB, 0, value, low);
    } else if (high == 0x03 && mid <= 1 && low <= kXgInsertionLast && out.room(2)) {
        out.put(EV_SYSEX_XG_MSB, 0, mid, kXgGroupInsertion);
        out.put(EV_SYSEX_XG_LSB, 0, value, low);
    }
}

// Data bytes [first, end) set the addresses from `low` on, one each; addresses do not
// carry past 7F.
void xgData(Sink& out, std::span<const uint8_t> m, int high, int mid, int low, size_t first,
            size_t end) {
    for (size_t i = first; i < end && low <= 0x7F; ++i, ++low)
        xgParameter(out, high, mid, low, m[i] & 0x7F);
}

// 43 0n 4C sh sl ah am al data.. cs F7: part and drum blocks of 41 or 63 bytes.
void xgBulkDump(Sink& out, std::span<const uint8_t> m) {
    if (m.size() < 10) return;
    const int count = (m[3] & 0x7F) * 128 + (m[4] & 0x7F);
    const int high = m[5];
    if ((count != 41 && count != 63) || (high != 0x08 && (high & 0xF0) != 0x30)) return;
    // The byte in front of the F7 is the checksum; a short dump ends there.
    const size_t end = std::max<size_t>(endMark(m, 8), 9) - 1;
    xgData(out, m, high, m[6] & 0x7F, m[7] & 0x7F, 8,
           std::min(end, 8 + static_cast<size_t>(count)));
}

// 43 1n 4C ah am al dd.. F7.
void xgParameterChange(Sink& out, std::span<const uint8_t> m) {
    if (m.size() < 8) return;
    xgData(out, m, m[3], m[4] & 0x7F, m[5] & 0x7F, 6, endMark(m, 6));
}

int gsInsertionCode(int low) {
    if (low <= 0x01) return kGsInsertionTypeMsb + low;
    if (low >= 0x03 && low <= 0x19)
        return kGsInsertionTypeMsb + low - 1;  // parameters 1-20, three sends
    if (low >= 0x1B && low <= 0x1F) return kGsInsertionTypeMsb + low - 2;  // controls, EQ switch
    return -1;
}

int gsEffectCode(int mid, int low) {
    if (mid == 0x01) {
        if (low >= 0x30 && low <= 0x40) return kGsReverbMacro + low - 0x30;
        if (low >= 0x50 && low <= 0x5A) return kGsDelayMacro + low - 0x50;
    }
    if (mid == 0x02) {
        constexpr int kEq[4] = {kGsEqLowFrequency, kGsEqLowGain, kGsEqHighFrequency, kGsEqHighGain};
        if (low <= 3) return kEq[low];
    }
    if (mid == 0x03) return gsInsertionCode(low);
    return -1;
}

// One GS address set to `value`; `opens` when it is the message's first address.
void gsParameter(Sink& out, int high, int mid, int low, int value, int key, bool opens,
                 int device) {
    int port = 0;
    if (high == 0x50 || high == 0x51) {
        high -= 0x10;
        port = 16;
    }
    if (high == 0x00 && mid == 0x01 && low <= 0x1F) {
        // Port assignment of a part: the part's events arrive on its own port's channel, and
        // the song's conversion folds both ports onto one set of channels. So what counts is
        // whether the part listens to its own port (0) or to the other one (1).
        const int ownPort = (low & 0x10) ? 1 : 0;
        if (out.room(1))
            out.put(EV_SYSEX_GS_LSB, gsChannel(low & 0x0F) + (low & 0x10),
                    (value & 1) != ownPort ? 1 : 0, kGsPortSelect);
    } else if (high == 0x40 && mid <= 0x03) {
        const int code = gsEffectCode(mid, low);
        if (code >= 0 && out.room(1)) out.put(EV_SYSEX_GS_LSB, 0, value, code);
    } else if (high == 0x40) {
        const int channel = gsChannel(mid & 0x0F) + port;
        const size_t at = static_cast<size_t>(low);
        switch (mid & 0xF0) {
            case 0x10:
                // A message opening at the rhythm-part or key-shift address is the single
                // interpreter's event.
                if (!(opens && device == 0x10 && (low == 0x15 || low == 0x16)))
                    emit(out, kGsPart[at], channel, value, 0);
                break;
            case 0x20:
                emit(out, kGsControllers[at], channel, value, 0);
                break;
            case 0x40:
                emit(out, kGsPartSettings[at], channel, value, 0);
                break;
            default:
                break;
        }
    } else if (high == 0x41) {
        // The high nibble is the drum map.
        emit(out, kGsDrum[static_cast<size_t>(mid & 0x0F)], kDrumSetAddress + port + (mid >> 4),
             value, key);
    }
}

// 41 dd 42 12 aa bb cc data.. cs F7; the data set the addresses from cc on (for drum
// set-up: the keys from cc on).
void gsMessage(Sink& out, std::span<const uint8_t> m) {
    if (m.size() < 10 || !sysex_detail::gsChecksumValid(m)) return;
    const size_t end = endMark(m, 9) - 1;
    const int high = m[4] & 0x7F, mid = m[5] & 0x7F;
    int low = m[6] & 0x7F;
    for (size_t i = 7; i < end && low <= 0x7F; ++i, ++low) {
        gsParameter(out, high, mid, low, m[i] & 0x7F, low, i == 7, m[1]);
    }
}

// 7E dd 08 01 pp name(16) (xx yy zz)x128 cs F7, or 08 04 with a bank before the program.
void tuningBulkDump(Sink& out, std::span<const uint8_t> m, bool withBank) {
    const size_t programAt = withBank ? 5 : 4;
    const size_t end = endMark(m, 4);
    if (programAt >= end || !out.room(1)) return;
    out.put(EV_TUNING_BULK, 0, m[programAt] & 0x7F, withBank ? m[4] & 0x7F : 0);
    const size_t keys = programAt + 17;
    for (int key = 0; key < 128; ++key) {
        const size_t at = keys + 3 * static_cast<size_t>(key);
        if (at + 3 > end || !out.room(2)) return;
        out.put(EV_TUNING_BULK, 1, key, m[at] & 0x7F);
        out.put(EV_TUNING_BULK, 2, m[at + 1] & 0x7F, m[at + 2] & 0x7F);
    }
}

// 7F dd 08 02 pp ll (kk xx yy zz)xll F7, or 08 07 with a bank before the program.
void singleNoteTuning(Sink& out, std::span<const uint8_t> m, bool withBank) {
    const size_t programAt = withBank ? 5 : 4;
    const size_t end = endMark(m, 4);
    if (programAt + 1 >= end || !out.room(1)) return;
    out.put(EV_TUNING_NOTE, 0, m[programAt] & 0x7F, withBank ? m[4] & 0x7F : 0);
    const int changes = m[programAt + 1] & 0x7F;
    for (int i = 0; i < changes; ++i) {
        const size_t at = programAt + 2 + 4 * static_cast<size_t>(i);
        if (at + 4 > end || !out.room(2)) return;
        out.put(EV_TUNING_NOTE, 1, m[at] & 0x7F, m[at + 1] & 0x7F);
        out.put(EV_TUNING_NOTE, 2, m[at + 2] & 0x7F, m[at + 3] & 0x7F);
    }
}

// 7E/7F dd 08 08 ff gg hh ss x12 (one byte, 64 = no change, cents) or 08 09 with two bytes
// of 14 bits (8192 = no change, 100 cents = 8192) per note class.
void scaleTuning(Sink& out, std::span<const uint8_t> m, bool twoBytes) {
    const size_t end = endMark(m, 4);
    if (end < 7) return;
    const uint32_t channels = ((m[4] & 0x03u) << 14) | ((m[5] & 0x7Fu) << 7) | (m[6] & 0x7Fu);
    const size_t width = twoBytes ? 2 : 1;
    for (int channel = 0; channel < 16; ++channel) {
        if ((channels & (1u << channel)) == 0) continue;
        for (int note = 0; note < 12; ++note) {
            const size_t at = 7 + width * static_cast<size_t>(note);
            if (at + width > end || !out.room(1)) break;
            int cents = (m[at] & 0x7F) - 64;
            if (twoBytes) {
                const int value = (m[at] & 0x7F) * 128 + (m[at + 1] & 0x7F);
                cents = static_cast<int>(std::lround((value - 8192) * 100.0 / 8192.0));
            }
            out.put(EV_SCALE_TUNING, channel, note, cents & 0xFF);
        }
    }
}

// 7E/7F dd 08 0D uu ss (cc)x12 F7: user temperament uu (0..3), set ss (0 major, 1 minor),
// for each degree above the tonic its cents from equal temperament + 64.
void userTemperament(Sink& out, std::span<const uint8_t> m) {
    const size_t end = endMark(m, 4);
    if (end < 6 + 12 || m[4] > 3 || m[5] > 1) return;
    for (int degree = 0; degree < 12 && out.room(1); ++degree)
        out.put(EV_USER_TEMPERAMENT, m[4] + 4 * m[5], degree,
                ((m[6 + static_cast<size_t>(degree)] & 0x7F) - 64) & 0xFF);
}

// 7F dd 04 05 01 01 01 01 0s (pp vv).. F7: slot 01 01 reverb, 01 02 chorus, one-byte
// parameters and values.
void globalParameters(Sink& out, std::span<const uint8_t> m) {
    const size_t end = endMark(m, 4);
    if (end < 9 || m[4] != 1 || m[5] != 1 || m[6] != 1 || m[7] != 1 || (m[8] != 1 && m[8] != 2))
        return;
    const bool reverb = m[8] == 1;
    for (size_t i = 9; i + 2 <= end && out.room(1); i += 2) {
        const int parameter = m[i], value = m[i + 1] & 0x7F;
        if (reverb) {
            if (parameter == 0) out.put(EV_SYSEX_LSB, 0, value, kReverbType);
            if (parameter == 1) out.put(EV_SYSEX_GS_LSB, 0, value, kGsReverbTime);
        } else {
            constexpr int kChorus[5] = {-1, kGsChorusRate, kGsChorusDepth, kGsChorusFeedback,
                                        kGsChorusSendToReverb};
            if (parameter == 0) out.put(EV_SYSEX_LSB, 0, value, kChorusType);
            if (parameter >= 1 && parameter <= 4)
                out.put(EV_SYSEX_GS_LSB, 0, value, kChorus[parameter]);
        }
    }
}

// 7F dd 09 01 cc (pp rr).. F7 (channel pressure) and 09 02 (key pressure): destination pp
// 0 pitch, 1 cut-off, 2 amplitude, 3..5 the LFO's pitch, filter and amplitude depth.
void pressureDestinations(Sink& out, std::span<const uint8_t> m, uint8_t record) {
    const size_t end = endMark(m, 4);
    if (end < 5) return;
    const int channel = m[4] & 0x0F;
    for (size_t i = 5; i + 2 <= end && out.room(1); i += 2) {
        const int destination = m[i];
        if (destination <= 5) {
            out.put(EV_SYSEX_LSB, channel, m[i + 1] & 0x7F, record + kXgDestinations[destination]);
        }
    }
}

void universal(Sink& out, std::span<const uint8_t> m) {
    if (m.size() < 5) return;
    const bool realTime = m[0] == 0x7F;
    const int sub1 = m[2], sub2 = m[3];
    if (sub1 == 0x08) {
        if (!realTime && sub2 == 0x01) tuningBulkDump(out, m, false);
        if (!realTime && sub2 == 0x04) tuningBulkDump(out, m, true);
        if (realTime && sub2 == 0x02) singleNoteTuning(out, m, false);
        if (sub2 == 0x07) singleNoteTuning(out, m, true);
        if (sub2 == 0x08 || sub2 == 0x09) scaleTuning(out, m, sub2 == 0x09);
        if (sub2 == 0x0D) userTemperament(out, m);
    } else if (realTime && sub1 == 0x04 && sub2 == 0x05) {
        globalParameters(out, m);
    } else if (realTime && sub1 == 0x09 && (sub2 == 0x01 || sub2 == 0x02)) {
        pressureDestinations(out, m, sub2 == 0x01 ? kChannelPressure : kKeyPressure);
    }
}

}  // namespace

int interpretMultiSysex(std::span<const uint8_t> m, std::span<SongEvent, kMaxSysexEvents> events) {
    Sink out(events);
    if (m.size() < 4) return 0;
    if (m[0] == 0x43 && m[2] == 0x4C) {
        if ((m[1] & 0xF0) == 0x00) xgBulkDump(out, m);
        if ((m[1] & 0xF0) == 0x10) xgParameterChange(out, m);
    } else if (m[0] == 0x41 && m[2] == 0x42 && m[3] == 0x12) {
        gsMessage(out, m);
    } else if (m[0] == 0x7E || m[0] == 0x7F) {
        universal(out, m);
    }
    return out.count();
}

}  // namespace svt
