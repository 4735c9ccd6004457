#pragma once
// Keys of the command-line player: bytes from a raw terminal become actions. Escape
// sequences of the arrow keys may arrive split over several reads.

#include <cstdint>
#include <span>
#include <vector>

namespace svt {

enum class PlayAction {
    Pause,          // space
    SeekBack,       // left arrow
    SeekForward,    // right arrow
    Next,           // n
    Previous,       // p
    TransposeUp,    // +
    TransposeDown,  // -
    TempoSlower,    // [
    TempoFaster,    // ]
    VolumeUp,       // up arrow
    VolumeDown,     // down arrow
    ToggleMute,     // 1-9, 0, ! @ # $ % ^ for channels 1..16
    Quit,           // q, Ctrl-C
};

struct PlayKey {
    PlayAction action;
    int channel = -1;  // 0..15 for ToggleMute
    friend bool operator==(const PlayKey&, const PlayKey&) = default;
};

class PlayKeyDecoder {
  public:
    // Appends the actions of `bytes` to `out`; unknown keys are ignored.
    void feed(std::span<const uint8_t> bytes, std::vector<PlayKey>& out);

  private:
    int escape_ = 0;  // 0 none, 1 after ESC, 2 after ESC [ or ESC O
};

}  // namespace svt
