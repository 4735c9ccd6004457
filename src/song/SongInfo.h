#pragma once
// What reading a song teaches about it besides its events: titles, format, meter, key,
// drum channels, length. One record per file name, kept for the whole run so that the
// playlist shows titles without reading a file twice.

#include <array>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>

#include "base/Language.h"

namespace svt {

inline constexpr int32_t kFileKindMidi = 101;
inline constexpr int32_t kFileKindModule = 701;
inline constexpr int32_t kFileKindOtherModule = 705;

struct SongInfo {
    int32_t read = 0;
    std::string fileName;
    std::optional<std::string> title;
    std::optional<std::string> karaokeTitle;
    std::optional<std::string> firstText;
    // The first track's first copyright notice, and the composer a text of it names.
    std::optional<std::string> copyright;
    std::optional<std::string> composer;
    uint8_t makerId = 0;
    uint16_t headerEnd = 0xFFFF;
    int16_t format = -1;
    int32_t trackCount = -1;  // 0..65535
    int32_t division = -1;
    int32_t meterNumerator = -1;
    int32_t meterDenominator = -1;
    int32_t meterClocks = 0;
    int32_t meter32nds = 0;
    // Channels played as drums. A song starts with drumMask2 (the engine's default with the
    // user's changes); drumMask is what it plays now: it follows the song's own drum-part
    // changes too, except on the channels in drumLock, which the user set and the song's
    // events leave alone.
    uint32_t drumMask = 1u << 9;
    uint32_t drumMask2 = 1u << 9;
    uint32_t drumLock = 0;
    int32_t totalSamples = -1;
    int32_t maxChannel = -1;
    int32_t fileKind = 0;

    // Learned by a full read, not part of the stored record.
    int32_t keyIndex = -1;  // sharps + 7
    bool minor = false;
    std::array<std::string, 16> trackNames{};  // of the second to the 17th track
    // The track whose notes a channel plays first (0 the first track); -1 for a silent one.
    std::array<int16_t, 16> channelTrack{-1, -1, -1, -1, -1, -1, -1, -1,
                                         -1, -1, -1, -1, -1, -1, -1, -1};
};

// The name of the track that plays each channel; empty where none is known.
std::array<std::string, 16> channelTrackNames(const SongInfo& info);

// Formats 0 and 1 only: the first of title, karaoke title and first text; none when
// that text is only spaces.
std::optional<std::string> displayTitle(const SongInfo& info);

// "c-moll (3b)" / "C-minor (3b)"; index = sharps + 7 (0..14).
const char* keyName(int keyIndex, bool minor, Language language);

// Leading white space removed, tabs and line breaks become spaces, runs of spaces
// collapse to one, a trailing space goes.
std::string trimText(std::string_view text);

// The composer a song text names: "Composer: X", "Music by X", "Komponist: X" and the like
// give X; nullopt for any other text.
std::optional<std::string> composerIn(std::string_view text);
// Takes a text of the first track into `info`: its first copyright notice (meta type 2), and
// the composer its first text naming one (type 1) names.
void noteCopyrightOrComposer(SongInfo& info, int type, const std::string& text);

class InputStream;
// Fills titles, format and track count of `info` from the first tracks of a song.
void scanSongTitle(InputStream& stream, SongInfo& info);

class SongInfoList {
  public:
    explicit SongInfoList(uint32_t defaultDrumMask = 1u << 9) : defaultDrumMask_(defaultDrumMask) {}
    // The record of `fileName` (exact match); created when missing and `create` is set.
    SongInfo* find(const std::string& fileName, bool create);
    // The display title from a quick look at the file's first tracks; the file is read
    // at most once.
    std::optional<std::string> quickTitle(const std::string& fileName);
    void clear() { records_.clear(); }

  private:
    uint32_t defaultDrumMask_;
    std::list<SongInfo> records_;  // newest first; stable addresses
};

}  // namespace svt
