#pragma once
// The one QApplication of a GUI test program, on Qt's offscreen platform.

#include <QApplication>

namespace svt::test {

inline QApplication& application() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    static int argc = 1;
    static char name[] = "gui_test";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace svt::test
