#include "CaptureKit/AppIdentity.h"
#include "CaptureKit/DesktopEntry.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <limits>

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

// The user's data folder under a home named in Latin-1 (no XDG_DATA_HOME) is read by its bytes:
// an entry in a subfolder and a link to an entry are found; a link to a folder is not entered.
TEST(AppIdentityTest, EntriesBelowAHomeNamedInLatin1AreFound) {
    const QByteArray outside = QFile::encodeName(TestSupport::makeTemporaryFolder("outside"));
    const QByteArray home = QFile::encodeName(TestSupport::makeTemporaryFolder("home")) + "/j\xfcrgen";
    const QByteArray applications = home + "/.local/share/applications";
    for (const QByteArray& folder : {home, home + "/.local", home + "/.local/share", applications, applications + "/vendor"})
        ASSERT_EQ(::mkdir(folder.constData(), 0700), 0) << folder.toStdString();
    const auto write = [](const QByteArray& path, const QByteArray& text) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0) << path.toStdString();
        ASSERT_EQ(::write(fd, text.constData(), size_t(text.size())), text.size());
        ::close(fd);
    };
    write(applications + "/vendor/tool.desktop", "[Desktop Entry]\nStartupWMClass=ToolWin\n");
    write(outside + "/real.desktop", "[Desktop Entry]\nStartupWMClass=Linked\n");
    ASSERT_EQ(::symlink((outside + "/real.desktop").constData(), (applications + "/linked.desktop").constData()), 0);
    ASSERT_EQ(::symlink(outside.constData(), (applications + "/elsewhere").constData()), 0);
    qputenv("HOME", home);
    qunsetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_DIRS", outside + "/none");

    const std::shared_ptr<const DesktopEntryIndex> entries = DesktopEntryIndex::standard();
    EXPECT_EQ(entries->idForWindowClass("ToolWin"), QString("vendor-tool"));
    EXPECT_EQ(entries->idForWindowClass("Linked"), QString("linked"));
    QStringList ids;
    for (const DesktopEntryFile& file : DesktopEntry::files(DesktopEntryIndex::standardDataFolders())) ids << file.id;
    ids.sort();
    EXPECT_EQ(ids, QStringList({"linked", "vendor-tool"})) << "a folder reached through a link was entered";
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
        bool processKnown;
    } cases[] = {
        {"Chromium by the instance", window("chromium", "Chromium"), QString("chromium"), false},
        {"Chromium with a profile of its own, by its class", window("chromium (/tmp/profile)", "Chromium"), QString("chromium"), false},
        {"Chromium by its program behind the launcher script", window("", "", QString("/usr/lib/chromium/chromium")),
         QString("chromium"), true},
        {"Firefox by its class", window("Navigator", "firefox-esr"), QString("firefox-esr"), false},
        {"KeePassXC by the instance", window("keepassxc", "KeePassXC"), QString("org.keepassxc.KeePassXC"), false},
        {"Mousepad without a GTK ID", window("mousepad", "Mousepad"), QString("org.xfce.mousepad"), false},
        {"FeatherPad by its ID in another case", window("featherpad", "FeatherPad"), QString("featherpad"), false},
        {"a program behind env", window("telegram", "TelegramDesktop", QString("/usr/bin/telegram-desktop")),
         QString("org.telegram.desktop"), true},
        {"an interpreter is not its script's application", window("", "", QString("/usr/bin/python3")), std::nullopt, true},
        {"a name nobody claims, its process known", window("tool", "Tool", QString("/opt/tool/tool")), QString("Tool"), true},
        {"a name nobody claims, its process unknown", window("tool", "Tool"), QString("Tool"), false},
        {"nothing at all", {}, std::nullopt, false},
        {"a GTK ID alone", {QString("org.example.Gtk"), std::nullopt, std::nullopt}, QString("org.example.Gtk"), false},
        {"a process relaying another machine's clients", window("tool", "Tool", QString("/usr/bin/ssh")), QString("Tool"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(applicationID(c.properties, entries), c.id);
        if (c.id) {
            EXPECT_TRUE(applicationIdentities(c.properties, entries).contains(*c.id));
        }
        EXPECT_EQ(isProcessKnown(c.properties), c.processKnown);
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

// An interpreter or launcher is no application's identity: an entry that names one as its
// program ties no window to itself by it, however the name is reached.
TEST(AppIdentityTest, AnInterpreterTiesNoWindowToAnEntry) {
    const QString python = QFileInfo(QStandardPaths::findExecutable("python3")).canonicalFilePath();
    if (python.isEmpty()) GTEST_SKIP() << "python3 is not installed";
    const QString data = TestSupport::makeTemporaryFolder("data");
    const QString venv = TestSupport::makeTemporaryFolder("venv");
    ASSERT_TRUE(QFile::link(python, venv + "/python3"));
    ASSERT_TRUE(QFile::link(python, venv + "/notes")); // a link that does not say what it leads to
    const auto entry = [&](const QString& id, const QString& keys) {
        TestSupport::writeFile(data + "/applications/" + id + ".desktop", "[Desktop Entry]\n" + keys.toUtf8());
    };
    entry("org.example.TryPython", "Exec=notes-app %U\nTryExec=python3\n");
    entry("org.example.Venv", "Exec=env FOO=1 " + venv + "/python3 %U\n");
    entry("org.example.Linked", "Exec=" + venv + "/notes %U\n");
    entry("org.example.Shell", "Exec=bash\n");
    entry("org.example.Sandboxed", "Exec=flatpak-spawn --host %U\n");
    const DesktopEntryIndex entries({data});

    struct Case {
        const char* name;
        QString program;
    } cases[] = {
        {"the interpreter itself", python},
        {"through the venv's link", venv + "/python3"},
        {"a shell", QStandardPaths::findExecutable("bash")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowIdentityProperties window{std::nullopt, std::nullopt, std::nullopt, std::nullopt, c.program};
        EXPECT_EQ(entries.idsForWindow(window), QStringList{});
        EXPECT_EQ(applicationIdentities(window, entries), QStringList{});
        EXPECT_TRUE(isProcessKnown(window));
        EXPECT_EQ(blockedIdentities(applicationIdentities(window, entries), true, {"org.example.TryPython", "org.example.Venv"}),
                  QStringList{});
    }
    // The entries' own names still tie the windows that go by them.
    EXPECT_EQ(entries.idsForWindow({std::nullopt, std::nullopt, QString("Notes-App"), QString("notes-app")}),
              QStringList{"org.example.TryPython"});
}

TEST(AppIdentityTest, InterpretersLaunchersAndRelaysByName) {
    const QString python = QFileInfo(QStandardPaths::findExecutable("python3")).canonicalFilePath();
    const QString links = TestSupport::makeTemporaryFolder("links");
    if (!python.isEmpty()) {
        ASSERT_TRUE(QFile::link(python, links + "/tool"));
    }
    struct Case {
        QString program;
        bool interpreter;
        bool relay;
    } cases[] = {
        {"python3", true, false},       {"/usr/bin/python3.11", true, false}, {"pypy3", true, false},
        {"perl5.36", true, false},      {"/usr/bin/env", true, false},        {"sh", true, false},
        {"dash", true, false},          {"node", true, false},                {"java", true, false},
        {"flatpak-spawn", true, false}, {"bwrap", true, false},               {"ruby3.1", true, false},
        {"keepassxc", false, false},    {"/usr/lib/chromium/chromium", false, false},
        {"pythonista", false, false},   {"node-red", false, false},           {"xclock", false, false},
        {"/usr/bin/ssh", false, true},  {"xpra", false, true},                {"sshfs", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program.toStdString());
        EXPECT_EQ(isInterpreterOrLauncher(c.program), c.interpreter);
        EXPECT_EQ(isRelay(c.program), c.relay);
    }
    // A link that does not say it leads to an interpreter.
    if (!python.isEmpty()) {
        EXPECT_TRUE(isInterpreterOrLauncher(links + "/tool"));
    }
}

// A window whose process was looked at is blocked by its IDs alone; one whose process cannot be
// looked at also by a name that resembles a blocked ID, and one naming nothing by anything blocked.
TEST(AppIdentityTest, BlockedIdentitiesOfKnownAndDoubtfulWindows) {
    const QStringList vault{"org.keepassxc.KeePassXC", "chromium"};
    struct Case {
        const char* name;
        QStringList identities;
        bool processKnown;
        QStringList blocked;
        QStringList expected;
    } cases[] = {
        {"known, blocked by an ID", {"org.keepassxc.KeePassXC", "KeePassXC"}, true, vault, {"org.keepassxc.KeePassXC"}},
        {"known, a resembling name is no ID", {"KeePassXC", "keepassxc"}, true, vault, {}},
        {"known and nameless", {}, true, vault, {}},
        {"doubtful, a resembling name", {"KeePassXC", "keepassxc"}, false, vault, {"org.keepassxc.KeePassXC"}},
        {"doubtful, a name with a profile", {"chromium (/tmp/profile)", "Chromium"}, false, vault, {"chromium"}},
        {"doubtful, another application's GTK ID", {"org.example.KeePassXC"}, false, vault, {"org.keepassxc.KeePassXC"}},
        {"doubtful, names of nothing blocked", {"Tk", "tk", "XEyes"}, false, vault, {}},
        {"doubtful, a blocked word is not the whole ID", {"org"}, false, vault, {}},
        {"doubtful and nameless", {}, false, vault, {unidentifiedWindow}},
        {"doubtful and nameless, nothing blocked", {}, false, {}, {}},
        {"doubtful, the ID itself and a resembling one, each once", {"chromium", "Chromium"}, false, vault, {"chromium"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(blockedIdentities(c.identities, c.processKnown, c.blocked), c.expected);
    }
}

// The entries a window's names resemble: by any of its names' forms against every name of an
// entry, never by a part of an entry's name.
TEST(AppIdentityTest, EntriesResemblingAWindowsNames) {
    const QString data = TestSupport::makeTemporaryFolder("data");
    TestSupport::writeFile(data + "/applications/org.keepassxc.KeePassXC.desktop",
                           "[Desktop Entry]\nExec=keepassxc %f\nStartupWMClass=keepassxc\n");
    TestSupport::writeFile(data + "/applications/chromium.desktop", "[Desktop Entry]\nExec=/usr/bin/chromium %U\n");
    const DesktopEntryIndex entries({data});
    EXPECT_EQ(entries.idsResembling({"KeePassXC"}), QStringList{"org.keepassxc.KeePassXC"});
    EXPECT_EQ(entries.idsResembling({"chromium (/tmp/profile)"}), QStringList{"chromium"});
    EXPECT_EQ(entries.idsResembling({"com.vendor.Chromium", "keepass"}), QStringList{"chromium"});
    EXPECT_EQ(entries.idsResembling({"Tk", "XEyes", ""}), QStringList{});
    // A window whose process cannot be looked at may be any of them.
    const WindowIdentityProperties remote{std::nullopt, std::nullopt, QString("Chromium-browser"), QString("chromium")};
    EXPECT_TRUE(applicationIdentities(remote, entries).contains("chromium"));
}

// The program of a process: its executable, or for another user's process, whose executable may
// not be read, the program its command line names.
TEST(AppIdentityTest, ProgramOfAProcessEvenAnotherUsers) {
    const std::optional<QString> own = programOfProcess(std::uint32_t(getpid()));
    ASSERT_TRUE(own);
    EXPECT_EQ(*own, QFileInfo("/proc/self/exe").canonicalFilePath());
    EXPECT_EQ(programOfProcess(0), std::nullopt);
    EXPECT_EQ(programOfProcess(std::uint32_t(std::numeric_limits<std::int32_t>::max())), std::nullopt);
    if (geteuid() != 0) GTEST_SKIP() << "another user's view needs root to become that user";
    const std::uint32_t parent = std::uint32_t(getpid());
    const TestSupport::ChildResult seen = TestSupport::runAsUnprivilegedUser([&](QByteArray& output) {
        output = programOfProcess(parent).value_or("nothing").toUtf8();
        return 0;
    });
    ASSERT_EQ(seen.exitCode, 0) << seen.output.toStdString();
    EXPECT_EQ(QFileInfo(QString::fromUtf8(seen.output)).fileName(), QFileInfo(*own).fileName());
}
