#pragma once
// The main window: menu bar, image buttons with tooltips, the player panel with its bars and
// fields and the sixteen channel rows (full form), or position, time, title and path only
// (compact form, for songs named on the command line). It shows what the engine thread's
// panel view says and hands clicks, keys and bar movements to the desktop model
// (MainWindowModel, PanelBars); the engine thread reaches it only by posted messages.

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "desktop/AppSettings.h"
#include "desktop/FrontControl.h"
#include "desktop/MainWindowModel.h"
#include "desktop/PanelBars.h"
#include "desktop/PanelState.h"
#include "win32/Drawing.h"
#include "win32/PlaylistWindow.h"
#include "win32/Scheme.h"
#include "win32/Win.h"
#include "win32/Win32Services.h"

namespace svt::win32 {

inline constexpr wchar_t kMainClass[] = L"SorvantoMain";

// The window as the engine thread sees it: every call only posts.
class WindowLink final : public FrontView {
  public:
    explicit WindowLink(WindowMail& mail) : mail_(mail) {}
    void setWindow(HWND window) { window_ = window; }
    std::function<void(FrontMessage, const std::string&)> onMessage;
    std::function<void()> onClose, onPlaylist;
    std::function<void(const ConversionEnd&)> onConversionEnd;
    std::function<void(const std::string&)> onMediaList;

    void panelChanged() override {
        if (window_) ::PostMessageW(window_, kPanelMessage, 0, 0);
    }
    void showMessage(FrontMessage message, const std::string& argument) override {
        mail_.post([this, message, argument] { onMessage(message, argument); });
    }
    void closeWindow() override {
        mail_.post([this] { onClose(); });
    }
    void playlistChanged() override {
        mail_.post([this] { onPlaylist(); });
    }
    void conversionEnded(const ConversionEnd& end) override {
        mail_.post([this, end] { onConversionEnd(end); });
    }
    void mediaListWritten(const std::string& path) override {
        mail_.post([this, path] { onMediaList(path); });
    }

  private:
    WindowMail& mail_;
    HWND window_ = nullptr;
};

class MainWindow {
  public:
    MainWindow(FrontControl& control, AppSettings& settings, WindowForm form,
               const std::string& soundFontName);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND window() const { return window_; }
    MainWindowModel& model() { return model_; }
    WindowForm form() const { return model_.form(); }
    // Places the window from "UIMainX"/"UIMainY" on the work area and shows it.
    void placeAndShow(int showCommand);
    // The message loop's key table, before translation and dispatch; true when the key was
    // taken and goes no further.
    bool preTranslate(MSG& message);
    // The playlist's search window, whose keys move between its controls; null in the compact
    // form.
    HWND searchWindow() const {
        return playlistWindow_ ? playlistWindow_->searchWindow() : nullptr;
    }

  private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void buildMenus();
    void changeSystemMenu();
    void buildFull();
    void buildCompact();
    HWND field(int x, int y, int width, int height = 22, bool bold = false);
    HWND label(int x, int y, int width, UiText id);
    HWND trackbar(int x, int y, int width, PanelBar which);
    HWND imageButton(int x, int y, int size, Glyph glyph, UiText tooltip, bool hasTooltip = true);
    void tooltip(HWND control, UiText id);
    void command(int id);
    void scrolled(HWND bar, int code);
    void showEcho(const BarEcho& echo, HWND field);
    void refreshPanel();
    void applyView(const PanelView& view);
    void setSongControlsEnabled(bool enabled);
    void showOpenedFields(const std::optional<OpenedFields>& fields);
    void showProgress(const ProgressView& progress);
    void showDragDropFormat();
    void fillRecentMenu();
    void fillLinkMenus();
    void applyScheme();
    ButtonColours buttonColours() const;
    void drawStatus(const DRAWITEMSTRUCT& item);
    void act(WindowAction action);
    void togglePlaylistWindow();
    void showPlaylistWindow();
    void requestClose();
    void dropped(HDROP drop);
    std::wstring t(UiText id) const { return wtext(id, control_.language()); }

    FrontControl& control_;
    AppSettings& settings_;
    WindowMail mail_;
    Win32Services services_;
    MainWindowModel model_;
    PanelBars bars_;
    WindowLink link_;
    SchemeFollower schemeFollower_;
    WindowScheme scheme_;
    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    HWND status_ = nullptr;
    std::wstring statusText_;  // the status bar draws it itself, in the scheme's colours
    HMENU dragDropMenu_ = nullptr;
    HMENU recentMenu_ = nullptr;
    HMENU linksMenu_ = nullptr, downloadsMenu_ = nullptr;  // null while not in the bar
    std::optional<LinkMenus> shownLinks_;
    std::unique_ptr<PlaylistWindow> playlistWindow_;
    bool playlistWasVisible_ = false;
    UINT taskbarCreated_ = 0;
    HICON icon_ = nullptr, smallIcon_ = nullptr;

    HWND title_ = nullptr, path_ = nullptr, playlist_ = nullptr, soundFont_ = nullptr;
    HWND time_ = nullptr, measure_ = nullptr, positionBar_ = nullptr;
    HWND volumeBar_ = nullptr, volumeNumber_ = nullptr;
    HWND tempoBar_ = nullptr, newTempo_ = nullptr, originalTempo_ = nullptr;
    HWND transposeBar_ = nullptr, semitones_ = nullptr;
    HWND keyBox_ = nullptr, originalKey_ = nullptr, meter_ = nullptr;
    std::array<HWND, 16> mutes_{}, instruments_{}, trackNames_{};
    HWND meters_ = nullptr;
    MeterRows meterRows_;
    HWND playButton_ = nullptr, pauseButton_ = nullptr, loopButton_ = nullptr;
    bool playing_ = false, paused_ = false, looping_ = false;
    std::vector<std::pair<HWND, Glyph>> glyphs_;
    int positionMax_ = 0;
    bool keyBoxGuard_ = false;
};

}  // namespace svt::win32
