// sorvanto.exe: the desktop program on Windows. The window thread is the process's main
// thread; the engine plays the playlist in a thread of its own, started by the control
// interface's open. Start-up and shutdown keep the engine's order: settings, single-instance
// check, SoundFont, output, windows, the playlist loop; then the loop ends and the engine goes.
// Songs named on the command line are converted in the drag-and-drop format in the compact
// window, which closes when they are done; "--open FILE..." (the songs' association) lists
// them in the full window and plays the first.
#include "win32/MainWindow.h"
// COM's start and end, after the system headers MainWindow.h brings.
#include <objbase.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "app/Engine.h"
#include "desktop/AppSettings.h"
#include "desktop/ConversionFormats.h"
#include "desktop/EngineFront.h"
#include "desktop/FrontControl.h"
#include "desktop/SingleInstance.h"
#include "desktop/StartArguments.h"
#include "instruments/SoundFontRegistry.h"
#include "output/EncoderLibrary.h"
#include "platform/Paths.h"
#include "platform/PendingFile.h"

namespace {

// The shutdown may take this long before the process ends without the engine.
constexpr int kShutdownBoundMs = 10000;

// "de" on a German Windows (the user's UI language), else "en".
std::string userLocale() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_GERMAN ? "de" : "en";
}

void warn(HWND owner, const std::string& text, svt::Language language) {
    ::MessageBoxW(owner, svt::win32::wide(text).c_str(),
                  svt::win32::wtext(svt::UiText::ProductCaption, language).c_str(),
                  MB_OK | MB_ICONWARNING);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    using namespace svt;
    // The shell's dialogs want a single-threaded apartment on the window thread.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC =
        ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);

    const platform::SettingsStore store = appSettingsStore();
    AppSettings settings = loadAppSettings(store);
    const char* override = std::getenv("SORVANTO_LANG");
    const int language =
        chooseLanguage(override ? std::optional<std::string_view>(override) : std::nullopt,
                       settings.language, userLocale());
    if (!mayStart()) return 0;
    platform::removePendingFilesOnSignals();

    StartArguments start = readStartArguments(platform::programArguments(__argc, __argv));
    std::vector<std::string>& files = start.files;
    const bool compact = start.form == WindowForm::Compact;
    // Songs opened from the file manager ("Open with", the association) count as opened.
    if (start.opened)
        for (auto f = files.rbegin(); f != files.rend(); ++f) {
            std::error_code error;
            const auto absolute = std::filesystem::absolute(platform::fsPath(*f), error);
            noteRecentFile(settings, error ? *f : platform::pathText(absolute));
        }

    EngineSettings engineSettings;
    engineSettings.renderThreads = renderThreadsBeside(1);  // a conversion takes every core
    Engine engine(engineSettings);
    const Language lang = languageFromSetting(language);
    EngineFront front(engine, lang);

    // The SoundFont the user chose last, else the program's default; a chosen font that no
    // longer loads is named, and the default plays meanwhile.
    const auto [fontName, fontProblem] = loadStartFont(engine, settings.soundFont);
    const OutputKind startKind = startOutput(engine);

    // Without a sound device the window still opens and says why nothing can be heard; a
    // device that is listed but does not open is told the same way.
    std::string deviceProblem = soundDeviceProblem(front, lang);
    front.selectOutput(startKind);

    // The command line's songs are converted in the drag-and-drop format.
    std::string formatMessage;
    if (const ConversionFormat* format =
            conversionFormatOf(outputForFormat(settings.dragDropFormat));
        compact && format != nullptr) {
        front.selectOutput(format->output);
        formatMessage = uiText(format->savedAs, lang);
        deviceProblem.clear();  // the songs are converted: no device is needed
    }

    FrontControl control(front, lang, static_cast<uint32_t>(std::random_device{}()));
    control.setCompact(compact);
    control.setInterfaceFlags(startInterfaceFlags(start, !deviceProblem.empty()));
    engine.setControl(control);

    int result = 0;
    std::string session;
    {
        win32::MainWindow window(control, settings,
                                 compact ? WindowForm::Compact : WindowForm::Full, fontName);
        window.model().saveSettings = [&store](const AppSettings& s) {
            (void)saveAppSettings(store, s);
        };
        window.placeAndShow(showCommand == SW_HIDE ? SW_SHOWNORMAL : showCommand);
        if (!fontProblem.empty()) warn(window.window(), fontProblem, lang);
        if (!deviceProblem.empty()) warn(window.window(), deviceProblem, lang);
        if (!formatMessage.empty()) {
            ::MessageBoxW(window.window(), win32::wide(formatMessage).c_str(),
                          win32::wtext(UiText::ProductCaption, lang).c_str(),
                          MB_OK | MB_ICONINFORMATION);
            // Without the encoder there is nothing to convert into: the window closes at once.
            if (front.selectedOutput() == OutputKind::Mp3File && !window.model().ensureEncoder())
                return 0;
        }

        // The full window comes back with the playlist it had; songs named with --open
        // replace it.
        std::error_code error;
        session = compact ? std::string() : sessionPlaylistPath();
        if (!session.empty() && files.empty() &&
            std::filesystem::exists(platform::fsPath(session), error))
            files.push_back("@" + session);
        control.open(files);
        MSG message;
        while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
            // The key table comes first; a key it takes goes no further.
            if (window.preTranslate(message)) continue;
            HWND search = window.searchWindow();
            if (search && ::IsDialogMessageW(search, &message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        result = static_cast<int>(message.wParam);

        // Whatever the engine does now, the process ends within the bound.
        std::thread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(kShutdownBoundMs));
            std::_Exit(0);
        }).detach();
        if (!control.shutDown(kShutdownBoundMs)) std::_Exit(0);
        if (!session.empty()) (void)control.keepPlaylist(session);
    }
    ::CoUninitialize();
    return result;
}
