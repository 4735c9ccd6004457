#pragma once
// What the main window draws itself with GDI: the pictures of its buttons (owner-drawn, so
// they need no bitmap files) and the sixteen level meters beside the channel rows.

#include <array>

#include "win32/Win.h"

namespace svt::win32 {

enum class Glyph {
    OpenFile,
    FileAsWav,
    FileAsMp3,
    OpenFolder,
    OpenList,
    ListAsWav,
    ListAsMp3,
    SaveList,
    Previous,
    Play,
    Pause,
    Stop,
    Next,
    Loop,
    Logo,
};

// The colours of a button: the system's with raised edges, or the dark scheme's with a flat
// frame; `ink` draws the transport pictures.
struct ButtonColours {
    bool own = false;
    COLORREF face = 0, pressed = 0, frame = 0, ink = 0;
};

// Draws an owner-drawn button: its face, the picture and, for a two-state button in its
// second state, a coloured bar beneath.
void drawButton(const DRAWITEMSTRUCT& item, Glyph glyph, bool second, const ButtonColours& colours);

// The meters: one child window of class kMeterClass draws sixteen bars at the rows' heights.
inline constexpr wchar_t kMeterClass[] = L"SorvantoMeters";
void registerMeterClass(HINSTANCE instance);
struct MeterRows {
    std::array<int, 16> top{};  // each row's top and height in the meter window's pixels
    int height = 16;
    std::array<int, 16> levels{};  // 0..100
    COLORREF background = RGB(240, 240, 240), trough = RGB(255, 255, 255),
             edge = RGB(160, 160, 160);
};
// The meter window keeps a MeterRows of the caller's; a change is drawn at the next paint.
void attachMeterRows(HWND meters, MeterRows* rows);

// The program's icon: a blue disc with an "S", drawn at start.
HICON makeProgramIcon(int size);

}  // namespace svt::win32
