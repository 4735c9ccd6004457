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

// `message` holds the bytes after 0xF0: manufacturer ID first, the closing 0xF7 included.
// Returns true and fills `out` (time left 0) when the message yields its one event.
bool interpretSingleSysex(std::span<const uint8_t> message, GsSetupBlock& setup, SysexTextStore& texts,
                          SongEvent& out);

// Writes the events of a part, drum, effect or tuning message into `out`; returns
// how many (times left 0).
int interpretMultiSysex(std::span<const uint8_t> message, std::span<SongEvent, kMaxSysexEvents> out);

}  // namespace svt
