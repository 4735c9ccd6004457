// sorvanto: the desktop program. The window thread is the process's main thread (Qt wants its
// widgets there); the engine plays the playlist in a thread of its own, started by the control
// interface's open. Start-up and shutdown keep the engine's order: settings, single-instance
// check, SoundFont, output, windows, the playlist loop; then the loop ends and the engine goes.
// Songs named on the command line are converted in the drag-and-drop format in the compact
// window, which closes when they are done; "--open FILE..." (the songs' association) lists
// them in the full window and plays the first.
#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/Engine.h"
#include "desktop/AppSettings.h"
#include "desktop/ConversionFormats.h"
#include "desktop/EngineFront.h"
#include "desktop/FrontControl.h"
#include "desktop/SingleInstance.h"
#include "desktop/StartArguments.h"
#include "gui/Appearance.h"
#include "gui/MainWindow.h"
#include "gui/Texts.h"
#include "instruments/SoundFontRegistry.h"
#include "output/EncoderLibrary.h"
#include "platform/Paths.h"
#include "platform/PendingFile.h"

// Under the sanitizers: the system's font and message-bus libraries keep caches they never
// free, which are not the program's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

namespace {

// The shutdown may take this long before the process ends without the engine.
constexpr int kShutdownBoundMs = 10000;

}  // namespace

int main(int argc, char** argv) {
    using namespace svt;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Calda Sorvanto"));
    QApplication::setOrganizationName(QStringLiteral("Brenkow Europe"));

    const platform::SettingsStore store = appSettingsStore();
    AppSettings settings = loadAppSettings(store);
    const char* override = std::getenv("SORVANTO_LANG");
    const int language =
        chooseLanguage(override ? std::optional<std::string_view>(override) : std::nullopt,
                       settings.language, QLocale::system().name().toStdString());
    const Language lang = languageFromSetting(language);
    // Qt's own buttons and dialogs speak the window's language; the palette is the desktop's.
    gui::installQtTranslations(app, lang);
    gui::applyColorScheme(app, chooseColorScheme(gui::desktopSchemeHints(app)));
    if (!mayStart()) return 0;
    // A conversion cut off by a signal leaves no half-written file behind.
    platform::removePendingFilesOnSignals();

    QStringList args = QApplication::arguments();
    args.removeFirst();
    std::vector<std::string> given;
    for (const QString& arg : args) given.push_back(arg.toStdString());
    StartArguments start = readStartArguments(given);
    std::vector<std::string>& files = start.files;
    const bool compact = start.form == WindowForm::Compact;
    // Songs opened from the file manager ("Open with", the association) count as opened.
    if (start.opened)
        for (auto f = files.rbegin(); f != files.rend(); ++f)
            noteRecentFile(settings,
                           QFileInfo(QString::fromStdString(*f)).absoluteFilePath().toStdString());

    EngineSettings engineSettings;
    engineSettings.renderThreads = renderThreadsBeside(1);  // a conversion takes every core
    Engine engine(engineSettings);
    EngineFront front(engine, lang);

    // The SoundFont the user chose last, else the program's default; a chosen font that no
    // longer loads is named, and the default plays meanwhile.
    const auto [fontName, fontProblem] = loadStartFont(engine, settings.soundFont);
    const OutputKind startKind = startOutput(engine);

    // Without a sound device the window still opens: it says why nothing can be heard, and
    // conversion works as ever. Play tries the device again (it may have come back). A device
    // that is listed but does not open is told the same way.
    QString deviceProblem = QString::fromStdString(soundDeviceProblem(front, lang));
    front.selectOutput(startKind);

    // The command line's songs are converted in the drag-and-drop format; with any other
    // stored format they are played once in the compact window.
    QString formatMessage;
    if (const ConversionFormat* format =
            conversionFormatOf(outputForFormat(settings.dragDropFormat));
        compact && format != nullptr) {
        front.selectOutput(format->output);
        formatMessage = gui::tx(format->savedAs, lang);
        deviceProblem.clear();  // the songs are converted: no device is needed
    }

    FrontControl control(front, lang, static_cast<uint32_t>(std::random_device{}()));
    control.setCompact(compact);
    control.setInterfaceFlags(startInterfaceFlags(start, !deviceProblem.isEmpty()));
    engine.setControl(control);

    gui::MainWindow window(control, settings,
                           compact ? gui::MainWindow::Form::Compact : gui::MainWindow::Form::Full,
                           fontName);
    window.model().saveSettings = [&store](const AppSettings& s) {
        (void)saveAppSettings(store, s);
    };
    window.placeFromSettings();
    window.show();
    if (!fontProblem.empty())
        QMessageBox::warning(&window, gui::tx(UiText::ProductCaption, lang),
                             QString::fromStdString(fontProblem));
    if (!deviceProblem.isEmpty())
        QMessageBox::warning(&window, gui::tx(UiText::ProductCaption, lang), deviceProblem);
    if (!formatMessage.isEmpty()) {
        QMessageBox::information(&window, gui::tx(UiText::ProductCaption, lang), formatMessage);
        // Without the encoder there is nothing to convert into: the window closes at once.
        if (front.selectedOutput() == OutputKind::Mp3File && !window.model().ensureEncoder())
            return 0;
    }

    // The full window comes back with the playlist it had; songs named with --open replace it.
    const std::string session = compact ? std::string() : sessionPlaylistPath();
    if (!session.empty() && files.empty() && QFileInfo::exists(QString::fromStdString(session)))
        files.push_back("@" + session);
    control.open(files);
    const int result = QApplication::exec();

    // Whatever the engine does now, the process ends within the bound.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kShutdownBoundMs));
        std::_Exit(0);
    }).detach();
    if (!control.shutDown(kShutdownBoundMs)) std::_Exit(0);
    if (!session.empty()) (void)control.keepPlaylist(session);
    return result;
}
