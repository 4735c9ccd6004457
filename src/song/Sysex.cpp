// System-exclusive messages that change the system mode, master settings and the GS
// display become single events here. Part, drum, effect and tuning parameters expand
// through interpretMultiSysex (SysexMulti.cpp).
#include "song/Sysex.h"

#include "song/SysexDetail.h"

#include <algorithm>
#include <string>

namespace svt {

namespace {

using sysex_detail::gsChannel;
using sysex_detail::gsChecksumValid;

// Text of a GS display message: the bytes between the address and the checksum.
std::string gsText(std::span<const uint8_t> m) {
    size_t end = 7;
    while (end < m.size() && m[end] != 0xF7) ++end;
    if (end > 7) --end;  // drop the checksum
    std::string text;
    for (size_t i = 7; i < end; ++i) text.push_back(static_cast<char>(m[i]));
    return text;
}

void setupParameter(GsSetupBlock& setup, std::span<const uint8_t> m) {
    const int index = m[6] - 0x38;
    for (int i = 0; i < 3; ++i)
        setup.params[index][i] = 7 + i < static_cast<int>(m.size()) ? m[7 + i] : 0;
    setup.paramsSeen = static_cast<uint8_t>(setup.paramsSeen | (1u << index));
    bool all = setup.voiceReserveSeen && setup.voiceReserve[0] != 0 && setup.paramsSeen == 0xFF;
    for (int i = 0; all && i < 8; ++i) all = setup.params[i][0] != 0;
    setup.setupFlag = all;
}

bool gsSingle(std::span<const uint8_t> m, GsSetupBlock& setup, SongEvent& out) {
    if (!gsChecksumValid(m)) return false;
    int hi = m[4];
    const int mid = m[5], lo = m[6];
    const int value = m[7];
    int channelOffset = 0;
    if (hi == 0x50 || hi == 0x51) {
        hi -= 0x10;
        channelOffset = 16;
    }
    if ((hi == 0x40 && mid == 0x00 && lo == 0x7F) || (hi == 0x00 && mid == 0x00 && lo == 0x7F)) {
        out = SongEvent{0, EV_SYSTEM_RESET, 0, SYSTEM_GS_RESET, 255};
        return true;
    }
    if (hi == 0x40 && mid == 0x00 && lo == 0x04) {
        const int volume = sysex_detail::masterVolumeOf7Bit(value);
        out = SongEvent{0, EV_MASTER_VOLUME, 0, static_cast<uint8_t>(volume & 0xFF),
                        static_cast<uint8_t>(volume >> 8)};
        return true;
    }
    if (hi == 0x40 && mid == 0x01 && lo == 0x10) {
        if (m.size() > 24) {
            for (int i = 0; i < 18; ++i) setup.voiceReserve[i] = m[static_cast<size_t>(7 + i)];
            setup.voiceReserveSeen = true;
        }
        return false;
    }
    if (hi == 0x40 && mid == 0x01 && lo >= 0x38 && lo <= 0x3F) {
        setupParameter(setup, m);
        return false;
    }
    if (hi == 0x40 && (mid & 0xF0) == 0x10 && (lo == 0x15 || lo == 0x16)) {
        const auto ch = static_cast<uint8_t>(gsChannel(mid & 0x0F) + channelOffset);
        out = SongEvent{0, static_cast<uint8_t>(lo == 0x15 ? EV_DRUM_PART : EV_KEY_SHIFT), ch,
                        static_cast<uint8_t>(value), 255};
        return true;
    }
    return false;
}

}  // namespace

bool interpretSingleSysex(std::span<const uint8_t> m, GsSetupBlock& setup, SysexTextStore& texts,
                          SongEvent& out) {
    const size_t n = m.size();
    if (n >= 10 && m[0] == 0x41 && m[1] == 0x10 && m[2] == 0x42 && m[3] == 0x12)
        return gsSingle(m, setup, out);
    if (n >= 10 && m[0] == 0x41 && m[1] == 0x10 && m[2] == 0x45 && m[3] == 0x12 && m[4] == 0x10 &&
        m[6] == 0x00) {
        if (m[5] == 0x00) {
            out = texts.makeTextEvent(EV_GS_DISPLAY_TEXT, gsText(m));
            return true;
        }
        if (m[5] == 0x01) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            std::string hex;
            for (size_t i = 7; i < 7 + 64; ++i) {
                const uint8_t b = i < n ? m[i] : 0;
                hex.push_back(kHex[b >> 4]);
                hex.push_back(kHex[b & 0x0F]);
            }
            out = texts.makeTextEvent(EV_GS_BITMAP, hex);
            return true;
        }
    }
    if (n >= 8 && m[0] == 0x43 && m[1] == 0x10 && m[2] == 0x4C && m[3] == 0x00 && m[4] == 0x00 &&
        m[5] == 0x7E) {
        out = SongEvent{0, EV_SYSTEM_RESET, 0, SYSTEM_XG_ON, 255};
        return true;
    }
    if (n >= 5 && m[0] == 0x7F && m[2] == 0x04 && m[3] == 0x01) {
        const int ll = n > 4 ? m[4] : 0, mm = n > 5 ? m[5] : 0;
        const int volume = ((mm & 0x7F) * 128 + (ll & 0x7F)) * 4 + 3;
        if (m[1] == 0x7F) {
            out = SongEvent{0, EV_MASTER_VOLUME, 0, static_cast<uint8_t>(volume & 0xFF),
                            static_cast<uint8_t>((volume >> 8) & 0xFF)};
        } else {
            out = SongEvent{0, EV_VOLUME, static_cast<uint8_t>(m[1] & 0x0F),
                            static_cast<uint8_t>((volume >> 8) & 0xFF), 0};
        }
        return true;
    }
    if (n >= 5 && (m[0] == 0x7E || m[0] == 0x7F) && m[2] == 0x08 && m[3] == 0x0A) {
        const int n1 = m[4], n2 = n > 5 ? m[5] : 0;
        out = SongEvent{0, EV_SCALE_TYPE, 0, static_cast<uint8_t>(((n2 + 12) * 16 + n1) & 0xFF),
                        static_cast<uint8_t>(m[0] == 0x7F ? 1 : 0)};
        return true;
    }
    // 7E/7F dd 08 0B cc tt: temperament type tt of channel cc; 08 0C tt: of every channel.
    // As with the temperament key, the real-time form retunes sounding notes at once.
    if (n >= 5 && (m[0] == 0x7E || m[0] == 0x7F) && m[2] == 0x08 &&
        (m[3] == 0x0B || m[3] == 0x0C)) {
        const bool master = m[3] == 0x0C;
        const size_t at = master ? 4 : 5;
        if (sysex_detail::endMark(m, 4) <= at) return false;
        out = SongEvent{
            0, static_cast<uint8_t>(master ? EV_MASTER_TEMPERAMENT_TYPE : EV_TEMPERAMENT_TYPE),
            static_cast<uint8_t>(master ? 0 : m[4] & 0x7F), static_cast<uint8_t>(m[at] & 0x7F),
            static_cast<uint8_t>(m[0] == 0x7F ? 1 : 0)};
        return true;
    }
    // Only the non-real-time form is a GM system message: 7F dd 09 .. sets controller
    // destinations and must not reset the song's system mode.
    if (n >= 5 && m[0] == 0x7E && m[2] == 0x09) {
        const uint8_t mode = m[3] == 0x01   ? SYSTEM_GM_ON
                             : m[3] == 0x03 ? SYSTEM_GM2_ON
                                            : SYSTEM_GM_OFF;
        out = SongEvent{0, EV_SYSTEM_RESET, 0, mode, 0};
        return true;
    }
    return false;
}

}  // namespace svt
