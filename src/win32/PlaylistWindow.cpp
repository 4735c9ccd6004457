#include "win32/PlaylistWindow.h"

#include <commdlg.h>

#include <algorithm>

namespace svt::win32 {
namespace {

constexpr wchar_t kClass[] = L"SorvantoPlaylist";
constexpr wchar_t kSearchClass[] = L"SorvantoSearch";
// The list scrolls sideways over this width, so long paths can be read.
constexpr int kListExtent = 1600;

enum : int {
    kListId = 10,
    kClearId,
    kSearchId,
    kFontId,
    kMenuPlay = 100,
    kMenuCurrent,
    kMenuSearch,
    kMenuRemove,
    kMenuClear,
    kMenuRandom,
    kSearchEditId = 200,
    kSearchNextId,
};

HINSTANCE instance() {
    return ::GetModuleHandleW(nullptr);
}

void registerClasses() {
    static const bool done = [] {
        WNDCLASSEXW c{};
        c.cbSize = sizeof c;
        c.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            return ::DefWindowProcW(w, m, wp, lp);
        };
        c.hInstance = instance();
        c.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        c.lpszClassName = kClass;
        ::RegisterClassExW(&c);
        c.lpszClassName = kSearchClass;
        ::RegisterClassExW(&c);
        return true;
    }();
    (void)done;
}

HWND child(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id) {
    HWND w =
        ::CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont()), FALSE);
    return w;
}

}  // namespace

PlaylistWindow::PlaylistWindow(WindowControl& control, AppSettings& settings,
                               DesktopServices& services, const WindowScheme& scheme, HWND owner)
    : control_(control),
      settings_(settings),
      scheme_(scheme),
      rules_(control, services),
      snapshot_(std::make_shared<PlaylistSnapshot>()) {
    registerClasses();
    const ScreenSize size = playlistWindowSize(settings_);
    window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, kClass,
                                wtext(UiText::Playlist, control_.language()).c_str(),
                                WS_OVERLAPPEDWINDOW & ~WS_MAXIMIZEBOX & ~WS_MINIMIZEBOX,
                                CW_USEDEFAULT, CW_USEDEFAULT, size.width, size.height, owner,
                                nullptr, instance(), nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PlaylistWindow::proc));

    list_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER |
                                  LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_OWNERDATA,
                              0, 0, 10, 10, window_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), instance(),
                              nullptr);
    ::SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = kListExtent;
    ::SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    const Language lang = control_.language();
    count_ = child(window_, L"STATIC", L"", SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, 0);
    clearButton_ =
        child(window_, L"BUTTON", wtext(UiText::ClearPlaylist, lang), BS_PUSHBUTTON, kClearId);
    searchButton_ =
        child(window_, L"BUTTON", wtext(UiText::Search, lang), BS_PUSHBUTTON, kSearchId);
    fontButton_ = child(window_, L"BUTTON", wtext(UiText::ListFont, lang), BS_PUSHBUTTON, kFontId);

    // The search dialog: a small window of its own, owned by the playlist window.
    search_ = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_CONTROLPARENT, kSearchClass,
                                wtext(UiText::SearchCaption, lang).c_str(),
                                WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT,
                                330, 130, window_, nullptr, instance(), nullptr);
    ::SetWindowLongPtrW(search_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(search_, GWLP_WNDPROC,
                        reinterpret_cast<LONG_PTR>(&PlaylistWindow::searchProc));
    HWND label = child(search_, L"STATIC", wtext(UiText::EnterText, lang), SS_LEFT, 0);
    ::MoveWindow(label, 10, 8, 300, 18, FALSE);
    searchEdit_ = ::CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10, 28,
        300, 22, search_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSearchEditId)), instance(),
        nullptr);
    ::SendMessageW(searchEdit_, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont()), FALSE);
    ::SendMessageW(searchEdit_, EM_LIMITTEXT, kSearchTextLimit, 0);
    HWND find =
        child(search_, L"BUTTON", wtext(UiText::Search, lang), BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK);
    HWND next = child(search_, L"BUTTON", wtext(UiText::SearchNext, lang),
                      BS_PUSHBUTTON | WS_TABSTOP, kSearchNextId);
    HWND close =
        child(search_, L"BUTTON", wtext(UiText::Close, lang), BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL);
    ::MoveWindow(find, 10, 60, 96, 26, FALSE);
    ::MoveWindow(next, 112, 60, 96, 26, FALSE);
    ::MoveWindow(close, 214, 60, 96, 26, FALSE);

    tooltips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  window_, nullptr, instance(), nullptr);

    applyFont();
    layout();
    applyScheme();
    refresh();
}

void PlaylistWindow::applyScheme() {
    for (HWND top : {window_, search_}) {
        scheme_.dressFrame(top);
        scheme_.dressControls(top);
    }
}

PlaylistWindow::~PlaylistWindow() {
    if (window_) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::SetWindowLongPtrW(search_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
    if (listFont_) ::DeleteObject(listFont_);
}

LRESULT CALLBACK PlaylistWindow::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PlaylistWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT CALLBACK PlaylistWindow::searchProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    auto* self = reinterpret_cast<PlaylistWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->handleSearch(message, wParam, lParam);
}

LRESULT PlaylistWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (LRESULT painted = 0; scheme_.paints(window_, message, wParam, lParam, painted))
        return painted;
    switch (message) {
        case WM_SIZE:
            layout();
            if (!placing_ && visible() && wParam == SIZE_RESTORED) {
                RECT r;
                ::GetWindowRect(window_, &r);
                keepPlaylistSize(settings_, {r.right - r.left, r.bottom - r.top});
            }
            return 0;
        case WM_MOVE:
            if (!placing_ && visible()) {
                RECT r;
                ::GetWindowRect(window_, &r);
                keepPlaylistPlace(settings_, {r.left, r.top});
            }
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {kPlaylistMinimumWidth, kPlaylistMinimumHeight};
            return 0;
        }
        case WM_CLOSE:
            // The close box hides the window; it lives as long as the main window.
            hide();
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kClearId:
                case kMenuClear:
                    if (clearPlaylist) clearPlaylist();
                    return 0;
                case kSearchId:
                case kMenuSearch:
                    showSearch();
                    return 0;
                case kFontId:
                    changeFont();
                    return 0;
                case kMenuPlay:
                    rules_.playSelected(selectedRow(), caretRow(), snapshot_->count());
                    return 0;
                case kMenuCurrent:
                    selectRow(snapshot_->current);
                    return 0;
                case kMenuRemove:
                    rules_.removeSelected(selectedRow());
                    return 0;
                case kMenuRandom:
                    rules_.toggleRandom();
                    return 0;
                default:
                    break;
            }
            break;
        case WM_CONTEXTMENU: {
            POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (at.x == -1 && at.y == -1) ::GetCursorPos(&at);
            showMenu(at);
            return 0;
        }
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->hwndFrom != list_) break;
            if (header->code == LVN_GETDISPINFOW) {
                auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
                if ((info->item.mask & LVIF_TEXT) && info->item.iItem >= 0 &&
                    info->item.iItem < snapshot_->count()) {
                    shownLine_ = wide(snapshot_->lineText(info->item.iItem, control_.language()));
                    info->item.pszText = shownLine_.data();
                }
                return 0;
            }
            if (header->code == NM_DBLCLK) {
                rules_.playSelected(selectedRow(), caretRow(), snapshot_->count());
                return 0;
            }
            if (header->code == LVN_ITEMCHANGED) updateCount();
            break;
        }
        default:
            break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT PlaylistWindow::handleSearch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (LRESULT painted = 0; scheme_.paints(search_, message, wParam, lParam, painted))
        return painted;
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    search(false);
                    return 0;
                case kSearchNextId:
                    search(true);
                    return 0;
                case IDCANCEL:
                    ::ShowWindow(search_, SW_HIDE);
                    return 0;
                default:
                    break;
            }
            break;
        case WM_CLOSE:
            ::ShowWindow(search_, SW_HIDE);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(search_, message, wParam, lParam);
}

void PlaylistWindow::layout() {
    RECT client;
    ::GetClientRect(window_, &client);
    const int w = client.right, h = client.bottom;
    constexpr int kRow = 26, kMargin = 4, kButton = 96;
    ::MoveWindow(list_, kMargin, kMargin, w - 2 * kMargin, h - kRow - 3 * kMargin, TRUE);
    const int y = h - kRow - kMargin;
    ::MoveWindow(count_, kMargin, y, std::max(w - 3 * kButton - 5 * kMargin, 10), kRow, TRUE);
    ::MoveWindow(clearButton_, w - 3 * kButton - 3 * kMargin, y, kButton, kRow, TRUE);
    ::MoveWindow(searchButton_, w - 2 * kButton - 2 * kMargin, y, kButton, kRow, TRUE);
    ::MoveWindow(fontButton_, w - kButton - kMargin, y, kButton, kRow, TRUE);
}

void PlaylistWindow::applyFont() {
    const ListFont kept = listFont(settings_);
    LOGFONTW font{};
    font.lfHeight = -kept.height;
    font.lfWidth = kept.width;
    font.lfWeight = FW_NORMAL;
    font.lfItalic = kept.italic ? TRUE : FALSE;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = static_cast<BYTE>(kept.fixedPitch ? FIXED_PITCH : DEFAULT_PITCH);
    const std::wstring name = wide(kept.name).substr(0, LF_FACESIZE - 1);
    std::copy(name.begin(), name.end(), font.lfFaceName);
    HFONT made = ::CreateFontIndirectW(&font);
    ::SendMessageW(list_, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
    if (listFont_) ::DeleteObject(listFont_);
    listFont_ = made;
}

void PlaylistWindow::changeFont() {
    LOGFONTW font{};
    ::GetObjectW(listFont_, sizeof font, &font);
    CHOOSEFONTW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpLogFont = &font;
    dialog.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_NOVERTFONTS;
    if (!::ChooseFontW(&dialog)) return;
    ListFont chosen;
    chosen.name = utf8(font.lfFaceName);
    chosen.height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
    chosen.width = 0;
    chosen.fixedPitch = (font.lfPitchAndFamily & 0x3) == FIXED_PITCH;
    chosen.italic = font.lfItalic != 0;
    keepListFont(settings_, chosen);
    const int row = selectedRow();
    applyFont();
    selectRow(row);
}

int PlaylistWindow::selectedRow() const {
    return static_cast<int>(
        ::SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

int PlaylistWindow::caretRow() const {
    return static_cast<int>(
        ::SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

void PlaylistWindow::selectRow(int row) {
    if (row < 0 || row >= snapshot_->count()) return;
    LVITEMW clear{};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(&clear));
    LVITEMW item{};
    item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&item));
    ::SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    updateCount();
}

void PlaylistWindow::refresh() {
    std::shared_ptr<const PlaylistSnapshot> next = control_.playlistSnapshot();
    if (!next) return;
    const int row = selectedRow();
    const int before = snapshot_->current;
    const bool contents = next->contentsGeneration != snapshot_->contentsGeneration ||
                          next->count() != snapshot_->count();
    snapshot_ = std::move(next);
    if (contents) {
        ::SendMessageW(list_, LVM_SETITEMCOUNT, static_cast<WPARAM>(snapshot_->count()), 0);
        ::InvalidateRect(list_, nullptr, TRUE);
        if (row >= 0) selectRow(std::min(row, snapshot_->count() - 1));
    } else {
        for (const int r : {before, snapshot_->current})
            if (r >= 0 && r < snapshot_->count())
                ::SendMessageW(list_, LVM_REDRAWITEMS, static_cast<WPARAM>(r), r);
    }
    updateCount();
}

void PlaylistWindow::updateCount() {
    setText(count_,
            playlistCountText(snapshot_->count(), snapshot_->totalSeconds, control_.language()));
}

void PlaylistWindow::show(const RECT& mainFrame) {
    RECT frame;
    ::GetWindowRect(window_, &frame);
    HMONITOR monitor = ::MonitorFromRect(&mainFrame, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(monitor, &info);
    const RECT& work = info.rcWork;
    const ScreenPoint at =
        placePlaylistWindow(settings_,
                            {mainFrame.left, mainFrame.top, mainFrame.right - mainFrame.left,
                             mainFrame.bottom - mainFrame.top},
                            {work.left, work.top, work.right - work.left, work.bottom - work.top},
                            {frame.right - frame.left, frame.bottom - frame.top});
    placing_ = true;
    ::SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(window_, SW_SHOWNA);
    placing_ = false;
    if (searchWasVisible_) ::ShowWindow(search_, SW_SHOWNA);
    searchWasVisible_ = false;
    refresh();
}

void PlaylistWindow::hide() {
    searchWasVisible_ = ::IsWindowVisible(search_) != 0;
    ::ShowWindow(search_, SW_HIDE);
    ::ShowWindow(window_, SW_HIDE);
}

void PlaylistWindow::showSearch() {
    if (!rules_.maySearch(snapshot_->count())) return;
    RECT r;
    ::GetWindowRect(window_, &r);
    ::SetWindowPos(search_, HWND_TOP, r.left + 40, r.top + 60, 0, 0, SWP_NOSIZE);
    ::ShowWindow(search_, SW_SHOW);
    ::SetFocus(searchEdit_);
}

void PlaylistWindow::search(bool next) {
    const std::optional<int> found =
        rules_.search(*snapshot_, windowText(searchEdit_), next, selectedRow());
    if (found) selectRow(*found);
}

void PlaylistWindow::showMenu(POINT at) {
    HMENU menu = ::CreatePopupMenu();
    const Language lang = control_.language();
    ::AppendMenuW(menu, MF_STRING, kMenuPlay, wtext(UiText::Play, lang).c_str());
    ::AppendMenuW(menu, MF_STRING, kMenuCurrent, wtext(UiText::CurrentSong, lang).c_str());
    ::AppendMenuW(menu, MF_STRING, kMenuSearch, wtext(UiText::Search, lang).c_str());
    ::AppendMenuW(menu, MF_STRING, kMenuRemove, wtext(UiText::RemoveSong, lang).c_str());
    ::AppendMenuW(menu, MF_STRING, kMenuClear, wtext(UiText::ClearPlaylist, lang).c_str());
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING | (control_.randomOrder() ? MF_CHECKED : MF_UNCHECKED),
                  kMenuRandom, wtext(UiText::RandomOrder, lang).c_str());
    ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    ::DestroyMenu(menu);
}

bool PlaylistWindow::listKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.hwnd != list_) return false;
    const bool ctrlOrAlt =
        (::GetKeyState(VK_CONTROL) & 0x8000) || (::GetKeyState(VK_MENU) & 0x8000);
    ListKey key;
    switch (message.wParam) {
        case VK_RETURN:
        case VK_SPACE:
            key = ListKey::Play;
            break;
        case VK_BACK:
            key = ListKey::Remove;
            break;
        case VK_DELETE:
        case 'C':
            if (ctrlOrAlt) return false;
            key = ListKey::Clear;
            break;
        case VK_ESCAPE:
            key = ListKey::Hide;
            break;
        case 'Q':
            key = ListKey::Quit;
            break;
        default:
            return false;
    }
    act(rules_.key(key, selectedRow(), caretRow()));
    return true;
}

void PlaylistWindow::act(ListAction action) {
    switch (action) {
        case ListAction::None:
            break;
        case ListAction::Hide:
            hide();
            break;
        case ListAction::ClearPlaylist:
            if (clearPlaylist) clearPlaylist();
            break;
        case ListAction::Quit:
            if (quit) quit();
            break;
    }
}

}  // namespace svt::win32
