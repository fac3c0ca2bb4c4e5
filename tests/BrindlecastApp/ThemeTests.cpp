#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Theme.h"

#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

using namespace BrindlecastApp;

namespace {

struct Store {
    QString path = TestSupport::makeTemporaryFolder("theme") + "/preferences.json";
    Support::UserDefaults defaults{path};
};

std::optional<std::string> stored(Support::UserDefaults& defaults, const std::string& key) {
    const auto value = defaults.value(key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

// A theme read from a store holding `raw` under `key`.
std::unique_ptr<Theme> themeWith(const std::string& key, const nlohmann::json& raw, Store& store, DesktopSettings& desktop) {
    store.defaults.setValue(key, raw);
    return std::make_unique<Theme>(&store.defaults, &desktop);
}

} // namespace

TEST(Theme, EmptyStoreGivesSystemAndDefaultAccentAndStaysEmpty) {
    Store store;
    DesktopSettings desktop;
    Theme theme(&store.defaults, &desktop);
    EXPECT_EQ(theme.mode(), ThemeMode::system);
    EXPECT_EQ(theme.accent(), QColor::fromRgb(0, 122, 255));
    EXPECT_FALSE(QFile::exists(store.path));
    EXPECT_TRUE(store.defaults.snapshot().empty());
}

TEST(Theme, StoredModeIsReadExactly) {
    const std::vector<std::pair<nlohmann::json, ThemeMode>> cases = {
        {"light", ThemeMode::light}, {"dark", ThemeMode::dark},     {"system", ThemeMode::system},
        {"Dark", ThemeMode::system}, {"", ThemeMode::system},       {"LIGHT", ThemeMode::system},
        {1, ThemeMode::system},      {true, ThemeMode::system},
    };
    for (const auto& [raw, expected] : cases) {
        Store store;
        DesktopSettings desktop;
        EXPECT_EQ(themeWith("theme.mode", raw, store, desktop)->mode(), expected) << raw.dump();
    }
}

TEST(Theme, StoredAccentIsReadOrFallsBackToTheDefault) {
    const QColor fallback = QColor::fromRgb(0, 122, 255);
    const std::vector<std::pair<nlohmann::json, QColor>> cases = {
        {"#FF2D55", QColor::fromRgb(255, 45, 85)},
        {"af52de", QColor::fromRgb(175, 82, 222)},
        {"not a colour", fallback},
        {"#12345", fallback},
        {"#GG0000", fallback},
        {42, fallback},
        {nlohmann::json::object(), fallback},
    };
    for (const auto& [raw, expected] : cases) {
        Store store;
        DesktopSettings desktop;
        EXPECT_EQ(themeWith("theme.accent", raw, store, desktop)->accent(), expected) << raw.dump();
    }
}

TEST(Theme, BadAccentStaysStoredUntilTheNextWrite) {
    Store store;
    store.defaults.setValue("theme.accent", "garbage");
    DesktopSettings desktop;
    Theme theme(&store.defaults, &desktop);
    EXPECT_EQ(stored(store.defaults, "theme.accent"), "garbage");
    theme.setMode(ThemeMode::dark);
    EXPECT_EQ(stored(store.defaults, "theme.accent"), "#007AFF");
    EXPECT_EQ(stored(store.defaults, "theme.mode"), "dark");
}

TEST(Theme, SettingTheSameValueWritesBothKeysAndSignals) {
    Store store;
    DesktopSettings desktop;
    Theme theme(&store.defaults, &desktop);
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
    DesktopSettings desktop;
    Theme theme(&store.defaults, &desktop);
    QSignalSpy changes(&theme, &Theme::changed);

    desktop.setColorScheme(ColorScheme::dark);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(theme.tokens().scheme, ColorScheme::dark);

    theme.setMode(ThemeMode::light); // one change of its own
    desktop.setColorScheme(ColorScheme::light);
    desktop.setColorScheme(ColorScheme::dark);
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

