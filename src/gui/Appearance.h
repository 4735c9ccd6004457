#pragma once
// What the program takes from the desktop it runs on beside its own texts: Qt's translations
// of its standard buttons and dialogs (so a German window says "Ja" and "Nein" in its
// questions), and the light or dark scheme of the desktop.

#include <QObject>
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

// Gives the application the palette of `scheme`. The first call also starts following the
// desktop: from then on the palette changes with the desktop's scheme while the program runs.
void applyColorScheme(QApplication& app, ColorScheme scheme);

// Asks the desktop again when it says its settings or theme changed (the portal's change
// signal, Qt's theme-change events) and gives the application the palette of a new scheme.
class SchemeWatch final : public QObject {
    Q_OBJECT
  public:
    SchemeWatch(QApplication& app, const SchemeHints& start);
    ColorScheme scheme() const { return follower_.scheme(); }

  public Q_SLOTS:
    void recheck();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QApplication& app_;
    SchemeFollower follower_;
    bool pending_ = false;
};

}  // namespace svt::gui
