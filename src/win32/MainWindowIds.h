#pragma once
// What the main window's source files share: the identifiers of its menu entries, buttons and
// controls, and its refresh timer.

#include "win32/Win.h"

namespace svt::win32 {

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
    kMenuRecentFirst = 3400,  // + the recent file's place in the list
};

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 33;  // about 30 redraws a second

inline HINSTANCE instance() {
    return ::GetModuleHandleW(nullptr);
}

}  // namespace svt::win32
