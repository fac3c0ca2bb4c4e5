#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace BrindlecastApp {

// The colour mode the user picked; "system" follows the desktop.
enum class ThemeMode { light, dark, system };

namespace ThemeModes {
const QList<ThemeMode>& all(); // light, dark, system
QString rawValue(ThemeMode mode);
// Exact, case-sensitive: "Dark" is not a mode.
std::optional<ThemeMode> fromRawValue(const QString& raw);
} // namespace ThemeModes

} // namespace BrindlecastApp
