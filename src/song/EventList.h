#pragma once
// Song events while a file is read (in ticks, sorted, insertions anywhere) and their
// conversion into the array the player walks (in output samples, ending with
// EV_END_OF_SONG).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Constants.h"
#include "base/Result.h"
#include "song/InstrumentMarker.h"
#include "song/SongEvent.h"
#include "song/Sysex.h"

namespace svt {

// Head included; the insertion that would make one more is refused.
inline constexpr int32_t kMaxEventNodes = 0xFFFFF;
// Beat marks of one song at most: eight hours of quarter beats at 480 bpm. A few bytes of
// file with a huge delta time would otherwise fill the list with nothing but beats.
inline constexpr int32_t kMaxBeatMarks = 1 << 18;
// Index 0 means "no text".
inline constexpr int32_t kMaxSongStrings = 0x7FFE;

struct ConversionSettings {
    int outputRateHz = 44100;
    uint32_t excludedChannels = 0;  // bit c: channel c's events are dropped
    // When texts are shown as they are heard, a text before the first note starts the
    // song's clock too; otherwise texts and bitmaps wait for the first note.
    bool traceTexts = false;
    // Follows bank, program and drum status and marks every instrument a note will
    // sound; null when nothing is to be loaded.
    InstrumentMarker* marker = nullptr;
    uint32_t drumChannels = 1u << 9;  // the drum channels the song starts with
    uint32_t drumLock = 0;            // channels whose drum state the song's events keep
    int systemMode = SYSTEM_GM_OFF;   // the mode the song starts in
    // SMPTE time: ticks a second (the division is then not ticks per quarter note), and
    // tempo events are dropped, as they change nothing; 0 for ticks per quarter note.
    double ticksPerSecond = 0;
    std::array<uint8_t, 16> defaultPrograms{};  // the program of each channel after a reset
    // The user's instrument per channel: every program change of the channel takes this
    // program instead (0..127); -1 keeps the song's own. Applied before the instruments are
    // marked, so the chosen ones are loaded.
    std::array<int8_t, 16> programChoices = {-1, -1, -1, -1, -1, -1, -1, -1,
                                             -1, -1, -1, -1, -1, -1, -1, -1};
};

// What the player gets: events in sample time ending with EV_END_OF_SONG.
struct ConvertedSong {
    std::vector<SongEvent> events;
    int32_t totalSamples = 0;
    std::vector<std::string> strings;  // string table by index; each begins with its type character
    int32_t maxChannel = -1;
};

class EventList final : public SysexTextStore {
  public:
    EventList();

    // Forgets everything and starts a new song.
    void reset();
    // Before a track of a format 0 or 1 file: all tracks start at 0. The tracks' events are
    // kept apart until the list is next walked, then merged in one pass; at equal times the
    // earlier track's events come first.
    int32_t startTrackMerge();
    // Before a track of a format 2 file: it follows the previous one.
    int32_t startTrackAppend();

    void add(SongEvent event);
    // Controller numbers without an event code add nothing; values are clamped to 127.
    void addController(int channel, int controller, int value, int32_t time);
    // Stores the text and returns an event of `type` referring to it (time 0).
    SongEvent makeTextEvent(uint8_t type, std::string_view text) override;

    bool overflow() const { return overflow_; }
    int32_t count() const { return count_; }
    int32_t lastTime();

    // Adds EV_BEAT_MARKs from the song's time signatures.
    void addBeatMarks(int32_t division);
    // Turns the list into sample time; the list is empty afterwards.
    Result<ConvertedSong> convert(int32_t division, const ConversionSettings& settings);

    // The events in list order (for tests and the information command).
    std::vector<SongEvent> events();

  private:
    struct Node {
        SongEvent event;
        int32_t next;
        int32_t prev;
    };
    static_assert(sizeof(Node) == 16);

    int32_t insertAfter(int32_t at, const SongEvent& e);
    void appendNode(const SongEvent& e);
    // Links the tracks read since startTrackMerge() into the list.
    void mergeTracks();
    void foldChannels(int32_t& maxChannel);

    std::vector<Node> nodes_;  // node 0 is the head; -1 ends a chain
    int32_t tail_ = 0;
    int32_t cursor_ = 0;
    int32_t count_ = 1;
    bool overflow_ = false;
    std::vector<std::string> strings_;
    // While tracks are merged: the first node of each track; the nodes of a track follow
    // each other unlinked until mergeTracks().
    std::vector<int32_t> trackStarts_;
    // The port (0 the first) each channel's events came from before the ports were folded.
    std::array<uint8_t, kChannels> portOf_{};
};

// The event code of a MIDI controller, or EV_NONE when it has none.
uint8_t controllerEvent(int controller);

}  // namespace svt
