// The reader against a stand-in portal on a private message bus of its own.
#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/PortalSettingsReader.h"

#include "PrivateBus.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMap>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

const QString portalService = "org.freedesktop.portal.Desktop";
const QString portalPath = "/org/freedesktop/portal/desktop";
const QString settingsInterface = "org.freedesktop.portal.Settings";

// Answers Read from a table; an unknown key is an error, as with the real portal.
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    QMap<QString, QVariant> values; // "namespace key" -> value

public slots:
    QDBusVariant Read(const QString& nameSpace, const QString& key, const QDBusMessage& message) {
        const auto found = values.constFind(nameSpace + ' ' + key);
        if (found == values.constEnd()) {
            message.setDelayedReply(true);
            connection->send(message.createErrorReply("org.freedesktop.portal.Error.NotFound", "no such key"));
            return {};
        }
        // The portal wraps the value in a second variant.
        return QDBusVariant(QVariant::fromValue(QDBusVariant(*found)));
    }

public:
    QDBusConnection* connection = nullptr;
};


} // namespace

TEST(PortalBus, ReadsTheSettingsAndFollowsChanges) {
    REQUIRE_PROGRAM("dbus-daemon");
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon gave no address";

    QDBusConnection portalSide = bus.connect("portal-side");
    ASSERT_TRUE(portalSide.isConnected());
    FakePortal portal;
    portal.connection = &portalSide;
    portal.values.insert("org.freedesktop.appearance color-scheme", QVariant(1u));
    portal.values.insert("org.gnome.desktop.interface enable-animations", QVariant(false));
    ASSERT_TRUE(portalSide.registerObject(portalPath, &portal, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(portalSide.registerService(portalService));

    QDBusConnection appSide = bus.connect("app-side");
    DesktopSettings settings;
    QSignalSpy scheme(&settings, &DesktopSettings::colorSchemeChanged);
    QSignalSpy access(&settings, &DesktopSettings::accessibilityChanged);
    PortalSettingsReader reader(settings, appSide);
    ASSERT_TRUE(reader.start());

    ASSERT_TRUE(scheme.count() > 0 || scheme.wait(10000));
    EXPECT_EQ(settings.colorScheme(), ColorScheme::dark);
    ASSERT_TRUE(access.count() > 0 || access.wait(10000));
    EXPECT_TRUE(settings.reduceMotion());
    EXPECT_FALSE(settings.reduceTransparency()); // the portal does not know the key

    QDBusMessage changed = QDBusMessage::createSignal(portalPath, settingsInterface, "SettingChanged");
    changed << QString("org.freedesktop.appearance") << QString("color-scheme")
            << QVariant::fromValue(QDBusVariant(QVariant(2u)));
    ASSERT_TRUE(portalSide.send(changed));
    ASSERT_TRUE(scheme.wait(10000));
    EXPECT_EQ(settings.colorScheme(), ColorScheme::light);
}

TEST(PortalBus, NoBusMeansNothingChanges) {
    DesktopSettings settings;
    PortalSettingsReader reader(settings, QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "nowhere"));
    EXPECT_FALSE(reader.start());
    EXPECT_EQ(settings.colorScheme(), ColorScheme::light);
    EXPECT_FALSE(settings.reduceMotion());
    QDBusConnection::disconnectFromBus("nowhere");
}

#include "PortalBusTests.moc"
