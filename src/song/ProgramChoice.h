#pragma once
// What a program change chooses in each system mode: the bank the instrument comes from,
// whether the channel turns into a drum or a melodic channel, and the instrument map. The
// channels and the instrument marking of a song's conversion follow the same rule, so that
// what is loaded before a song is what it plays.

#include <cstdint>

#include "song/SongEvent.h"

namespace svt {

// The system mode a song starts in: that of the maker of its first system-exclusive message
// (GS for Roland, XG for Yamaha, GM for universal messages), until a reset message says more.
constexpr int systemModeOfMaker(uint8_t maker) {
    switch (maker) {
        case 0x41:
            return SYSTEM_GS_RESET;
        case 0x43:
            return SYSTEM_XG_ON;
        case 0x7E:
            return SYSTEM_GM_ON;
        default:
            return SYSTEM_GM_OFF;
    }
}

struct ProgramChoice {
    int bank = 0;   // melodic bank (a drum channel takes its drum set from the program)
    int drum = -1;  // -1 unchanged, 0 melodic, 1 drum (a locked channel keeps its state)
    // Map for a melodic and for a drum channel, by the channel's state after the change;
    // -1 leaves the map as it is.
    int mapMelodic = -1;
    int mapDrum = -1;
};

// `toneMap` is the GS map a channel uses when the bank select LSB names none (0 = none).
constexpr ProgramChoice chooseProgram(int systemMode, int bankMsb, int bankLsb, int toneMap) {
    ProgramChoice c;
    switch (systemMode) {
        case SYSTEM_GM2_ON:
            c.drum = bankMsb == 120 ? 1 : bankMsb == 121 ? 0 : -1;
            c.mapMelodic = 13;
            c.mapDrum = 14;
            c.bank = bankLsb;
            break;
        case SYSTEM_GS_RESET: {
            const int map = bankLsb != 0 ? bankLsb : toneMap;
            if (map >= 1 && map <= 4) {
                c.mapMelodic = 2 * map - 1;
                c.mapDrum = 2 * map;
            }
            c.bank = bankMsb;
            break;
        }
        case SYSTEM_XG_ON:
            if (bankMsb == 0 || bankMsb == 64) {
                c.drum = 0;
                c.mapMelodic = c.mapDrum = bankMsb == 0 ? 9 : 10;
            } else if (bankMsb == 126 || bankMsb == 127) {
                c.drum = 1;
                c.mapMelodic = c.mapDrum = bankMsb == 126 ? 11 : 12;
            }
            c.bank = bankLsb;
            break;
        default:
            c.bank = bankMsb;
            break;
    }
    return c;
}

}  // namespace svt
