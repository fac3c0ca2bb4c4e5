#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace BrindlecastApp {

// How this copy of the app is kept up to date.
class UpdateProvider {
public:
    virtual ~UpdateProvider() = default;
    // The status menu's update item; nothing means the menu shows none.
    virtual std::optional<QString> menuItemTitle() const = 0;
    // A check the user asked for.
    virtual void checkForUpdates() = 0;
    // Whether the settings show the automatic-update switches.
    virtual bool supportsAutoUpdateSettings() const = 0;
    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool on) = 0;
    virtual bool automaticallyDownloadsUpdates() const = 0;
    virtual void setAutomaticallyDownloadsUpdates(bool on) = 0;
};

// How this copy of the app starts, or stops starting, when the user logs in.
class LoginLaunchProvider {
public:
    virtual ~LoginLaunchProvider() = default;
    virtual void apply(bool enabled) = 0;
    // Whether the app really starts at login now: what the settings' switch shows, whatever was
    // stored or asked for earlier.
    virtual bool isEnabled() const = 0;
};

// The package manager keeps the app up to date: no update item, no automatic-update switches.
class NoOpUpdater final : public UpdateProvider {
public:
    std::optional<QString> menuItemTitle() const override { return std::nullopt; }
    void checkForUpdates() override {}
    bool supportsAutoUpdateSettings() const override { return false; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    bool automaticallyDownloadsUpdates() const override { return false; }
    void setAutomaticallyDownloadsUpdates(bool) override {}
};

// How this copy of the app is distributed: its updater and its start-at-login mechanism.
struct Channel {
    QString name;
    std::shared_ptr<UpdateProvider> updater;
    std::shared_ptr<LoginLaunchProvider> loginLaunch;

    // The running process's channel: "selfhosted" with the no-op updater and no login launch until
    // BrindlecastMain::run stores the one main() built (whose login launch is the autostart entry).
    // Written once before the event loop, then only read on the GUI thread.
    static Channel& current();
};

} // namespace BrindlecastApp
