#include "gui/Taskbar.h"

#ifdef SORVANTO_WITH_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#endif

namespace svt::gui {

void setTaskbarProgress(double progress) {
#ifdef SORVANTO_WITH_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/com/sorvanto/LauncherEntry"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), progress < 0 ? 0.0 : progress);
    properties.insert(QStringLiteral("progress-visible"), progress >= 0);
    signal << QStringLiteral("application://sorvanto.desktop") << properties;
    bus.send(signal);
#else
    (void)progress;
#endif
}

}  // namespace svt::gui
