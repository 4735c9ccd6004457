#include "cli/PlayStatus.h"

#include <cstdio>

#include "app/Batch.h"

namespace svt {

namespace {

std::string mutedList(uint32_t mask) {
    std::string out;
    for (int c = 0; c < 16; ++c) {
        if ((mask & (1u << c)) == 0) continue;
        out += out.empty() ? "" : ",";
        out += std::to_string(c + 1);
    }
    return out;
}

// Cuts at a character boundary of UTF-8 text and marks the cut.
std::string shorten(const std::string& text, size_t width) {
    if (text.size() <= width) return text;
    if (width <= 3) return std::string(width, '.');
    size_t cut = width - 3;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + "...";
}

}  // namespace

std::string formatPlayStatus(const PlayStatus& s, int columns) {
    char buffer[256];
    // The tempo heard: the song's own at the user's percentage.
    const int bpm =
        s.microsPerQuarter > 0
            ? static_cast<int>((60000000.0 * s.tempoPercent / 100.0) / s.microsPerQuarter + 0.5)
            : 0;
    std::string tail;
    std::snprintf(buffer, sizeof buffer, "%s / %s", formatDuration(s.heardSeconds).c_str(),
                  formatDuration(s.totalSeconds).c_str());
    tail += buffer;
    if (s.measure > 0) {
        std::snprintf(buffer, sizeof buffer, "  %3d:%d", s.measure, s.beat);
        tail += buffer;
    }
    std::snprintf(buffer, sizeof buffer, "  %d bpm", bpm);
    tail += buffer;
    if (s.tempoPercent != 100) {
        std::snprintf(buffer, sizeof buffer, " (%d%%)", s.tempoPercent);
        tail += buffer;
    }
    if (!s.key.empty()) tail += "  " + s.key;
    if (s.transpose != 0) {
        std::snprintf(buffer, sizeof buffer, "  %+d st", s.transpose);
        tail += buffer;
    }
    if (s.volumePercent != 100) {
        std::snprintf(buffer, sizeof buffer, "  vol %d%%", s.volumePercent);
        tail += buffer;
    }
    std::snprintf(buffer, sizeof buffer, "  %3d voices", s.voices);
    tail += buffer;
    if (s.mutedChannels != 0) tail += "  muted " + mutedList(s.mutedChannels);
    if (s.paused) tail += "  [paused]";

    const std::string title = s.title.empty() ? "(untitled)" : s.title;
    const int room = columns - 1 - static_cast<int>(tail.size()) - 2;
    if (room < 4) return shorten(tail, static_cast<size_t>(columns > 1 ? columns - 1 : 1));
    return shorten(title, static_cast<size_t>(room)) + "  " + tail;
}

}  // namespace svt
