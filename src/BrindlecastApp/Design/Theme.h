#pragma once

#include "BrindlecastApp/Design/ThemeMode.h"
#include "BrindlecastApp/Design/Tokens.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointer>

namespace Support {
class UserDefaults;
}

namespace BrindlecastApp {

class DesktopSettings;

// The application-wide appearance: a colour mode and an accent colour, kept in the user's
// preference file under "theme.mode" and "theme.accent" ("#RRGGBB"). Every write, even of the
// value already held, signals `changed` and stores both keys; construction writes nothing.
class Theme : public QObject {
    Q_OBJECT
public:
    // `defaults` defaults to the standard store, `desktop` to DesktopSettings::instance(). A Theme
    // built before the application object exists sees light for "system" and never follows the
    // desktop.
    explicit Theme(Support::UserDefaults* defaults = nullptr, DesktopSettings* desktop = nullptr,
                   QObject* parent = nullptr);

    static QColor defaultAccent();                 // (0, 122, 255)
    static const QList<QColor>& accentSwatches(); // six swatches, the default accent first

    ThemeMode mode() const { return mode_; }
    void setMode(ThemeMode mode);
    QColor accent() const { return accent_; }
    void setAccent(const QColor& accent);

    ColorScheme effectiveScheme() const;
    Tokens tokens() const { return Tokens(effectiveScheme(), accent_); }

signals:
    // Any change of mode or accent, and a change of the desktop's scheme while the mode is system.
    void changed();

private:
    void persist();

    Support::UserDefaults& defaults_;
    QPointer<DesktopSettings> desktop_; // null when there was no application object
    ThemeMode mode_ = ThemeMode::system;
    QColor accent_;
};

} // namespace BrindlecastApp
