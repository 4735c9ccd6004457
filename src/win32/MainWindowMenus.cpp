// The main window's menu bar, its system menu, and what each menu entry, image button and
// system-menu entry does.
#include "desktop/ConversionFormats.h"
#include "desktop/LinkList.h"
#include "platform/Paths.h"
#include "win32/MainWindow.h"
#include "win32/MainWindowIds.h"

namespace svt::win32 {

void MainWindow::buildMenus() {
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
    recentMenu_ = ::CreatePopupMenu();
    sub(file, recentMenu_, t(UiText::RecentFiles));
    fillRecentMenu();
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

    HMENU help = ::CreatePopupMenu();
    add(help, kMenuHelp, t(UiText::Help));
    add(help, kMenuShortcuts, t(UiText::ShortcutsMenu));
    add(help, kMenuAbout, t(UiText::About));
    sub(bar, help, L"?");
    ::SetMenu(window_, bar);
    fillLinkMenus();
}

// The model says which entries have a real address; a menu left empty is not in the bar. The
// two menus are made again only when what they hold changed.
void MainWindow::fillLinkMenus() {
    HMENU bar = ::GetMenu(window_);
    if (!bar) return;
    LinkMenus menus = model_.linkMenus();
    if (shownLinks_ && *shownLinks_ == menus) return;
    for (HMENU* menu : {&linksMenu_, &downloadsMenu_}) {
        for (int i = ::GetMenuItemCount(bar) - 1; *menu && i >= 0; --i)
            if (::GetSubMenu(bar, i) == *menu)
                ::DeleteMenu(bar, static_cast<UINT>(i), MF_BYPOSITION);
        *menu = nullptr;
    }
    const auto add = [](HMENU menu, int id, const std::wstring& text) {
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), text.c_str());
    };
    // Both come before "?", the last menu of the bar.
    const auto insert = [bar](HMENU child, const std::wstring& text) {
        ::InsertMenuW(bar, static_cast<UINT>(::GetMenuItemCount(bar) - 1), MF_BYPOSITION | MF_POPUP,
                      reinterpret_cast<UINT_PTR>(child), text.c_str());
    };
    if (menus.linksShown()) {
        linksMenu_ = ::CreatePopupMenu();
        for (const LinkMenus::Group& group : menus.groups) {
            HMENU groupMenu = ::CreatePopupMenu();
            for (const int slot : group.slots)
                add(groupMenu, kLinkCommandBase + slot, wide(linkItemText(slot)));
            ::AppendMenuW(linksMenu_, MF_POPUP, reinterpret_cast<UINT_PTR>(groupMenu),
                          wide(linkGroupMenuText(group.group, control_.language())).c_str());
        }
        if (menus.update) {
            if (!menus.groups.empty()) ::AppendMenuW(linksMenu_, MF_SEPARATOR, 0, nullptr);
            add(linksMenu_, kMenuUpdateLinks, t(UiText::UpdateLinks));
        }
        insert(linksMenu_, t(UiText::MidiLinks));
    }
    if (menus.downloadsShown()) {
        downloadsMenu_ = ::CreatePopupMenu();
        if (menus.encoderDownload) add(downloadsMenu_, kMenuGogo, t(UiText::GogoEncoder));
        if (menus.familyPage) add(downloadsMenu_, kMenuFamily, t(UiText::FamilyMenu));
        insert(downloadsMenu_, t(UiText::Downloads));
    }
    shownLinks_ = std::move(menus);
    ::DrawMenuBar(window_);
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

void MainWindow::command(int id) {
    MainWindowModel& m = model_;
    if (id >= kLinkCommandBase && id < kLinkCommandBase + kLinkSlots) {
        m.openLink(id - kLinkCommandBase);
        return;
    }
    if (id >= kMenuRecentFirst && id < kMenuRecentFirst + kRecentFiles) {
        const RecentOpened opened = m.openRecent(id - kMenuRecentFirst);
        showOpenedFields(opened.fields);
        act(opened.action);
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

void MainWindow::showDragDropFormat() {
    if (!dragDropMenu_) return;
    const auto formats = conversionFormats();
    for (size_t i = 0; i < formats.size(); ++i)
        ::CheckMenuItem(
            dragDropMenu_, static_cast<UINT>(kMenuDragDropFirst + static_cast<int>(i)),
            MF_BYCOMMAND |
                (formats[i].output == model_.dragDropFormat() ? MF_CHECKED : MF_UNCHECKED));
}

// "&1 tune.mid", the latest first; filled again each time the File menu opens.
void MainWindow::fillRecentMenu() {
    if (!recentMenu_) return;
    while (::GetMenuItemCount(recentMenu_) > 0) ::DeleteMenu(recentMenu_, 0, MF_BYPOSITION);
    const std::vector<std::string>& recent = model_.recentFiles();
    for (size_t i = 0; i < recent.size() && i < static_cast<size_t>(kRecentFiles); ++i) {
        const std::string name = platform::pathText(platform::fsPath(recent[i]).filename());
        const std::wstring text = L"&" + std::to_wstring(i + 1) + L" " + wide(name);
        ::AppendMenuW(recentMenu_, MF_STRING, static_cast<UINT_PTR>(kMenuRecentFirst + i),
                      text.c_str());
    }
    if (recent.empty())
        ::AppendMenuW(recentMenu_, MF_STRING | MF_GRAYED, 0, t(UiText::RecentFiles).c_str());
}

}  // namespace svt::win32
