// The real app flattens annotations drawn through personal data and keeps that data hidden: a box,
// an ellipse, an arrow and a freehand stroke cross the glyphs of an e-mail address, an SSN, a
// phone number, a card number, an IBAN and an IPv4 address. The editor hides all six; after More >
// Flatten Image the capture is reopened and searched again, where the strokes keep the search from
// reading them, and the next Copy and Export to Folder must hide them all the same. On a library
// whose disk is read-only or full, Flatten Image and Delete Screenshot tell the user why.
#include "AppDriver.h"
#include "SidecarKit/SidecarStore.h"

#include <QTest>

#include <cstdio>
#include <map>

using namespace EndToEnd;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;

namespace {

struct Item {
    const char* kind;
    const char* text;
};

constexpr Item kItems[] = {
    {"e-mail", "ada.lovelace@example.com"}, {"SSN", "123-45-6789"},         {"phone", "555-123-4567"},
    {"card", "4111 1111 1111 1111"},        {"IBAN", "DE89370400440532013000"}, {"IPv4", "192.168.10.24"},
};
constexpr int kLineHeight = 60;

// One annotation through the item's glyphs, a different kind for each item in turn.
Annotation strokeThrough(const QRect& ink, int index) {
    const Annotation::Style red("#FF3B30", 4, 1.0, false, std::nullopt, false);
    const double left = ink.left(), right = ink.right() + 1, top = ink.top(), bottom = ink.bottom() + 1;
    const double middle = (top + bottom) / 2;
    switch (index % 4) {
    case 0: // a box whose top edge runs through the middle of the glyphs
        return Annotation(QUuid::createUuid(), index, Annotation::Box{Rect(left - 8, middle, right - left + 16, bottom - top + 10), red, std::nullopt, 0});
    case 1: { // an ellipse around the item whose outline cuts its first and last glyphs
        const double inset = (right - left) * 0.08;
        return Annotation(QUuid::createUuid(), index, Annotation::Ellipse{Rect(left + inset, top - 3, right - left - 2 * inset, bottom - top + 6), red, std::nullopt, 0});
    }
    case 2: // an arrow across the item
        return Annotation(QUuid::createUuid(), index, Annotation::Arrow{Point(left - 10, bottom + 6), Point(right + 10, top - 6), red, std::nullopt});
    default: { // a freehand zigzag over it
        std::vector<Point> points;
        for (int step = 0; step <= 8; ++step) points.push_back(Point(left + (right - left) * step / 8, step % 2 ? top : bottom));
        return Annotation(QUuid::createUuid(), index, Annotation::Freeform{points, red, false});
    }
    }
}

// The share of the item's ink that shows exactly as it was: near 1 in clear, low when hidden.
double inkInClear(const QImage& image, const QImage& original, const QRect& ink) {
    int inkPixels = 0, unchanged = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x) {
            if (qGray(original.pixel(x, y)) >= 128) continue;
            ++inkPixels;
            unchanged += (image.pixel(x, y) & 0xffffff) == (original.pixel(x, y) & 0xffffff);
        }
    return inkPixels ? double(unchanged) / inkPixels : 1.0;
}

class FlattenEndToEnd : public AppDriverTest {
protected:
    // The items in a window of ImageMagick's, one a line, black on white; returns the screen, as
    // a display capture holds it, and each item's ink on it. Empty when the window did not show.
    std::pair<QImage, std::vector<QRect>> showItems() {
        const QString picture = home_ + "/items.png";
        QStringList arguments{"-size", "760x400", "xc:white", "-fill", "black", "-font",
                              "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "-pointsize", "26"};
        for (int i = 0; i < int(std::size(kItems)); ++i)
            arguments << "-annotate" << QString("+30+%1").arg(50 + i * kLineHeight) << kItems[i].text;
        EXPECT_TRUE(run("convert", arguments << picture));
        start("display", {"-geometry", "+120+140", "-title", "Brindlecast test items", picture});
        const QString window = waitForWindow(exactTitle("Brindlecast test items"));
        const QImage pixels = QImage(picture).convertToFormat(QImage::Format_RGB32);
        if (window.isEmpty() || !waitUntil([&] { return shows(window.toUInt(), pixels); }, 20000)) return {};
        const QPoint origin = originOf(window.toUInt());
        std::vector<QRect> inks;
        for (int i = 0; i < int(std::size(kItems)); ++i) {
            QRect ink;
            for (int y = 50 + i * kLineHeight - 40; y < 50 + i * kLineHeight + 15; ++y)
                for (int x = 0; x < pixels.width(); ++x)
                    if (qGray(pixels.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
            inks.push_back(ink.translated(origin));
        }
        return {rootImage(home_), inks};
    }

    void clickAt(QPoint at) {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
        xdotool({"click", "1"});
    }
};

} // namespace

TEST_F(FlattenEndToEnd, WhatTheEditorHidBeforeAFlattenStaysHiddenInEveryCopyAndExportAfterIt) {
    REQUIRE_PROGRAM("xclip");
    writePreferences(home_, {{"settings.showFloatingThumbnail", false}, {"SidecarMode", "file"}});
    const auto [screen, inks] = showItems();
    ASSERT_FALSE(inks.empty()) << "the items did not show";

    // The capture to flatten, then a second one, so that the first comes back from the recents
    // list with the annotations stored beside it.
    const auto [capture, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no editor window on a first capture";
    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 2; }, 60000)) << "no second capture";
    ASSERT_TRUE(waitUntil([&] { return shownWindows("^Screenshot").size() == 1 && shownWindows(exactTitle(QFileInfo(capture).fileName())).isEmpty(); }, 30000));
    const QImage captured = QImage(capture).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(captured.size(), screen.size());
    for (std::size_t i = 0; i < inks.size(); ++i)
        ASSERT_GT(inkInClear(captured, screen, inks[i]), 0.99) << kItems[i].kind << ": the working copy keeps suggested findings in clear";

    std::vector<Annotation> strokes;
    for (std::size_t i = 0; i < inks.size(); ++i) strokes.push_back(strokeThrough(inks[i], int(i)));
    const QString name = QFileInfo(capture).fileName();
    SidecarKit::SidecarStore::save(SidecarKit::SidecarDocument(1, {name, captured.width(), captured.height(), 1.0}, {"display", false}, strokes), capture);
    xdotool({"windowactivate", "--sync", editor});
    clickRecentRow(editor, 1);
    ASSERT_TRUE(waitUntil([&] { return shownWindows(exactTitle(name)) == QStringList{editor}; }, 30000)) << "the capture did not come back";

    const std::optional<int> doneLeft = waitForDoneButton(editor, home_ + "/editor.png");
    ASSERT_TRUE(doneLeft);
    const QPoint corner = originOf(editor.toUInt());
    const QPoint copy = corner + QPoint(*doneLeft - 3 - 52, kToolbarRow);
    const QPoint more = corner + QPoint(*doneLeft - 3 - 104 - 3 - 1 - 3 - 36 - 3 - 18, kToolbarRow);
    const QPoint menuTop = more + QPoint(0, 17 + 6 + 8);
    const auto copied = [&] {
        clearClipboard();
        clickAt(copy);
        QImage image;
        EXPECT_TRUE(waitUntil([&] { return !(image = clipboardPNG()).isNull(); }, 60000)) << "no PNG on the clipboard";
        return image;
    };

    // Before the flatten the editor hides every item.
    const QImage before = copied();
    ASSERT_EQ(before.size(), screen.size());
    for (std::size_t i = 0; i < inks.size(); ++i)
        ASSERT_LT(inkInClear(before, screen, inks[i]), 0.5) << kItems[i].kind << " is not found before the flatten; see " << keep(capture).toStdString();

    const QByteArray unflattened = TestSupport::readFile(capture);
    clickAt(more);
    QTest::qWait(500);
    clickAt(menuTop + QPoint(0, 2 * 30 + 14));
    ASSERT_TRUE(waitUntil([&] { return TestSupport::readFile(capture) != unflattened && !QFile::exists(capture + ".brindlecast.json"); }, 60000))
        << "Flatten Image did not rewrite the capture";
    ASSERT_TRUE(waitUntil([&] { return shownWindows(exactTitle(name)) == QStringList{editor}; }, 30000));
    const QImage flattened = QImage(capture).convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(differingPixels(flattened, captured), 0) << "the annotations are not in the pixels";

    const QImage after = copied();
    const QStringList listed = workingCopies();
    clickAt(more);
    QTest::qWait(500);
    clickAt(menuTop + QPoint(0, 30 + 14));
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 3; }, 60000)) << "Export to Folder added no file";
    QString exportedPath;
    for (const QString& file : workingCopies())
        if (!listed.contains(file)) exportedPath = file;
    const QImage exported = QImage(exportedPath).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(after.size(), screen.size());
    ASSERT_EQ(exported.size(), screen.size());
    for (std::size_t i = 0; i < inks.size(); ++i) {
        SCOPED_TRACE(kItems[i].kind);
        EXPECT_LT(inkInClear(flattened, screen, inks[i]), 0.5) << "in clear in the flattened capture; see " << keep(capture).toStdString();
        EXPECT_LT(inkInClear(after, screen, inks[i]), 0.5) << "in clear on the clipboard after the flatten";
        EXPECT_LT(inkInClear(exported, screen, inks[i]), 0.5) << "in clear in the export after the flatten";
    }
}

namespace {

// The library on a disk of the app's own that fails while a capture is open in the editor with a
// box drawn on it: read-only (a bind mount of the library remounted so) or full (a tmpfs filled
// to its last page).
class LibraryDiskEndToEnd : public FlattenEndToEnd {
protected:
    enum class Failure { readOnly, full };

    void SetUp() override {
        FlattenEndToEnd::SetUp();
        if (IsSkipped()) return;
        REQUIRE_PROGRAM("tesseract");
        if (!canGiveManagedPolicy() || !TestSupport::hasProgram("nsenter"))
            GTEST_SKIP() << "a disk of the app's own needs root, unshare and nsenter";
    }

    // Starts the app with the library on its own disk, captures the display into the editor and
    // draws a box; the editor's window, empty when it did not show.
    QString openCaptureOnOwnDisk(Failure failure) {
        writePreferences(home_, {{"settings.showFloatingThumbnail", false}, {"SidecarMode", "file"}});
        shownLibrary_ = library_;
        QDir().mkpath(shownLibrary_);
        const QString mount = failure == Failure::readOnly ? R"(mount --bind "$1" "$1")"
                                                            : R"(mount -t tmpfs -o size=4m,mode=0700 tmpfs "$1")";
        app_ = startAppInOwnMounts(mount, {shownLibrary_});
        // The library as the app sees it, through its own root.
        library_ = QString("/proc/%1/root%2").arg(app_->processId()).arg(shownLibrary_);
        xdotool({"key", "super+shift+9"});
        if (!waitUntil([&] { return workingCopies().size() == 1; }, 60000)) return {};
        const QString editor = waitForWindow(exactTitle(QFileInfo(workingCopies().first()).fileName()));
        if (editor.isEmpty()) return {};
        xdotool({"windowactivate", "--sync", editor});
        drawBox(editor);
        return editor;
    }

    void failTheDisk(Failure failure) {
        if (failure == Failure::readOnly) {
            ASSERT_TRUE(run("nsenter", {"-t", QString::number(app_->processId()), "-m", "mount", "-o",
                                        "remount,ro,bind", shownLibrary_}));
            return;
        }
        QFile filler(library_ + "/.filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray page(4096, '\0');
        while (filler.write(page) == page.size() && filler.flush()) {
        }
    }

    // Every file in the library with its bytes, the filler left out.
    std::map<QString, QByteArray> libraryFiles() const {
        std::map<QString, QByteArray> files;
        for (const QString& name : QDir(library_).entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (name != ".filler") files[name] = TestSupport::readFile(library_ + "/" + name);
        return files;
    }

    // Flatten Image, then Delete Screenshot with Shift held (no question first): each is refused
    // with an alert that tells why (`reason`, after the library's path) and what it means, and
    // the library's files stay as they were. The log keeps the trash's own folder.
    void expectFlattenAndDeleteRefused(const QString& editor, const QString& reason, const QString& pictures) {
        const std::optional<int> doneLeft = waitForDoneButton(editor, home_ + "/editor.png");
        ASSERT_TRUE(doneLeft);
        const QPoint more = originOf(editor.toUInt()) + QPoint(*doneLeft - 3 - 104 - 3 - 1 - 3 - 36 - 3 - 18, kToolbarRow);
        const std::map<QString, QByteArray> before = libraryFiles();
        const QString name = QFileInfo(workingCopies().value(0)).fileName();

        chooseFromMoreMenu(more, 2);
        const QString flatten = readAndAnswerAlert(pictures + "-flatten.png", "Flattenfailed");
        EXPECT_TRUE(flatten.contains("Flattenfailed")) << flatten.toStdString();
        EXPECT_TRUE(flatten.contains("Pictures/Brindlecast" + reason + "Thescreenshotwasnotchanged."))
            << flatten.toStdString();
        EXPECT_EQ(libraryFiles(), before) << "the flatten changed the library";

        xdotool({"windowactivate", "--sync", editor});
        chooseFromMoreMenu(more, 3, true);
        const QString deleted = readAndAnswerAlert(pictures + "-delete.png", "Deletefailed");
        EXPECT_TRUE(deleted.contains("Deletefailed")) << deleted.toStdString();
        EXPECT_TRUE(deleted.contains("Pictures/Brindlecast" + reason + QString(name).remove(' ') +
                                     "wasnotmovedtotheTrash."))
            << deleted.toStdString();
        EXPECT_FALSE(deleted.contains(".Trash")) << deleted.toStdString();
        EXPECT_EQ(libraryFiles(), before) << "the delete changed the library";
        EXPECT_EQ(shownWindows(exactTitle(name)), QStringList{editor}) << "the capture left the editor";
        if (journalIsRunning()) {
            const QStringList log = appLog(app_->processId());
            EXPECT_EQ(log.filter("delete failed: ").filter("/.Trash-").size(), 1) << log.join('\n').toStdString();
        }
    }

    QProcess* app_ = nullptr;
    QString shownLibrary_; // the library's path as the app names it
};

} // namespace

// Flatten Image on a read-only library did nothing the user could see (the box stayed editable,
// the findings in clear, only the log told why), and Delete Screenshot named an inner trash
// folder that "does not exist". Both tell the disk is read-only.
TEST_F(LibraryDiskEndToEnd, FlattenAndDeleteOnAReadOnlyLibrarySaySo) {
    const QString editor = openCaptureOnOwnDisk(Failure::readOnly);
    ASSERT_FALSE(editor.isEmpty()) << "no editor on the capture";
    failTheDisk(Failure::readOnly);
    expectFlattenAndDeleteRefused(editor, "isread-only.", "read-only");
}

TEST_F(LibraryDiskEndToEnd, FlattenAndDeleteOnAFullLibrarySaySo) {
    const QString editor = openCaptureOnOwnDisk(Failure::full);
    ASSERT_FALSE(editor.isEmpty()) << "no editor on the capture";
    failTheDisk(Failure::full);
    expectFlattenAndDeleteRefused(editor, "isfull.", "full");
}
