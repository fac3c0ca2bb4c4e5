// The real app with files grown huge by a hole (no disk, but gigabytes to a reader that reads them
// whole): it starts, tells the user, and reopens captures at the cost of their images alone.
#include "AppDriver.h"

#include <QDateTime>

using namespace EndToEnd;

namespace {

// The most memory the process has held at once, in bytes; 0 when it cannot be read.
qint64 peakResidentBytes(qint64 pid) {
    QFile status(QString("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

constexpr qint64 GiB = qint64(1) << 30;

class BoundedReadsEndToEnd : public AppDriverTest {};

} // namespace

// A preferences file of 64 GiB ended the app with std::bad_alloc at every launch. It starts, the
// file is set aside whole, and the next capture tells the user before it is written.
TEST_F(BoundedReadsEndToEnd, AHugePreferencesFileIsSetAsideAndTheNextCaptureTellsTheUser) {
    const QString preferences = home_ + "/config/app.brindlecast/preferences.json";
    TestSupport::writeFile(preferences, "{}");
    QFile file(preferences);
    ASSERT_TRUE(file.resize(64 * GiB));

    QProcess* app = startApp();
    ASSERT_EQ(app->state(), QProcess::Running) << "the app did not start";
    QStringList aside;
    ASSERT_TRUE(waitUntil([&] {
        aside = QDir(home_ + "/config/app.brindlecast").entryList({"preferences.json.corrupt-*"}, QDir::Files);
        return !aside.isEmpty();
    }, 20000)) << "the preferences file was not set aside";
    EXPECT_EQ(QFileInfo(home_ + "/config/app.brindlecast/" + aside.front()).size(), 64 * GiB);

    xdotool({"key", "super+shift+9"});
    const QString alert = waitForWindow("^Brindlecast$");
    ASSERT_FALSE(alert.isEmpty()) << "no \"Preferences moved aside\" alert before the capture";
    xdotool({"windowactivate", "--sync", alert});
    xdotool({"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return workingCopies().size() == 1; }, 60000)) << "no working copy";
    EXPECT_EQ(app->state(), QProcess::Running);
}

// A working copy followed by a gigabyte hole after its end chunk (8 KB on disk) was read whole to
// look for annotations (a peak of 1.3 GB), or not listed at all when the file passed a gigabyte.
// Both are listed, reopen from the recents list, and the app's peak memory stays where the
// capture before them left it.
TEST_F(BoundedReadsEndToEnd, ACaptureWithAGigabyteAfterItsEndReopensWithoutTheMemory) {
    // One goes on for a gigabyte after its image, the other is a gigabyte in all (the largest image
    // file read); both older than the capture to come, so the second and third rows of the list.
    QDir().mkpath(library_);
    const QStringList names{"Screenshot old.png", "Screenshot older.png"};
    QImage picture(800, 600, QImage::Format_RGB32);
    for (int i = 0; i < 2; ++i) {
        const QString path = library_ + "/" + names[i];
        picture.fill(QColor::fromHsv(140 * i, 200, 200));
        ASSERT_TRUE(picture.save(path));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.resize(i == 0 ? file.size() + GiB : GiB));
        file.setFileTime(QDateTime::currentDateTime().addSecs(-3600 * (i + 1)), QFileDevice::FileModificationTime);
    }

    const auto [capture, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no working copy or no editor window on a first capture";
    QProcess* app = processes_.back().get();
    ASSERT_TRUE(waitForDoneButton(editor, home_ + "/editor.png")) << "the editor did not paint";
    const qint64 before = peakResidentBytes(app->processId());

    for (int row = 1; row <= 2; ++row) {
        clickRecentRow(editor, row);
        EXPECT_FALSE(waitForWindow(exactTitle(names[row - 1])).isEmpty()) << names[row - 1].toStdString() << " did not reopen";
    }
    const qint64 after = peakResidentBytes(app->processId());
    std::printf("peak resident memory: %.0f MB before the reopens, %.0f MB after them\n", before / 1e6, after / 1e6);
    EXPECT_LT(after - before, GiB / 4) << "the reopen read the hole";
}
