#pragma once
// What the playlist window shows: a snapshot of the playlist that the engine thread publishes
// after each change, the line texts, the count-and-time field and the search over the lines.
// The window reads only snapshots, so it never waits for the engine thread and never sees a
// playlist in the middle of a change.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Language.h"

namespace svt {

class Playlist;

struct PlaylistLine {
    std::string title;  // the song's title; empty when it has none
    std::string path;
    int32_t seconds = 0;
    bool isSong = true;
    // The line as shown for an entry that is not the current one.
    std::string text;
};

struct PlaylistSnapshot {
    // Shared between snapshots while only the current entry changes.
    std::shared_ptr<const std::vector<PlaylistLine>> lines;
    int current = -1;  // -1 when the playlist is empty
    int64_t totalSeconds = 0;
    // Grows with every change of the lines themselves (not of the current entry).
    uint64_t contentsGeneration = 0;

    int count() const { return lines ? static_cast<int>(lines->size()) : 0; }
    // The text of line `index` as the list shows it ("Current: " before the current one).
    std::string lineText(int index, Language language) const;
};

// Builds the lines of every entry (titles, times and paths, in playlist order).
std::shared_ptr<const std::vector<PlaylistLine>> makePlaylistLines(const Playlist& playlist,
                                                                   Language language);

// The song's title, or what stands for a missing one: "no title" for a song, "- no midi file -"
// for an entry that is not one. The list's lines and the window's title field show it.
std::string shownTitle(const std::string& title, bool isSong, Language language);
// "%s - %s (%s)": title, playing time "hh:mm:ss" and path; an empty title reads "no title",
// or "- no midi file -" for an entry that is not a song.
std::string playlistLineText(const PlaylistLine& line, bool current, Language language);
// "%d files, total time %02d:%02d " (whole minutes, not limited to 59), "1 file", or "" when
// the playlist is empty.
std::string playlistCountText(int count, int64_t totalSeconds, Language language);

// Lines this long or longer are passed over by the search.
inline constexpr size_t kSearchLineLimit = 2048;

// The first line from `start` on whose text holds `text` (case-sensitive); -1 when none does
// or `text` is empty.
int findInPlaylist(const PlaylistSnapshot& snapshot, std::string_view text, int start,
                   Language language);

}  // namespace svt
