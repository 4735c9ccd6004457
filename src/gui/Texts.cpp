#include "gui/Texts.h"

#include <QTranslator>

namespace svt::gui {

bool installTranslation(int language) {
    if (language != 3) return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/i18n/sorvanto_de.qm"))) return false;
    QCoreApplication::installTranslator(translator);
    return true;
}

QString shortcutText() {
    return tx(
        " Transport:\n<Space> Play/Pause\n<S> Stop\n<N> Next track\n<P> Previous track\n* All "
        "special media keys can be used!\n\n Playlist:\n<A> Show/Hide playlist\n<Arrow up or "
        "down> Navigate through the list\n<Enter> Play selected track\n<Backspace> Remove "
        "selected track\n<Del> Clear playlist\n\n General:\n<Q> Quit program\n<H> Show "
        "keyboard shortcuts\n\n");
}

QString aboutText() {
    return tx(
        "Calda Sorvanto 1.0.0\n\nPlays and converts MIDI songs with its own SoundFont "
        "synthesizer.");
}

}  // namespace svt::gui
