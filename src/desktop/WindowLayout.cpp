#include "desktop/WindowLayout.h"

#include <algorithm>

namespace svt {
namespace {

// The gap between the main window's frame and a playlist window placed beside it.
constexpr int kBesideGap = 8;
constexpr int kFixedPitchFlag = 1;
constexpr int kItalicFlag = 2;

int keepWithin(int at, int extent, int start, int available) {
    return std::clamp(at, start, std::max(start, start + available - extent));
}

}  // namespace

ScreenSize playlistWindowSize(const AppSettings& settings) {
    return {std::clamp(settings.uiListWidth, kPlaylistMinimumWidth, kMaxWindowExtent),
            std::clamp(settings.uiListHeight, kPlaylistMinimumHeight, kMaxWindowExtent)};
}

ScreenPoint placePlaylistWindow(const AppSettings& settings, ScreenRect mainFrame,
                                ScreenRect desktop, ScreenSize window) {
    ScreenPoint at{settings.uiListX, settings.uiListY};
    if (settings.uiListX == -1 || settings.uiListY == -1)
        at = {mainFrame.x + mainFrame.width + kBesideGap, mainFrame.y};
    if (desktop.width <= 0 || desktop.height <= 0) return at;
    return {keepWithin(at.x, window.width, desktop.x, desktop.width),
            keepWithin(at.y, window.height, desktop.y, desktop.height)};
}

void keepPlaylistPlace(AppSettings& settings, ScreenPoint at) {
    settings.uiListX = at.x;
    settings.uiListY = at.y;
}

void keepPlaylistSize(AppSettings& settings, ScreenSize size) {
    settings.uiListWidth = size.width;
    settings.uiListHeight = size.height;
}

ListFont listFont(const AppSettings& settings) {
    ListFont font;
    font.name = settings.uiListFontName;
    font.height =
        std::clamp(settings.uiListFontHeight, kListFontMinimumHeight, kListFontMaximumHeight);
    font.width = std::clamp(settings.uiListFontWidth, 0, kListFontMaximumHeight);
    font.fixedPitch = (settings.uiListFontFlags & kFixedPitchFlag) != 0;
    font.italic = (settings.uiListFontFlags & kItalicFlag) != 0;
    return font;
}

void keepListFont(AppSettings& settings, const ListFont& font) {
    size_t length = std::min(font.name.size(), static_cast<size_t>(kListFontNameLimit));
    // A cut inside a UTF-8 sequence would leave a broken character in the settings file.
    if (length < font.name.size())
        while (length > 0 && (static_cast<unsigned char>(font.name[length]) & 0xC0) == 0x80)
            --length;
    settings.uiListFontName = font.name.substr(0, length);
    settings.uiListFontHeight =
        std::clamp(font.height, kListFontMinimumHeight, kListFontMaximumHeight);
    settings.uiListFontWidth = std::clamp(font.width, 0, kListFontMaximumHeight);
    settings.uiListFontFlags =
        (font.fixedPitch ? kFixedPitchFlag : 0) | (font.italic ? kItalicFlag : 0);
}

}  // namespace svt
