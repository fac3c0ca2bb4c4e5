#pragma once

#include "BrindlecastApp/Design/Tokens.h"

#include <QObject>

namespace BrindlecastApp {

// What the desktop asks of the interface: its colour scheme and the reduce-motion and
// reduce-transparency wishes. Light and off until something (the portal reader in the app, a test)
// says otherwise. Main thread only.
class DesktopSettings : public QObject {
    Q_OBJECT
public:
    explicit DesktopSettings(QObject* parent = nullptr) : QObject(parent) {}

    // The process's one instance, which themed windows follow.
    static DesktopSettings& instance();

    ColorScheme colorScheme() const { return colorScheme_; }
    bool reduceMotion() const { return reduceMotion_; }
    bool reduceTransparency() const { return reduceTransparency_; }

    // Each setter signals only a real change.
    void setColorScheme(ColorScheme scheme);
    void setReduceMotion(bool on);
    void setReduceTransparency(bool on);

signals:
    void colorSchemeChanged();
    void accessibilityChanged(); // reduce motion or reduce transparency

private:
    ColorScheme colorScheme_ = ColorScheme::light;
    bool reduceMotion_ = false;
    bool reduceTransparency_ = false;
};

} // namespace BrindlecastApp
