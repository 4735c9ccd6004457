#include "desktop/ColorScheme.h"

namespace svt {
namespace {

bool endsWithDark(std::string_view name) {
    constexpr std::string_view kDark = "dark";
    if (name.size() < kDark.size()) return false;
    const std::string_view tail = name.substr(name.size() - kDark.size());
    for (size_t i = 0; i < kDark.size(); ++i) {
        const char c = tail[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kDark[i]) return false;
    }
    return true;
}

}  // namespace

ColorScheme chooseColorScheme(const SchemeHints& hints) {
    if (hints.override == "dark") return ColorScheme::Dark;
    if (hints.override == "light") return ColorScheme::Light;
    // The portal's 0 means "no preference": the other hints decide then.
    if (hints.portal == 1u) return ColorScheme::Dark;
    if (hints.portal == 2u) return ColorScheme::Light;
    if (hints.appsUseLightTheme)
        return *hints.appsUseLightTheme == 0 ? ColorScheme::Dark : ColorScheme::Light;
    if (hints.gtkTheme && endsWithDark(*hints.gtkTheme)) return ColorScheme::Dark;
    if (hints.windowLightness && *hints.windowLightness < 128) return ColorScheme::Dark;
    return ColorScheme::Light;
}

std::optional<ColorScheme> SchemeFollower::update(const SchemeHints& now) {
    // A portal that stopped answering, or a value gone from the registry, takes back no
    // preference it gave: the scheme stays.
    if (!now.portal && !now.appsUseLightTheme) return std::nullopt;
    if (now.portal) hints_.portal = now.portal;
    if (now.appsUseLightTheme) hints_.appsUseLightTheme = now.appsUseLightTheme;
    const ColorScheme chosen = chooseColorScheme(hints_);
    if (chosen == scheme_) return std::nullopt;
    scheme_ = chosen;
    return chosen;
}

SchemeColors schemeColors(ColorScheme scheme) {
    if (scheme == ColorScheme::Dark)
        return {0x2b2d31, 0xe6e6e6, 0x1e1f22, 0x26282c, 0xe6e6e6, 0x383a40, 0xe6e6e6,
                0x2f65b8, 0xffffff, 0x80848e, 0x6cb4ff, 0x383a40, 0xe6e6e6, 0x4caf50};
    return {0xefefef, 0x1e1e1e, 0xffffff, 0xf5f5f5, 0x1e1e1e, 0xe4e4e4, 0x1e1e1e,
            0x2f6fc8, 0xffffff, 0x8a8a8a, 0x1a5fb4, 0xffffdc, 0x1e1e1e, 0x2e9d3a};
}

}  // namespace svt
