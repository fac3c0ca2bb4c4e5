#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Theme.h"

#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

struct Store {
    QString path = TestSupport::makeTemporaryFolder("theme") + "/preferences.json";
    Support::UserDefaults defaults{path};
    DesktopSettings desktop;
};

std::optional<std::string> stored(Support::UserDefaults& defaults, const std::string& key) {
    const auto value = defaults.value(key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

} // namespace

TEST(Theme, EmptyStoreGivesSystemAndDefaultAccentAndStaysEmpty) {
    Store store;
    Theme theme(&store.defaults, &store.desktop);
    EXPECT_EQ(theme.mode(), ThemeMode::system);
    EXPECT_EQ(theme.accent(), QColor::fromRgb(0, 122, 255));
    EXPECT_FALSE(QFile::exists(store.path));
}

TEST(Theme, StoredValuesAreReadExactlyElseTheDefaults) {
    const QColor blue = QColor::fromRgb(0, 122, 255);
    struct Case {
        std::string key;
        nlohmann::json raw;
        ThemeMode mode;
        QColor accent;
    };
    const Case cases[] = {
        {"theme.mode", "light", ThemeMode::light, blue},     {"theme.mode", "dark", ThemeMode::dark, blue},
        {"theme.mode", "system", ThemeMode::system, blue},   {"theme.mode", "Dark", ThemeMode::system, blue},
        {"theme.mode", "", ThemeMode::system, blue},         {"theme.mode", 1, ThemeMode::system, blue},
        {"theme.accent", "#FF2D55", ThemeMode::system, QColor(255, 45, 85)},
        {"theme.accent", "af52de", ThemeMode::system, QColor(175, 82, 222)},
        {"theme.accent", "not a colour", ThemeMode::system, blue},
        {"theme.accent", "#12345", ThemeMode::system, blue},
        {"theme.accent", 42, ThemeMode::system, blue},
        {"theme.accent", nlohmann::json::object(), ThemeMode::system, blue},
    };
    for (const Case& c : cases) {
        Store store;
        store.defaults.setValue(c.key, c.raw);
        const Theme theme(&store.defaults, &store.desktop);
        EXPECT_EQ(theme.mode(), c.mode) << c.key << " " << c.raw.dump();
        EXPECT_EQ(theme.accent(), c.accent) << c.key << " " << c.raw.dump();
    }
}

TEST(Theme, BadAccentStaysStoredUntilTheNextWrite) {
    Store store;
    store.defaults.setValue("theme.accent", "garbage");
    Theme theme(&store.defaults, &store.desktop);
    EXPECT_EQ(stored(store.defaults, "theme.accent"), "garbage");
    theme.setMode(ThemeMode::dark);
    EXPECT_EQ(stored(store.defaults, "theme.accent"), "#007AFF");
    EXPECT_EQ(stored(store.defaults, "theme.mode"), "dark");
}

TEST(Theme, SettingTheSameValueWritesBothKeysAndSignals) {
    Store store;
    Theme theme(&store.defaults, &store.desktop);
    QSignalSpy changes(&theme, &Theme::changed);
    theme.setMode(ThemeMode::system);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(stored(store.defaults, "theme.mode"), "system");
    EXPECT_EQ(stored(store.defaults, "theme.accent"), "#007AFF");

    store.defaults.setValue("theme.mode", std::nullopt);
    theme.setAccent(theme.accent());
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(stored(store.defaults, "theme.mode"), "system");
}

TEST(Theme, SystemModeFollowsTheDesktopSchemeOnly) {
    Store store;
    Theme theme(&store.defaults, &store.desktop);
    QSignalSpy changes(&theme, &Theme::changed);

    store.desktop.setColorScheme(ColorScheme::dark);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(theme.tokens().scheme, ColorScheme::dark);

    theme.setMode(ThemeMode::light); // one change of its own
    store.desktop.setColorScheme(ColorScheme::light);
    store.desktop.setColorScheme(ColorScheme::dark);
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(theme.tokens().scheme, ColorScheme::light);
}

TEST(Theme, UnwritableStoreKeepsTheNewLookAndDoesNotThrow) {
    const QString folder = TestSupport::makeTemporaryFolder("theme-blocked");
    TestSupport::writeFile(folder + "/not-a-folder", "x");
    Support::UserDefaults defaults(folder + "/not-a-folder/preferences.json");
    DesktopSettings desktop;
    Theme theme(&defaults, &desktop);
    EXPECT_NO_THROW(theme.setMode(ThemeMode::dark));
    EXPECT_EQ(theme.mode(), ThemeMode::dark);
    EXPECT_EQ(theme.tokens().scheme, ColorScheme::dark);
}

