#pragma once
// The playlist window: a list view over the engine thread's latest playlist snapshot (a
// virtual list: the view asks for the lines it shows), the count and playing time beneath,
// the buttons and context menu for playing, searching, removing and clearing, the search
// dialog and the list font. Where it goes, its size and its font are the desktop model's
// rules; it lives, hidden or shown, as long as the main window.

#include <functional>
#include <memory>

#include "desktop/AppSettings.h"
#include "desktop/PlaylistWindowModel.h"
#include "desktop/WindowLayout.h"
#include "win32/Scheme.h"
#include "win32/Win.h"

namespace svt::win32 {

class PlaylistWindow {
  public:
    PlaylistWindow(WindowControl& control, AppSettings& settings, DesktopServices& services,
                   const WindowScheme& scheme, HWND owner);
    ~PlaylistWindow();
    PlaylistWindow(const PlaylistWindow&) = delete;
    PlaylistWindow& operator=(const PlaylistWindow&) = delete;

    // What the main window does for it.
    std::function<void()> clearPlaylist;
    std::function<void()> quit;

    HWND window() const { return window_; }
    HWND list() const { return list_; }
    HWND searchEdit() const { return searchEdit_; }
    HWND searchWindow() const { return search_; }
    bool visible() const { return ::IsWindowVisible(window_) != 0; }
    // Shows it where the rules put it beside the main window's frame.
    void show(const RECT& mainFrame);
    void hide();
    // A new snapshot was published.
    void refresh();
    // The message loop hands over key presses meant for the list; true when taken.
    bool listKey(const MSG& message);
    // The scheme changed (or is given the first time): frames and controls take its colours.
    void applyScheme();

  private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK searchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleSearch(UINT message, WPARAM wParam, LPARAM lParam);
    void layout();
    void applyFont();
    void changeFont();
    int selectedRow() const;
    int caretRow() const;
    void selectRow(int row);
    void updateCount();
    void showSearch();
    void search(bool next);
    void showMenu(POINT at);
    void act(ListAction action);
    std::string text(UiText id) const { return std::string(uiText(id, control_.language())); }

    WindowControl& control_;
    AppSettings& settings_;
    const WindowScheme& scheme_;
    PlaylistWindowModel rules_;
    std::shared_ptr<const PlaylistSnapshot> snapshot_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HWND count_ = nullptr;
    HWND clearButton_ = nullptr, searchButton_ = nullptr, fontButton_ = nullptr;
    HWND tooltips_ = nullptr;
    HWND search_ = nullptr;
    HWND searchEdit_ = nullptr;
    HFONT listFont_ = nullptr;
    std::wstring shownLine_;  // the text the list view is given for one line
    bool placing_ = false;
    bool searchWasVisible_ = false;
};

}  // namespace svt::win32
