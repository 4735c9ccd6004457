#pragma once
// The main window (with its playlist window) shown on Qt's offscreen platform over a real
// control interface and a fake engine; the test plays the engine thread by carrying out the
// queued commands, and the desktop answers through FakeDesktopServices.

#include <QApplication>
#include <QKeyEvent>
#include <memory>
#include <string>
#include <vector>

#include "desktop/FakeDesktopServices.h"
#include "desktop/FakeFrontEngine.h"
#include "gui/GuiApplication.h"
#include "gui/MainWindow.h"
#include "gui/PlaylistWindow.h"
#include "support/TempDir.h"

namespace svt::test {

struct WindowRig {
    TempDir dir;
    FakeEngine engine;
    FrontControl control{engine, Language::English};
    AppSettings settings;
    FakeDesktopServices services;
    std::vector<FakeDesktopServices::Message>& messages = services.messages;
    std::vector<std::string>& questions = services.questions;
    bool& answer = services.answer;
    std::unique_ptr<gui::MainWindow> window;

    explicit WindowRig(gui::MainWindow::Form form = gui::MainWindow::Form::Full,
                       Language language = Language::English)
        : control(engine, language) {
        application();
        control.setInterfaceFlags(0);
        window = std::make_unique<gui::MainWindow>(control, settings, form, "/fonts/Test.sf2",
                                                   &services);
        window->show();
    }
    gui::PlaylistWindow& list() { return *window->playlistWindow(); }
    // Lists songs as the open dialog would and lets the "engine thread" carry it out.
    void listSongs(std::initializer_list<const char*> names) {
        QStringList paths;
        for (const char* n : names)
            paths << QString::fromStdString(dir.write(n, std::string("MThd")));
        window->openPaths(paths);
        engineStep();
    }
    // Carries out what is queued, as the engine thread does between blocks, then lets the
    // window take the news.
    std::vector<int32_t> engineStep() {
        const std::vector<int32_t> codes = codesOf(test::engineStep(control));
        window->refreshPanel();
        QApplication::processEvents();
        return codes;
    }
    std::vector<QueuedCommand> queued() { return drain(control.commandQueue()); }
    std::vector<int32_t> queuedCodes() { return codesOf(queued()); }
    // A key pressed and still held.
    void key(QWidget* target, Qt::Key k, const QString& text = QString()) {
        QKeyEvent down(QEvent::KeyPress, k, Qt::NoModifier, text);
        QApplication::sendEvent(target, &down);
    }
    std::vector<std::string> messageTexts() const {
        std::vector<std::string> out;
        for (const auto& m : services.messages) out.push_back(m.text);
        return out;
    }
};

// A key as the window system delivers it (Qt Test knows no media keys).
inline void press(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &up);
}

}  // namespace svt::test
