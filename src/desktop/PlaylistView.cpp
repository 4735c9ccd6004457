#include "desktop/PlaylistView.h"

#include <algorithm>
#include <cstdio>

#include "app/Playlist.h"

namespace svt {
namespace {

std::string clockText(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

}  // namespace

std::string shownTitle(const std::string& title, bool isSong, Language language) {
    if (!title.empty()) return title;
    return isSong ? tr(language, "ohne Titel", "no title")
                  : tr(language, "- keine Mididatei -", "- no midi file -");
}

std::string playlistLineText(const PlaylistLine& line, bool current, Language language) {
    const std::string title = shownTitle(line.title, line.isSong, language);
    std::string text;
    if (current) text = std::string(tr(language, "aktiv", "Current")) + ": ";
    text += title + " - " + clockText(line.seconds) + " (" + line.path + ")";
    return text;
}

std::string playlistCountText(int count, int64_t totalSeconds, Language language) {
    if (count <= 0) return {};
    char text[96];
    if (count == 1) {
        std::snprintf(text, sizeof text, tr(language, "%d Datei", "%d file"), 1);
    } else {
        const long long seconds = totalSeconds < 0 ? 0 : totalSeconds;
        std::snprintf(text, sizeof text,
                      tr(language, "%d Dateien, Gesamtspielzeit %02lld:%02lld ",
                         "%d files, total time %02lld:%02lld "),
                      count, seconds / 60, seconds % 60);
    }
    return text;
}

std::shared_ptr<const std::vector<PlaylistLine>> makePlaylistLines(const Playlist& playlist,
                                                                   Language language) {
    auto lines = std::make_shared<std::vector<PlaylistLine>>();
    lines->reserve(static_cast<size_t>(playlist.count()));
    for (int i = 0; i < playlist.count(); ++i) {
        const Playlist::Entry& e = playlist.entry(i);
        PlaylistLine line{e.title, e.path, e.settings.playingTimeSeconds, e.isSong, {}};
        line.text = playlistLineText(line, false, language);
        lines->push_back(std::move(line));
    }
    return lines;
}

std::string PlaylistSnapshot::lineText(int index, Language language) const {
    if (!lines || index < 0 || index >= count()) return {};
    const PlaylistLine& line = (*lines)[static_cast<size_t>(index)];
    return index == current ? playlistLineText(line, true, language) : line.text;
}

int findInPlaylist(const PlaylistSnapshot& snapshot, std::string_view text, int start,
                   Language language) {
    if (text.empty() || !snapshot.lines) return -1;
    for (int i = std::max(start, 0); i < snapshot.count(); ++i) {
        const PlaylistLine& line = (*snapshot.lines)[static_cast<size_t>(i)];
        const std::string& shown =
            i == snapshot.current ? snapshot.lineText(i, language) : line.text;
        if (shown.size() >= kSearchLineLimit) continue;
        if (shown.find(text) != std::string::npos) return i;
    }
    return -1;
}

}  // namespace svt
