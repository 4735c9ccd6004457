#pragma once
// The playlist window's rules without the window: where a search starts, what its keys and
// its menu do, and the messages around them. The window reports the selected line and the
// line under the caret (-1 for none) and does what comes back. Window thread only.

#include <optional>
#include <string>

#include "desktop/DesktopServices.h"
#include "desktop/PlaylistView.h"
#include "desktop/WindowControl.h"
#include "desktop/WindowTexts.h"

namespace svt {

// The list's own keys: Return, Enter and Space play; Backspace removes; Delete and C (without
// Ctrl or Alt) clear; Escape hides; Q quits.
enum class ListKey { Play, Remove, Clear, Hide, Quit };

// What the window does itself after a key.
enum class ListAction { None, Hide, ClearPlaylist, Quit };

// "Search" starts at the selected line (the first when none is), "Next" after it.
constexpr int searchStart(bool next, int selectedRow) {
    return next ? selectedRow + 1 : (selectedRow < 0 ? 0 : selectedRow);
}

class PlaylistWindowModel {
  public:
    PlaylistWindowModel(WindowControl& control, DesktopServices& services)
        : control_(control), services_(services) {}

    // Whether the search dialog may open: not over an empty list, which is said instead.
    bool maySearch(int rowCount);
    // The line to select, or nothing after "End of search." was shown.
    std::optional<int> search(const PlaylistSnapshot& snapshot, const std::string& text, bool next,
                              int selectedRow);
    // Plays the selected line, else the one under the caret.
    void playSelected(int selectedRow, int caretRow, int rowCount);
    // Without a selected line nothing goes (-1 would name the current entry).
    void removeSelected(int selectedRow);
    ListAction key(ListKey key, int selectedRow, int caretRow);
    void toggleRandom();

  private:
    void inform(UiText id, UiText caption = UiText::ProductCaption);
    std::string text(UiText id) const { return std::string(uiText(id, control_.language())); }

    WindowControl& control_;
    DesktopServices& services_;
};

}  // namespace svt
