#pragma once
// The desktop program's own texts. Written in English in the code; the German ones come from
// the translation file (i18n/sorvanto_de.ts), loaded once at start for language 3. `which`
// tells apart English texts that are one text in English but two in German.

#include <QCoreApplication>
#include <QString>

namespace svt::gui {

inline QString tx(const char* english, const char* which = nullptr) {
    return QCoreApplication::translate("Sorvanto", english, which);
}

// Installs the German translation when `language` is 3; false when it cannot be loaded.
bool installTranslation(int language);

inline constexpr const char* kProductCaption = "Sorvanto";

QString shortcutText();
QString aboutText();

}  // namespace svt::gui
