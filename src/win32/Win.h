#pragma once
// What the Win32 windows share: the system headers in the form the program uses them, UTF-8
// inside and UTF-16 at every call into the system, the window messages of our own, and the
// mail that carries work from the engine thread to the window thread.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// These need <windows.h> before them.
#include <commctrl.h>
#include <shellapi.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "desktop/WindowTexts.h"
#include "platform/windows/Win32.h"

namespace svt::win32 {

inline std::wstring wide(std::string_view utf8) {
    return platform::win::widen(utf8);
}
inline std::string utf8(std::wstring_view text) {
    return platform::win::narrow(text);
}
inline std::wstring wtext(UiText id, Language language) {
    return wide(uiText(id, language));
}

// The window's text as UTF-8.
std::string windowText(HWND window);
// Writes a control's text only when it differs, so that fields do not flicker at each redraw.
void setText(HWND window, std::string_view text);

// Messages of our own to the main window.
enum : UINT {
    kMailMessage = WM_APP + 1,   // the mail box holds work
    kPanelMessage = WM_APP + 2,  // the panel mailbox holds fields not shown yet
};

// Work for the window thread, put in by any thread. Posting only: the engine thread never
// waits for the window.
class WindowMail {
  public:
    void setTarget(HWND window) {
        std::lock_guard<std::mutex> hold(lock_);
        target_ = window;
    }
    void post(std::function<void()> work);
    // Window thread: runs what has come, in order.
    void deliver();

  private:
    std::mutex lock_;
    HWND target_ = nullptr;
    std::deque<std::function<void()>> work_;
};

// The font of message boxes and dialogs, and a bold form of it.
HFONT dialogFont();
HFONT boldFont();

}  // namespace svt::win32
