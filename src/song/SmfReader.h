#pragma once
// Reads a Standard MIDI File (formats 0, 1, 2, also inside a RIFF "RMID" wrapper) into
// the event list and returns the events in sample time. Broken tracks end the reading
// early but keep what was read, as players have always done; each such problem is
// reported as a warning that names the track and the byte.

#include <optional>
#include <string>
#include <vector>

#include "base/Language.h"
#include "base/Result.h"
#include "song/EventList.h"
#include "song/SongInfo.h"
#include "streams/streams.h"

namespace svt {

// Error codes of a read that produced no song.
inline constexpr int kSongNotMidi = 1;  // unknown first bytes
inline constexpr int kSongBroken = 2;   // header, wrapper or format unusable
inline constexpr int kSongTooLong = 3;  // sample time overflow
inline constexpr int kSongCannotOpen = 4;
inline constexpr int kSongOtherKind = 5;  // a song of a kind this program does not play
inline constexpr int kSongChanged = 6;    // the file changed (shrank) while it was read

struct ReadOptions {
    ConversionSettings conversion;
    bool showAllTexts = false;  // every type-1 text becomes an event
    Language language = Language::English;
};

struct SongReadResult {
    ConvertedSong song;
    std::vector<std::string> warnings;  // broken tracks, impossible meters
};

// Reads from `stream`; `info` is the record of the file (see SongInfoList) and is
// filled as the file is read.
Result<SongReadResult> readSong(InputStream& stream, SongInfo& info, EventList& list,
                                const ReadOptions& options);

// Opens `fileName` (see openStream) and reads it.
Result<SongReadResult> readSongFile(const std::string& fileName, SongInfo& info, EventList& list,
                                    const ReadOptions& options);

// The message a window shows for a file that is not a song.
std::string notMidiMessage(const std::string& fileName, Language language);

// Variable-length number of at most four bytes: value >= 0, -1 at the end of the data,
// -2 when the fourth byte still asks for more.
int32_t readVariableLength(InputStream& stream);

// After "RIFF" was read: checks the "RMID" form, passes over the chunks before "data" and
// reads the first four bytes of the song inside into `magic`. False when the file is no
// RMID song or ends first.
bool enterRmidData(InputStream& stream, uint8_t magic[4]);

// Moves to the next track: chunks of other kinds (which the format allows) are passed over.
// Gives the track's length, or nullopt when the file ends first (`cutShort`: inside a chunk
// header).
std::optional<uint32_t> nextTrackChunk(InputStream& stream, bool& cutShort);

}  // namespace svt
