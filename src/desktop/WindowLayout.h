#pragma once
// Where the playlist window goes, how large it is and the font of its list, from the stored
// settings and back: the same rules for every front-end, in whole pixels with rectangles whose
// far edges lie outside them (x + width). The front-end measures its screens and frames and
// moves, sizes and styles its window with what comes back. Window thread only.

#include <string>

#include "desktop/AppSettings.h"

namespace svt {

struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};
struct ScreenPoint {
    int x = 0, y = 0;
};
struct ScreenSize {
    int width = 0, height = 0;
};

// The full main window works down to this size (the channel rows scroll then) and opens at
// least this wide.
inline constexpr ScreenSize kMainWindowSmallest{700, 450};
inline constexpr int kMainWindowStartWidth = 1040;

inline constexpr int kPlaylistMinimumWidth = 380;
inline constexpr int kPlaylistMinimumHeight = 200;
// The search text is kept to this many characters.
inline constexpr int kSearchTextLimit = 250;
// Bytes of a font's name the settings keep.
inline constexpr int kListFontNameLimit = 63;
// Pixel heights the list font is kept within, whatever the settings file says.
inline constexpr int kListFontMinimumHeight = 6;
inline constexpr int kListFontMaximumHeight = 96;

// The playlist window's size: the stored one, never below the minimum nor beyond the largest
// side a stored size may ask for.
ScreenSize playlistWindowSize(const AppSettings& settings);

// Where the playlist window goes: where the user left it, or, never placed, beside the main
// window's frame at its top. Either way it stays on `desktop` (the screen under the main
// window), its left and top edges first when it is larger than the desktop.
ScreenPoint placePlaylistWindow(const AppSettings& settings, ScreenRect mainFrame,
                                ScreenRect desktop, ScreenSize window);

// The moved playlist window's place, kept for the next start.
void keepPlaylistPlace(AppSettings& settings, ScreenPoint at);
void keepPlaylistSize(AppSettings& settings, ScreenSize size);

// The list font as the settings keep it ("UIListFont...": name, height and width in pixels,
// flags 1 fixed pitch and 2 italic).
struct ListFont {
    std::string name;
    int height = 13;
    int width = 0;  // 0: the font's own width for its height
    bool fixedPitch = false;
    bool italic = false;
};

ListFont listFont(const AppSettings& settings);
// Keeps the font the user chose; its name is cut to kListFontNameLimit bytes, never inside a
// character.
void keepListFont(AppSettings& settings, const ListFont& font);

}  // namespace svt
