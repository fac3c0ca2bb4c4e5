#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariant>

namespace BrindlecastApp {

class DesktopSettings;

// Feeds DesktopSettings from the desktop portal's Settings interface on the session bus: reads the
// keys once, then follows SettingChanged. Without a bus or a portal nothing changes, which leaves
// the light scheme with animations and transparency on.
class PortalSettingsReader : public QObject {
    Q_OBJECT
public:
    explicit PortalSettingsReader(DesktopSettings& target, QDBusConnection bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);

    // Follows SettingChanged and asks for every key this reader knows. False without a bus.
    bool start();

    // Applies one portal setting to `target`; false when the key is not one we follow or its value
    // has an unexpected type (then nothing changes).
    static bool apply(const QString& nameSpace, const QString& key, const QVariant& value, DesktopSettings& target);

public slots:
    // The portal's SettingChanged(namespace, key, value) signal, delivered whole by the bus.
    void onSettingChanged(const QDBusMessage& message);

private:
    void read(const QString& nameSpace, const QString& key);

    DesktopSettings& target_;
    QDBusConnection bus_;
};

} // namespace BrindlecastApp
