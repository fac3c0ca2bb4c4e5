#include "BrindlecastApp/Design/ThemeMode.h"

namespace BrindlecastApp::ThemeModes {

const QList<ThemeMode>& all() {
    static const QList<ThemeMode> modes{ThemeMode::light, ThemeMode::dark, ThemeMode::system};
    return modes;
}

QString rawValue(ThemeMode mode) {
    switch (mode) {
    case ThemeMode::light: return QStringLiteral("light");
    case ThemeMode::dark: return QStringLiteral("dark");
    case ThemeMode::system: break;
    }
    return QStringLiteral("system");
}

std::optional<ThemeMode> fromRawValue(const QString& raw) {
    for (ThemeMode mode : all()) {
        if (rawValue(mode) == raw) return mode;
    }
    return std::nullopt;
}

} // namespace BrindlecastApp::ThemeModes
