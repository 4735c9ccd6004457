#pragma once
// The light or dark scheme on Windows. What the user chose is read from the personalisation
// value "AppsUseLightTheme" (through the settings store) unless SORVANTO_COLOR_SCHEME says
// otherwise; the desktop model chooses from it and gives the dark scheme's colours. The light
// scheme keeps the system's own colours, and so does high contrast: the user's colours then
// stay. The windows give their controls these colours when they ask (WM_CTLCOLOR*).

#include <optional>

#include "desktop/ColorScheme.h"
#include "win32/Win.h"

namespace svt::win32 {

// What Windows says about the scheme now.
SchemeHints windowsSchemeHints();

class WindowScheme {
  public:
    explicit WindowScheme(ColorScheme scheme) { set(scheme); }
    ~WindowScheme() { release(); }
    WindowScheme(const WindowScheme&) = delete;
    WindowScheme& operator=(const WindowScheme&) = delete;

    ColorScheme scheme() const { return scheme_; }
    // The program paints with colours of its own (the dark scheme without high contrast).
    bool own() const { return own_; }
    void set(ColorScheme scheme);

    COLORREF window() const { return window_; }
    COLORREF windowText() const { return windowText_; }
    COLORREF base() const { return base_; }
    COLORREF text() const { return text_; }
    COLORREF disabledText() const { return disabledText_; }
    COLORREF frame() const { return frame_; }
    HBRUSH windowBrush() const;

    // A window's background and its controls' colours (WM_ERASEBKGND, WM_CTLCOLOR*): true
    // when `message` was one of those and `result` is the answer. Fields and lists are on the
    // base colour, everything else on the window's.
    bool paints(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) const;
    // The title bar of the scheme, where the system offers one (Windows 10 2004 and later).
    void dressFrame(HWND top) const;
    // The list view and the status bar take the scheme's colours (the status bar without the
    // visual style, which paints it in its own); every control is drawn anew.
    void dressControls(HWND parent) const;

  private:
    void release();
    LRESULT controlColours(UINT message, HDC dc, HWND control) const;

    ColorScheme scheme_ = ColorScheme::Light;
    bool own_ = false;
    COLORREF window_ = 0, windowText_ = 0, base_ = 0, text_ = 0, disabledText_ = 0, frame_ = 0;
    HBRUSH windowBrush_ = nullptr, baseBrush_ = nullptr;
};

}  // namespace svt::win32
