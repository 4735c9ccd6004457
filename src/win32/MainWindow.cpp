#include "win32/MainWindow.h"

#include <algorithm>

#include "desktop/ConversionFormats.h"
#include "desktop/LinkList.h"

namespace svt::win32 {
namespace {

// Menu commands. The ids of the window's menus, the system menu's transport entries and the
// link slots are the program's own since its first Windows version.
enum : int {
    kMenuOpen = 1152,
    kMenuOpenFolder = 1153,
    kMenuListOpen = 1154,
    kMenuListSave = 1155,
    kMenuQuit = 1156,
    kMenuPlaylistWindow = 1159,
    kMenuHelp = 40004,
    kMenuChangeSoundFont = 40009,
    kMenuGogo = 40010,
    kMenuFamily = 40013,
    kMenuConvertTo = 40014,
    kMenuUpdateLinks = 40025,
    kMenuCloseFile = 40045,
    kMenuClear = 40047,
    kMenuDragDropFirst = 40053,  // one entry per conversion format, in their order
    kMenuAbout = 40058,
    kMenuExport = 40065,
    kMenuShortcuts = 40070,
    kSysStop = 2501,
    kSysPause = 2502,
    kSysPrevious = 2503,
    kSysPlay = 2505,
    kSysNext = 2507,
    kButtonFirst = 3000,  // + Glyph
    kMuteFirst = 3100,
    kInstrumentFirst = 3200,
    kKeyBox = 3300,
};

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 33;  // about 30 redraws a second

HINSTANCE instance() {
    return ::GetModuleHandleW(nullptr);
}

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
      link_(mail_) {
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
        changeSystemMenu();
        buildFull();
        clientWidth = 1000;
        RECT statusRect{};
        ::GetWindowRect(status_, &statusRect);
        clientHeight = 492 + (statusRect.bottom - statusRect.top);
        playlistWindow_ = std::make_unique<PlaylistWindow>(control_, settings_, services_, window_);
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

// ---------------------------------------------------------------- building

void MainWindow::buildMenus() {
    const Language lang = control_.language();
    HMENU bar = ::CreateMenu();
    const auto add = [](HMENU menu, int id, const std::wstring& text) {
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), text.c_str());
    };
    const auto sub = [](HMENU menu, HMENU child, const std::wstring& text) {
        ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(child), text.c_str());
    };

    HMENU file = ::CreatePopupMenu();
    add(file, kMenuOpen, t(UiText::Open));
    add(file, kMenuOpenFolder, t(UiText::OpenFolderMenu));
    add(file, kMenuConvertTo, t(UiText::ConvertFileTo));
    add(file, kMenuCloseFile, t(UiText::CloseFile));
    ::AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    add(file, kMenuQuit, t(UiText::Quit));
    sub(bar, file, t(UiText::File));

    HMENU list = ::CreatePopupMenu();
    add(list, kMenuListOpen, t(UiText::Open));
    add(list, kMenuListSave, t(UiText::Save));
    add(list, kMenuClear, t(UiText::Clear));
    HMENU exportMenu = ::CreatePopupMenu();
    add(exportMenu, kMenuExport, t(UiText::MediaPlayer));
    sub(list, exportMenu, t(UiText::Export));
    sub(bar, list, t(UiText::Playlist));

    HMENU prefs = ::CreatePopupMenu();
    add(prefs, kMenuChangeSoundFont, t(UiText::ChangeSoundFont));
    dragDropMenu_ = ::CreatePopupMenu();
    int index = 0;
    for (const ConversionFormat& f : conversionFormats())
        add(dragDropMenu_, kMenuDragDropFirst + index++, t(f.menuText));
    sub(prefs, dragDropMenu_, t(UiText::DragAndDrop));
    sub(bar, prefs, t(UiText::Preferences));
    showDragDropFormat();

    HMENU windows = ::CreatePopupMenu();
    add(windows, kMenuPlaylistWindow, t(UiText::Playlist));
    sub(bar, windows, t(UiText::Windows));

    HMENU links = ::CreatePopupMenu();
    for (int group = 0; group < kLinkGroupCount; ++group) {
        HMENU groupMenu = ::CreatePopupMenu();
        for (int item = 0; item < kLinksPerGroup; ++item) {
            const int slot = group * kLinksPerGroup + item;
            if (slot == kHiddenLinkSlot) continue;
            add(groupMenu, kLinkCommandBase + slot, wide(linkItemText(slot)));
        }
        sub(links, groupMenu, wide(linkGroupMenuText(group, lang)));
    }
    ::AppendMenuW(links, MF_SEPARATOR, 0, nullptr);
    add(links, kMenuUpdateLinks, t(UiText::UpdateLinks));
    sub(bar, links, t(UiText::MidiLinks));

    HMENU downloads = ::CreatePopupMenu();
    add(downloads, kMenuGogo, t(UiText::GogoEncoder));
    add(downloads, kMenuFamily, t(UiText::FamilyMenu));
    sub(bar, downloads, t(UiText::Downloads));

    HMENU help = ::CreatePopupMenu();
    add(help, kMenuHelp, t(UiText::Help));
    add(help, kMenuShortcuts, t(UiText::ShortcutsMenu));
    add(help, kMenuAbout, t(UiText::About));
    sub(bar, help, L"?");
    ::SetMenu(window_, bar);
}

// The system menu offers the transport (its entries are German in both languages) and
// the screen saver, and no size or maximise entries.
void MainWindow::changeSystemMenu() {
    HMENU system = ::GetSystemMenu(window_, FALSE);
    if (!system) return;
    ::DeleteMenu(system, SC_MAXIMIZE, MF_BYCOMMAND);
    ::DeleteMenu(system, SC_SIZE, MF_BYCOMMAND);
    // Each goes to the top, so they are inserted from the bottom up.
    ::InsertMenuW(system, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    ::InsertMenuW(system, 0, MF_BYPOSITION | MF_STRING, SC_SCREENSAVE, L"Screen Saver");
    ::InsertMenuW(system, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    ::InsertMenuW(system, 0, MF_BYPOSITION | MF_STRING, kSysStop, L"Stopp");
    ::InsertMenuW(system, 0, MF_BYPOSITION | MF_STRING, kSysPause, L"Pause");
    ::InsertMenuW(system, 0, MF_BYPOSITION | MF_STRING, kSysPrevious, L"Vorherige");
    ::InsertMenuW(system, 0, MF_BYPOSITION | MF_STRING, kSysNext, L"Nächste");
    ::InsertMenuW(system, 0, MF_BYPOSITION | MF_STRING, kSysPlay, L"Spielen");
}

HWND MainWindow::field(int x, int y, int width, int height, bool bold) {
    HWND w = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL, x, y, width,
                               height, window_, nullptr, instance(), nullptr);
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(bold ? boldFont() : dialogFont()),
                   FALSE);
    return w;
}

HWND MainWindow::label(int x, int y, int width, UiText id) {
    HWND w = ::CreateWindowExW(0, L"STATIC", t(id).c_str(),
                               WS_CHILD | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, x, y,
                               width, 22, window_, nullptr, instance(), nullptr);
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont()), FALSE);
    return w;
}

HWND MainWindow::trackbar(int x, int y, int width, PanelBar which) {
    const BarRange range = barRange(which);
    HWND w = ::CreateWindowExW(0, TRACKBAR_CLASSW, L"",
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBS_HORZ | TBS_NOTICKS, x, y,
                               width, 26, window_, nullptr, instance(), nullptr);
    ::SendMessageW(w, TBM_SETRANGEMIN, FALSE, range.minimum);
    ::SendMessageW(w, TBM_SETRANGEMAX, FALSE, range.maximum);
    ::SendMessageW(w, TBM_SETLINESIZE, 0, range.line);
    ::SendMessageW(w, TBM_SETPAGESIZE, 0, range.page);
    ::SendMessageW(w, TBM_SETPOS, TRUE, range.initial);
    return w;
}

void MainWindow::tooltip(HWND control, UiText id) {
    std::wstring text = t(id);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text.data();  // the control copies the text
    ::SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

HWND MainWindow::imageButton(int x, int y, int size, Glyph glyph, UiText tip, bool hasTooltip) {
    HWND w = ::CreateWindowExW(
        0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, x, y, size, size, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonFirst + static_cast<int>(glyph))),
        instance(), nullptr);
    glyphs_.emplace_back(w, glyph);
    if (hasTooltip) tooltip(w, tip);
    return w;
}

void MainWindow::buildFull() {
    const Language lang = control_.language();
    // Image buttons.
    constexpr int kB = 34, kY = 6;
    int x = 8;
    const auto button = [&](Glyph glyph, UiText tip, int gapAfter = 0) {
        HWND w = imageButton(x, kY, kB, glyph, tip);
        x += kB + 2 + gapAfter;
        return w;
    };
    button(Glyph::OpenFile, UiText::OpenFile);
    button(Glyph::FileAsWav, UiText::SaveAsWave);
    button(Glyph::FileAsMp3, UiText::SaveAsMp3, 10);
    button(Glyph::OpenFolder, UiText::OpenFolder, 10);
    button(Glyph::OpenList, UiText::OpenPlaylist);
    button(Glyph::ListAsWav, UiText::SaveListAsWave);
    button(Glyph::ListAsMp3, UiText::SaveListAsMp3);
    button(Glyph::SaveList, UiText::SavePlaylist, 16);
    button(Glyph::Previous, UiText::Previous);
    playButton_ = button(Glyph::Play, UiText::Play);
    pauseButton_ = button(Glyph::Pause, UiText::Pause);
    button(Glyph::Stop, UiText::Stop);
    button(Glyph::Next, UiText::Next);
    loopButton_ = button(Glyph::Loop, UiText::LoopFile);
    looping_ = (control_.interfaceFlags() & kFlagRepeat) != 0;
    imageButton(1000 - 8 - 40, 2, 40, Glyph::Logo, UiText::Play, false);

    // The song: title, path, playlist and soundfont.
    constexpr int kLeft = 8, kWidth = 470, kLabel = 104;
    int y = 50;
    title_ = field(kLeft, y, kWidth, 26, true);
    tooltip(title_, UiText::ShowTitle);
    y += 32;
    label(kLeft, y, kLabel, UiText::Path);
    path_ = field(kLeft + kLabel, y, kWidth - kLabel);
    y += 28;
    label(kLeft, y, kLabel, UiText::Playlist);
    playlist_ = field(kLeft + kLabel, y, 130);
    label(kLeft + kLabel + 140, y, 100, UiText::SoundFont);
    soundFont_ = ::CreateWindowExW(
        0, L"STATIC", L"",
        WS_CHILD | WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | SS_ENDELLIPSIS,
        kLeft + kLabel + 240, y, kWidth - kLabel - 240, 22, window_, nullptr, instance(), nullptr);
    ::SendMessageW(soundFont_, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont()), FALSE);

    // Position: time, measure and beat, the bar.
    y += 36;
    time_ = field(kLeft, y, 320);
    measure_ = field(kLeft + kWidth - 110, y, 110);
    tooltip(measure_, UiText::ShowMeter);
    y += 28;
    positionBar_ = trackbar(kLeft, y, kWidth, PanelBar::Position);

    // Volume, tempo, transposition, key.
    constexpr int kBarX = kLeft + kLabel, kBarWidth = 230, kNumberX = kBarX + kBarWidth + 8;
    constexpr int kNumberWidth = kWidth - kLabel - kBarWidth - 8;
    y += 38;
    label(kLeft, y, kLabel, UiText::Volume);
    volumeBar_ = trackbar(kBarX, y - 2, kBarWidth, PanelBar::Volume);
    tooltip(volumeBar_, UiText::ChangeVolume);
    volumeNumber_ = field(kNumberX, y, 50);
    y += 30;
    label(kLeft, y, kLabel, UiText::NewTempo);
    tempoBar_ = trackbar(kBarX, y - 2, kBarWidth, PanelBar::Tempo);
    tooltip(tempoBar_, UiText::ChangeTempo);
    newTempo_ = field(kNumberX, y, kNumberWidth);
    y += 28;
    label(kLeft, y, kLabel, UiText::OriginalTempo);
    originalTempo_ = field(kNumberX, y, kNumberWidth);
    y += 30;
    label(kLeft, y, kLabel, UiText::HalfTones);
    transposeBar_ = trackbar(kBarX, y - 2, kBarWidth, PanelBar::Transpose);
    tooltip(transposeBar_, UiText::Transpose);
    semitones_ = field(kNumberX, y, 50);
    tooltip(semitones_, UiText::TransposeHalfTone);
    y += 32;
    keyBox_ = ::CreateWindowExW(
        0, WC_COMBOBOXW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
        kBarX, y, kWidth - kLabel, 360, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kKeyBox)), instance(), nullptr);
    ::SendMessageW(keyBox_, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont()), FALSE);
    for (int item = 0; item < kKeyItems; ++item)
        ::SendMessageW(keyBox_, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(wide(keyBoxText(item, lang)).c_str()));
    ::SendMessageW(keyBox_, CB_SETCURSEL, kUnknownKeyItem, 0);
    tooltip(keyBox_, UiText::ChangeKey);
    y += 32;
    label(kLeft, y, kLabel, UiText::OriginalKey);
    originalKey_ = field(kBarX, y, kWidth - kLabel);
    y += 28;
    label(kLeft, y, kLabel, UiText::Meter);
    meter_ = field(kBarX, y, 70);

    // The sixteen channel rows.
    constexpr int kGroupX = 496, kGroupWidth = 1000 - 8 - kGroupX, kRowStep = 24, kRowTop = 74;
    HWND group = ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_GROUPBOX, kGroupX,
                                   44, kGroupWidth, kRowTop - 44 + 16 * kRowStep + 14, window_,
                                   nullptr, instance(), nullptr);
    (void)group;
    constexpr int kMuteX = kGroupX + 10, kMeterX = kMuteX + 46, kMeterWidth = 110;
    constexpr int kInstrumentX = kMeterX + kMeterWidth + 8, kInstrumentWidth = 180;
    constexpr int kNameX = kInstrumentX + kInstrumentWidth + 8;
    constexpr int kNameWidth = kGroupX + kGroupWidth - 10 - kNameX;
    label(kNameX, 52, kNameWidth, UiText::TrackName);
    meters_ = ::CreateWindowExW(0, kMeterClass, L"", WS_CHILD | WS_VISIBLE, kMeterX, kRowTop,
                                kMeterWidth, 16 * kRowStep, window_, nullptr, instance(), nullptr);
    meterRows_.height = kRowStep;
    for (size_t c = 0; c < 16; ++c) meterRows_.top[c] = static_cast<int>(c) * kRowStep;
    attachMeterRows(meters_, &meterRows_);
    std::vector<std::wstring> names;
    names.reserve(kInstrumentItems);
    for (int program = 1; program < 128; ++program) names.push_back(wide(instrumentName(program)));
    for (size_t c = 0; c < 16; ++c) {
        const int rowY = kRowTop + static_cast<int>(c) * kRowStep;
        wchar_t number[4];
        number[0] = static_cast<wchar_t>(L'0' + (c + 1) / 10);
        number[1] = static_cast<wchar_t>(L'0' + (c + 1) % 10);
        number[2] = 0;
        mutes_[c] = ::CreateWindowExW(
            0, L"BUTTON", number, WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, kMuteX, rowY + 1, 42,
            kRowStep - 2, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kMuteFirst + static_cast<int>(c))),
            instance(), nullptr);
        ::SendMessageW(mutes_[c], WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont()), FALSE);
        instruments_[c] = ::CreateWindowExW(
            0, WC_COMBOBOXW, L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST,
            kInstrumentX, rowY, kInstrumentWidth, 320, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kInstrumentFirst + static_cast<int>(c))),
            instance(), nullptr);
        ::SendMessageW(instruments_[c], WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont()), FALSE);
        ::SendMessageW(instruments_[c], CB_INITSTORAGE, kInstrumentItems, 32 * kInstrumentItems);
        for (const std::wstring& name : names)
            ::SendMessageW(instruments_[c], CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(name.c_str()));
        ::SendMessageW(instruments_[c], CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        // The rows are as high as the boxes, and the meters keep to them.
        RECT box;
        ::GetWindowRect(instruments_[c], &box);
        trackNames_[c] = field(kNameX, rowY, kNameWidth, box.bottom - box.top);
    }
    status_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                window_, nullptr, instance(), nullptr);
    ::SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont()), FALSE);
    setSongControlsEnabled(false);
}

void MainWindow::buildCompact() {
    title_ = field(8, 8, 524, 24, true);
    path_ = field(8, 38, 524);
    time_ = field(8, 70, 200);
    positionBar_ = trackbar(216, 68, 316, PanelBar::Position);
    ::EnableWindow(positionBar_, FALSE);
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
            for (const auto& [button, glyph] : glyphs_) {
                if (button != item->hwndItem) continue;
                const bool second = (button == playButton_ && playing_) ||
                                    (button == pauseButton_ && paused_) ||
                                    (button == loopButton_ && looping_);
                drawButton(*item, glyph, second);
                return TRUE;
            }
            break;
        }
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

void MainWindow::command(int id) {
    MainWindowModel& m = model_;
    if (id >= kLinkCommandBase && id < kLinkCommandBase + kLinkSlots) {
        m.openLink(id - kLinkCommandBase);
        return;
    }
    const auto formats = conversionFormats();
    if (id >= kMenuDragDropFirst && id < kMenuDragDropFirst + static_cast<int>(formats.size())) {
        m.setDragDropFormat(formats[static_cast<size_t>(id - kMenuDragDropFirst)].output);
        showDragDropFormat();
        return;
    }
    if (id >= kButtonFirst && id <= kButtonFirst + static_cast<int>(Glyph::Logo)) {
        switch (static_cast<Glyph>(id - kButtonFirst)) {
            case Glyph::OpenFile:
                showOpenedFields(m.openFileDialog());
                break;
            case Glyph::FileAsWav:
                m.convertSong(OutputKind::WavFile);
                break;
            case Glyph::FileAsMp3:
                m.convertSong(OutputKind::Mp3File);
                break;
            case Glyph::OpenFolder:
                showOpenedFields(m.openFolderDialog());
                break;
            case Glyph::OpenList:
                act(m.openPlaylistDialog());
                break;
            case Glyph::ListAsWav:
                m.convertWholePlaylist(OutputKind::WavFile);
                break;
            case Glyph::ListAsMp3:
                m.convertWholePlaylist(OutputKind::Mp3File);
                break;
            case Glyph::SaveList:
                m.savePlaylistDialog();
                break;
            case Glyph::Previous:
                control_.pressPrevious();
                break;
            case Glyph::Play:
                act(m.play());
                break;
            case Glyph::Pause:
                control_.pressPause();
                break;
            case Glyph::Stop:
                control_.pressStop();
                break;
            case Glyph::Next:
                control_.pressNext();
                break;
            case Glyph::Loop:
                looping_ = control_.pressLoop();
                ::InvalidateRect(loopButton_, nullptr, FALSE);
                break;
            case Glyph::Logo:
                m.openHomepage();
                break;
        }
        return;
    }
    switch (id) {
        case kMenuOpen:
            showOpenedFields(m.openFileDialog());
            break;
        case kMenuOpenFolder:
            showOpenedFields(m.openFolderDialog());
            break;
        case kMenuConvertTo:
            m.convertFileTo();
            break;
        case kMenuCloseFile:
            m.closeFile();
            break;
        case kMenuQuit:
            requestClose();
            break;
        case kMenuListOpen:
            act(m.openPlaylistDialog());
            break;
        case kMenuListSave:
            m.savePlaylistDialog();
            break;
        case kMenuClear:
            m.clearPlaylist();
            break;
        case kMenuExport:
            m.exportPlaylist();
            break;
        case kMenuChangeSoundFont:
            m.changeSoundFontDialog();
            break;
        case kMenuPlaylistWindow:
            togglePlaylistWindow();
            break;
        case kMenuUpdateLinks:
            m.updateLinks();
            break;
        case kMenuGogo:
            m.downloadEncoder();
            break;
        case kMenuFamily:
            m.openFamilyPage();
            break;
        case kMenuHelp:
            m.openHelp();
            break;
        case kMenuShortcuts:
            m.showShortcuts();
            break;
        case kMenuAbout:
            m.showAbout();
            break;
        case kSysPlay:
            act(m.play());
            break;
        case kSysNext:
            control_.pressNext();
            break;
        case kSysPrevious:
            control_.pressPrevious();
            break;
        case kSysPause:
            control_.pressPause();
            break;
        case kSysStop:
            control_.pressStop();
            break;
        default:
            break;
    }
}

// A bar's movement ends with the end of a drag, a click or a key step: each sends
// TB_ENDTRACK after its own code.
void MainWindow::scrolled(HWND bar, int code) {
    PanelBar which;
    HWND echoField = nullptr;
    if (bar == positionBar_) {
        which = PanelBar::Position;
    } else if (bar == volumeBar_) {
        which = PanelBar::Volume;
        echoField = volumeNumber_;
    } else if (bar == tempoBar_) {
        which = PanelBar::Tempo;
        echoField = newTempo_;
    } else if (bar == transposeBar_) {
        which = PanelBar::Transpose;
        echoField = semitones_;
    } else {
        return;
    }
    const int value = static_cast<int>(::SendMessageW(bar, TBM_GETPOS, 0, 0));
    if (code == TB_THUMBTRACK)
        showEcho(bars_.moved(which, value), echoField);
    else if (code == TB_ENDTRACK)
        showEcho(bars_.released(which, value), echoField);
}

void MainWindow::showEcho(const BarEcho& echo, HWND echoField) {
    if (echo.field && echoField) setText(echoField, *echo.field);
    if (echo.keyItem && keyBox_) {
        keyBoxGuard_ = true;
        ::SendMessageW(keyBox_, CB_SETCURSEL, static_cast<WPARAM>(*echo.keyItem), 0);
        keyBoxGuard_ = false;
    }
}

// ---------------------------------------------------------------- the panel

void MainWindow::refreshPanel() {
    PanelView view;
    if (control_.mailbox().take(view)) applyView(view);
    const int position = static_cast<int>(::SendMessageW(positionBar_, TBM_GETPOS, 0, 0));
    const double song =
        positionMax_ > 0 ? static_cast<double>(position) / static_cast<double>(positionMax_) : 0.0;
    model_.progressTick(song);
}

void MainWindow::applyView(const PanelView& v) {
    const uint32_t changed = v.changed;
    if (changed & FieldTitle) {
        setText(title_, v.title);
        setText(path_, v.path);
    }
    if (changed & FieldTime) setText(time_, v.time);
    if (changed & FieldPosition) {
        if (positionMax_ != v.positionMax) {
            positionMax_ = v.positionMax;
            ::SendMessageW(positionBar_, TBM_SETRANGEMAX, TRUE, v.positionMax);
        }
        if (form() == WindowForm::Full) ::EnableWindow(positionBar_, v.positionEnabled);
        if (!bars_.holding(PanelBar::Position) && ::GetCapture() != positionBar_)
            ::SendMessageW(positionBar_, TBM_SETPOS, TRUE, v.position);
    }
    if (form() == WindowForm::Compact) return;
    if (changed & FieldMeters) {
        if (meterRows_.levels != v.meters) {
            meterRows_.levels = v.meters;
            ::InvalidateRect(meters_, nullptr, FALSE);
        }
    }
    if (changed & FieldMeasure) setText(measure_, v.measure);
    if (changed & FieldPlaylist) setText(playlist_, v.playlist);
    if (changed & FieldSoundFont) setText(soundFont_, v.soundFont);
    if (changed & FieldTempo) {
        setText(newTempo_, v.newTempo);
        setText(originalTempo_, v.originalTempo);
    }
    if (changed & FieldSettings) {
        keyBoxGuard_ = true;
        if (!bars_.holding(PanelBar::Tempo))
            ::SendMessageW(tempoBar_, TBM_SETPOS, TRUE, v.tempoBar);
        if (!bars_.holding(PanelBar::Transpose))
            ::SendMessageW(transposeBar_, TBM_SETPOS, TRUE, v.transposeBar);
        setText(semitones_, v.semitones);
        ::SendMessageW(keyBox_, CB_SETCURSEL, static_cast<WPARAM>(v.keyItem), 0);
        setText(originalKey_, v.originalKey);
        setText(meter_, v.meter);
        for (size_t c = 0; c < 16; ++c) {
            ::SendMessageW(mutes_[c], BM_SETCHECK, v.mute[c] ? BST_CHECKED : BST_UNCHECKED, 0);
            ::SendMessageW(instruments_[c], CB_SETCURSEL, static_cast<WPARAM>(v.instrument[c]), 0);
        }
        keyBoxGuard_ = false;
        bars_.settingsShown(v);
    }
    if (changed & FieldTrackNames)
        for (size_t c = 0; c < 16; ++c) setText(trackNames_[c], v.trackNames[c]);
    if (changed & FieldButtons) {
        setSongControlsEnabled(v.songControlsEnabled);
        if (playing_ != v.playing || paused_ != v.paused) {
            playing_ = v.playing;
            paused_ = v.paused;
            ::InvalidateRect(playButton_, nullptr, FALSE);
            ::InvalidateRect(pauseButton_, nullptr, FALSE);
        }
    }
}

void MainWindow::setSongControlsEnabled(bool enabled) {
    if (!tempoBar_) return;
    ::EnableWindow(tempoBar_, enabled);
    ::EnableWindow(transposeBar_, enabled);
    ::EnableWindow(keyBox_, enabled);
    for (size_t c = 0; c < 16; ++c) {
        ::EnableWindow(mutes_[c], enabled);
        ::EnableWindow(instruments_[c], enabled);
    }
}

void MainWindow::showOpenedFields(const std::optional<OpenedFields>& fields) {
    if (!fields || form() != WindowForm::Full) return;
    setText(title_, fields->title);
    setText(time_, fields->time);
    setText(newTempo_, fields->newTempo);
    setText(semitones_, fields->semitones);
}

void MainWindow::showProgress(const ProgressView& progress) {
    if (form() == WindowForm::Full) {
        ::SendMessageW(
            status_, SB_SETTEXTW, 0,
            reinterpret_cast<LPARAM>(wide(progress.visible ? progress.status : "").c_str()));
    } else {
        setText(window_, progress.visible ? progress.title : model_.windowTitle());
    }
}

void MainWindow::showDragDropFormat() {
    if (!dragDropMenu_) return;
    const auto formats = conversionFormats();
    for (size_t i = 0; i < formats.size(); ++i)
        ::CheckMenuItem(
            dragDropMenu_, static_cast<UINT>(kMenuDragDropFirst + static_cast<int>(i)),
            MF_BYCOMMAND |
                (formats[i].output == model_.dragDropFormat() ? MF_CHECKED : MF_UNCHECKED));
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
