// The main window's life: its creation in either form, its messages, placement, the playlist
// window beside it, dropped files and the key table. Menus and commands are in
// MainWindowMenus.cpp, the panel's controls and what they show in MainWindowPanel.cpp.
#include "win32/MainWindow.h"

#include <algorithm>

#include "win32/MainWindowIds.h"

namespace svt::win32 {
namespace {

void registerMainClass(HICON icon, HICON smallIcon, WNDPROC proc) {
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = proc;
    c.hInstance = instance();
    c.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    c.lpszClassName = kMainClass;
    c.hIcon = icon;
    c.hIconSm = smallIcon;
    ::RegisterClassExW(&c);
}

// The key table: the letters and media keys act whatever Shift says; the keys that step (seek,
// volume, transposition, tempo) and F1 only without Ctrl or Alt; Ctrl+O opens songs.
std::optional<ShortcutKey> shortcutOf(WPARAM key, bool control) {
    if (control) return key == 'O' ? std::optional(ShortcutKey::Open) : std::nullopt;
    switch (key) {
        case VK_SPACE:
            return ShortcutKey::Space;
        case VK_MEDIA_PLAY_PAUSE:
            return ShortcutKey::MediaPlay;
        case 'A':
            return ShortcutKey::A;
        case 'H':
            return ShortcutKey::H;
        case 'N':
            return ShortcutKey::N;
        case VK_MEDIA_NEXT_TRACK:
            return ShortcutKey::MediaNext;
        case 'P':
            return ShortcutKey::P;
        case VK_MEDIA_PREV_TRACK:
            return ShortcutKey::MediaPrevious;
        case 'Q':
            return ShortcutKey::Q;
        case 'S':
            return ShortcutKey::S;
        case VK_MEDIA_STOP:
            return ShortcutKey::MediaStop;
        case VK_LEFT:
            return ShortcutKey::SeekBack;
        case VK_RIGHT:
            return ShortcutKey::SeekForward;
        case VK_UP:
            return ShortcutKey::VolumeUp;
        case VK_DOWN:
            return ShortcutKey::VolumeDown;
        case VK_ADD:
        case VK_OEM_PLUS:
            return ShortcutKey::TransposeUp;
        case VK_SUBTRACT:
        case VK_OEM_MINUS:
            return ShortcutKey::TransposeDown;
        case VK_OEM_6:  // "]" on a US keyboard
            return ShortcutKey::Faster;
        case VK_OEM_4:  // "["
            return ShortcutKey::Slower;
        case VK_F1:
            return ShortcutKey::Help;
        default:
            return std::nullopt;
    }
}

}  // namespace

MainWindow::MainWindow(FrontControl& control, AppSettings& settings, WindowForm form,
                       const std::string& soundFontName)
    : control_(control),
      settings_(settings),
      services_(control.language(), mail_),
      model_(control, settings, services_, form),
      bars_(control),
      link_(mail_),
      schemeFollower_(windowsSchemeHints()),
      scheme_(schemeFollower_.scheme()) {
    icon_ = makeProgramIcon(::GetSystemMetrics(SM_CXICON));
    smallIcon_ = makeProgramIcon(::GetSystemMetrics(SM_CXSMICON));
    registerMainClass(icon_, smallIcon_, &MainWindow::proc);
    registerMeterClass(instance());
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");

    // Neither resized nor maximised: the panel has one size.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    window_ = ::CreateWindowExW(WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT, kMainClass,
                                wide(model_.windowTitle()).c_str(), style, CW_USEDEFAULT,
                                CW_USEDEFAULT, 600, 400, nullptr, nullptr, instance(), this);
    services_.setOwner(window_);
    mail_.setTarget(window_);
    link_.setWindow(window_);
    tooltips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  window_, nullptr, instance(), nullptr);
    ::SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, 400);
    model_.showProgress = [this](const ProgressView& progress) { showProgress(progress); };

    int clientHeight = 0, clientWidth = 0;
    if (form == WindowForm::Full) {
        buildMenus();
        model_.linksChanged = [this] { fillLinkMenus(); };
        changeSystemMenu();
        buildFull();
        clientWidth = 1000;
        RECT statusRect{};
        ::GetWindowRect(status_, &statusRect);
        clientHeight = 492 + (statusRect.bottom - statusRect.top);
        playlistWindow_ =
            std::make_unique<PlaylistWindow>(control_, settings_, services_, scheme_, window_);
        playlistWindow_->clearPlaylist = [this] { model_.clearWithQuestion(); };
        playlistWindow_->quit = [this] { requestClose(); };
    } else {
        buildCompact();
        clientWidth = 540;
        clientHeight = 112;
    }
    RECT frame{0, 0, clientWidth, clientHeight};
    ::AdjustWindowRectEx(&frame, style, ::GetMenu(window_) != nullptr,
                         WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT);
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (status_) ::SendMessageW(status_, WM_SIZE, 0, 0);
    applyScheme();

    link_.onMessage = [this](FrontMessage message, const std::string& argument) {
        model_.engineMessage(message, argument);
    };
    link_.onClose = [this] { requestClose(); };
    link_.onPlaylist = [this] {
        if (playlistWindow_) playlistWindow_->refresh();
    };
    link_.onConversionEnd = [this](const ConversionEnd& end) { model_.conversionEnded(end); };
    link_.onMediaList = [this](const std::string& path) { model_.mediaListWritten(path); };

    control_.panel().setSoundFont(soundFontName);
    control_.setView(&link_);
    PanelView first = control_.panel().view();
    first.changed = FieldAll;
    applyView(first);
    if (volumeBar_) {
        const int volume = control_.volumePercent();
        ::SendMessageW(volumeBar_, TBM_SETPOS, TRUE, volume);
        setText(volumeNumber_, std::to_string(volume));
    }
    ::SetTimer(window_, kRefreshTimer, kRefreshMs, nullptr);
}

MainWindow::~MainWindow() {
    control_.setView(nullptr);
    mail_.setTarget(nullptr);
    playlistWindow_.reset();
    if (window_ && ::IsWindow(window_)) {
        ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
    if (icon_) ::DestroyIcon(icon_);
    if (smallIcon_) ::DestroyIcon(smallIcon_);
}

LRESULT CALLBACK MainWindow::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MainWindow*>(create->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

// ---------------------------------------------------------------- placing and showing

void MainWindow::placeAndShow(int showCommand) {
    RECT frame;
    ::GetWindowRect(window_, &frame);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = placeWindowAxis(settings_.uiMainX, frame.right - frame.left, work.left,
                                  work.right - work.left);
    const int y = placeWindowAxis(settings_.uiMainY, frame.bottom - frame.top, work.top,
                                  work.bottom - work.top);
    ::SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::ShowWindow(window_, showCommand);
    ::UpdateWindow(window_);
}

// ---------------------------------------------------------------- messages

LRESULT MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        // The shell's taskbar came back: so does the window's button.
        ::ShowWindow(window_, SW_HIDE);
        ::ShowWindow(window_, SW_SHOWNA);
        return 0;
    }
    if (LRESULT painted = 0; scheme_.paints(window_, message, wParam, lParam, painted))
        return painted;
    switch (message) {
        case kMailMessage:
            mail_.deliver();
            return 0;
        case kPanelMessage:
        case WM_TIMER:
            refreshPanel();
            return 0;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id >= kMuteFirst && id < kMuteFirst + 16 && code == BN_CLICKED) {
                const auto c = static_cast<size_t>(id - kMuteFirst);
                control_.muteClicked(static_cast<int>(c),
                                     ::SendMessageW(mutes_[c], BM_GETCHECK, 0, 0) == BST_CHECKED);
                return 0;
            }
            if (id >= kInstrumentFirst && id < kInstrumentFirst + 16) {
                if (code == CBN_SELCHANGE) {
                    const auto c = static_cast<size_t>(id - kInstrumentFirst);
                    control_.instrumentChosen(
                        static_cast<int>(c),
                        static_cast<int>(::SendMessageW(instruments_[c], CB_GETCURSEL, 0, 0)));
                }
                return 0;
            }
            if (id == kKeyBox) {
                if (code == CBN_SELCHANGE && !keyBoxGuard_) {
                    const int item = static_cast<int>(::SendMessageW(keyBox_, CB_GETCURSEL, 0, 0));
                    if (const std::optional<KeyBoxChoice> choice = bars_.keyBoxChosen(item)) {
                        setText(semitones_, choice->semitones);
                        ::SendMessageW(transposeBar_, TBM_SETPOS, TRUE, choice->transposeBar);
                    }
                }
                return 0;
            }
            command(id);
            return 0;
        }
        case WM_SYSCOMMAND: {
            const auto id = static_cast<int>(wParam);
            if (id >= kSysStop && id <= kSysNext) {
                command(id);
                return 0;
            }
            break;
        }
        case WM_HSCROLL:
            if (lParam) scrolled(reinterpret_cast<HWND>(lParam), LOWORD(wParam));
            return 0;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->hwndItem == status_) {
                drawStatus(*item);
                return TRUE;
            }
            for (const auto& [button, glyph] : glyphs_) {
                if (button != item->hwndItem) continue;
                const bool second = (button == playButton_ && playing_) ||
                                    (button == pauseButton_ && paused_) ||
                                    (button == loopButton_ && looping_);
                drawButton(*item, glyph, second, buttonColours());
                return TRUE;
            }
            break;
        }
        case WM_SETTINGCHANGE:
            // Windows names a change of the apps' light or dark choice "ImmersiveColorSet".
            if (lParam &&
                ::lstrcmpiW(reinterpret_cast<const wchar_t*>(lParam), L"ImmersiveColorSet") == 0)
                if (const std::optional<ColorScheme> now =
                        schemeFollower_.update(windowsSchemeHints())) {
                    scheme_.set(*now);
                    applyScheme();
                }
            break;
        case WM_SYSCOLORCHANGE:
            // High contrast came or went, or the system's colours changed: the same scheme,
            // drawn anew.
            scheme_.set(scheme_.scheme());
            applyScheme();
            break;
        case WM_INITMENU:
            // The encoder may have been located since: its download entry goes then.
            if (reinterpret_cast<HMENU>(wParam) == ::GetMenu(window_)) fillLinkMenus();
            break;
        case WM_INITMENUPOPUP:
            if (reinterpret_cast<HMENU>(wParam) == recentMenu_) fillRecentMenu();
            break;
        case WM_DROPFILES:
            dropped(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_MOVE:
            if (!::IsIconic(window_) && ::IsWindowVisible(window_)) {
                RECT r;
                ::GetWindowRect(window_, &r);
                settings_.uiMainX = r.left;
                settings_.uiMainY = r.top;
            }
            return 0;
        case WM_SIZE:
            if (status_) ::SendMessageW(status_, WM_SIZE, 0, 0);
            if (!playlistWindow_) return 0;
            if (wParam == SIZE_MINIMIZED) {
                playlistWasVisible_ = playlistWindow_->visible();
                playlistWindow_->hide();
            } else if (wParam == SIZE_RESTORED && playlistWasVisible_) {
                playlistWasVisible_ = false;
                showPlaylistWindow();
            }
            return 0;
        case WM_CLOSE:
            if (!model_.mayClose()) return 0;
            if (playlistWindow_) playlistWindow_->hide();
            ::KillTimer(window_, kRefreshTimer);
            ::DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

// ---------------------------------------------------------------- the scheme

void MainWindow::applyScheme() {
    scheme_.dressFrame(window_);
    scheme_.dressControls(window_);
    const bool own = scheme_.own();
    meterRows_.background = scheme_.window();
    meterRows_.trough = own ? scheme_.base() : RGB(255, 255, 255);
    meterRows_.edge = own ? scheme_.frame() : RGB(160, 160, 160);
    if (playlistWindow_) playlistWindow_->applyScheme();
    ::RedrawWindow(window_, nullptr, nullptr,
                   RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
}

ButtonColours MainWindow::buttonColours() const {
    return {scheme_.own(), scheme_.window(), scheme_.base(), scheme_.frame(), scheme_.windowText()};
}

void MainWindow::drawStatus(const DRAWITEMSTRUCT& item) {
    RECT r = item.rcItem;
    ::FillRect(item.hDC, &r, scheme_.windowBrush());
    r.left += 4;
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, scheme_.windowText());
    ::DrawTextW(item.hDC, statusText_.c_str(), static_cast<int>(statusText_.size()), &r,
                DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
}

// ---------------------------------------------------------------- windows and keys

void MainWindow::act(WindowAction action) {
    switch (action) {
        case WindowAction::None:
            break;
        case WindowAction::TogglePlaylist:
            togglePlaylistWindow();
            break;
        case WindowAction::ShowPlaylist:
            showPlaylistWindow();
            break;
        case WindowAction::Close:
            requestClose();
            break;
    }
}

void MainWindow::showPlaylistWindow() {
    if (!playlistWindow_) return;
    RECT frame;
    ::GetWindowRect(window_, &frame);
    playlistWindow_->show(frame);
}

void MainWindow::togglePlaylistWindow() {
    if (!playlistWindow_) return;
    if (playlistWindow_->visible()) {
        playlistWindow_->hide();
    } else {
        showPlaylistWindow();
        control_.queue(FcRefreshList);
    }
}

void MainWindow::requestClose() {
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
}

void MainWindow::dropped(HDROP drop) {
    std::vector<std::string> names;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring name(length + 1, L'\0');
        const UINT got = ::DragQueryFileW(drop, i, name.data(), length + 1);
        name.resize(got);
        if (!name.empty()) names.push_back(utf8(name));
    }
    ::DragFinish(drop);
    if (!names.empty()) control_.dropFiles(names);
}

bool MainWindow::preTranslate(MSG& message) {
    if (message.message != WM_KEYDOWN) return false;
    // The search text is typed, not taken as commands.
    if (playlistWindow_ && message.hwnd == playlistWindow_->searchEdit()) return false;
    HWND top = ::GetAncestor(message.hwnd, GA_ROOT);
    const bool inPlaylist = playlistWindow_ && top == playlistWindow_->window();
    if (top != window_ && !inPlaylist) return false;
    const bool control =
        (::GetKeyState(VK_CONTROL) & 0x8000) != 0 || (::GetKeyState(VK_MENU) & 0x8000) != 0;
    if (const std::optional<ShortcutKey> key = shortcutOf(message.wParam, control)) {
        KeyPress press;
        press.key = *key;
        press.inPlaylistWindow = inPlaylist;
        press.autoRepeat = (message.lParam & (1 << 30)) != 0;
        // The number block's own keys: + and - there, and its arrows with Num Lock off.
        press.keypad = message.wParam == VK_ADD || message.wParam == VK_SUBTRACT ||
                       ((message.wParam >= VK_LEFT && message.wParam <= VK_DOWN) &&
                        (message.lParam & (1 << 24)) == 0);
        const KeyVerdict verdict = model_.keyPressed(press);
        if (verdict.volumeChanged && volumeBar_) {
            const int volume = control_.volumePercent();
            ::SendMessageW(volumeBar_, TBM_SETPOS, TRUE, volume);
            setText(volumeNumber_, std::to_string(volume));
        }
        showOpenedFields(verdict.opened);
        act(verdict.action);
        if (verdict.taken) return true;
    }
    return playlistWindow_ && playlistWindow_->listKey(message);
}

}  // namespace svt::win32
