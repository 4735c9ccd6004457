#pragma once
// The one line a long conversion keeps redrawing on a terminal: how far the song is, and how
// fast it renders compared with listening to it.

#include <string>

namespace svt {

// "[##########          ]  50%  1:00 / 2:00  85.3x" fitted into `columns` characters (the bar
// shrinks first, then goes away). Percent of song time; speed = song seconds per wall second,
// left out until some time has passed. A song of unknown length (0) shows no percent.
std::string formatProgressLine(double songSeconds, double totalSeconds, double wallSeconds,
                               int columns);

}  // namespace svt
