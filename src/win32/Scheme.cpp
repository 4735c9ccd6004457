#include "win32/Scheme.h"

#include <dwmapi.h>
#include <uxtheme.h>

#include <charconv>
#include <cstdlib>
#include <string>

#include "platform/SettingsStore.h"

namespace svt::win32 {
namespace {

// DWMWA_USE_IMMERSIVE_DARK_MODE, which older headers do not name.
constexpr DWORD kImmersiveDarkMode = 20;

COLORREF colorRef(uint32_t rgb) {
    return RGB(rgb >> 16 & 0xff, rgb >> 8 & 0xff, rgb & 0xff);
}

bool highContrast() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool isClass(HWND window, const wchar_t* name) {
    wchar_t found[64] = {};
    ::GetClassNameW(window, found, 63);
    return ::lstrcmpiW(found, name) == 0;
}

// A class list that names no class takes the visual style from a control (Wine refuses an
// empty one); none gives it back.
void withoutStyle(HWND control, bool without) {
    ::SetWindowTheme(control, without ? L" " : nullptr, without ? L" " : nullptr);
}

BOOL CALLBACK dressOne(HWND control, LPARAM parameter) {
    const WindowScheme& scheme = *reinterpret_cast<const WindowScheme*>(parameter);
    const bool own = scheme.own();
    if (isClass(control, WC_LISTVIEWW)) {
        const COLORREF base = own ? scheme.base() : ::GetSysColor(COLOR_WINDOW);
        ::SendMessageW(control, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(base));
        ::SendMessageW(control, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(base));
        ::SendMessageW(control, LVM_SETTEXTCOLOR, 0,
                       static_cast<LPARAM>(own ? scheme.text() : ::GetSysColor(COLOR_WINDOWTEXT)));
    } else if (isClass(control, STATUSCLASSNAMEW)) {
        // The style paints the bar in its own colour, whatever colour the bar is given.
        withoutStyle(control, own);
        ::SendMessageW(control, SB_SETBKCOLOR, 0,
                       static_cast<LPARAM>(own ? scheme.window() : CLR_DEFAULT));
    }
    ::InvalidateRect(control, nullptr, TRUE);
    return TRUE;
}

}  // namespace

SchemeHints windowsSchemeHints() {
    SchemeHints hints;
    if (const char* override = std::getenv("SORVANTO_COLOR_SCHEME"); override && *override)
        hints.override = override;
    const platform::SettingsStore personalize(
        "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize");
    // The DWORD reads as its decimal text; a system without the value says nothing.
    if (const std::optional<std::string> value = personalize.readString("AppsUseLightTheme")) {
        int64_t number = 0;
        const char* end = value->data() + value->size();
        if (const auto [at, error] = std::from_chars(value->data(), end, number);
            error == std::errc() && at == end)
            hints.appsUseLightTheme = static_cast<uint32_t>(number);
    }
    return hints;
}

void WindowScheme::release() {
    if (windowBrush_) ::DeleteObject(windowBrush_);
    if (baseBrush_) ::DeleteObject(baseBrush_);
    windowBrush_ = baseBrush_ = nullptr;
}

void WindowScheme::set(ColorScheme scheme) {
    release();
    scheme_ = scheme;
    own_ = scheme == ColorScheme::Dark && !highContrast();
    if (!own_) {
        window_ = ::GetSysColor(COLOR_BTNFACE);
        windowText_ = ::GetSysColor(COLOR_BTNTEXT);
        base_ = ::GetSysColor(COLOR_WINDOW);
        text_ = ::GetSysColor(COLOR_WINDOWTEXT);
        disabledText_ = ::GetSysColor(COLOR_GRAYTEXT);
        frame_ = ::GetSysColor(COLOR_BTNSHADOW);
        return;
    }
    const SchemeColors c = schemeColors(scheme);
    window_ = colorRef(c.window);
    windowText_ = colorRef(c.windowText);
    base_ = colorRef(c.base);
    text_ = colorRef(c.text);
    disabledText_ = colorRef(c.disabledText);
    frame_ = colorRef(c.disabledText);
    windowBrush_ = ::CreateSolidBrush(window_);
    baseBrush_ = ::CreateSolidBrush(base_);
}

HBRUSH WindowScheme::windowBrush() const {
    return own_ ? windowBrush_ : ::GetSysColorBrush(COLOR_BTNFACE);
}

LRESULT WindowScheme::controlColours(UINT message, HDC dc, HWND control) const {
    if (!own_) return 0;
    // A read-only or disabled field asks as a static control does.
    const bool field = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX ||
                       (message == WM_CTLCOLORSTATIC &&
                        (isClass(control, WC_EDITW) || isClass(control, WC_COMBOBOXW)));
    ::SetTextColor(dc, !::IsWindowEnabled(control) ? disabledText_ : field ? text_ : windowText_);
    ::SetBkColor(dc, field ? base_ : window_);
    return reinterpret_cast<LRESULT>(field ? baseBrush_ : windowBrush_);
}

bool WindowScheme::paints(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT& result) const {
    switch (message) {
        case WM_ERASEBKGND: {
            RECT client;
            ::GetClientRect(window, &client);
            ::FillRect(reinterpret_cast<HDC>(wParam), &client, windowBrush());
            result = 1;
            return true;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            result = controlColours(message, reinterpret_cast<HDC>(wParam),
                                    reinterpret_cast<HWND>(lParam));
            return result != 0;
        default:
            return false;
    }
}

void WindowScheme::dressFrame(HWND top) const {
    const BOOL dark = own_ ? TRUE : FALSE;
    // Older systems and Wine do not know the attribute: their title bar stays as it is.
    if (SUCCEEDED(::DwmSetWindowAttribute(top, kImmersiveDarkMode, &dark, sizeof dark)))
        ::SetWindowPos(top, nullptr, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void WindowScheme::dressControls(HWND parent) const {
    ::EnumChildWindows(parent, dressOne, reinterpret_cast<LPARAM>(this));
    ::InvalidateRect(parent, nullptr, TRUE);
}

}  // namespace svt::win32
