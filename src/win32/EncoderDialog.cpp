#include "win32/EncoderDialog.h"

namespace svt::win32 {
namespace {

constexpr wchar_t kClass[] = L"SorvantoEncoder";
constexpr int kPathLimit = 260;

enum : int { kDownload = 100, kBrowse, kPath };

struct Dialog {
    HWND window = nullptr;
    HWND path = nullptr;
    Language language = Language::English;
    const std::function<bool(const std::string&)>* tryPath = nullptr;
    const std::function<void()>* download = nullptr;
    const std::function<std::string()>* browse = nullptr;
    bool done = false;
    bool accepted = false;

    void finish(bool ok) {
        accepted = ok;
        done = true;
    }
    void accept() {
        if (*tryPath && (*tryPath)(windowText(path))) {
            finish(true);
            return;
        }
        ::MessageBoxW(window, wtext(UiText::EnterValidPath, language).c_str(),
                      wtext(UiText::ProductCaption, language).c_str(), MB_OK | MB_ICONINFORMATION);
    }
};

LRESULT CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (dialog) {
        switch (message) {
            case WM_COMMAND:
                switch (LOWORD(wParam)) {
                    case IDOK:
                        dialog->accept();
                        return 0;
                    case IDCANCEL:
                        dialog->finish(false);
                        return 0;
                    case kDownload:
                        if (*dialog->download) (*dialog->download)();
                        return 0;
                    case kBrowse:
                        if (*dialog->browse) {
                            const std::string chosen = (*dialog->browse)();
                            if (!chosen.empty()) {
                                setText(dialog->path, chosen);
                                if (*dialog->tryPath && (*dialog->tryPath)(chosen))
                                    dialog->finish(true);
                            }
                        }
                        return 0;
                    default:
                        break;
                }
                break;
            case WM_CLOSE:
                dialog->finish(false);
                return 0;
            default:
                break;
        }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND control(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id, RECT r,
             HFONT font, DWORD exStyle = 0) {
    HWND w = ::CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, r.left,
                               r.top, r.right - r.left, r.bottom - r.top, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return w;
}

}  // namespace

bool runEncoderDialog(HWND owner, Language language,
                      const std::function<bool(const std::string&)>& tryPath,
                      const std::function<void()>& download,
                      const std::function<std::string()>& browse) {
    static const bool registered = [] {
        WNDCLASSEXW c{};
        c.cbSize = sizeof c;
        c.lpfnWndProc = dialogProc;
        c.hInstance = ::GetModuleHandleW(nullptr);
        c.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        c.lpszClassName = kClass;
        return ::RegisterClassExW(&c) != 0;
    }();
    (void)registered;

    Dialog dialog;
    dialog.language = language;
    dialog.tryPath = &tryPath;
    dialog.download = &download;
    dialog.browse = &browse;
    constexpr int kWidth = 480, kHeight = 230;
    RECT frame{0, 0, kWidth, kHeight};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    dialog.window = ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClass,
                                      wtext(UiText::ProductCaption, language).c_str(), style,
                                      work.left + (work.right - work.left - w) / 2,
                                      work.top + (work.bottom - work.top - h) / 2, w, h, owner,
                                      nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!dialog.window) return false;
    ::SetWindowLongPtrW(dialog.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&dialog));

    HWND parent = dialog.window;
    control(parent, L"STATIC", wtext(UiText::EncoderMissing, language), SS_LEFT, 0,
            {12, 10, kWidth - 12, 30}, boldFont());
    // Without a real download address there is nothing to offer here.
    if (download) {
        control(parent, L"STATIC", wtext(UiText::EncoderDownloadHere, language), SS_LEFT, 0,
                {12, 40, kWidth - 12, 58}, dialogFont());
        control(parent, L"BUTTON", wtext(UiText::EncoderDownloadNow, language),
                BS_PUSHBUTTON | WS_TABSTOP, kDownload, {24, 62, 280, 90}, dialogFont());
    }
    control(parent, L"STATIC", wtext(UiText::EncoderEnterPath, language), SS_LEFT, 0,
            {12, 104, kWidth - 12, 122}, dialogFont());
    dialog.path = control(parent, L"EDIT", L"<gogo.dll>", ES_AUTOHSCROLL | WS_TABSTOP, kPath,
                          {24, 126, kWidth - 120, 150}, dialogFont(), WS_EX_CLIENTEDGE);
    ::SendMessageW(dialog.path, EM_LIMITTEXT, kPathLimit, 0);
    control(parent, L"BUTTON", wtext(UiText::Browse, language), BS_PUSHBUTTON | WS_TABSTOP, kBrowse,
            {kWidth - 112, 125, kWidth - 12, 151}, dialogFont());
    control(parent, L"BUTTON", wtext(UiText::Ok, language), BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK,
            {kWidth - 220, kHeight - 40, kWidth - 120, kHeight - 12}, dialogFont());
    control(parent, L"BUTTON", wtext(UiText::Cancel, language), BS_PUSHBUTTON | WS_TABSTOP,
            IDCANCEL, {kWidth - 112, kHeight - 40, kWidth - 12, kHeight - 12}, dialogFont());

    const bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    ::ShowWindow(dialog.window, SW_SHOW);
    ::SetFocus(dialog.path);
    MSG message;
    while (!dialog.done && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (::IsDialogMessageW(dialog.window, &message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    // A quit that came while the dialog was open is the program's: it goes back to its loop.
    if (!dialog.done) ::PostQuitMessage(static_cast<int>(message.wParam));
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    ::SetWindowLongPtrW(dialog.window, GWLP_USERDATA, 0);
    ::DestroyWindow(dialog.window);
    if (owner) ::SetForegroundWindow(owner);
    return dialog.accepted;
}

}  // namespace svt::win32
