#pragma once
// Light or dark: which scheme the windows follow, from what the desktop tells, and the
// colours each scheme gives the window's parts. Every front-end asks its desktop what it can
// (a settings portal, Windows' personalisation value, a theme name, the colours it was given)
// and lets this choose.

#include <cstdint>
#include <optional>
#include <string_view>

namespace svt {

enum class ColorScheme { Light, Dark };

struct SchemeHints {
    std::optional<std::string_view> override;   // SORVANTO_COLOR_SCHEME: "light" or "dark"
    std::optional<uint32_t> portal;             // the desktop portal: 0 none, 1 dark, 2 light
    std::optional<std::string_view> gtkTheme;   // GTK_THEME, "Adwaita:dark" and the like
    std::optional<int> windowLightness;         // 0..255 of the window colour the toolkit has
    std::optional<uint32_t> appsUseLightTheme;  // Windows' "AppsUseLightTheme": 0 dark, else light
};

// The user's override first, then the portal's preference or Windows' value (a desktop has
// one or the other), then a dark theme's name, then the colours the toolkit was given; light
// when nothing tells.
ColorScheme chooseColorScheme(const SchemeHints& hints);

// The scheme chosen at start-up, followed while the program runs. Once the program has given
// the toolkit its own palette, the toolkit's colours say nothing more about the desktop, so the
// window colour seen at start-up stays the last resort; the user's override stays fixed; the
// portal's preference and Windows' value are the hints that change.
class SchemeFollower {
  public:
    explicit SchemeFollower(const SchemeHints& start)
        : hints_(start), scheme_(chooseColorScheme(start)) {}
    ColorScheme scheme() const { return scheme_; }
    // The desktop said something changed and `now` is what it tells: the scheme to take when
    // it differs from the one in use.
    std::optional<ColorScheme> update(const SchemeHints& now);

  private:
    SchemeHints hints_;
    ColorScheme scheme_;
};

// 0xRRGGBB colours of a scheme.
struct SchemeColors {
    uint32_t window, windowText, base, alternateBase, text, button, buttonText, highlight,
        highlightedText, disabledText, link, toolTipBase, toolTipText, meter;
};

SchemeColors schemeColors(ColorScheme scheme);

}  // namespace svt
