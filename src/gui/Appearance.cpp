#include "gui/Appearance.h"

#include <QApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QPalette>
#include <QStyleFactory>
#include <QTranslator>

#ifdef SORVANTO_WITH_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#endif

#include <optional>
#include <string>

namespace svt::gui {
namespace {

// The portal answers at once or not at all; the window must not wait for it.
constexpr int kPortalTimeoutMs = 300;

QColor colour(uint32_t rgb) {
    return QColor::fromRgb(static_cast<QRgb>(rgb));
}

// What the desktop told before the program gave the toolkit its own palette.
std::optional<SchemeHints> startHints;
SchemeWatch* watch = nullptr;

void setSchemePalette(QApplication& app, ColorScheme scheme);

}  // namespace

QTranslator* installQtTranslations(QApplication& app, Language language) {
    if (language != Language::German) return nullptr;
    // Beside the program first (an installed copy brings its own), then Qt's folder.
    const QStringList folders = {
        QApplication::applicationDirPath() + QStringLiteral("/translations"),
        QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(&app);
        if (translator->load(QStringLiteral("qtbase_de"), folder)) {
            QApplication::installTranslator(translator);
            return translator;
        }
        delete translator;
    }
    return nullptr;
}

SchemeHints desktopSchemeHints(const QApplication& app) {
    SchemeHints hints;
    // The texts the hints point at live as long as these.
    static const std::string override = qEnvironmentVariable("SORVANTO_COLOR_SCHEME").toStdString();
    static const std::string gtkTheme = qEnvironmentVariable("GTK_THEME").toStdString();
    if (!override.empty()) hints.override = override;
    if (!gtkTheme.empty()) hints.gtkTheme = gtkTheme;
#ifdef SORVANTO_WITH_DBUS
    if (!hints.override) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            QDBusMessage ask = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.portal.Desktop"),
                QStringLiteral("/org/freedesktop/portal/desktop"),
                QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
            ask << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
            const QDBusMessage reply = bus.call(ask, QDBus::Block, kPortalTimeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                // The value comes wrapped in a variant, once or twice.
                QVariant value = reply.arguments().constFirst();
                while (value.canConvert<QDBusVariant>() &&
                       value.userType() == qMetaTypeId<QDBusVariant>())
                    value = value.value<QDBusVariant>().variant();
                bool ok = false;
                const uint scheme = value.toUInt(&ok);
                if (ok) hints.portal = scheme;
            }
        }
    }
#endif
    hints.windowLightness = app.palette().color(QPalette::Window).lightness();
    if (!startHints) startHints = hints;
    return hints;
}

void applyColorScheme(QApplication& app, ColorScheme scheme) {
    if (!watch) watch = new SchemeWatch(app, startHints ? *startHints : desktopSchemeHints(app));
    setSchemePalette(app, scheme);
}

SchemeWatch::SchemeWatch(QApplication& app, const SchemeHints& start)
    : QObject(&app), app_(app), follower_(start) {
    app.installEventFilter(this);
#ifdef SORVANTO_WITH_DBUS
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.connect(QStringLiteral("org.freedesktop.portal.Desktop"),
                    QStringLiteral("/org/freedesktop/portal/desktop"),
                    QStringLiteral("org.freedesktop.portal.Settings"),
                    QStringLiteral("SettingChanged"), this, SLOT(recheck()));
#endif
    connect(this, &QObject::destroyed, [] { watch = nullptr; });
}

bool SchemeWatch::eventFilter(QObject* watched, QEvent* event) {
    // Every window gets the theme change; the desktop is asked once for all of them.
    if (event->type() == QEvent::ThemeChange && watched->isWindowType() && !pending_) {
        pending_ = true;
        QMetaObject::invokeMethod(this, &SchemeWatch::recheck, Qt::QueuedConnection);
    }
    return false;
}

void SchemeWatch::recheck() {
    pending_ = false;
    if (const std::optional<ColorScheme> now = follower_.update(desktopSchemeHints(app_)))
        setSchemePalette(app_, *now);
}

namespace {

void setSchemePalette(QApplication& app, ColorScheme scheme) {
    const SchemeColors c = schemeColors(scheme);
    // Fusion draws every part from the palette, so both schemes look as meant on any desktop.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    QPalette p;
    p.setColor(QPalette::Window, colour(c.window));
    p.setColor(QPalette::WindowText, colour(c.windowText));
    p.setColor(QPalette::Base, colour(c.base));
    p.setColor(QPalette::AlternateBase, colour(c.alternateBase));
    p.setColor(QPalette::Text, colour(c.text));
    p.setColor(QPalette::Button, colour(c.button));
    p.setColor(QPalette::ButtonText, colour(c.buttonText));
    p.setColor(QPalette::Highlight, colour(c.highlight));
    p.setColor(QPalette::HighlightedText, colour(c.highlightedText));
    p.setColor(QPalette::Link, colour(c.link));
    p.setColor(QPalette::ToolTipBase, colour(c.toolTipBase));
    p.setColor(QPalette::ToolTipText, colour(c.toolTipText));
    p.setColor(QPalette::PlaceholderText, colour(c.disabledText));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, colour(c.disabledText));
    // Read-only fields keep the look of fields; their base stays the scheme's.
    p.setColor(QPalette::Disabled, QPalette::Base, colour(c.window));
    app.setPalette(p);
}

}  // namespace

}  // namespace svt::gui
