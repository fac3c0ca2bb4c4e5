#include "BrindlecastApp/Channel/AgentLoginLaunch.h"
#include "BrindlecastApp/Channel/Channel.h"
#include "BrindlecastApp/Settings/AppSettings.h"

#include "Support/FileNames.h"
#include "Support/IoError.h"
#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <vector>

using namespace BrindlecastApp;
using nlohmann::json;

namespace {

class RecordingLoginLaunch final : public LoginLaunchProvider {
public:
    void apply(bool enabled) override {
        calls.push_back(enabled);
        on = enabled;
    }
    bool isEnabled() const override { return on; }

    std::vector<bool> calls;
    bool on = false;
};

// Each test gets its own preference file and a channel whose login launch it can see.
class AppSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        saved_ = Channel::current();
        Channel::current().loginLaunch = loginLaunch;
    }
    void TearDown() override { Channel::current() = saved_; }

    json stored() { return defaults.snapshot(); }

    std::shared_ptr<RecordingLoginLaunch> loginLaunch = std::make_shared<RecordingLoginLaunch>();
    QString path = TestSupport::makeTemporaryFolder("settings") + "/preferences.json";
    Support::UserDefaults defaults{path};

private:
    Channel saved_;
};

QString picturesFolder() { return QDir::homePath() + "/Pictures/Brindlecast"; }

// Every key at its default, as a first start leaves them.
json storedDefaults() {
    return json({{"settings.startAtLogin", true},
                 {"settings.showFloatingThumbnail", true},
                 {"settings.openEditorAfterCapture", true},
                 {"settings.copyToClipboardAutomatically", false},
                 {"settings.playCaptureSound", true},
                 {"settings.showScreenshotsSidebar", true},
                 {"settings.rememberLastUsedTool", true},
                 {"settings.libraryLocation", picturesFolder().toStdString()},
                 {"settings.exportFormat", "png"}});
}

} // namespace

TEST_F(AppSettingsTest, FirstStartStoresTheDefaultsAndLeavesStartAtLoginOff) {
    AppSettings settings(&defaults);
    EXPECT_TRUE(settings.showFloatingThumbnail());
    EXPECT_TRUE(settings.openEditorAfterCapture());
    EXPECT_FALSE(settings.copyToClipboardAutomatically());
    EXPECT_TRUE(settings.playCaptureSound());
    EXPECT_TRUE(settings.showScreenshotsSidebar());
    EXPECT_TRUE(settings.rememberLastUsedTool());
    EXPECT_EQ(settings.libraryLocation(), picturesFolder());
    EXPECT_EQ(settings.exportFormat(), AppSettings::ExportImageFormat::png);
    EXPECT_EQ(settings.lastUsedTool(), std::nullopt);

    // The stored default is on, but nothing was asked to start at login, so the switch reads off.
    EXPECT_FALSE(settings.startAtLogin());
    EXPECT_TRUE(loginLaunch->calls.empty());

    EXPECT_EQ(stored(), storedDefaults());
}

TEST_F(AppSettingsTest, StartAtLoginShowsTheRealEntryAndNeverMakesOneUnasked) {
    const QString entryPath = TestSupport::makeTemporaryFolder("autostart") + "/app.brindlecast.desktop";
    Channel::current().loginLaunch = std::make_shared<AgentLoginLaunch>(entryPath, "/usr/bin/brindlecast");
    defaults.setValue("settings.startAtLogin", json(true));

    AppSettings settings(&defaults);
    EXPECT_FALSE(settings.startAtLogin());
    EXPECT_FALSE(QFile::exists(entryPath));

    settings.setStartAtLogin(true);
    EXPECT_TRUE(settings.startAtLogin());
    EXPECT_TRUE(QFile::exists(entryPath));
    EXPECT_TRUE(AppSettings(&defaults).startAtLogin()); // a later start sees it too

    settings.setStartAtLogin(false);
    EXPECT_FALSE(settings.startAtLogin());
    EXPECT_FALSE(QFile::exists(entryPath));
    EXPECT_EQ(stored()["settings.startAtLogin"], json(false));

    // An entry left by another install (or removed behind the app's back) reads as it is.
    TestSupport::writeFile(entryPath, "[Desktop Entry]\nExec=/opt/elsewhere/brindlecast\n");
    settings.setStartAtLogin(true);
    QFile::remove(entryPath);
    EXPECT_FALSE(settings.startAtLogin());
    EXPECT_EQ(stored()["settings.startAtLogin"], json(true));
}

TEST_F(AppSettingsTest, EveryAssignmentOfStartAtLoginIsApplied) {
    AppSettings settings(&defaults);
    QSignalSpy changed(&settings, &AppSettings::changed);
    settings.setStartAtLogin(true);
    settings.setStartAtLogin(true);
    settings.setStartAtLogin(false);
    EXPECT_EQ(loginLaunch->calls, (std::vector<bool>{true, true, false}));
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(AppSettingsTest, BadStoredValuesAreCoercedAndWrittenBackUsable) {
    const QString home = QDir::homePath();
    const std::string pictures = picturesFolder().toStdString();
    const struct {
        std::string key;
        json raw;
        json written; // null: the key is removed
    } cases[] = {
        {"settings.copyToClipboardAutomatically", false, false},
        {"settings.copyToClipboardAutomatically", "YES", true},
        {"settings.copyToClipboardAutomatically", " +01", true},
        {"settings.copyToClipboardAutomatically", "true", true},
        {"settings.showFloatingThumbnail", "no", false},
        {"settings.showFloatingThumbnail", "", false},
        {"settings.showFloatingThumbnail", "000", false},
        {"settings.showFloatingThumbnail", 0, false},
        {"settings.copyToClipboardAutomatically", 2, true},
        {"settings.copyToClipboardAutomatically", 0.5, true},
        {"settings.playCaptureSound", json::array({true}), false},
        {"settings.playCaptureSound", json::object(), false},
        {"settings.playCaptureSound", nullptr, true},
        {"settings.exportFormat", "jpeg", "jpeg"},
        {"settings.exportFormat", "JPEG", "png"},
        {"settings.exportFormat", "jpg", "png"},
        {"settings.exportFormat", 1, "png"},
        {"settings.libraryLocation", "/srv/shots", "/srv/shots"},
        {"settings.libraryLocation", "/srv/shots/../caps/", "/srv/caps"},
        {"settings.libraryLocation", "~/Shots", (home + "/Shots").toStdString()},
        {"settings.libraryLocation", "file:///srv/my%20shots/", "/srv/my shots"},
        {"settings.libraryLocation", "https://example.org/shots", pictures},
        {"settings.libraryLocation", "relative/shots", pictures},
        {"settings.libraryLocation", "", pictures},
        {"settings.libraryLocation", 42, pictures},
        {"settings.lastUsedTool", "arrow", "arrow"},
        {"settings.lastUsedTool", 7, nullptr},
        {"settings.lastUsedTool", json::array(), nullptr},
    };
    for (const auto& c : cases) {
        const QString file = TestSupport::makeTemporaryFolder("coerce") + "/preferences.json";
        json seeded = storedDefaults();
        seeded[c.key] = c.raw;
        TestSupport::writeFile(file, QByteArray::fromStdString(seeded.dump()));
        Support::UserDefaults store(file);
        const AppSettings settings(&store);
        const json after = store.snapshot();
        if (c.written.is_null()) {
            EXPECT_FALSE(after.contains(c.key)) << c.key << " " << c.raw.dump();
        } else {
            EXPECT_EQ(after.value(c.key, json()), c.written) << c.key << " " << c.raw.dump();
        }
    }
    // What the getters give is what was written back.
    Support::UserDefaults store(TestSupport::makeTemporaryFolder("coerce") + "/preferences.json");
    store.setValue("settings.copyToClipboardAutomatically", json("YES"));
    store.setValue("settings.exportFormat", json("jpeg"));
    store.setValue("settings.libraryLocation", json("~/Shots"));
    const AppSettings settings(&store);
    EXPECT_TRUE(settings.copyToClipboardAutomatically());
    EXPECT_EQ(settings.exportFormat(), AppSettings::ExportImageFormat::jpeg);
    EXPECT_EQ(settings.libraryLocation(), home + "/Shots");
}

TEST_F(AppSettingsTest, ChangesPersistForTheNextStartAndKeepOtherKeys) {
    defaults.setValue("theme.mode", json("dark"));
    {
        AppSettings settings(&defaults);
        QSignalSpy changed(&settings, &AppSettings::changed);
        settings.setShowFloatingThumbnail(false);
        settings.setOpenEditorAfterCapture(false);
        settings.setCopyToClipboardAutomatically(true);
        settings.setPlayCaptureSound(false);
        settings.setShowScreenshotsSidebar(false);
        settings.setRememberLastUsedTool(false);
        settings.setLibraryLocation("/srv/captures/");
        settings.setExportFormat(AppSettings::ExportImageFormat::jpeg);
        settings.setLastUsedTool(QString("highlight"));
        EXPECT_EQ(changed.count(), 9);
    }
    AppSettings again(&defaults);
    EXPECT_FALSE(again.showFloatingThumbnail());
    EXPECT_FALSE(again.openEditorAfterCapture());
    EXPECT_TRUE(again.copyToClipboardAutomatically());
    EXPECT_FALSE(again.playCaptureSound());
    EXPECT_FALSE(again.showScreenshotsSidebar());
    EXPECT_FALSE(again.rememberLastUsedTool());
    EXPECT_EQ(again.libraryLocation(), "/srv/captures");
    EXPECT_EQ(again.exportFormat(), AppSettings::ExportImageFormat::jpeg);
    EXPECT_EQ(again.lastUsedTool(), QString("highlight"));
    EXPECT_EQ(stored()["theme.mode"], json("dark"));

    again.setLastUsedTool(std::nullopt);
    EXPECT_FALSE(stored().contains("settings.lastUsedTool"));
    again.setLibraryLocation("not/absolute");
    EXPECT_EQ(again.libraryLocation(), picturesFolder());
}

TEST_F(AppSettingsTest, AnUnwritableStoreKeepsTheValuesInMemory) {
    const QString blocked = TestSupport::makeTemporaryFolder("blocked");
    TestSupport::writeFile(blocked + "/app.brindlecast", "a file where the folder goes");
    Support::UserDefaults store(blocked + "/app.brindlecast/preferences.json");
    AppSettings settings(&store);
    settings.setExportFormat(AppSettings::ExportImageFormat::jpeg);
    EXPECT_EQ(settings.exportFormat(), AppSettings::ExportImageFormat::jpeg);
}

TEST_F(AppSettingsTest, LibraryFolderFollowsXdgUserDirsAndIsCreatedOnDemand) {
    const QString userDirs = qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs";
    TestSupport::writeFile(userDirs, "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(AppSettings::defaultLibraryLocation(), QDir::homePath() + "/Bilder/Brindlecast");
    QFile::remove(userDirs);

    AppSettings settings(&defaults);
    const QString root = TestSupport::makeTemporaryFolder("library");
    settings.setLibraryLocation(root + "/a/b/Brindlecast");
    EXPECT_EQ(settings.ensureLibraryLocation(), root + "/a/b/Brindlecast");
    EXPECT_TRUE(QFileInfo(root + "/a/b/Brindlecast").isDir());
    EXPECT_EQ(settings.ensureLibraryLocation(), root + "/a/b/Brindlecast"); // already there

    TestSupport::writeFile(root + "/file", "in the way");
    settings.setLibraryLocation(root + "/file/Brindlecast");
    EXPECT_THROW(settings.ensureLibraryLocation(), Support::IoError);
    settings.setLibraryLocation(root + "/file");
    EXPECT_THROW(settings.ensureLibraryLocation(), Support::IoError);
}

// A Pictures folder named in Latin-1 holds the library under its own name. The name is never
// stored as text the preferences file cannot hold, and one an earlier version stored with U+FFFD
// in its byte's place reads as that folder again.
TEST_F(AppSettingsTest, APicturesFolderNamedInLatin1IsTheLibrarysByteForByte) {
    const QString userDirs = qEnvironmentVariable("XDG_CONFIG_HOME") + "/user-dirs.dirs";
    TestSupport::writeFile(userDirs, "XDG_PICTURES_DIR=\"$HOME/Bilder\xe4\"\n");
    const auto removed = qScopeGuard([&] {
        QFile::remove(userDirs);
        std::filesystem::remove_all((qgetenv("HOME") + "/Bilder\xe4").toStdString()); // Qt cannot name it
    });
    const QByteArray library = qgetenv("HOME") + "/Bilder\xe4/Brindlecast";
    {
        AppSettings settings(&defaults);
        EXPECT_EQ(Support::FileNames::encode(settings.libraryLocation()), library);
        EXPECT_FALSE(stored().contains("settings.libraryLocation"));
        settings.ensureLibraryLocation();
        struct stat info {};
        EXPECT_EQ(::stat(library.constData(), &info), 0);
    }
    defaults.setValue("settings.libraryLocation", json(QString::fromUtf8(library).toStdString()));
    AppSettings again(&defaults);
    EXPECT_EQ(Support::FileNames::encode(again.libraryLocation()), library);
    EXPECT_FALSE(stored().contains("settings.libraryLocation"));
    again.setLibraryLocation("/srv/shots");
    EXPECT_EQ(stored()["settings.libraryLocation"], json("/srv/shots"));
}
