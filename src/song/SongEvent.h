#pragma once
// The one event record of the system. While a song is read, `time` is in ticks;
// after conversion it is the output sample at which the event takes effect.

#include <array>
#include <cstddef>
#include <cstdint>

namespace svt {

enum SongEventType : uint8_t {
    EV_NONE = 0,
    EV_NOTE_OFF = 1,
    EV_NOTE_ON = 2,
    EV_KEY_PRESSURE = 3,
    EV_PROGRAM = 4,
    EV_CHANNEL_PRESSURE = 5,
    EV_PITCH_BEND = 6,
    EV_BANK_MSB = 7,
    EV_BANK_LSB = 8,
    EV_MODULATION = 9,
    EV_BREATH = 10,
    EV_FOOT = 11,
    EV_VOLUME = 12,
    EV_BALANCE = 13,
    EV_PAN = 14,
    EV_EXPRESSION = 15,
    EV_SUSTAIN = 16,
    EV_PORTAMENTO_TIME_MSB = 17,
    EV_PORTAMENTO_TIME_LSB = 18,
    EV_PORTAMENTO = 19,
    EV_PORTAMENTO_CONTROL = 20,
    EV_DATA_ENTRY_MSB = 21,
    EV_DATA_ENTRY_LSB = 22,
    EV_SOSTENUTO = 23,
    EV_SOFT_PEDAL = 24,
    EV_LEGATO = 25,
    EV_HOLD2 = 26,
    EV_HARMONIC_CONTENT = 27,
    EV_RELEASE_TIME = 28,
    EV_ATTACK_TIME = 29,
    EV_BRIGHTNESS = 30,
    EV_REVERB_SEND = 31,
    EV_TREMOLO_SEND = 32,
    EV_CHORUS_SEND = 33,
    EV_CELESTE_SEND = 34,
    EV_PHASER_SEND = 35,
    EV_DATA_INCREMENT = 36,
    EV_DATA_DECREMENT = 37,
    EV_NRPN_LSB = 38,
    EV_NRPN_MSB = 39,
    EV_RPN_LSB = 40,
    EV_RPN_MSB = 41,
    EV_ALL_SOUNDS_OFF = 42,
    EV_RESET_CONTROLLERS = 43,
    EV_ALL_NOTES_OFF = 44,
    EV_MONO = 45,
    EV_POLY = 46,
    EV_SCALE_TUNING = 47,
    EV_TUNING_BULK = 48,
    EV_TUNING_NOTE = 49,
    EV_RANDOM_PAN = 50,
    EV_MODULE_SAMPLE = 51,
    EV_DRUM_PART = 52,
    EV_KEY_SHIFT = 53,
    EV_MODULE_SAMPLE_OFFSET = 54,
    EV_TEMPO = 55,
    EV_TEXT_GS_TRACK = 56,
    EV_LYRIC = 57,
    EV_GS_BITMAP = 58,
    EV_MARKER = 59,
    EV_GS_DISPLAY_TEXT = 60,
    EV_TEXT = 61,
    EV_KARAOKE_TEXT = 62,
    EV_MASTER_VOLUME = 63,
    EV_SYSTEM_RESET = 64,
    EV_BEAT_MARK = 65,
    EV_TIME_SIGNATURE = 66,
    EV_KEY_SIGNATURE = 67,
    EV_SCALE_TYPE = 68,
    EV_TEMPERAMENT_TYPE = 69,
    EV_MASTER_TEMPERAMENT_TYPE = 70,
    EV_USER_TEMPERAMENT = 71,
    EV_SYSEX_LSB = 72,
    EV_SYSEX_MSB = 73,
    EV_SYSEX_GS_LSB = 74,
    EV_SYSEX_GS_MSB = 75,
    EV_SYSEX_XG_LSB = 76,
    EV_SYSEX_XG_MSB = 77,
    EV_SCRIPT_START = 78,
    EV_SCRIPT_EVENT = 79,
    EV_END_OF_SONG = 255,
};

// Values of `a` in EV_SYSTEM_RESET.
enum SystemMode : uint8_t {
    SYSTEM_GM_OFF = 0,
    SYSTEM_GM_ON = 1,
    SYSTEM_GM2_ON = 2,
    SYSTEM_GS_RESET = 3,
    SYSTEM_XG_ON = 4,
};

// `b` of a channel event that came from a system-exclusive message.
inline constexpr uint8_t kFromSysex = 255;

struct SongEvent {
    int32_t time = 0;
    uint8_t type = EV_NONE;
    uint8_t channel = 0;
    uint8_t a = 0;
    uint8_t b = 0;

    friend bool operator==(const SongEvent&, const SongEvent&) = default;
};
static_assert(sizeof(SongEvent) == 8);

// Codes 1..54 address a real channel; 55 and above are song-wide.
constexpr bool isChannelEvent(uint8_t type) {
    return type >= EV_NOTE_OFF && type <= EV_MODULE_SAMPLE_OFFSET;
}

// Where the player sends an event of each type.
enum class EventRoute : uint8_t {
    Player,    // the player's own: tempo, texts, marks, signatures, system reset, the end
    Layered,   // a channel's: every channel that layers it plays it (unless it came from a
               // system-exclusive message, which sets one part)
    Part,      // one part's setting: its own channel only
    SongWide,  // the synthesizer's for every channel; `channel` is no channel
};

constexpr std::array<EventRoute, 256> makeEventRoutes() {
    std::array<EventRoute, 256> routes{};
    for (int t = EV_NOTE_OFF; t <= EV_SCALE_TUNING; ++t) routes[size_t(t)] = EventRoute::Layered;
    for (const uint8_t t :
         {EV_RANDOM_PAN, EV_MODULE_SAMPLE, EV_DRUM_PART, EV_KEY_SHIFT, EV_MODULE_SAMPLE_OFFSET,
          EV_TEMPERAMENT_TYPE, EV_SYSEX_LSB, EV_SYSEX_MSB, EV_SYSEX_GS_LSB, EV_SYSEX_GS_MSB,
          EV_SYSEX_XG_LSB, EV_SYSEX_XG_MSB})
        routes[t] = EventRoute::Part;
    for (const uint8_t t : {EV_TUNING_BULK, EV_TUNING_NOTE, EV_MASTER_VOLUME, EV_SCALE_TYPE,
                            EV_MASTER_TEMPERAMENT_TYPE, EV_USER_TEMPERAMENT})
        routes[t] = EventRoute::SongWide;
    return routes;
}
inline constexpr std::array<EventRoute, 256> kEventRoutes = makeEventRoutes();

constexpr EventRoute routeOf(uint8_t type) {
    return kEventRoutes[type];
}
// The synthesizer takes the event through its applyEvent.
constexpr bool reachesSynthesizer(uint8_t type) {
    return routeOf(type) != EventRoute::Player;
}
constexpr bool isTextEvent(uint8_t type) {
    return type >= EV_TEXT_GS_TRACK && type <= EV_KARAOKE_TEXT;
}
// The fields of events that do not hold a note or a controller value, by what they mean.
//
// A part's parameter from a system-exclusive message: the value (EV_SYSEX_LSB, EV_SYSEX_GS_LSB,
// EV_SYSEX_XG_LSB), after an address (EV_SYSEX_MSB, EV_SYSEX_GS_MSB, EV_SYSEX_XG_MSB) that the
// part keeps until the value has used it.
struct SysexAddress {
    uint8_t key = 0;   // the drum key of a drum parameter; XG: the unit (an effect, a drum key)
    uint8_t code = 0;  // the code of the value that follows; XG: the parameter group
};
struct SysexValue {
    uint8_t part = 0;   // the channel; kChannels and above: none (a song-wide effect parameter)
    uint8_t code = 0;   // the parameter (sysex_code)
    uint8_t value = 0;  // 0..127; a receive channel may be 0x80, none
};
constexpr SysexAddress sysexAddressOf(const SongEvent& e) {
    return {e.a, e.b};
}
constexpr SysexValue sysexValueOf(const SongEvent& e) {
    return {e.channel, e.b, e.a};
}

// EV_TUNING_BULK and EV_TUNING_NOTE carry a tuning change item by item; `channel` is the item.
enum class TuningItem : uint8_t {
    Program = 0,   // a: the tuning program changed, b: its bank
    Key = 1,       // a: a key, b: the semitone it sounds
    Fraction = 2,  // a, b: the high and low 7 bits of the fraction above that semitone
};
constexpr TuningItem tuningItemOf(const SongEvent& e) {
    return static_cast<TuningItem>(e.channel);
}

// EV_USER_TEMPERAMENT: one degree of a song's own temperament.
struct TemperamentDegree {
    int temperament = 0;  // 0..3
    bool minor = false;   // the minor set
    int degree = 0;       // semitones above the tonic
    int cents = 0;
};
constexpr TemperamentDegree temperamentDegreeOf(const SongEvent& e) {
    return {e.channel & 3, ((e.channel >> 2) & 1) != 0, e.a % 12, static_cast<int8_t>(e.b)};
}

// EV_PITCH_BEND: 0..16383, 8192 in the middle.
constexpr int pitchBendOf(const SongEvent& e) {
    return (e.a & 0x7F) + 128 * (e.b & 0x7F);
}
// EV_MASTER_VOLUME: 0..0xFFFF.
constexpr int masterVolumeOf(const SongEvent& e) {
    return e.a + 256 * e.b;
}
constexpr int tempoOf(const SongEvent& e) {
    return e.a * 65536 + e.b * 256 + e.channel;
}
constexpr int stringIndexOf(const SongEvent& e) {
    return e.a | (e.b << 8);
}

}  // namespace svt
