#include "BrindlecastApp/Design/PortalSettingsReader.h"

#include "BrindlecastApp/Design/DesktopSettings.h"

#include "Support/Log.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaType>

#include <utility>

namespace BrindlecastApp {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");

const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString gnomeInterface = QStringLiteral("org.gnome.desktop.interface");
const QString gnomeAccessibility = QStringLiteral("org.gnome.desktop.a11y.interface");
const QString kdeGlobals = QStringLiteral("org.kde.kdeglobals.KDE");

// The keys we follow. The freedesktop namespace has no motion or transparency keys, so those come
// from the desktops that publish them through the portal.
const std::pair<QString, QString> followedKeys[] = {
    {appearance, QStringLiteral("color-scheme")},
    {gnomeInterface, QStringLiteral("enable-animations")},
    {kdeGlobals, QStringLiteral("AnimationDurationFactor")},
    {gnomeAccessibility, QStringLiteral("high-contrast")},
};

// The portal wraps values in one or more variant layers.
QVariant unwrap(QVariant value) {
    for (int depth = 0; depth < 4 && value.metaType() == QMetaType::fromType<QDBusVariant>(); ++depth)
        value = value.value<QDBusVariant>().variant();
    return value;
}

bool isNumber(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Short: case QMetaType::UShort: case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

} // namespace

PortalSettingsReader::PortalSettingsReader(DesktopSettings& target, QDBusConnection bus, QObject* parent)
    : QObject(parent), target_(target), bus_(std::move(bus)) {}

bool PortalSettingsReader::apply(const QString& nameSpace, const QString& key, const QVariant& raw,
                                 DesktopSettings& target) {
    const QVariant value = unwrap(raw);
    if (nameSpace == appearance && key == "color-scheme") {
        if (!isNumber(value)) return false;
        // 1 prefers dark; 0 (no preference) and 2 (prefers light) are light.
        target.setColorScheme(value.toUInt() == 1 ? ColorScheme::dark : ColorScheme::light);
        return true;
    }
    if (nameSpace == gnomeInterface && key == "enable-animations") {
        if (value.metaType().id() != QMetaType::Bool) return false;
        target.setReduceMotion(!value.toBool());
        return true;
    }
    if (nameSpace == kdeGlobals && key == "AnimationDurationFactor") {
        if (!isNumber(value)) return false;
        target.setReduceMotion(value.toDouble() <= 0);
        return true;
    }
    if (nameSpace == gnomeAccessibility && key == "high-contrast") {
        if (value.metaType().id() != QMetaType::Bool) return false;
        target.setReduceTransparency(value.toBool());
        return true;
    }
    return false;
}

bool PortalSettingsReader::start() {
    if (!bus_.isConnected()) return false;
    // Later changes: without this the settings read below stay as they were until the next start.
    if (!bus_.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
                      SLOT(onSettingChanged(QDBusMessage))))
        Support::Log::write("app.brindlecast", "design", Support::LogLevel::notice,
                            QStringLiteral("cannot follow the desktop portal's setting changes"));
    for (const auto& [nameSpace, key] : followedKeys) read(nameSpace, key);
    return true;
}

void PortalSettingsReader::read(const QString& nameSpace, const QString& key) {
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, "Read");
    call << nameSpace << key;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, nameSpace, key](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        // An unknown key or a missing portal answers with an error: the setting stays as it is.
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return;
        apply(nameSpace, key, reply.arguments().first(), target_);
    });
}

void PortalSettingsReader::onSettingChanged(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 3) return;
    apply(arguments[0].toString(), arguments[1].toString(), arguments[2], target_);
}

} // namespace BrindlecastApp
