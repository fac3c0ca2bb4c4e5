#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace BrindlecastApp::DesktopSettingsProgram {

// The settings program of the running desktop: the one its XDG_CURRENT_DESKTOP names (a
// colon-separated list, first match wins) when installed, else the first installed of the known
// ones. Nothing when none is installed. `installed` says whether a program is on PATH.
std::optional<QString> choose(const QString& currentDesktop, const std::function<bool(const QString&)>& installed);

// Starts the chosen program detached; false (logged) when there is none or it did not start.
bool open();

} // namespace BrindlecastApp::DesktopSettingsProgram
