// sorvanto: the desktop program. The window thread is the process's main thread (Qt wants its
// widgets there); the engine plays the playlist in a thread of its own, started by the control
// interface's open. Start-up and shutdown keep the engine's order: settings, single-instance
// check, SoundFont, output, windows, the playlist loop; then the loop ends and the engine goes.
#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/AppSettings.h"
#include "app/Engine.h"
#include "app/EngineFront.h"
#include "app/FrontControl.h"
#include "app/SingleInstance.h"
#include "gui/MainWindow.h"
#include "gui/Texts.h"
#include "instruments/SoundFontRegistry.h"
#include "platform/Paths.h"
#include "song/EngineSettings.h"

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
    gui::installTranslation(language);
    if (!mayStart()) return 0;

    bool compact = false;
    std::vector<std::string> files;
    QStringList args = QApplication::arguments();
    args.removeFirst();
    for (const QString& arg : args) {
        if (arg == QLatin1String("--compact"))
            compact = true;
        else
            files.push_back(arg.toStdString());
    }

    EngineSettings engineSettings;
    const std::string programPath = platform::programPath();
    engineSettings.programName = programNameFrom(programPath);
    engineSettings.defaultSoundFont = defaultSoundFontFor(programPath);
    Engine engine(engineSettings);
    EngineFront front(engine);

    std::string fontName;
    std::string fontProblem;
    Result<std::string> font = findDefaultSoundFont(platform::programFolder());
    if (font.ok()) {
        fontName = font.value();
        if (Status loaded = engine.loadSoundFont(fontName); !loaded.ok()) {
            fontProblem = loaded.error().message;
            fontName.clear();
        }
    } else {
        fontProblem = font.error().message;
    }

    // The live output when a device answers, else the first file output; "SVT" may preselect.
    const OutputCandidate candidates[] = {
        {'d', [&] { return engine.outputs().at(0).detect(); }}, {'w', {}}, {'g', {}}};
    const char* svtVariable = std::getenv("SVT");
    const std::optional<size_t> output = chooseOutput(
        candidates, svtVariable ? std::optional<std::string_view>(svtVariable) : std::nullopt);
    if (!output) return 1;
    front.selectOutput(static_cast<int>(*output));

    const Language lang = languageFromSetting(language);
    FrontControl control(front, lang, static_cast<uint32_t>(std::random_device{}()));
    uint32_t flags = kInitialInterfaceFlags;
    if (compact && !files.empty()) {
        control.setCompact(true);
    } else {
        // In the full window the command line's songs wait for Play.
        flags &= ~kFlagStartAtOnce;
        compact = false;
    }
    control.setInterfaceFlags(flags);
    engine.setControl(control);

    gui::MainWindow window(control, settings,
                           compact ? gui::MainWindow::Form::Compact : gui::MainWindow::Form::Full,
                           fontName);
    window.saveSettings = [&store](const AppSettings& s) { (void)saveAppSettings(store, s); };
    window.placeFromSettings();
    window.show();
    if (!fontProblem.empty())
        QMessageBox::warning(&window, gui::tx(gui::kProductCaption),
                             QString::fromStdString(fontProblem));

    control.open(files);
    const int result = QApplication::exec();

    // Whatever the engine does now, the process ends within the bound.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kShutdownBoundMs));
        std::_Exit(0);
    }).detach();
    if (!control.shutDown(kShutdownBoundMs)) std::_Exit(0);
    return result;
}
