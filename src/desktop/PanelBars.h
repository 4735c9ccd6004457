#pragma once
// The player panel's four bars without the widgets: their ranges and steps, the value that
// waits while the user moves a bar (applied when the movement ends, with a release, a click
// or a key step), the text each shows beside it meanwhile, and the key box that follows the
// transpose bar. The window reports movements and shows what comes back. Window thread only.

#include <optional>
#include <string>

#include "desktop/PanelState.h"
#include "desktop/WindowControl.h"

namespace svt {

enum class PanelBar { Position, Volume, Tempo, Transpose };

struct BarRange {
    int minimum, maximum, initial, line, page;
};

// The position bar's maximum is the song's length in seconds, set from the panel's view.
constexpr BarRange barRange(PanelBar bar) {
    switch (bar) {
        case PanelBar::Position:
            return {0, 0, 0, 1, 10};
        case PanelBar::Volume:
            return {0, 100, 100, 1, 10};
        case PanelBar::Tempo:
            return {30, 240, 120, 1, 5};
        case PanelBar::Transpose:
            break;
    }
    return {0, 48, 24, 1, 7};
}

// A value that waits while the user moves its bar (kNoPending when none).
struct BarPending {
    static constexpr int kNoPending = -1000;
    int value = kNoPending;
    bool moving() const { return value != kNoPending && value != -1; }
};

// What the window shows after a bar moved or its movement ended.
struct BarEcho {
    std::optional<std::string> field;  // the text beside the bar
    std::optional<int> keyItem;        // the key box's item after the transpose bar
};

// The transpose bar and its field after a choice in the key box.
struct KeyBoxChoice {
    int transposeBar = 24;
    std::string semitones;
};

class PanelBars {
  public:
    explicit PanelBars(WindowControl& control) : control_(control) {}

    // The user drags the bar.
    BarEcho moved(PanelBar bar, int value);
    // The movement ended: the value is applied.
    BarEcho released(PanelBar bar, int value);
    // While a value waits, the engine's value is not put on the bar.
    bool holding(PanelBar bar) const { return pending(bar).moving(); }
    const BarPending& pending(PanelBar bar) const;
    // The song's settings reached the panel: their original tempo is the tempo's 100 %.
    void settingsShown(const PanelView& view) { originalTempoBpm_ = view.originalTempoBpm; }
    // The user chose a key; nothing when the choice changes no shift.
    std::optional<KeyBoxChoice> keyBoxChosen(int item);

  private:
    BarEcho apply(PanelBar bar, int value);
    BarPending& slot(PanelBar bar);

    WindowControl& control_;
    BarPending position_, volume_, tempo_, transpose_;
    int originalTempoBpm_ = 0;
};

}  // namespace svt
