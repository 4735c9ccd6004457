#pragma once
// The one-line status of the command-line player: what is heard now, not what has
// been rendered, so it follows the notices as the trace queue releases them.

#include <cstdint>
#include <string>

namespace svt {

struct PlayStatus {
    std::string title;
    double heardSeconds = 0;
    double totalSeconds = 0;
    int measure = 0, beat = 0;  // from the metronome notice; 0 = not yet
    int microsPerQuarter = 500000;
    int tempoPercent = 100;  // user's tempo change; the bpm shown includes it
    std::string key;         // display name of the key, empty when the song has none
    int transpose = 0;
    int volumePercent = 100;
    int voices = 0;
    uint32_t mutedChannels = 0;  // bit c = channel c+1 muted
    bool paused = false;
};

// Fits the line into `columns` characters; the title gives way first.
std::string formatPlayStatus(const PlayStatus& status, int columns);

}  // namespace svt
