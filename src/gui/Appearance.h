#pragma once
// What the program takes from the desktop it runs on beside its own texts: Qt's translations
// of its standard buttons and dialogs (so a German window says "Ja" and "Nein" in its
// questions), and the light or dark scheme of the desktop.

#include <QString>

#include "base/Language.h"
#include "desktop/ColorScheme.h"

class QApplication;
class QTranslator;

namespace svt::gui {

// Loads Qt's own translations for `language` (German: qtbase_de) from the program's
// "translations" folder or Qt's; the translator (owned by `app`), or null when none was found
// (English needs none).
QTranslator* installQtTranslations(QApplication& app, Language language);

// What the desktop says about its scheme, as far as it can be asked.
SchemeHints desktopSchemeHints(const QApplication& app);

// Gives the application the palette of `scheme`.
void applyColorScheme(QApplication& app, ColorScheme scheme);

}  // namespace svt::gui
