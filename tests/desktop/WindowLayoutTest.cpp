// Where the playlist window goes and what the settings keep of its size and list font: a
// window that lands off the desktop cannot be reached, and a name cut inside a character
// leaves a settings file the next start cannot read back as it was.

#include <gtest/gtest.h>

#include <tuple>

#include "desktop/WindowLayout.h"

namespace svt {
namespace {

TEST(PlaylistWindowPlace, SizeAndPlaceTheUserLeftComeBack) {
    AppSettings settings;
    keepPlaylistPlace(settings, {640, 12});
    keepPlaylistSize(settings, {500, 700});
    const ScreenPoint at = placePlaylistWindow(settings, {0, 0, 10, 10}, {0, 0, 1920, 1080},
                                               playlistWindowSize(settings));
    EXPECT_EQ(std::tuple(at.x, at.y, playlistWindowSize(settings).width), std::tuple(640, 12, 500));
    // A place on a screen that is gone comes back onto this one, whole.
    keepPlaylistPlace(settings, {3000, 2000});
    const ScreenPoint back =
        placePlaylistWindow(settings, {0, 0, 10, 10}, {0, 0, 1920, 1080}, {400, 400});
    EXPECT_EQ(std::pair(back.x, back.y), std::pair(1520, 680));

    // A size too small to show the buttons beneath the list, or absurdly large.
    keepPlaylistSize(settings, {10, 1000000});
    EXPECT_EQ(playlistWindowSize(settings).width, kPlaylistMinimumWidth);
    EXPECT_EQ(playlistWindowSize(settings).height, kMaxWindowExtent);
}

TEST(ListFontSettings, FlagsHeightsAndNamesBothWays) {
    struct Case {
        const char* what;
        ListFont chosen;
        std::string keptName;
        int keptHeight, keptFlags;
    };
    const std::string longName(80, 'x');
    // 62 ASCII bytes, then "ü" (two bytes) crossing the limit of 63.
    const std::string umlautAtLimit = std::string(62, 'a') + "\xC3\xBC" + "b";
    const Case cases[] = {
        {"fixed pitch", {"DejaVu Sans Mono", 17, 0, true, false}, "DejaVu Sans Mono", 17, 1},
        {"italic", {"Serif", 12, 0, false, true}, "Serif", 12, 2},
        {"both", {"Mono", 12, 0, true, true}, "Mono", 12, 3},
        {"too small to read", {"Tiny", 1, 0, false, false}, "Tiny", kListFontMinimumHeight, 0},
        {"too large for a line", {"Huge", 500, 0, false, false}, "Huge", kListFontMaximumHeight, 0},
        {"a long name is cut", {longName, 13, 0, false, false}, longName.substr(0, 63), 13, 0},
        {"never inside a character",
         {umlautAtLimit, 13, 0, false, false},
         std::string(62, 'a'),
         13,
         0},
    };
    for (const Case& c : cases) {
        AppSettings settings;
        keepListFont(settings, c.chosen);
        EXPECT_EQ(
            std::tie(settings.uiListFontName, settings.uiListFontHeight, settings.uiListFontFlags),
            std::tie(c.keptName, c.keptHeight, c.keptFlags))
            << c.what;
        const ListFont again = listFont(settings);
        EXPECT_EQ(std::tie(again.name, again.height, again.fixedPitch, again.italic),
                  std::tie(c.keptName, c.keptHeight, c.chosen.fixedPitch, c.chosen.italic))
            << c.what;
    }
    // A height edited by hand is shown readable.
    AppSettings edited;
    edited.uiListFontHeight = 200;
    EXPECT_EQ(listFont(edited).height, kListFontMaximumHeight);
}

}  // namespace
}  // namespace svt
