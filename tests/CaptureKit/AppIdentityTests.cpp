#include "CaptureKit/AppIdentity.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

using namespace CaptureKit;

TEST(AppIdentityTest, FirstPresentIdentityWins) {
    const QString data = TestSupport::makeTemporaryFolder("data");
    TestSupport::writeFile(data + "/applications/org.example.Editor.desktop",
                           "[Desktop Entry]\nName=Editor\nStartupWMClass=Edit\n\n[Desktop Action New]\nStartupWMClass=Other\n");
    TestSupport::writeFile(data + "/applications/vendor/tool.desktop", "[Desktop Entry]\nStartupWMClass = ToolWin\n");
    TestSupport::writeFile(data + "/applications/none.desktop", "[Desktop Entry]\nName=No class\n");
    const DesktopEntryIndex entries({data});

    struct Case {
        const char* name;
        WindowIdentityProperties properties;
        std::optional<QString> id;
    } cases[] = {
        {"GTK application ID first", {QString("org.gtk.App"), QString("kde-app"), QString("Edit")}, QString("org.gtk.App")},
        {"then the KDE desktop file", {std::nullopt, QString("org.kde.app"), QString("Edit")}, QString("org.kde.app")},
        {"KDE file name with extension", {std::nullopt, QString("org.kde.app.desktop"), std::nullopt}, QString("org.kde.app")},
        {"empty values count as absent", {QString(""), QString(""), QString("Edit")}, QString("org.example.Editor")},
        {"desktop entry claiming the class", {std::nullopt, std::nullopt, QString("Edit")}, QString("org.example.Editor")},
        {"entry in a subfolder", {std::nullopt, std::nullopt, QString("ToolWin")}, QString("vendor-tool")},
        {"only the main group counts", {std::nullopt, std::nullopt, QString("Other")}, QString("Other")},
        {"class matched case-sensitively", {std::nullopt, std::nullopt, QString("edit")}, QString("edit")},
        {"no identity", {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(applicationID(c.properties, entries), c.id);
    }
}

TEST(AppIdentityTest, EarlierDataFolderWins) {
    const QString home = TestSupport::makeTemporaryFolder("home");
    const QString system = TestSupport::makeTemporaryFolder("system");
    TestSupport::writeFile(home + "/applications/mine.desktop", "[Desktop Entry]\nStartupWMClass=Shared\n");
    TestSupport::writeFile(system + "/applications/theirs.desktop", "[Desktop Entry]\nStartupWMClass=Shared\n");
    EXPECT_EQ(DesktopEntryIndex({home, system}).idForWindowClass("Shared"), QString("mine"));
    EXPECT_EQ(DesktopEntryIndex({system + "/missing"}).idForWindowClass("Shared"), std::nullopt);
}

TEST(AppIdentityTest, StandardIndexFollowsTheDataFoldersAndTheirChanges) {
    const QString data = TestSupport::makeTemporaryFolder("xdg-data");
    TestSupport::writeFile(data + "/applications/first.desktop", "[Desktop Entry]\nStartupWMClass=First\n");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(data + "/none"));
    EXPECT_EQ(DesktopEntryIndex::standard()->idForWindowClass("First"), QString("first"));

    TestSupport::writeFile(data + "/applications/second.desktop", "[Desktop Entry]\nStartupWMClass=Second\n");
    // Later than anything the first read could have seen, whatever the clock's resolution.
    const QByteArray folder = QFile::encodeName(data + "/applications");
    const timespec later[2] = {{time(nullptr) + 60, 0}, {time(nullptr) + 60, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, folder.constData(), later, 0), 0);
    EXPECT_EQ(DesktopEntryIndex::standard()->idForWindowClass("Second"), QString("second"));
}

TEST(AppIdentityTest, EveryIdentityAWindowCanBeGiven) {
    const QString home = TestSupport::makeTemporaryFolder("home");
    const QString system = TestSupport::makeTemporaryFolder("system");
    TestSupport::writeFile(home + "/applications/my-foo.desktop", "[Desktop Entry]\nStartupWMClass=Foo\n");
    TestSupport::writeFile(system + "/applications/org.example.Foo.desktop", "[Desktop Entry]\nStartupWMClass=Foo\n");
    TestSupport::writeFile(system + "/applications/my-foo.desktop", "[Desktop Entry]\nStartupWMClass=Foo\n");
    const DesktopEntryIndex entries({home, system});
    struct Case {
        const char* name;
        WindowIdentityProperties properties;
        QStringList ids;
    } cases[] = {
        {"all of them, each once", {QString("org.example.Foo"), QString("foo.desktop"), QString("Foo")},
         {"org.example.Foo", "foo", "my-foo", "Foo"}},
        {"every launcher claiming the class, the user's first", {std::nullopt, std::nullopt, QString("Foo")},
         {"my-foo", "org.example.Foo", "Foo"}},
        {"a class no launcher claims", {std::nullopt, std::nullopt, QString("Bar")}, {"Bar"}},
        {"empty values count as absent", {QString(""), QString(".desktop"), QString("")}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(applicationIdentities(c.properties, entries), c.ids);
    }
    // The one ID the window goes by stays the first launcher's.
    EXPECT_EQ(applicationID({std::nullopt, std::nullopt, QString("Foo")}, entries), QString("my-foo"));
}
