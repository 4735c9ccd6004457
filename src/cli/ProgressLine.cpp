#include "cli/ProgressLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/Batch.h"

namespace svt {

std::string formatProgressLine(double songSeconds, double totalSeconds, double wallSeconds,
                               int columns) {
    const bool known = totalSeconds > 0;
    const double fraction = known ? std::clamp(songSeconds / totalSeconds, 0.0, 1.0) : 0.0;
    char tail[96];
    int n = 0;
    if (known)
        n = std::snprintf(
            tail, sizeof tail, " %3d%%  %s / %s", static_cast<int>(std::floor(fraction * 100)),
            formatDuration(songSeconds).c_str(), formatDuration(totalSeconds).c_str());
    else
        n = std::snprintf(tail, sizeof tail, " %s", formatDuration(songSeconds).c_str());
    if (wallSeconds >= 0.05 && n > 0 && n < static_cast<int>(sizeof tail))
        std::snprintf(tail + n, sizeof tail - static_cast<size_t>(n), "  %.1fx",
                      songSeconds / wallSeconds);
    std::string line(tail);
    // The bar takes what is left of the width, between 10 and 40 cells with its brackets.
    const int room = columns - 1 - static_cast<int>(line.size());
    if (!known || room < 12)
        return line.substr(line[0] == ' ' ? 1 : 0, static_cast<size_t>(std::max(columns - 1, 0)));
    const int cells = std::min(room, 42) - 2;
    const int filled = static_cast<int>(std::lround(fraction * cells));
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(cells - filled), ' ') + "]" + line;
}

}  // namespace svt
