#pragma once
// The desktop model's texts and names as Qt strings.

#include <QString>
#include <string>
#include <string_view>

#include "desktop/WindowTexts.h"

namespace svt::gui {

inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString tx(UiText id, Language language) {
    return qs(uiText(id, language));
}

}  // namespace svt::gui
