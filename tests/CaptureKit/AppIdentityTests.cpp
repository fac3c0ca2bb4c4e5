#include "CaptureKit/AppIdentity.h"
#include "CaptureKit/DesktopEntry.h"

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
        {"a launcher's class in another case", {std::nullopt, std::nullopt, QString("edit")}, QString("org.example.Editor")},
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

// The desktop entries and windows of applications people block, as Debian installs them: a window
// names its entry only through the instance half of WM_CLASS, a class in another case, the last
// part of a reverse-DNS ID or the program its process runs.
TEST(AppIdentityTest, WindowsOfCommonApplicationsAreTiedToTheirEntries) {
    const QString data = TestSupport::makeTemporaryFolder("data");
    const QString bin = TestSupport::makeTemporaryFolder("bin");
    // A launcher script that starts a program of its name elsewhere, as /usr/bin/chromium does.
    TestSupport::writeFile(bin + "/chromium", "#!/bin/sh\nexec /usr/lib/chromium/chromium \"$@\"\n");
    const auto entry = [&](const QString& id, const QByteArray& keys) {
        TestSupport::writeFile(data + "/applications/" + id + ".desktop", "[Desktop Entry]\nType=Application\n" + keys);
    };
    entry("chromium", "Exec=" + bin.toUtf8() + "/chromium %U\nStartupWMClass=chromium\n");
    entry("firefox-esr", "Exec=/usr/lib/firefox-esr/firefox-esr %u\nStartupWMClass=firefox-esr\n");
    entry("org.keepassxc.KeePassXC", "Exec=keepassxc %f\nTryExec=keepassxc\nStartupWMClass=keepassxc\n");
    entry("org.xfce.mousepad", "Exec=mousepad %U\n");
    entry("featherpad", "Exec=featherpad %U\n");
    entry("org.telegram.desktop", "Exec=env QT_QPA_PLATFORM=xcb telegram-desktop -- %u\n");
    entry("org.example.Scripted", "Exec=python3 /usr/share/scripted/main.py\n");
    const DesktopEntryIndex entries({data});

    const auto window = [](const char* instance, const char* windowClass, std::optional<QString> program = std::nullopt) {
        return WindowIdentityProperties{std::nullopt, std::nullopt, QString(windowClass), QString(instance), program};
    };
    struct Case {
        const char* name;
        WindowIdentityProperties properties;
        std::optional<QString> id;
        bool identified;
    } cases[] = {
        {"Chromium by the instance", window("chromium", "Chromium"), QString("chromium"), true},
        {"Chromium with a profile of its own, by its class", window("chromium (/tmp/profile)", "Chromium"), QString("chromium"), true},
        {"Chromium by its program behind the launcher script", window("", "", QString("/usr/lib/chromium/chromium")),
         QString("chromium"), true},
        {"Firefox by its class", window("Navigator", "firefox-esr"), QString("firefox-esr"), true},
        {"KeePassXC by the instance", window("keepassxc", "KeePassXC"), QString("org.keepassxc.KeePassXC"), true},
        {"Mousepad without a GTK ID", window("mousepad", "Mousepad"), QString("org.xfce.mousepad"), true},
        {"FeatherPad by its ID in another case", window("featherpad", "FeatherPad"), QString("featherpad"), true},
        {"a program behind env", window("telegram", "TelegramDesktop", QString("/usr/bin/telegram-desktop")),
         QString("org.telegram.desktop"), true},
        {"an interpreter is not its script's application", window("", "", QString("/usr/bin/python3")), std::nullopt, true},
        {"a name nobody claims, its process known", window("tool", "Tool", QString("/opt/tool/tool")), QString("Tool"), true},
        {"a name nobody claims, its process unknown", window("tool", "Tool"), QString("Tool"), false},
        {"nothing at all", {}, std::nullopt, false},
        {"a GTK ID alone", {QString("org.example.Gtk"), std::nullopt, std::nullopt}, QString("org.example.Gtk"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(applicationID(c.properties, entries), c.id);
        if (c.id) {
            EXPECT_TRUE(applicationIdentities(c.properties, entries).contains(*c.id));
        }
        EXPECT_EQ(isIdentified(c.properties, entries), c.identified);
    }
    // Both halves of WM_CLASS are identities of their own besides the entries.
    EXPECT_EQ(applicationIdentities(window("keepassxc", "KeePassXC"), entries),
              (QStringList{"org.keepassxc.KeePassXC", "KeePassXC", "keepassxc"}));
}

TEST(DesktopEntryTest, ProgramsAnEntryStartsItsApplicationAs) {
    struct Case {
        const char* name;
        QHash<QString, QString> keys;
        QStringList programs;
    } cases[] = {
        {"options and field codes only", {{"Exec", "/usr/bin/chromium --incognito %U"}}, {"/usr/bin/chromium"}},
        {"TryExec first", {{"Exec", "keepassxc %f"}, {"TryExec", "keepassxc-bin"}}, {"keepassxc-bin", "keepassxc"}},
        {"env and its assignments looked through", {{"Exec", "env A=1 B=\"two words\" app -x"}}, {"app"}},
        {"a quoted program", {{"Exec", "\"/opt/My App/run\" %F"}}, {"/opt/My App/run"}},
        {"an interpreter given a script", {{"Exec", "python3 /usr/share/app/main.py"}}, {}},
        {"a shell given a command", {{"Exec", "sh -c \"app --x\""}}, {}},
        {"no Exec", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DesktopEntry::programs(c.keys), c.programs);
    }
}
