#include "BrindlecastApp/Design/Theme.h"

#include "BrindlecastApp/Design/DesktopSettings.h"

#include "Support/HexColor.h"
#include "Support/IoError.h"
#include "Support/Log.h"
#include "Support/UserDefaults.h"

#include <QCoreApplication>

namespace BrindlecastApp {

namespace {

const std::string modeKey = "theme.mode";
const std::string accentKey = "theme.accent";

ThemeMode readMode(Support::UserDefaults& store) {
    const std::optional<nlohmann::json> value = store.value(modeKey);
    if (!value || !value->is_string()) return ThemeMode::system;
    return ThemeModes::fromRawValue(QString::fromStdString(value->get<std::string>())).value_or(ThemeMode::system);
}

QColor readAccent(Support::UserDefaults& store) {
    const std::optional<nlohmann::json> value = store.value(accentKey);
    if (!value || !value->is_string()) return Theme::defaultAccent();
    return Support::HexColor::parse(QString::fromStdString(value->get<std::string>())).value_or(Theme::defaultAccent());
}

} // namespace

Theme::Theme(Support::UserDefaults* defaults, DesktopSettings* desktop, QObject* parent)
    : QObject(parent),
      defaults_(defaults ? *defaults : Support::UserDefaults::standard()),
      mode_(readMode(defaults_)),
      accent_(readAccent(defaults_)) {
    if (!QCoreApplication::instance()) return;
    desktop_ = desktop ? desktop : &DesktopSettings::instance();
    connect(desktop_, &DesktopSettings::colorSchemeChanged, this, [this] {
        if (mode_ == ThemeMode::system) emit changed();
    });
}

QColor Theme::defaultAccent() { return Tokens::defaults().accent; }

const QList<QColor>& Theme::accentSwatches() {
    static const QList<QColor> swatches{QColor::fromRgb(0, 122, 255),  QColor::fromRgb(175, 82, 222),
                                        QColor::fromRgb(255, 45, 85),  QColor::fromRgb(255, 149, 0),
                                        QColor::fromRgb(52, 199, 89),  QColor::fromRgb(142, 142, 147)};
    return swatches;
}

void Theme::setMode(ThemeMode mode) {
    mode_ = mode;
    persist();
    emit changed();
}

void Theme::setAccent(const QColor& accent) {
    accent_ = accent;
    persist();
    emit changed();
}

ColorScheme Theme::effectiveScheme() const {
    switch (mode_) {
    case ThemeMode::light: return ColorScheme::light;
    case ThemeMode::dark: return ColorScheme::dark;
    case ThemeMode::system: break;
    }
    return desktop_ ? desktop_->colorScheme() : ColorScheme::light;
}

void Theme::persist() {
    // The look changes at once even when the file cannot be written; the next write tries again.
    try {
        defaults_.setValue(modeKey, nlohmann::json(ThemeModes::rawValue(mode_).toStdString()));
        defaults_.setValue(accentKey, nlohmann::json(Support::HexColor::format(accent_).toStdString()));
    } catch (const Support::IoError& error) {
        Support::Log::write("app.brindlecast", "theme", Support::LogLevel::error,
                            QStringLiteral("could not store the theme: %1").arg(QString::fromUtf8(error.what())));
    }
}

} // namespace BrindlecastApp
