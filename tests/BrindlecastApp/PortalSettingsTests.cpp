#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/PortalSettingsReader.h"

#include <QDBusVariant>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

struct Observed {
    ColorScheme scheme;
    bool reduceMotion;
    bool reduceTransparency;
    friend bool operator==(const Observed&, const Observed&) = default;
};

Observed observe(const DesktopSettings& s) { return {s.colorScheme(), s.reduceMotion(), s.reduceTransparency()}; }

} // namespace

TEST(PortalSettings, KeysMapToTheDesktopSettings) {
    const Observed initial{ColorScheme::light, false, false};
    struct Case {
        QString nameSpace, key;
        QVariant value;
        bool applied;
        Observed expected;
    };
    const Case cases[] = {
        {"org.freedesktop.appearance", "color-scheme", QVariant(1u), true, {ColorScheme::dark, false, false}},
        {"org.freedesktop.appearance", "color-scheme", QVariant(2u), true, initial},
        {"org.freedesktop.appearance", "color-scheme", QVariant(0u), true, initial},
        {"org.freedesktop.appearance", "color-scheme", QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(1u)))),
         true, {ColorScheme::dark, false, false}},
        {"org.freedesktop.appearance", "color-scheme", QVariant("dark"), false, initial},
        {"org.gnome.desktop.interface", "enable-animations", QVariant(false), true, {ColorScheme::light, true, false}},
        {"org.gnome.desktop.interface", "enable-animations", QVariant(true), true, initial},
        {"org.gnome.desktop.interface", "enable-animations", QVariant(0), false, initial},
        {"org.kde.kdeglobals.KDE", "AnimationDurationFactor", QVariant(0.0), true, {ColorScheme::light, true, false}},
        {"org.kde.kdeglobals.KDE", "AnimationDurationFactor", QVariant(0.5), true, initial},
        {"org.gnome.desktop.a11y.interface", "high-contrast", QVariant(true), true, {ColorScheme::light, false, true}},
        {"org.freedesktop.appearance", "accent-color", QVariant(1u), false, initial},
        {"org.other", "color-scheme", QVariant(1u), false, initial},
    };
    for (const Case& c : cases) {
        DesktopSettings settings;
        EXPECT_EQ(PortalSettingsReader::apply(c.nameSpace, c.key, c.value, settings), c.applied)
            << c.nameSpace.toStdString() << " " << c.key.toStdString();
        EXPECT_EQ(observe(settings), c.expected) << c.nameSpace.toStdString() << " " << c.key.toStdString();
    }
}

