// The main window's panel: its controls in the full and the compact form, the bars' movements,
// and what the engine's panel view, opened songs and conversions show in them.
#include <algorithm>

#include "win32/MainWindow.h"
#include "win32/MainWindowIds.h"

namespace svt::win32 {

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
        statusText_ = wide(progress.visible ? progress.status : "");
        ::SendMessageW(status_, SB_SETTEXTW, SBT_OWNERDRAW,
                       reinterpret_cast<LPARAM>(statusText_.c_str()));
    } else {
        setText(window_, progress.visible ? progress.title : model_.windowTitle());
    }
}

}  // namespace svt::win32
