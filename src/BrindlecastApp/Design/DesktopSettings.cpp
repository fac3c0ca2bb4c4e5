#include "BrindlecastApp/Design/DesktopSettings.h"

namespace BrindlecastApp {

DesktopSettings& DesktopSettings::instance() {
    static DesktopSettings* settings = new DesktopSettings; // lives as long as the process
    return *settings;
}

void DesktopSettings::setColorScheme(ColorScheme scheme) {
    if (scheme == colorScheme_) return;
    colorScheme_ = scheme;
    emit colorSchemeChanged();
}

void DesktopSettings::setReduceMotion(bool on) {
    if (on == reduceMotion_) return;
    reduceMotion_ = on;
    emit accessibilityChanged();
}

void DesktopSettings::setReduceTransparency(bool on) {
    if (on == reduceTransparency_) return;
    reduceTransparency_ = on;
    emit accessibilityChanged();
}

} // namespace BrindlecastApp
