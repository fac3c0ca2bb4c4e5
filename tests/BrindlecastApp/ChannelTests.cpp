#include "BrindlecastApp/Channel/AgentLoginLaunch.h"
#include "BrindlecastApp/Channel/Channel.h"

#include "support/FifoTrap.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace BrindlecastApp;

namespace {

QString exactExecLine(const QByteArray& entry) {
    for (const QByteArray& line : entry.split('\n')) {
        if (line.startsWith("Exec=")) return QString::fromUtf8(line.mid(5));
    }
    return {};
}

// A shell script at `path` that writes its marker file when started.
void writeMarkerScript(const QString& path, const QString& marker) {
    TestSupport::writeFile(path, ("#!/bin/sh\necho started > '" + marker + "'\n").toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

TEST(AgentLoginLaunch, ExecQuotesEveryReservedCharacterAndReadsBack) {
    // Quoting escapes " ` $ \ with a backslash; the value's own escaping then doubles each
    // backslash, so a literal backslash takes four and a dollar "\\$".
    const struct {
        const char* path;
        const char* exec; // nullptr: no entry can start it
    } cases[] = {
        {"/opt/Brindle cast/brindlecast", R"("/opt/Brindle cast/brindlecast")"},
        {"/tmp/say \"hi\"", R"("/tmp/say \\"hi\\"")"},
        {"/tmp/$HOME/`id`", R"("/tmp/\\$HOME/\\`id\\`")"},
        {"/tmp/back\\slash", R"("/tmp/back\\\\slash")"},
        {"/tmp/100% sure", R"("/tmp/100%% sure")"},
        {"/tmp/it's; a & b | (c) <d> *?#~", R"("/tmp/it's; a & b | (c) <d> *?#~")"},
        {"/tmp/tab\there\nnew line", R"("/tmp/tab\there\nnew line")"},
        {"/tmp/caf\u00e9/\u5199\u771f", "\"/tmp/caf\u00e9/\u5199\u771f\""},
        {"bin/brindlecast", nullptr},
        {"", nullptr},
        {"/tmp/bell\a", nullptr},
        {"/tmp/escape\x1b", nullptr},
    };
    for (const auto& c : cases) {
        const QString path = QString::fromUtf8(c.path);
        const std::optional<QByteArray> entry = AgentLoginLaunch::entryText(path);
        if (!c.exec) {
            EXPECT_FALSE(entry.has_value()) << c.path;
            continue;
        }
        ASSERT_TRUE(entry.has_value()) << c.path;
        EXPECT_EQ(exactExecLine(*entry), QString::fromUtf8(c.exec)) << c.path;
        EXPECT_EQ(AgentLoginLaunch::startedProgram(*entry), path) << c.path;
    }
}

TEST(AgentLoginLaunch, DesktopToolsAcceptTheEntryAndStartTheRightProgram) {
    REQUIRE_PROGRAM("gio");
    // No "%" in this path: GLib looks the program up before it turns "%%" back into "%".
    const QString folder = TestSupport::makeTemporaryFolder("autostart") + "/it's \"odd\" $HOME `x` back\\slash ; & (y)";
    const QString program = folder + "/brindle cast";
    const QString marker = TestSupport::makeTemporaryFolder("marker") + "/started";
    writeMarkerScript(program, marker);
    const QString entryPath = TestSupport::makeTemporaryFolder("entry") + "/app.brindlecast.desktop";
    AgentLoginLaunch(entryPath, program).apply(true);

    if (TestSupport::hasProgram("desktop-file-validate")) {
        const auto validation = TestSupport::runProgram("desktop-file-validate", {entryPath});
        ASSERT_TRUE(validation.has_value());
        EXPECT_EQ(validation->exitCode, 0) << validation->standardOutput.toStdString();
        EXPECT_EQ(validation->standardOutput, "") << validation->standardOutput.toStdString();
    }
    // GLib's launcher is what GNOME's session uses to start autostart entries.
    const auto launch = TestSupport::runProgram("gio", {"launch", entryPath});
    ASSERT_TRUE(launch.has_value());
    EXPECT_EQ(launch->exitCode, 0) << launch->standardError.toStdString();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return QFile::exists(marker); })) << "the entry's program did not start";
}

TEST(AgentLoginLaunch, ApplyWritesAndRemovesTheEntry) {
    const QString entryPath = TestSupport::makeTemporaryFolder("apply") + "/autostart/app.brindlecast.desktop";
    const QString executable = QDir::cleanPath(QDir::tempPath() + "/no such program");
    AgentLoginLaunch launch(entryPath, executable);
    EXPECT_FALSE(launch.isEnabled());

    launch.apply(true);
    EXPECT_EQ(TestSupport::readFile(entryPath), AgentLoginLaunch::entryText(executable).value());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(entryPath).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_TRUE(launch.isEnabled());
    launch.apply(true); // again: the same entry, no leftovers beside it
    EXPECT_EQ(QDir(QFileInfo(entryPath).path()).entryList(QDir::Files | QDir::Hidden), QStringList{"app.brindlecast.desktop"});

    launch.apply(false);
    EXPECT_FALSE(QFile::exists(entryPath));
    EXPECT_FALSE(launch.isEnabled());
    launch.apply(false); // nothing to remove is fine
    EXPECT_FALSE(QFile::exists(entryPath));
}

TEST(AgentLoginLaunch, AFileInTheWayLeavesItOff) {
    const QString config = TestSupport::makeTemporaryFolder("blocked");
    TestSupport::writeFile(config + "/autostart", "not a folder");
    AgentLoginLaunch launch(config + "/autostart/app.brindlecast.desktop", "/usr/bin/brindlecast");
    launch.apply(true);
    EXPECT_FALSE(launch.isEnabled());
    EXPECT_EQ(TestSupport::readFile(config + "/autostart"), "not a folder");
}

TEST(AgentLoginLaunch, OnOnlyWhenTheEntryReallyStartsThisExecutable) {
    const QString folder = TestSupport::makeTemporaryFolder("state");
    const QString executable = folder + "/bin/brindlecast";
    writeMarkerScript(executable, folder + "/unused");
    const QString link = folder + "/link to brindlecast";
    ASSERT_TRUE(QFile::link(executable, link));
    const QString mine = QString::fromUtf8(AgentLoginLaunch::entryText(executable).value());
    // Ours, made `size` bytes long by a comment line at its end.
    const auto padded = [&](qint64 size) { return mine + "#" + QString(size - mine.size() - 2, 'x') + "\n"; };

    const struct {
        const char* name;
        QString entry;
        bool enabled;
    } cases[] = {
        {"ours", mine, true},
        {"through a link", QString::fromUtf8(AgentLoginLaunch::entryText(link).value()), true},
        {"unquoted with arguments", "[Desktop Entry]\nExec=" + executable + " --flag\n", true},
        {"spaces around the equals sign", "[Desktop Entry]\nExec = \"" + executable + "\"\n", true},
        {"another program", "[Desktop Entry]\nExec=/usr/bin/other\n", false},
        {"an older install", "[Desktop Entry]\nExec=\"/opt/old/brindlecast\"\n", false},
        {"hidden", mine + "Hidden=true\n", false},
        {"switched off in GNOME", QString(mine).replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"), false},
        {"Exec in another group", "[Desktop Entry]\nName=x\n[Desktop Action new]\nExec=\"" + executable + "\"\n", false},
        {"unterminated quote", "[Desktop Entry]\nExec=\"" + executable + "\n", false},
        {"no Exec", "[Desktop Entry]\nType=Application\n", false},
        {"not an entry", "\x01\x02 binary", false},
        {"empty", "", false},
        {"ours at the size limit", padded(AgentLoginLaunch::kMaximumEntryBytes), true},
        {"ours one byte above it", padded(AgentLoginLaunch::kMaximumEntryBytes + 1), false},
    };
    for (const auto& c : cases) {
        const QString entryPath = folder + "/app.brindlecast.desktop";
        TestSupport::writeFile(entryPath, c.entry.toUtf8());
        EXPECT_EQ(AgentLoginLaunch(entryPath, executable).isEnabled(), c.enabled) << c.name;
    }
}

// An entry that is a pipe or a hole of 64 GiB (no disk, and it would take the memory) is read no
// further than its limit and reads as off, at once; turning start at login on replaces it.
TEST(AgentLoginLaunch, AnEntryThatIsAPipeOrHugeIsOffAndReplacedWhenTurnedOn) {
    const QString folder = TestSupport::makeTemporaryFolder("hostile-entry");
    const QString executable = folder + "/bin/brindlecast";
    writeMarkerScript(executable, folder + "/unused");
    const QString huge = folder + "/huge/app.brindlecast.desktop";
    TestSupport::writeFile(huge, AgentLoginLaunch::entryText(executable).value());
    QFile file(huge);
    ASSERT_TRUE(file.resize(qint64(64) << 30));
    QDir().mkpath(folder + "/pipe");
    TestSupport::FifoTrap pipe(folder + "/pipe/app.brindlecast.desktop");
    ASSERT_TRUE(pipe.made());

    const QStringList entries{huge, folder + "/pipe/app.brindlecast.desktop"};
    for (const QString& entryPath : entries) EXPECT_FALSE(AgentLoginLaunch(entryPath, executable).isEnabled());
    EXPECT_FALSE(pipe.caughtAReader()) << "the pipe was opened";
    for (const QString& entryPath : entries) {
        AgentLoginLaunch launch(entryPath, executable);
        launch.apply(true);
        EXPECT_TRUE(launch.isEnabled());
        EXPECT_EQ(TestSupport::readFile(entryPath), AgentLoginLaunch::entryText(executable).value());
    }
}
