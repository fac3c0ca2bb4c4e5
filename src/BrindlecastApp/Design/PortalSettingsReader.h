#pragma once

#include <QDBusVariant>
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
    explicit PortalSettingsReader(DesktopSettings& target, QObject* parent = nullptr);

    // Connects to the session bus and asks for every key this reader knows. False without a bus.
    bool start();

    // Applies one portal setting to `target`; false when the key is not one we follow or its value
    // has an unexpected type (then nothing changes).
    static bool apply(const QString& nameSpace, const QString& key, const QVariant& value, DesktopSettings& target);

private slots:
    void onSettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    void read(const QString& nameSpace, const QString& key);

    DesktopSettings& target_;
};

} // namespace BrindlecastApp
