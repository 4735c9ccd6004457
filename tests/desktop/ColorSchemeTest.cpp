// Which scheme the windows take from what the desktop tells, and that both schemes can be
// read: text stands out from its background in each.

#include "desktop/ColorScheme.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

namespace svt {
namespace {

TEST(ColorScheme, TheUserFirstThenThePortalThenTheThemeThenTheColours) {
    struct Case {
        const char* what;
        SchemeHints hints;
        ColorScheme expected;
    };
    const Case cases[] = {
        {"nothing tells", {}, ColorScheme::Light},
        {"the override wins", {"light", 1u, "Adwaita:dark", 20, 0u}, ColorScheme::Light},
        {"an override of nonsense is passed over", {"purple", 1u, {}, {}, {}}, ColorScheme::Dark},
        {"the portal prefers dark", {{}, 1u, {}, 240, {}}, ColorScheme::Dark},
        {"the portal prefers light", {{}, 2u, "Adwaita:dark", 20, {}}, ColorScheme::Light},
        {"no preference: the theme's name", {{}, 0u, "Adwaita:Dark", 240, {}}, ColorScheme::Dark},
        {"a theme that is not dark", {{}, {}, "darkness-light", 240, {}}, ColorScheme::Light},
        {"a dark window colour", {{}, {}, {}, 40, {}}, ColorScheme::Dark},
        {"Windows' apps are dark", {{}, {}, {}, 240, 0u}, ColorScheme::Dark},
        {"Windows' apps are light", {{}, {}, {}, 40, 1u}, ColorScheme::Light},
    };
    for (const Case& c : cases) EXPECT_EQ(chooseColorScheme(c.hints), c.expected) << c.what;
}

TEST(ColorScheme, ARunningProgramFollowsThePortalOrWindowsOnly) {
    struct Case {
        const char* what;
        SchemeHints start;
        std::vector<std::optional<uint32_t>> found;  // what each change event finds
        std::vector<std::optional<ColorScheme>> taken;
        bool windows = false;  // the values are Windows' "AppsUseLightTheme"
    };
    using S = ColorScheme;
    constexpr std::nullopt_t none = std::nullopt;
    const Case cases[] = {
        {"light to dark and back", {{}, 2u, {}, 240, {}}, {1u, 1u, 2u}, {S::Dark, none, S::Light}},
        {"no preference: the start's window colour", {{}, 1u, {}, 240, {}}, {0u}, {S::Light}},
        // A dark start without a portal stays dark when the portal appears without preference.
        {"portal appears", {{}, {}, {}, 30, {}}, {0u, 2u}, {none, S::Light}},
        {"no answer keeps what is shown", {{}, 1u, {}, 240, {}}, {none}, {none}},
        {"the user's override is kept", {"light", 2u, {}, 240, {}}, {1u}, {none}},
        {"dark theme beats no preference", {{}, 2u, "Adwaita:dark", 240, {}}, {0u}, {S::Dark}},
        {"Windows: dark and back, a value that went keeps the scheme",
         {{}, {}, {}, 240, 1u},
         {0u, 0u, none, 1u},
         {S::Dark, none, none, S::Light},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SchemeFollower follower(c.start);
        for (size_t i = 0; i < c.found.size(); ++i) {
            SchemeHints now;
            (c.windows ? now.appsUseLightTheme : now.portal) = c.found[i];
            now.windowLightness = 10;  // the program's own dark palette: never a hint
            EXPECT_EQ(follower.update(now), c.taken[i]) << "change " << i;
        }
    }
}

double luminance(uint32_t rgb) {
    auto channel = [](uint32_t v) {
        const double c = v / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(rgb >> 16 & 0xff) + 0.7152 * channel(rgb >> 8 & 0xff) +
           0.0722 * channel(rgb & 0xff);
}

double contrast(uint32_t a, uint32_t b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(ColorScheme, TextIsReadableInBothSchemes) {
    for (ColorScheme scheme : {ColorScheme::Light, ColorScheme::Dark}) {
        const SchemeColors c = schemeColors(scheme);
        EXPECT_GE(contrast(c.windowText, c.window), 7.0);
        EXPECT_GE(contrast(c.text, c.base), 7.0);
        EXPECT_GE(contrast(c.buttonText, c.button), 7.0);
        EXPECT_GE(contrast(c.highlightedText, c.highlight), 4.5);
        EXPECT_GE(contrast(c.disabledText, c.window), 2.5) << "greyed, still legible";
    }
    EXPECT_LT(luminance(schemeColors(ColorScheme::Dark).window), 0.05);
    EXPECT_GT(luminance(schemeColors(ColorScheme::Light).window), 0.8);
}

}  // namespace
}  // namespace svt
