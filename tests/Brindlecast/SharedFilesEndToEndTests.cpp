// The real app among other local users: under umask 077 nothing it writes can be read by them, a
// trash another user planted on a shared disk or in the home is never used, and a Pictures folder
// or a home named in Latin-1 is the one the captures and the settings live in.
#include "AppDriver.h"

#include "Support/AtomicFile.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/SafeFile.h"

#include <QTest>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace EndToEnd;

namespace {

struct stat statusOf(const QByteArray& path) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) info.st_mode = 0;
    return info;
}

// Everything below `folder`, folders included, with the mode bits others have on it.
void collectModes(const QByteArray& folder, QStringList& found) {
    for (const QByteArray& name : TestSupport::rawNames(folder)) {
        const QByteArray path = folder + "/" + name;
        const struct stat info = statusOf(path);
        found << QString("%1 %2").arg(info.st_mode & 0777, 3, 8, QChar('0')).arg(QString::fromUtf8(path));
        if (S_ISDIR(info.st_mode)) collectModes(path, found);
    }
}

class SharedFilesEndToEnd : public AppDriverTest {
protected:
    // Starts the app by `launcher` (a shell line ending in `exec "$@"`, with `launcherArguments`
    // before the app's path) and waits as startApp() does.
    QProcess* startAppThrough(const QString& launcher, const QStringList& launcherArguments) {
        waitUntilHotKeysFree();
        QProcess* app = start("sh", QStringList{"-c", launcher, "sh"} + launcherArguments + QStringList{BRINDLECAST_BINARY});
        EXPECT_TRUE(waitUntil([&] { return hotKeyHeld() || app->state() == QProcess::NotRunning; }, 60000));
        EXPECT_EQ(app->state(), QProcess::Running);
        return app;
    }

    // Captures the display and waits for the editor on the new working copy in `folder` (bytes);
    // the working copy's name and the editor's window, empty when either did not come.
    std::pair<QByteArray, QString> captureInto(const QByteArray& folder) {
        xdotool({"key", "super+shift+9"});
        QByteArray capture;
        waitUntil([&] {
            for (const QByteArray& name : TestSupport::rawNames(folder))
                if (name.endsWith(".png") && !name.endsWith(".content.png") && !name.startsWith('.')) capture = name;
            return !capture.isEmpty();
        }, 60000);
        if (capture.isEmpty()) return {};
        const QString editor = waitForWindow(exactTitle(QString::fromUtf8(capture)));
        if (!editor.isEmpty()) xdotool({"windowactivate", "--sync", editor});
        return {capture, editor};
    }

    // Control+Shift+Delete on the editor's canvas: the capture shown goes to the Trash unasked.
    void deleteShown(const QString& editor) {
        xdotool({"windowactivate", "--sync", editor});
        const QPoint canvas = originOf(editor.toUInt()) + QPoint(700, 420);
        xdotool({"mousemove", QString::number(canvas.x()), QString::number(canvas.y())});
        xdotool({"click", "1"});
        xdotool({"key", "ctrl+shift+BackSpace"});
    }

    QByteArray home() const { return QFile::encodeName(home_); }
};

} // namespace

// Under umask 077 the working copy, its companion, the annotation file beside it, an export to
// the library and the preferences are readable by their owner alone, and so is every folder the
// app made for them.
TEST_F(SharedFilesEndToEnd, UnderUmask077EverythingTheAppWritesIsPrivate) {
    writePreferences(home_, {{"SidecarMode", "file"}, {"settings.showFloatingThumbnail", false}});
    // Written by the test as the app would have made them.
    ASSERT_EQ(::chmod(QFile::encodeName(home_ + "/config/app.brindlecast").constData(), 0700), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(home_ + "/config/app.brindlecast/preferences.json").constData(), 0600), 0);
    QProcess* app = startAppThrough("umask 077; exec \"$@\"", {});
    const auto [capture, editor] = captureInto(QFile::encodeName(library_));
    ASSERT_FALSE(editor.isEmpty()) << "no editor on the capture";

    // Export to Folder: the More menu's second row (rows 28 high, 2 apart, 8 in, the menu 6 below
    // More); More sits left of Done past Copy (104), a 1-point gap and settings (36), 3 apart.
    const std::optional<int> doneLeft = waitForDoneButton(editor, home_ + "/editor.png");
    ASSERT_TRUE(doneLeft);
    const QPoint more = originOf(editor.toUInt()) + QPoint(*doneLeft - 3 - 104 - 3 - 1 - 3 - 36 - 3 - 18, kToolbarRow);
    for (const QPoint at : {more, more + QPoint(0, 17 + 6 + 8 + 30 + 14)}) {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
        xdotool({"click", "1"});
        QTest::qWait(500);
    }
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 2; }, 30000)) << "Export to Folder added no file";
    // A box drawn: ending the app stores the open edit's annotations beside the capture.
    xdotool({"windowactivate", "--sync", editor});
    drawBox(editor);
    expectCleanEnd(app);
    const QByteArray sidecar = QFile::encodeName(library_) + "/" + capture + ".brindlecast.json";
    ASSERT_TRUE(S_ISREG(statusOf(sidecar).st_mode)) << "no annotation file beside the capture";

    QStringList written;
    for (const char* folder : {"/Pictures", "/config", "/data", "/cache", "/runtime"}) collectModes(home() + folder, written);
    QStringList readableByOthers;
    for (const QString& entry : written)
        if (!entry.startsWith("700 ") && !entry.startsWith("600 ")) readableByOthers << entry;
    EXPECT_TRUE(readableByOthers.isEmpty()) << readableByOthers.join('\n').toStdString();
    for (const QByteArray& expected : {QByteArray("/Pictures/Brindlecast/") + capture, "/Pictures/Brindlecast/" + capture + ".brindlecast.json",
                                       QByteArray("/config/app.brindlecast/preferences.json")})
        EXPECT_EQ(statusOf(home() + expected).st_mode & 0777, 0600u) << expected.toStdString();
    EXPECT_EQ(written.filter(".content.png").size(), 1) << written.join('\n').toStdString();
}

// The library on a disk of its own (a tmpfs in a mount namespace of the app's), where another
// user has made ".Trash-<uid>" open to all: Delete refuses with its alert, the capture stays and
// nothing enters the planted folder. With it gone, Delete makes a private one of the user's own.
TEST_F(SharedFilesEndToEnd, APlantedTrashOnASharedDiskIsNeverUsed) {
    if (!canGiveManagedPolicy()) GTEST_SKIP() << "a disk of the app's own needs root and unshare";
    const QString disk = home_ + "/Pictures";
    QDir().mkpath(disk);
    const QString trashName = ".Trash-" + QString::number(::geteuid());
    QProcess* app = startAppThrough(R"(set -e
umask 077
exec unshare --mount --propagation private sh -c '
mount -t tmpfs -o mode=0755 tmpfs "$1"
mkdir "$1/$2"
chown nobody "$1/$2"
chmod 0777 "$1/$2"
shift 2
exec "$@"' sh "$@")", {disk, trashName});
    ASSERT_EQ(app->state(), QProcess::Running);
    // The app's disk as the test sees it: through the app's own root.
    const QByteArray top = QFile::encodeName(QString("/proc/%1/root%2").arg(app->processId()).arg(disk));
    ASSERT_TRUE(waitUntil([&] { return TestSupport::rawNames(top).contains(trashName.toUtf8()); }, 20000)) << "no disk of the app's own";
    library_ = QFile::decodeName(top) + "/Brindlecast";

    const auto [capture, editor] = captureInto(top + "/Brindlecast");
    ASSERT_FALSE(editor.isEmpty()) << "no editor on the capture";
    deleteShown(editor);
    answerAlert("the refused delete");
    EXPECT_TRUE(TestSupport::rawNames(top + "/Brindlecast").contains(capture)) << "the capture left the library";
    EXPECT_TRUE(TestSupport::rawNames(top + "/" + trashName.toUtf8()).isEmpty()) << "something entered the planted trash";

    ASSERT_EQ(::rmdir((top + "/" + trashName.toUtf8()).constData()), 0);
    deleteShown(editor);
    const QByteArray trash = top + "/" + trashName.toUtf8();
    ASSERT_TRUE(waitUntil([&] { return TestSupport::rawNames(trash + "/files").contains(capture); }, 20000)) << "the capture is not in the Trash";
    EXPECT_FALSE(TestSupport::rawNames(top + "/Brindlecast").contains(capture));
    const struct stat made = statusOf(trash);
    EXPECT_EQ(made.st_uid, ::geteuid());
    EXPECT_EQ(made.st_mode & 0777, 0700u);
    QFile record(QFile::decodeName(trash + "/info/" + capture + ".trashinfo"));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(record.readAll().contains("\nPath=Brindlecast/" + capture.toPercentEncoding("/") + "\n"));
}

// user-dirs.dirs names the Pictures folder in Latin-1 bytes: the capture lands in that folder, no
// folder named with U+FFFD appears, and Delete takes the capture from there to the Trash, whose
// record names the folder by its own byte.
TEST_F(SharedFilesEndToEnd, CapturesLandInAPicturesFolderNamedInLatin1) {
    TestSupport::writeFile(home_ + "/config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\xe4\"\n");
    const QByteArray library = home() + "/Bilder\xe4/Brindlecast";
    startApp();
    const auto [capture, editor] = captureInto(library);
    ASSERT_FALSE(capture.isEmpty()) << "no capture in " << library.toStdString();
    EXPECT_FALSE(editor.isEmpty()) << "no editor on the capture";
    for (const QByteArray& name : TestSupport::rawNames(home()))
        EXPECT_FALSE(name.contains("\xef\xbf\xbd")) << "a folder named with U+FFFD: " << name.toStdString();
    EXPECT_FALSE(TestSupport::readFile(home_ + "/config/app.brindlecast/preferences.json").contains("\xef\xbf\xbd"));
    if (editor.isEmpty()) return;

    deleteShown(editor);
    const QString trash = home_ + "/data/Trash";
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(trash + "/files/" + QString::fromUtf8(capture)); }, 20000))
        << "the capture is not in the Trash";
    EXPECT_FALSE(TestSupport::rawNames(library).contains(capture));
    EXPECT_TRUE(TestSupport::readFile(trash + "/info/" + QString::fromUtf8(capture) + ".trashinfo")
                    .contains("/Bilder%E4/Brindlecast/" + capture.toPercentEncoding("/") + "\n"));
    std::filesystem::remove_all((home() + "/Bilder\xe4").toStdString()); // Qt cannot name it to clean up
}

// The home trash is a link to a folder another user made open to all: Delete refuses with its
// alert, the capture stays and nothing enters that folder. With the link gone, Delete makes a
// private trash of the user's own.
TEST_F(SharedFilesEndToEnd, APlantedHomeTrashIsNeverUsed) {
    if (::geteuid() != 0) GTEST_SKIP() << "another user's folder needs root";
    const QByteArray theirs = home() + "/theirs";
    ASSERT_EQ(::mkdir(theirs.constData(), 0777), 0);
    ASSERT_EQ(::chmod(theirs.constData(), 0777), 0);
    ASSERT_EQ(::chown(theirs.constData(), 65534, gid_t(-1)), 0);
    const QByteArray trash = home() + "/data/Trash";
    ASSERT_EQ(::symlink(theirs.constData(), trash.constData()), 0);
    startApp();
    const auto [capture, editor] = captureInto(QFile::encodeName(library_));
    ASSERT_FALSE(editor.isEmpty()) << "no editor on the capture";
    deleteShown(editor);
    answerAlert("the refused delete");
    EXPECT_TRUE(TestSupport::rawNames(QFile::encodeName(library_)).contains(capture)) << "the capture left the library";
    EXPECT_TRUE(TestSupport::rawNames(theirs).isEmpty()) << "something entered the other user's folder";

    ASSERT_EQ(::unlink(trash.constData()), 0);
    deleteShown(editor);
    ASSERT_TRUE(waitUntil([&] { return TestSupport::rawNames(trash + "/files").contains(capture); }, 20000))
        << "the capture is not in the Trash";
    for (const QByteArray& folder : {trash, trash + "/files", trash + "/info"}) {
        const struct stat made = statusOf(folder);
        EXPECT_EQ(made.st_uid, ::geteuid()) << folder.toStdString();
        EXPECT_EQ(made.st_mode & 07777, 0700u) << folder.toStdString();
    }
    EXPECT_TRUE(TestSupport::rawNames(theirs).isEmpty());
}

// HOME names a folder in Latin-1 and no XDG variable is set: the preferences there are the ones
// the app follows (annotations in a file beside the capture), the capture lands in its Pictures
// folder, and no folder named with U+FFFD appears beside the home.
TEST_F(SharedFilesEndToEnd, AHomeNamedInLatin1KeepsItsSettings) {
    const QByteArray latin1Home = home() + "/j\xfcrgen";
    const QString preferences = Support::FileNames::decode(latin1Home + "/.config/app.brindlecast/preferences.json");
    Support::Folders::create(QFileInfo(preferences).path());
    Support::AtomicFile::write(preferences, R"({"SidecarMode": "file", "settings.showFloatingThumbnail": false})", 0600);
    QProcess* app = startAppThrough(R"(HOME=$(printf '%s/j\374rgen' "$1")
export HOME
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR
shift
exec "$@")", {home_});
    const auto [capture, editor] = captureInto(latin1Home + "/Pictures/Brindlecast");
    ASSERT_FALSE(editor.isEmpty()) << "no editor on the capture";
    // On a busy machine the editor may still be laying out: the box is drawn once it takes input.
    ASSERT_TRUE(waitForDoneButton(editor, home_ + "/editor.png")) << "the editor did not paint";
    xdotool({"windowactivate", "--sync", editor});
    drawBox(editor); // something to store as the app ends
    expectCleanEnd(app);
    EXPECT_TRUE(S_ISREG(statusOf(latin1Home + "/Pictures/Brindlecast/" + capture + ".brindlecast.json").st_mode))
        << "no annotation file beside the capture: the preferences were not followed";
    const std::optional<QByteArray> stored = Support::SafeFile::read(preferences, 1 << 20, Support::SafeFile::Links::refuse);
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->contains("\"SidecarMode\": \"file\"")) << stored->toStdString();
    EXPECT_TRUE(stored->contains("settings.openEditorAfterCapture")) << "the app wrote its settings elsewhere";
    for (const QByteArray& name : TestSupport::rawNames(home()))
        EXPECT_FALSE(name.contains("\xef\xbf\xbd")) << "a folder named with U+FFFD: " << name.toStdString();
    std::filesystem::remove_all(latin1Home.toStdString()); // Qt cannot name it to clean up
}
