// Which scheme a running program takes when the desktop tells of a change; the hints it
// starts with (the user's override, the portal, the theme, the colours) decide what a change
// without a preference leaves.

#include "desktop/ColorScheme.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace svt {
namespace {

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

}  // namespace
}  // namespace svt
