#pragma once
// What the main window does, without the window: the rules behind every menu entry, button
// and shortcut key, the questions and messages around them, the conversions with their
// export paths, end-of-conversion questions and progress, and the link menu. A front-end
// builds the window, draws it and binds each control to one call here; the dialogs, message
// boxes and the desktop's applications it reaches through DesktopServices, and what only the
// window can do (show, hide, close) comes back as a WindowAction. Window thread only.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "desktop/AppSettings.h"
#include "desktop/DesktopServices.h"
#include "desktop/FrontCommands.h"
#include "desktop/FrontControl.h"
#include "desktop/WindowTexts.h"

namespace svt {

enum class WindowForm { Full, Compact };

// The user guide's page for `language` ("guide/de/index.html"), looked for beside the program
// (a build, the Windows installation) and in the installed data folder; the English page when
// the language has none; empty when there is no guide at all. `exists` tells whether a file is
// there.
std::string findUserGuide(const std::string& programFolder, Language language,
                          const std::function<bool(const std::string&)>& exists);

// What the window does itself after a call.
enum class WindowAction {
    None,
    TogglePlaylist,  // show or hide the playlist window (and queue a refresh when shown)
    ShowPlaylist,    // show the playlist window
    Close,           // the close request to the main window (which asks, see mayClose)
};

// The full window's fields while opened songs are read: the engine shows the real ones later.
struct OpenedFields {
    std::string title, time, newTempo, semitones;
};

// What the window shows of a running conversion.
struct ProgressView {
    bool visible = false;  // false: the progress is gone (status line cleared, title restored)
    double fraction = 0;   // 0..1 over the whole conversion
    std::string status;    // the full window's status line
    std::string title;     // the compact window's title
};

// What opening a recent file did: a song's fields to show meanwhile, or a window to show.
struct RecentOpened {
    std::optional<OpenedFields> fields;
    WindowAction action = WindowAction::None;
};

// What the "MIDI Links" and "Downloads" menus hold. An entry without a real address is not
// offered, a group without entries has no submenu, and a menu left empty is not shown.
struct LinkMenus {
    struct Group {
        int group = 0;
        std::vector<int> slots;
        bool operator==(const Group&) const = default;
    };
    std::vector<Group> groups;
    bool update = false;  // "Update links", after a separator when groups come before it
    bool encoderDownload = false, familyPage = false;
    bool linksShown() const { return !groups.empty() || update; }
    bool downloadsShown() const { return encoderDownload || familyPage; }
    bool operator==(const LinkMenus&) const = default;
};

// A shortcut key as the window received it.
struct KeyPress {
    ShortcutKey key = ShortcutKey::Space;
    bool inPlaylistWindow = false;
    bool autoRepeat = false;
    bool keypad = false;  // keys of the number block are the list's own
};

// Whether the window takes a key (it goes no further), and what the window then does.
struct KeyVerdict {
    bool taken = false;
    WindowAction action = WindowAction::None;
    bool volumeChanged = false;          // the volume bar shows the control's volume again
    std::optional<OpenedFields> opened;  // Ctrl+O opened songs: the fields to show meanwhile
};

class MainWindowModel {
  public:
    MainWindowModel(WindowControl& control, AppSettings& settings, DesktopServices& services,
                    WindowForm form);

    // Where the settings go when they are to be kept (window closed, a menu choice).
    std::function<void(const AppSettings&)> saveSettings;
    // How the window shows progress; called whenever what it shows changes.
    std::function<void(const ProgressView&)> showProgress;
    // The link update brought new addresses: the menus show them.
    std::function<void()> linksChanged;

    Language language() const { return control_.language(); }
    WindowForm form() const { return form_; }
    std::string text(UiText id) const { return std::string(uiText(id, language())); }
    std::string windowTitle() const;

    // File menu, buttons, dropped files and the command line. The open calls return the
    // fields' texts when songs were handed on.
    std::optional<OpenedFields> openFileDialog();
    std::optional<OpenedFields> openFolderDialog();
    std::optional<OpenedFields> openPaths(const std::vector<std::string>& paths);
    WindowAction openPlaylistDialog();
    // A playlist file, as the playlist dialog opens it.
    WindowAction openListFile(const std::string& path);
    // The File menu's recent files (the latest first) and opening one of them.
    const std::vector<std::string>& recentFiles() const { return settings_.recentFiles; }
    RecentOpened openRecent(int index);
    void savePlaylistDialog();
    void changeSoundFontDialog();
    void closeFile() { control_.closeCurrentFile(); }
    // "Drag and Drop" > Wave / MP3: kept in the settings at once.
    void setDragDropFormat(OutputKind format);
    OutputKind dragDropFormat() const { return outputForFormat(settings_.dragDropFormat); }
    // Playlist > Clear, and the playlist window's clear (which first wants songs).
    void clearPlaylist();
    void clearWithQuestion();
    // Whether the window may close; saves the settings when it may.
    bool mayClose();

    // Transport and keys.
    WindowAction play() { return outcome(control_.pressPlay()); }
    KeyVerdict keyPressed(const KeyPress& press);
    WindowAction outcome(UiOutcome result);

    // Downloads and help menus, the logo.
    void downloadEncoder();
    void openFamilyPage();
    void openHomepage();
    void openHelp();
    void showShortcuts();
    void showAbout();

    // The link menu.
    void openLink(int slot);
    void updateLinks();
    // What the link and download menus show now: the encoder's download only while no encoder
    // library can be found, so a front-end asks again before it shows the menus.
    LinkMenus linkMenus() const;

    // Conversion: the current song, the whole playlist, the current song to a chosen file,
    // the playlist as a media-player list.
    void convertSong(OutputKind output);
    void convertWholePlaylist(OutputKind output);
    void convertFileTo();
    void exportPlaylist();
    // The engine thread's reports, handed over to the window thread.
    void conversionEnded(const ConversionEnd& end);
    void mediaListWritten(const std::string& path);
    void engineMessage(FrontMessage message, const std::string& argument);
    // At each redraw: `songFraction` is the position bar's share of the song (0..1).
    void progressTick(double songFraction);
    // Whether the MP3 encoder library loads; asks where it is when it does not.
    bool ensureEncoder();

    void inform(UiText id) { inform(text(id)); }
    void inform(const std::string& text, const std::string& caption = {});
    bool ask(const std::string& question);

  private:
    bool maySaveOver(const std::string& path);
    std::vector<FileFilter> songFilters() const;
    void clearProgress();
    void linkReply(const HttpReply& reply);

    WindowControl& control_;
    AppSettings& settings_;
    DesktopServices& services_;
    const WindowForm form_;
    double shownProgress_ = -1;
};

}  // namespace svt
