#pragma once

#include "BrindlecastApp/Channel/Channel.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace BrindlecastApp {

// Start at login through the user's XDG autostart entry
// "$XDG_CONFIG_HOME/autostart/app.brindlecast.desktop", whose Exec line starts the running
// executable. Turning it on writes the entry atomically; turning it off removes it. Failures are
// logged, and isEnabled() then still tells the truth.
class AgentLoginLaunch final : public LoginLaunchProvider {
public:
    // The entry this program writes takes a few hundred bytes; a larger one is read no further
    // than this and does not start this program.
    static constexpr qint64 kMaximumEntryBytes = 64 * 1024;

    // The user's autostart folder and the running executable, looked up at each call.
    AgentLoginLaunch() = default;
    AgentLoginLaunch(QString entryPath, QString executablePath)
        : entryPath_(std::move(entryPath)), executablePath_(std::move(executablePath)) {}

    void apply(bool enabled) override;
    // The entry exists as a regular file (a link to one is followed) of at most
    // kMaximumEntryBytes, is not hidden or switched off, and its Exec line starts this executable
    // (symbolic links resolved).
    bool isEnabled() const override;

    static QString defaultEntryPath();
    // The absolute path of the running executable; empty when the kernel's name for it cannot be
    // written as text.
    static QString runningExecutable();

    // The entry that starts `executable` with no arguments; nothing when the path cannot appear in
    // a desktop entry (relative, or holding control characters other than tab and line breaks).
    static std::optional<QByteArray> entryText(const QString& executable);
    // The program that an entry's Exec line starts, quoting undone; nothing when the entry has no
    // usable Exec line in its [Desktop Entry] group or is hidden or switched off.
    static std::optional<QString> startedProgram(const QByteArray& entry);

private:
    QString entryPath() const;
    QString executablePath() const;

    QString entryPath_;
    QString executablePath_;
};

} // namespace BrindlecastApp
