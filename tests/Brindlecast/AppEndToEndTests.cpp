// The real app binary on the test session's display (Xvfb with openbox), driven like a user with
// xdotool: hot keys, drags, clicks and Escape. Each test gets its own home, so its own library
// folder and its own single-instance lock. Skips without a display, a window manager or the tools.
#include "../BrindlecastApp/Settings/PrivacyTestWindow.h"
#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Editor/EditorSidebarPane.h"
#include "BrindlecastApp/Editor/RecentRow.h"
#include "BrindlecastApp/Settings/ApplicationPicker.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"
#include "AppDriver.h"
#include "Support/Fonts.h"

#include <nlohmann/json.hpp>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QApplication>
#include <QBuffer>
#include <QFontMetricsF>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <sys/stat.h>
#include <memory>

namespace {

using namespace EndToEnd;

// Whether the process has the recognition engines mapped (their module or the recognition library).
bool mapsRecognitionEngines(qint64 pid) {
    QFile maps(QString("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = maps.readAll();
    return text.contains("brindlecast-detection-engines") || text.contains("libtesseract");
}

class AppEndToEnd : public EndToEnd::AppDriverTest {
protected:
    // A window of ImageMagick's showing a picture in which no two pixels are alike, so a capture
    // one pixel off shows. Returns its X window.
    xcb_window_t showPicture(int x, int y) {
        const QString picture = home_ + "/picture.png";
        EXPECT_TRUE(run("convert", {"-size", "400x300", "xc:", "-channel", "R", "-fx", "i/w", "-channel", "G", "-fx",
                                    "j/h", "-channel", "B", "-fx", "(i+j)%7/7", "+channel", picture}));
        start("display", {"-geometry", QString("+%1+%2").arg(x).arg(y), "-title", "Brindlecast test picture", picture});
        const QString id = waitForWindow("Brindlecast test picture");
        EXPECT_FALSE(id.isEmpty()) << "the picture did not show";
        const QImage pixels = QImage(picture).convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(waitUntil([&] { return shows(id.toUInt(), pixels); }, 20000)) << "the picture was not painted";
        return id.toUInt();
    }

    // A value in the app's preference file; null while the file or the key is missing.
    nlohmann::json storedPreference(const char* key) const {
        QFile file(home_ + "/config/app.brindlecast/preferences.json");
        if (!file.open(QIODevice::ReadOnly)) return nlohmann::json();
        const nlohmann::json all = nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
        return all.is_object() && all.contains(key) ? all[key] : nlohmann::json();
    }

};

} // namespace

// The working copy holds exactly the pixels of the dragged area: the overlay had left the screen
// before the capture.
TEST_F(AppEndToEnd, ADragSavesAWorkingCopyOfExactlyThatArea) {
    showPicture(300, 200);
    startApp();
    const QImage screen = rootImage(home_);
    ASSERT_FALSE(screen.isNull());
    xdotool({"mousemove", "340", "260"});
    pressHotKey("7");
    xdotool({"mousedown", "1"});
    xdotool({"mousemove", "450", "330"});
    xdotool({"mousemove", "611", "437"});
    xdotool({"mouseup", "1"});
    const QImage copy = waitForWorkingCopy();
    ASSERT_FALSE(copy.isNull()) << "no working copy in " << library_.toStdString();
    EXPECT_EQ(copy.size(), QSize(271, 177));
    EXPECT_EQ(differingPixels(copy, screen.copy(340, 260, 271, 177)), 0);
    EXPECT_TRUE(waitUntil([&] { return !overlayShown(); }, 10000)) << "the overlay closes after the capture";
}

// The pointer is over the app's own gallery window (and over its overlay) when the click comes:
// the window beneath them is taken, whole, with its own pixels where the gallery covers it.
TEST_F(AppEndToEnd, AClickInWindowPickModeCapturesTheWindowUnderThePointer) {
    startApp({"--preview-gallery"});
    const QString gallery = waitForWindow("^Design Gallery$");
    ASSERT_FALSE(gallery.isEmpty()) << "no gallery window";
    const xcb_window_t picture = showPicture(120, 150);
    const QRect frame = frameOf(picture);
    const QRect galleryFrame = frameOf(gallery.toUInt());
    ASSERT_TRUE(frame.isValid() && galleryFrame.isValid());
    xdotool({"windowactivate", "--sync", gallery});
    xdotool({"windowmove", "--sync", gallery, QString::number(frame.center().x()), "0"});
    const QPoint pointer(frame.center().x() + 40, frame.center().y());
    ASSERT_TRUE(waitUntil([&] { return frameOf(gallery.toUInt()).contains(pointer); }, 20000))
        << "the gallery is under the pointer";

    xdotool({"mousemove", QString::number(pointer.x()), QString::number(pointer.y())});
    pressHotKey("8");
    xdotool({"click", "1"});
    const QImage copy = waitForWorkingCopy();
    ASSERT_FALSE(copy.isNull()) << "no working copy in " << library_.toStdString();
    ASSERT_EQ(copy.size(), frame.size());
    // The picture's own pixels, inside the frame the window manager drew around it.
    Reply<xcb_translate_coordinates_reply_t> client(
        xcb_translate_coordinates_reply(x_, xcb_translate_coordinates(x_, picture, root_, 0, 0), nullptr), &std::free);
    ASSERT_TRUE(client);
    const QImage source = QImage(home_ + "/picture.png").convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(differingPixels(copy.copy(client->dst_x - frame.x(), client->dst_y - frame.y(), 400, 300), source), 0);
}

TEST_F(AppEndToEnd, SuperShift9CapturesTheWholeDisplay) {
    showPicture(200, 150);
    QProcess* app = startApp();
    // An idle app has not loaded the recognition engines; its first capture does.
    EXPECT_FALSE(mapsRecognitionEngines(app->processId()));
    const QImage screen = rootImage(home_);
    xdotool({"key", "super+shift+9"});
    const QImage copy = waitForWorkingCopy();
    // For the editor, which looks for personal data once the working copy is written.
    EXPECT_TRUE(waitUntil([&] { return mapsRecognitionEngines(app->processId()); }, 20000));
    ASSERT_FALSE(copy.isNull()) << "no working copy in " << library_.toStdString();
    EXPECT_EQ(copy.size(), screen.size());
    EXPECT_EQ(differingPixels(copy, screen), 0);
    EXPECT_FALSE(overlayShown());
}

TEST_F(AppEndToEnd, EscapeCancelsTheSelectionAndNothingIsWritten) {
    showPicture(300, 200);
    startApp();
    xdotool({"mousemove", "500", "400"});
    pressHotKey("7");
    xdotool({"key", "Escape"});
    EXPECT_TRUE(waitUntil([&] { return !overlayShown(); }, 10000));
    // A write that should not come cannot be waited for; a capture of the display taken next can.
    // It goes the same road, so by the time its files are in, the cancelled one's would be too.
    xdotool({"key", "super+shift+9"});
    const QImage copy = waitForWorkingCopy();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
    EXPECT_EQ(copy.size(), QSize(screen->width_in_pixels, screen->height_in_pixels)) << "the display's copy";
    ASSERT_EQ(workingCopies().size(), 1) << "and no other";
    const QString name = QFileInfo(workingCopies().first()).fileName();
    for (const QString& file : QDir(library_).entryList(QDir::Files))
        EXPECT_TRUE(file.startsWith(name.chopped(4))) << file.toStdString() << " is not of " << name.toStdString();
}

// A click on a blocked application's window is refused with an alert, which hands the focus back
// to the editor when it goes; the selection that comes back for another try still takes the
// keys: the display hot key captures while it is up, and Escape ends it.
TEST_F(AppEndToEnd, TheSelectionBackAfterARefusedWindowKeepsTheKeys) {
    const xcb_window_t picture = showPicture(300, 200);
    const QString windowClass =
        run("xprop", {"-id", QString::number(picture), "WM_CLASS"}).value_or(QString()).section('"', -2, -2);
    ASSERT_FALSE(windowClass.isEmpty()) << "the picture window has no WM_CLASS";
    writePreferences(home_, {{"BlockedBundleIDs", {windowClass.toStdString()}}});
    const auto [first, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no editor window on a first capture";

    clickRefusedWindow(picture);
    if (HasFatalFailure()) return;

    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 2; }, 60000))
        << "the display hot key did nothing while the selection was up";
    const QString during = workingCopies().last();
    EXPECT_TRUE(overlayShown()) << "the display capture ended the selection";

    xdotool({"key", "Escape"});
    EXPECT_TRUE(waitUntil([&] { return !overlayShown(); }, 10000))
        << "Escape did not end the selection (see " << (rootImage(home_), keep(home_ + "/root.png")).toStdString() << ")";
    EXPECT_FALSE(keyboardHeld());
    // The refused capture wrote nothing: a display capture taken now goes the same road. Outside
    // the editor, it shows what the one taken during the selection showed: no dimming there.
    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 3; }, 60000));
    QString after;
    for (const QString& copy : workingCopies())
        if (copy != first && copy != during) after = copy;
    ASSERT_TRUE(waitUntil([&] { return !QImage(after).isNull(); }, 20000));
    const QImage duringCopy = QImage(during).convertToFormat(QImage::Format_RGB32);
    const QImage afterCopy = QImage(after).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(duringCopy.size(), afterCopy.size());
    const QRect editorFrame = frameOf(editor.toUInt());
    qint64 differing = 0;
    for (int y = 0; y < afterCopy.height(); ++y)
        for (int x = 0; x < afterCopy.width(); ++x)
            differing += !editorFrame.contains(x, y) && duringCopy.pixel(x, y) != afterCopy.pixel(x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(AppEndToEnd, ASecondLaunchEndsAtOnceAndTheRunningCopyComesForward) {
    // A developer preview is a running copy too; its gallery window is what comes forward.
    QProcess* first = start(BRINDLECAST_BINARY, {"--preview-gallery"});
    const QString gallery = waitForWindow("^Design Gallery$");
    ASSERT_FALSE(gallery.isEmpty()) << "no gallery window";
    const xcb_window_t picture = showPicture(600, 300);
    xdotool({"windowactivate", "--sync", QString::number(picture)});
    ASSERT_EQ(run("xdotool", {"getactivewindow"}), QString::number(picture));

    QProcess* second = start(BRINDLECAST_BINARY, {});
    ASSERT_TRUE(second->waitForFinished(15000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_TRUE(waitUntil([&] { return run("xdotool", {"getactivewindow", "getwindowname"}) == "Design Gallery"; }, 10000));
}

// The picture window's application is chosen on the Privacy page, hosted by this process over the
// app's own preference file, through the picker as a user picks it; the running app, which
// resolves the policy afresh for every capture, paints over the window in its next display capture.
TEST_F(AppEndToEnd, AnApplicationBlockedOnThePrivacyPageIsPaintedOverInTheNextCapture) {
    const xcb_window_t picture = showPicture(200, 150);
    const QRect frame = frameOf(picture);
    ASSERT_TRUE(frame.isValid());
    // A desktop entry claims the picture window's class, so the window goes by the entry's ID.
    const QString windowClass = run("xprop", {"-id", QString::number(picture), "WM_CLASS"})
                                    .value_or(QString())
                                    .section('"', -2, -2);
    ASSERT_FALSE(windowClass.isEmpty()) << "the picture window has no WM_CLASS";
    TestSupport::writeFile(home_ + "/data/applications/org.example.PictureViewer.desktop",
                           "[Desktop Entry]\nType=Application\nName=Picture Viewer\nExec=display\nStartupWMClass="
                               + windowClass.toUtf8() + "\n");
    startApp();
    const QImage screen = rootImage(home_);
    ASSERT_FALSE(screen.isNull());

    // This process reads the same data folders as the app, and writes the app's preference file.
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home_ + "/data"));
    const QString managed = TestSupport::makeFolderReachableByAll("no-managed-policy");
    PrivacyTestWindow window(PolicyKit::PreferenceStore::live(PolicyKit::ManagedFolder{managed, ::geteuid(), managed},
                                                              home_ + "/config/app.brindlecast/preferences.json"),
                             BrindlecastApp::ThemeMode::light, BrindlecastApp::PrivacyTab::ApplicationChooser(
                                                                   &BrindlecastApp::ApplicationPicker::choose));
    bool offered = false;
    QTimer::singleShot(0, [&] {
        // Inside the picker's modal loop: choose "Picture Viewer" and press Block.
        (void)QTest::qWaitFor([] { return qobject_cast<BrindlecastApp::ApplicationPicker*>(QApplication::activeModalWidget()); },
                              20000);
        auto* picker = qobject_cast<BrindlecastApp::ApplicationPicker*>(QApplication::activeModalWidget());
        if (!picker) return;
        QTreeWidget* list = picker->list();
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(1) != "org.example.PictureViewer") continue;
            offered = list->topLevelItem(i)->text(0) == "Picture Viewer";
            list->topLevelItem(i)->setSelected(true);
        }
        QTest::mouseClick(picker->blockButton(), Qt::LeftButton);
    });
    QTest::mouseClick(window.page->addApplicationRow(), Qt::LeftButton);
    window.settle();
    qputenv("XDG_DATA_HOME", dataHome);
    EXPECT_TRUE(offered);
    ASSERT_EQ(window.model.userBlockedBundleIDs(), QStringList{"org.example.PictureViewer"});
    ASSERT_EQ(window.page->blockedAppsCard()->rows().size(), 2);

    xdotool({"key", "super+shift+9"});
    const QImage copy = waitForWorkingCopy();
    ASSERT_FALSE(copy.isNull()) << "no working copy in " << library_.toStdString();
    ASSERT_EQ(copy.size(), screen.size());
    if (const QString artefacts = qEnvironmentVariable("BRINDLECAST_ARTEFACTS"); !artefacts.isEmpty()) {
        QDir().mkpath(artefacts);
        copy.save(artefacts + "/end-to-end-blocked-application.png");
    }
    // Only the blocked window changed, and none of its pixels are left.
    const QRect around = frame.adjusted(-2, -2, 2, 2);
    qint64 changedElsewhere = 0;
    for (int y = 0; y < copy.height(); ++y)
        for (int x = 0; x < copy.width(); ++x)
            if (!around.contains(x, y)) changedElsewhere += copy.pixel(x, y) != screen.pixel(x, y);
    EXPECT_EQ(changedElsewhere, 0);
    Reply<xcb_translate_coordinates_reply_t> client(
        xcb_translate_coordinates_reply(x_, xcb_translate_coordinates(x_, picture, root_, 0, 0), nullptr), &std::free);
    ASSERT_TRUE(client);
    const QImage source = QImage(home_ + "/picture.png").convertToFormat(QImage::Format_RGB32);
    const qint64 kept = 400 * 300 - differingPixels(copy.copy(client->dst_x, client->dst_y, 400, 300), source);
    EXPECT_LT(kept, 400 * 300 / 100) << "pixels of the blocked window in the working copy";
}

// A launcher may add arguments of its own: the app starts all the same (and names them in its
// log), and still answers "--version" and "--help".
TEST_F(AppEndToEnd, ArgumentsItDoesNotKnowDoNotKeepItFromStarting) {
    const auto version = TestSupport::runProgram(BRINDLECAST_BINARY, {"--no-such-option", "--version"}, std::nullopt, 20000);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(version->standardOutput).startsWith("Brindlecast ")) << version->standardOutput.toStdString();
    const auto help = TestSupport::runProgram(BRINDLECAST_BINARY, {"capture.png", "--help"}, std::nullopt, 20000);
    ASSERT_TRUE(help);
    EXPECT_EQ(help->exitCode, 0);
    EXPECT_TRUE(QString::fromUtf8(help->standardOutput).startsWith("Usage: brindlecast"));

    QProcess* app = startApp({"-platform", "xcb", "--no-such-option", "capture.png", "--tool"});
    EXPECT_TRUE(hotKeyHeld());
    EXPECT_EQ(app->state(), QProcess::Running);
}

namespace {

// How many pixels of `image` are within a few levels of `colour` on every channel.
qint64 pixelsNear(const QImage& image, QColor colour) {
    qint64 count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            count += std::abs(qRed(p) - colour.red()) <= 3 && std::abs(qGreen(p) - colour.green()) <= 3 &&
                     std::abs(qBlue(p) - colour.blue()) <= 3;
        }
    return count;
}

bool carriesAnnotationChunk(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("tEXtbrindlecast");
}

} // namespace

// Each capture opens in the one editor window, minimised or not; the capture it replaces, and
// the one shown when the window closes, keep their annotations inside their PNG (the default
// sidecar mode).
TEST_F(AppEndToEnd, CapturesOpenInOneEditorWindowThatStoresEachOnce) {
    const QColor plateColour(0xC8, 0x2D, 0xB4);
    const QString plate = home_ + "/plate.png";
    ASSERT_TRUE(run("convert", {"-size", "300x300", "xc:" + plateColour.name(), plate}));
    start("display", {"-geometry", "+20+700", "-title", "Brindlecast test plate", plate});
    ASSERT_FALSE(waitForWindow("Brindlecast test plate").isEmpty());
    QTest::qWait(300);
    startApp();

    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 1; }, 60000)) << "no working copy";
    const QString first = workingCopies().first();
    const QString editor = waitForWindow(exactTitle(QFileInfo(first).fileName()));
    ASSERT_FALSE(editor.isEmpty()) << "no editor window titled " << QFileInfo(first).fileName().toStdString();
    EXPECT_EQ(shownWindows(exactTitle(QFileInfo(first).fileName())), QStringList{editor})
        << "one editor window";
    // The canvas shows the capture: the plate's colour, scaled down, fills a good part of it.
    const QString grab = home_ + "/editor.png";
    EXPECT_TRUE(waitUntil([&] {
        return run("import", {"-window", editor, grab}) && pixelsNear(QImage(grab), plateColour) > 8000;
    }, 20000)) << "the editor does not show the capture";

    // Minimised, the window still takes the next capture, and comes back with it.
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(x_, xcb_translate_coordinates(x_, editor.toUInt(), root_, 0, 0), nullptr), &std::free);
    ASSERT_TRUE(origin);
    const QPoint corner(origin->dst_x, origin->dst_y);
    // The window buttons sit in the sidebar's header, 31 points down and 31, 51 and 71 across.
    xdotool({"mousemove", QString::number(corner.x() + 51), QString::number(corner.y() + 31)});
    xdotool({"click", "1"});
    ASSERT_TRUE(waitUntil([&] { return shownWindows("^Screenshot").isEmpty(); }, 10000))
        << "the window did not minimise";

    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 2; }, 60000)) << "no second working copy";
    QString second;
    for (const QString& copy : workingCopies())
        if (copy != first) second = copy;
    EXPECT_TRUE(waitUntil([&] {
        return shownWindows(exactTitle(QFileInfo(second).fileName())) == QStringList{editor};
    }, 30000)) << "the second capture did not load into the same window";
    EXPECT_TRUE(waitUntil([&] { return carriesAnnotationChunk(first); }, 10000)) << "the first capture was not stored";
    EXPECT_FALSE(carriesAnnotationChunk(second));

    Reply<xcb_translate_coordinates_reply_t> restored(
        xcb_translate_coordinates_reply(x_, xcb_translate_coordinates(x_, editor.toUInt(), root_, 0, 0), nullptr), &std::free);
    ASSERT_TRUE(restored);
    EXPECT_EQ(QPoint(restored->dst_x, restored->dst_y), corner) << "the window kept its place";
    xdotool({"mousemove", QString::number(restored->dst_x + 31), QString::number(restored->dst_y + 31)});
    xdotool({"click", "1"});
    EXPECT_TRUE(waitUntil([&] { return carriesAnnotationChunk(second); }, 10000)) << "closing did not store the capture";
    EXPECT_TRUE(waitUntil([&] { return shownWindows("^Screenshot").isEmpty(); }, 10000));
}

TEST_F(AppEndToEnd, TheEditorPreviewStartsOnItsSampleWithTheNamedTool) {
    QProcess* app = start(BRINDLECAST_BINARY, {"--preview-editor", "--tool", "Crop"});
    EXPECT_FALSE(waitForWindow("^Screen Shot 2026-07-05 at 2.14.09 PM$").isEmpty());
    EXPECT_EQ(app->state(), QProcess::Running);
}

// A "--tool" with nothing after it leaves the default tool.
TEST_F(AppEndToEnd, TheEditorPreviewStartsWithATrailingToolFlag) {
    QProcess* app = start(BRINDLECAST_BINARY, {"--preview-editor", "--tool"});
    EXPECT_FALSE(waitForWindow("^Screen Shot 2026-07-05 at 2.14.09 PM$").isEmpty());
    EXPECT_EQ(app->state(), QProcess::Running);
}

// Settings opened through the app's own developer flag, used with the pointer: the watermark is
// switched on on the Export page and "Open editor after capture" unticked on the General page;
// both reach the app's preference file, and the next Super+Shift+9 writes a working copy with the
// mark in its bottom-right corner and nothing else changed (the app's own settings window is left
// out of its captures).
TEST_F(AppEndToEnd, TheWatermarkSwitchedOnInSettingsMarksTheNextCapture) {
    startApp({"--preview-settings", "export"});
    const QString settings = waitForWindow("^Settings$");
    ASSERT_FALSE(settings.isEmpty()) << "no settings window";
    const auto stored = [&](const char* key) { return storedPreference(key); };
    // Points in the 580 x 520 window: the tabs sit centred 72 down, 84 apart from 122; the
    // watermark switch and the first capture row lie where the pages put them.
    const auto click = [&](int x, int y) {
        xdotool({"mousemove", "--window", settings, QString::number(x), QString::number(y)});
        xdotool({"click", "1"});
    };
    xdotool({"windowactivate", "--sync", settings});
    QTest::qWait(300); // its first paint
    click(506, 394);
    ASSERT_TRUE(waitUntil([&] { return stored("Watermark").value("Enabled", false); }, 10000))
        << "the watermark switch did not reach the preference file";
    click(122, 72);
    QTest::qWait(300);
    click(200, 371);
    ASSERT_TRUE(waitUntil([&] { return stored("settings.openEditorAfterCapture") == nlohmann::json(false); }, 10000))
        << "\"Open editor after capture\" did not reach the preference file";

    xdotool({"mousemove", "0", "0"});
    QTest::qWait(500); // hover fills fade
    const QImage screen = rootImage(home_);
    ASSERT_FALSE(screen.isNull());
    xdotool({"key", "super+shift+9"});
    const QImage copy = waitForWorkingCopy();
    ASSERT_FALSE(copy.isNull()) << "no working copy in " << library_.toStdString();
    ASSERT_EQ(copy.size(), screen.size());
    if (const QString artefacts = qEnvironmentVariable("BRINDLECAST_ARTEFACTS"); !artefacts.isEmpty()) {
        QDir().mkpath(artefacts);
        copy.save(artefacts + "/end-to-end-watermark-from-settings.png");
    }
    const QRect corner(copy.width() - 600, copy.height() - 120, 600, 120);
    const QRect ownWindow = frameOf(settings.toUInt());
    ASSERT_TRUE(ownWindow.isValid());
    qint64 inCorner = 0, elsewhere = 0;
    for (int y = 0; y < copy.height(); ++y)
        for (int x = 0; x < copy.width(); ++x) {
            if (copy.pixel(x, y) == screen.pixel(x, y)) continue;
            if (corner.contains(x, y)) ++inCorner;
            else if (!ownWindow.contains(x, y)) ++elsewhere;
        }
    EXPECT_GT(inCorner, 50) << "no mark in the bottom-right corner";
    EXPECT_EQ(elsewhere, 0);
}

// After a display capture, the toolbar's Copy puts the image on the clipboard, Export to Folder
// adds a file, a Shift-click on Delete Screenshot moves the capture to the Trash without asking
// and the editor goes on with the newest capture left; Done stores it and closes the window.
TEST_F(AppEndToEnd, TheToolbarCopiesExportsDeletesAndFinishes) {
    if (!TestSupport::hasProgram("xclip")) GTEST_SKIP() << "xclip is not installed";
    const auto [capture, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no editor window on a first capture";
    const QSize captureSize = QImage(capture).size();
    const int row = kToolbarRow;
    const std::optional<int> doneLeft = waitForDoneButton(editor, home_ + "/editor.png");
    ASSERT_TRUE(doneLeft) << "no Done button in the editor's toolbar";
    const QPoint corner = originOf(editor.toUInt());
    // From Done leftwards, 3 points apart: Copy (104 wide), a 1-point gap, settings and More (36 each).
    const QPoint copy = corner + QPoint(*doneLeft - 3 - 52, row);
    const QPoint more = corner + QPoint(*doneLeft - 3 - 104 - 3 - 1 - 3 - 36 - 3 - 18, row);
    const auto clickAt = [&](QPoint at) {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
        xdotool({"click", "1"});
    };
    const auto copyButtonPixels = [&] {
        const QImage screen = rootImage(home_);
        return screen.copy(QRect(copy - QPoint(48, 14), QSize(96, 28)));
    };

    // Copy: a PNG of the working copy's size on the X clipboard, and "Copied!" until the reset.
    // The pointer rests over the canvas whenever the button is looked at, so it shows no hover.
    const QPoint away = corner + QPoint(700, 400);
    xdotool({"mousemove", QString::number(away.x()), QString::number(away.y())});
    QTest::qWait(200);
    const QImage copyBefore = copyButtonPixels();
    clickAt(copy);
    xdotool({"mousemove", QString::number(away.x()), QString::number(away.y())});
    QImage copied;
    EXPECT_TRUE(waitUntil([&] {
        copied = clipboardPNG();
        return !copied.isNull();
    }, 20000)) << "no PNG on the clipboard";
    EXPECT_EQ(copied.size(), captureSize);
    EXPECT_TRUE(waitUntil([&] { return differingPixels(copyButtonPixels(), copyBefore) > 20; }, 5000))
        << "the button does not read \"Copied!\"";
    EXPECT_TRUE(waitUntil([&] { return differingPixels(copyButtonPixels(), copyBefore) == 0; }, 10000))
        << "the button does not go back to \"Copy\"";

    // Export to Folder: the menu opens 6 points below More; its rows are 28 high, 2 apart, 8 in.
    const QPoint menuTop = more + QPoint(0, 17 + 6 + 8);
    clickAt(more);
    QTest::qWait(500);
    clickAt(menuTop + QPoint(0, 30 + 14));
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 2; }, 30000)) << "Export to Folder added no file";
    QString exported;
    for (const QString& file : workingCopies())
        if (file != capture) exported = file;

    // Shift-click on Delete Screenshot: no question, to the Trash.
    chooseFromMoreMenu(more, 3, true);
    const QString trashed = home_ + "/data/Trash/files/" + QFileInfo(capture).fileName();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(trashed); }, 20000)) << "the capture is not in the Trash";
    EXPECT_FALSE(QFile::exists(capture));
    EXPECT_TRUE(waitUntil([&] {
        return shownWindows(exactTitle(QFileInfo(exported).fileName())) == QStringList{editor};
    }, 20000)) << "the editor does not show the newest capture left";

    // Done stores the capture shown and closes the window.
    xdotool({"windowactivate", "--sync", editor});
    clickAt(corner + QPoint(*doneLeft + 20, row));
    EXPECT_TRUE(waitUntil([&] { return carriesAnnotationChunk(exported); }, 10000)) << "Done did not store the capture";
    EXPECT_TRUE(waitUntil([&] { return shownWindows("^Screenshot").isEmpty(); }, 10000))
        << "Done did not close the window";
}

// Nothing is mandatory by default: the working copy is written as captured and the editor opens
// on it while personal data is still looked for. Copy clicked as soon as the editor shows puts an
// image on the clipboard with the e-mail address on screen hidden all the same.
TEST_F(AppEndToEnd, ACopyAsTheEditorOpensHidesWhatIsFoundAfterIt) {
    if (!TestSupport::hasProgram("xclip")) GTEST_SKIP() << "xclip is not installed";
    const ShownText shown = showText("ada.lovelace@example.com", "Brindlecast test address", QPoint(200, 150));
    ASSERT_FALSE(shown.window.isEmpty()) << "the address did not show";
    const QImage& pixels = shown.pixels;
    const QRect address = QRect(originOf(shown.window.toUInt()) + QPoint(16, 40), QSize(465, 45));

    const auto [capture, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no editor window on a first capture";
    const std::optional<int> doneLeft = waitForDoneButton(editor, home_ + "/editor.png");
    ASSERT_TRUE(doneLeft) << "no Done button in the editor's toolbar";
    const QPoint copy = originOf(editor.toUInt()) + QPoint(*doneLeft - 3 - 52, kToolbarRow);
    xdotool({"mousemove", QString::number(copy.x()), QString::number(copy.y())});
    xdotool({"click", "1"});

    QImage copied;
    ASSERT_TRUE(waitUntil([&] {
        copied = clipboardPNG();
        return !copied.isNull();
    }, 60000)) << "no PNG on the clipboard";
    const QImage working = QImage(capture).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(copied.size(), working.size());
    EXPECT_EQ(differingPixels(working.copy(address), pixels.copy(QRect(QPoint(16, 40), address.size()))), 0)
        << "the working copy shows the address as it was";
    EXPECT_GT(differingPixels(copied.copy(address), working.copy(address)), address.width() * address.height() / 4)
        << "the address is not hidden on the clipboard; see " << keep(capture).toStdString();
    const QRect elsewhere(address.topLeft() + QPoint(0, 70), QSize(400, 8));
    EXPECT_EQ(differingPixels(copied.copy(elsewhere), working.copy(elsewhere)), 0);
}

namespace {

// Whether a picture shows more than one colour: a window that has painted its content.
bool painted(const QImage& picture) {
    if (picture.isNull()) return false;
    const QRgb first = picture.pixel(0, 0);
    for (int y = 0; y < picture.height(); y += 7)
        for (int x = 0; x < picture.width(); x += 7)
            if (picture.pixel(x, y) != first) return true;
    return false;
}

} // namespace

// The editor toolbar's settings button opens the app's settings window; there, with the pointer,
// "Open editor after capture" is unticked and the watermark switched on. The next Super+Shift+9
// writes a working copy with the mark in its bottom-right corner, and the editor keeps showing
// the first capture.
TEST_F(AppEndToEnd, SettingsOpenedFromTheEditorChangeTheNextCaptureWhileTheEditorKeepsItsOwn) {
    const auto [first, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no editor window on a first capture";
    const QString firstTitle = exactTitle(QFileInfo(first).fileName());
    const std::optional<int> doneLeft = waitForDoneButton(editor, home_ + "/editor.png");
    ASSERT_TRUE(doneLeft) << "no Done button in the editor's toolbar";
    // Settings sits left of Copy, past the 1-point gap: Done's left edge - 3 - 104 (Copy) - 3 - 1
    // - 3 - half of 36.
    const QPoint settingsButton = originOf(editor.toUInt()) + QPoint(*doneLeft - 3 - 104 - 3 - 1 - 3 - 18, kToolbarRow);
    xdotool({"mousemove", QString::number(settingsButton.x()), QString::number(settingsButton.y())});
    xdotool({"click", "1"});
    const QString settings = waitForWindow("^Settings$");
    ASSERT_FALSE(settings.isEmpty()) << "the settings button opened no settings window";
    xdotool({"windowactivate", "--sync", settings});

    const QString settingsGrab = home_ + "/settings.png";
    const auto settingsPicture = [&] {
        return run("import", {"-window", settings, settingsGrab}) ? QImage(settingsGrab) : QImage();
    };
    ASSERT_TRUE(waitUntil([&] { return painted(settingsPicture()); }, 20000)) << "the settings window did not paint";
    const auto click = [&](int x, int y) {
        xdotool({"mousemove", "--window", settings, QString::number(x), QString::number(y)});
        xdotool({"click", "1"});
    };
    // It opens on General: its "Open editor after capture" row, then the Export tab and its
    // watermark switch, at the points the settings test uses.
    click(200, 371);
    ASSERT_TRUE(waitUntil([&] { return storedPreference("settings.openEditorAfterCapture") == nlohmann::json(false); }, 10000))
        << "\"Open editor after capture\" did not reach the preference file (see " << keep(settingsGrab).toStdString() << ")";
    const QImage generalPage = settingsPicture();
    click(122 + 3 * 84, 72);
    ASSERT_TRUE(waitUntil([&] {
        const QImage shown = settingsPicture();
        return !shown.isNull() && shown.size() == generalPage.size() && differingPixels(shown, generalPage) > 1000;
    }, 10000)) << "the Export tab did not open";
    click(506, 394);
    ASSERT_TRUE(waitUntil([&] { return storedPreference("Watermark").value("Enabled", false); }, 10000))
        << "the watermark switch did not reach the preference file (see " << keep(settingsGrab).toStdString() << ")";

    xdotool({"mousemove", "0", "0"});
    const QImage screen = rootImage(home_);
    ASSERT_FALSE(screen.isNull());
    xdotool({"key", "super+shift+9"});
    QString second;
    ASSERT_TRUE(waitUntil([&] {
        for (const QString& copy : workingCopies())
            if (copy != first && !QImage(copy).isNull()) second = copy;
        return !second.isEmpty();
    }, 60000)) << "no second working copy";
    const QImage copy = QImage(second).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(copy.size(), screen.size());
    const QRect corner(copy.width() - 600, copy.height() - 120, 600, 120);
    const QRect ownWindows = frameOf(settings.toUInt()).united(frameOf(editor.toUInt()));
    qint64 marked = 0;
    for (int y = corner.top(); y <= corner.bottom(); ++y)
        for (int x = corner.left(); x <= corner.right(); ++x)
            marked += !ownWindows.contains(x, y) && copy.pixel(x, y) != screen.pixel(x, y);
    EXPECT_GT(marked, 50) << "no mark in the bottom-right corner";

    // The editor still shows the first capture under its name; the second opened no editor.
    EXPECT_EQ(shownWindows(firstTitle), QStringList{editor});
    EXPECT_TRUE(shownWindows(exactTitle(QFileInfo(second).fileName())).isEmpty());
}

// With the editor not opened after a capture, the thumbnail comes up in the bottom-right corner
// without taking the focus, and a click on it opens the editor on that working copy.
TEST_F(AppEndToEnd, TheThumbnailOfACaptureOpensItInTheEditorOnAClick) {
    writePreferences(home_, {{"settings.openEditorAfterCapture", false}});
    const xcb_window_t picture = showPicture(40, 40);
    startApp();
    xdotool({"windowactivate", "--sync", QString::number(picture)});
    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 1; }, 60000)) << "no working copy";
    const QString name = QFileInfo(workingCopies().first()).fileName();
    const QString thumbnail = waitForWindow("^Brindlecast Thumbnail$");
    ASSERT_FALSE(thumbnail.isEmpty()) << "no thumbnail";
    EXPECT_TRUE(shownWindows(exactTitle(name)).isEmpty()) << "an editor opened";
    EXPECT_EQ(run("xdotool", {"getactivewindow"}), QString::number(picture)) << "the thumbnail took the focus";

    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(x_, xcb_translate_coordinates(x_, thumbnail.toUInt(), root_, 0, 0), nullptr),
        &std::free);
    ASSERT_TRUE(origin);
    EXPECT_GT(origin->dst_x, 1000) << "not in the right half";
    EXPECT_GT(origin->dst_y, 600) << "not in the bottom half";
    // Only the card takes clicks, and it slides in first: without a compositor the panel is cut to
    // the card wherever the slide has it, so the card is in place once the cut starts 14 points in.
    EXPECT_TRUE(waitUntil(
        [&] {
            Reply<xcb_shape_query_extents_reply_t> extents(
                xcb_shape_query_extents_reply(x_, xcb_shape_query_extents(x_, thumbnail.toUInt()), nullptr), &std::free);
            return extents && (!extents->bounding_shaped || extents->bounding_shape_extents_x == 14);
        },
        20000))
        << "the card did not come to rest";
    // Into the image, 14 points in from the panel's edge.
    xdotool({"mousemove", QString::number(origin->dst_x + 14 + 115), QString::number(origin->dst_y + 14 + 60)});
    xdotool({"click", "1"});
    EXPECT_FALSE(waitForWindow(exactTitle(name)).isEmpty()) << "the click did not open the editor on " << name.toStdString();
    EXPECT_TRUE(waitUntil([&] { return shownWindows("^Brindlecast Thumbnail$").isEmpty(); },
                          20000))
        << "the thumbnail stayed after the click";
}

// Switched off, no thumbnail comes; the editor shows the capture as before (the thumbnail would
// have shown before it).
TEST_F(AppEndToEnd, WithTheThumbnailSwitchedOffNoneAppears) {
    writePreferences(home_, {{"settings.showFloatingThumbnail", false}});
    startApp();
    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 1; }, 60000)) << "no working copy";
    ASSERT_FALSE(waitForWindow(exactTitle(QFileInfo(workingCopies().first()).fileName())).isEmpty()) << "no editor";
    EXPECT_TRUE(findWindows({"--name", "^Brindlecast Thumbnail$"}).isEmpty()) << "a thumbnail was made";
}

// The developer flag shows the drawn sample in the thumbnail's place.
TEST_F(AppEndToEnd, TheThumbnailPreviewShowsItsSample) {
    QProcess* app = start(BRINDLECAST_BINARY, {"--preview-thumbnail", "--dark"});
    EXPECT_FALSE(waitForWindow("^Brindlecast Thumbnail$").isEmpty());
    EXPECT_EQ(app->state(), QProcess::Running);
}

namespace {

// A PNG's signature and header of a `side`-pixel square, then a hole up to a terabyte: a file
// of that size that takes 4 KB on disk and has no end chunk.
void writeSparsePng(const QString& path, int side) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(side, side, QImage::Format_RGB32).save(&buffer, "PNG");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(png.left(33));
    ASSERT_TRUE(file.resize(qint64(1) << 40));
}

// Puts a named pipe in the place of `path`. Nothing in the test opens it; the app must not either.
void replaceWithPipe(const QString& path) {
    QFile::remove(path);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0) << path.toStdString();
}

} // namespace

// The library folder holds a "PNG" of a terabyte, nearly all of it a hole: the app takes its hot
// keys, lists the folder and captures on the first Super+Shift+9 as if it were not there.
TEST_F(AppEndToEnd, ATerabyteNamedLikeAPictureInTheLibraryHoldsNothingUp) {
    QDir().mkpath(library_);
    writeSparsePng(library_ + "/holiday.png", 64);
    startApp();
    xdotool({"key", "super+shift+9"});
    QString capture;
    EXPECT_TRUE(waitUntil([&] {
        for (const QString& copy : workingCopies())
            if (QFileInfo(copy).fileName().startsWith("Screenshot ")) capture = copy;
        return !capture.isEmpty();
    }, 60000)) << "no working copy";
    if (!capture.isEmpty()) {
        EXPECT_FALSE(waitForWindow(exactTitle(QFileInfo(capture).fileName())).isEmpty()) << "no editor";
    }
}

// Three captures of the recents list lose their files to pipes: the companions of A and C and
// the working copy of B. Each click on one of them opens it without its companion or tells the
// user it cannot be opened, and a dozen of them later Super+Shift+9 still writes a capture: no
// reopen waits on a pipe, and reopens never take the workers captures need.
TEST_F(AppEndToEnd, PipesInPlaceOfCapturesNeitherHangReopeningNorStarveCaptures) {
    QDir().mkpath(library_);
    QImage image(400, 300, QImage::Format_RGB32);
    const QStringList names{"Screenshot A.png", "Screenshot B.png", "Screenshot C.png"};
    for (int i = 0; i < 3; ++i) {
        image.fill(QColor::fromHsv(120 * i, 200, 200));
        for (const QString& path : {library_ + "/" + names[i], library_ + "/" + names[i].chopped(4) + ".content.png"}) {
            ASSERT_TRUE(image.save(path));
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            // A newest, C oldest, all before the capture to come.
            file.setFileTime(QDateTime::currentDateTime().addSecs(-60 * (i + 1)), QFileDevice::FileModificationTime);
        }
    }
    const auto [capture, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no working copy or no editor window on a first capture";
    replaceWithPipe(library_ + "/Screenshot A.content.png");
    replaceWithPipe(library_ + "/Screenshot B.png");
    replaceWithPipe(library_ + "/Screenshot B.content.png");
    replaceWithPipe(library_ + "/Screenshot C.content.png");

    // The recents rows below the sidebar's header: the capture, then A, B and C.
    const auto clickRow = [&](int row) { clickRecentRow(editor, row); };

    int patience = 30000; // once an outcome failed to come, the others are not waited for as long
    const auto expectOutcome = [&](const std::function<bool()>& outcome, const std::string& what) {
        const bool came = waitUntil(outcome, patience);
        EXPECT_TRUE(came) << what;
        if (!came) patience = 1000;
    };
    const int sequence[] = {1, 2, 3, 2, 1, 2, 3, 2, 1, 2, 3, 2};
    for (const int row : sequence) {
        clickRow(row);
        if (row == 2) {
            QString alert;
            expectOutcome([&] {
                alert = shownWindows("^Brindlecast$").value(0);
                return !alert.isEmpty();
            }, "no \"Screenshot could not be opened\" alert for the piped working copy");
            if (alert.isEmpty()) continue;
            xdotool({"windowactivate", "--sync", alert});
            xdotool({"key", "Return"});
            EXPECT_TRUE(waitUntil([&] { return shownWindows("^Brindlecast$").isEmpty(); }));
        } else {
            const QString title = exactTitle(names[row - 1]);
            expectOutcome([&] { return !shownWindows(title).isEmpty(); },
                          names[row - 1].toStdString() + " did not open without its companion");
        }
    }

    xdotool({"key", "super+shift+9"});
    EXPECT_TRUE(waitUntil([&] {
        int captures = 0;
        for (const QString& copy : workingCopies()) captures += !names.contains(QFileInfo(copy).fileName());
        return captures == 2;
    }, 60000)) << "Super+Shift+9 wrote nothing after the reopens";
}

// A blocked application's desktop entry, in a data folder of XDG_DATA_DIRS, names a pipe as its
// icon: the settings window opens on the Privacy page with the application's row, and the app
// goes on answering its hot keys.
TEST_F(AppEndToEnd, ABlockedApplicationWhoseIconIsAPipeLeavesThePrivacyPageWorking) {
    const QString data = TestSupport::makeTemporaryFolder("system-data");
    replaceWithPipe(data + "/piped-icon.png");
    TestSupport::writeFile(data + "/applications/org.example.Piped.desktop",
                           "[Desktop Entry]\nType=Application\nName=Piped Icon\nExec=true\nIcon=" +
                               QFile::encodeName(data + "/piped-icon.png") + "\n");
    environment_.insert("XDG_DATA_DIRS", data);
    writePreferences(home_, {{"BlockedBundleIDs", {"org.example.Piped"}}});
    startApp({"--preview-settings", "privacy"});
    EXPECT_FALSE(waitForWindow("^Settings$").isEmpty()) << "the settings window did not open";
    xdotool({"key", "super+shift+9"});
    EXPECT_TRUE(waitUntil([&] { return workingCopies().size() == 1; }, 60000)) << "the hot key went unanswered";
}

// Two captures, the newer one in the editor. Control+Shift+Delete on the canvas moves it to the
// Trash, and Copy is clicked at once: the editor moves to the older capture, and nothing of the
// deleted one reaches the clipboard. Deleting the older one too, the last, closes the window; the
// app then ends cleanly.
TEST_F(AppEndToEnd, DeleteScreenshotMovesOnAndNothingOfTheDeletedCaptureLeaves) {
    REQUIRE_PROGRAM("xclip");
    writePreferences(home_, {{"settings.showFloatingThumbnail", false}});
    const auto [older, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no editor window on a first capture";
    QProcess* app = processes_.back().get();
    // The app leaves its own windows out of captures: the newer one differs by a window of text.
    ASSERT_FALSE(showText("the newer capture", "Brindlecast test newer", QPoint(900, 600)).window.isEmpty());
    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 2; }, 60000)) << "no second working copy";
    const QString newer = workingCopies().first() == older ? workingCopies().last() : workingCopies().first();
    ASSERT_TRUE(waitUntil([&] { return shownWindows(exactTitle(QFileInfo(newer).fileName())) == QStringList{editor}; }, 30000));
    const std::optional<int> doneLeft = waitForDoneButton(editor, home_ + "/editor.png");
    ASSERT_TRUE(doneLeft);
    const QImage olderPixels = QImage(older).convertToFormat(QImage::Format_RGB32);
    const QImage newerPixels = QImage(newer).convertToFormat(QImage::Format_RGB32);
    const QPoint corner = originOf(editor.toUInt());
    const QPoint canvas = corner + QPoint(700, 420), copy = corner + QPoint(*doneLeft - 3 - 52, kToolbarRow);
    const auto clickAt = [&](QPoint at) {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
        xdotool({"click", "1"});
    };
    const auto deleteShown = [&] {
        xdotool({"windowactivate", "--sync", editor});
        clickAt(canvas);
        xdotool({"key", "ctrl+shift+BackSpace"});
    };

    clearClipboard();
    deleteShown();
    clickAt(copy);
    const QString trashed = home_ + "/data/Trash/files/" + QFileInfo(newer).fileName();
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(trashed); }, 20000)) << "the capture is not in the Trash";
    EXPECT_TRUE(waitUntil([&] { return shownWindows(exactTitle(QFileInfo(older).fileName())) == QStringList{editor}; }, 20000))
        << "the editor does not show the newest capture left";
    // A copy that came after the editor moved on is the older capture's, never the deleted one's.
    QTest::qWait(2000);
    const QImage copied = clipboardPNG();
    ASSERT_GT(differingPixels(olderPixels, newerPixels), 0);
    if (!copied.isNull()) {
        EXPECT_LT(differingPixels(copied, olderPixels), differingPixels(copied, newerPixels))
            << "the deleted capture reached the clipboard";
    }

    deleteShown();
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(older); }, 20000)) << "the last capture is not in the Trash";
    EXPECT_TRUE(waitUntil([&] { return shownWindows("^Screenshot").isEmpty(); }, 20000))
        << "the editor stayed open on an empty library";
    expectCleanEnd(app);
}

// Text recognition without its data (TESSDATA_PREFIX names an empty folder): the capture, which
// must hide a mandatory codename, fails with the alert. Once the data is back the very next
// capture is searched and written with the codename hidden, not a minute later.
TEST_F(AppEndToEnd, OnceTheRecognitionDataIsBackTheNextCaptureWorks) {
    const QStringList installed = QDir("/usr/share/tesseract-ocr").entryList({"*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    QString englishData;
    for (const QString& version : installed)
        if (QFile::exists("/usr/share/tesseract-ocr/" + version + "/tessdata/eng.traineddata"))
            englishData = "/usr/share/tesseract-ocr/" + version + "/tessdata/eng.traineddata";
    if (englishData.isEmpty()) GTEST_SKIP() << "no English recognition data installed";
    const ShownText codename = showText("Codename BLUEHERON", "Brindlecast test codename", QPoint(200, 150));
    ASSERT_FALSE(codename.window.isEmpty()) << "the codename did not show";
    writePreferences(home_, {{"settings.openEditorAfterCapture", false},
                             {"settings.showFloatingThumbnail", false},
                             {"PIIPatterns", {{{"Name", "Codename"}, {"Regex", "BLUE[A-Z]+"}, {"Action", "blurMandatory"}}}}});
    const QString data = home_ + "/tessdata";
    QDir().mkpath(data);
    environment_.insert("TESSDATA_PREFIX", data + "/");
    startApp();
    QProcess* app = processes_.back().get();

    xdotool({"key", "super+shift+9"});
    answerAlert("a capture that could not be searched");
    if (HasFatalFailure()) return;
    EXPECT_TRUE(workingCopies().isEmpty()) << "written without its mandatory codename looked for";

    ASSERT_TRUE(QFile::copy(englishData, data + "/eng.traineddata"));
    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 1 || !shownWindows("^Brindlecast$").isEmpty(); }, 60000));
    ASSERT_EQ(workingCopies().size(), 1) << "the capture failed again with the data back";
    const QImage written = QImage(workingCopies().first()).convertToFormat(QImage::Format_RGB32);
    const QImage shownInk = codename.pixels.copy(codename.ink.translated(-originOf(codename.window.toUInt())));
    EXPECT_GT(differingPixels(written.copy(codename.ink), shownInk), codename.ink.width() * codename.ink.height() / 4)
        << "the codename is not hidden; see " << keep(workingCopies().first()).toStdString();
    expectCleanEnd(app);
}

// A capture whose pixels are damaged and one whose annotation file is, opened again from
// the recents list: the user hears that the file is damaged, never the image reader's or the JSON
// library's own words.
TEST_F(AppEndToEnd, DamagedFilesInTheLibraryAreToldInTheUsersWords) {
    REQUIRE_PROGRAM("tesseract");
    writePreferences(home_, {{"settings.showFloatingThumbnail", false}, {"SidecarMode", "file"}});
    QDir().mkpath(library_);
    QImage image(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x ^ y) % 256));
    const QString damaged = library_ + "/Screenshot A.png";
    const QString annotated = library_ + "/Screenshot B.png";
    ASSERT_TRUE(image.save(damaged) && image.save(annotated));
    // Its chunks whole (so the library lists it), their data garbled.
    QByteArray garbled = TestSupport::readFile(damaged);
    for (qsizetype i = garbled.size() / 2; i < garbled.size() / 2 + 64; ++i) garbled[i] = char(garbled[i] ^ 0x5a);
    TestSupport::writeFile(damaged, garbled);
    TestSupport::writeFile(annotated + ".brindlecast.json", R"({"version":1,"image":{"fileName":)");
    for (int i = 0; i < 2; ++i) { // A newer than B, both before the capture to come
        QFile file(i == 0 ? damaged : annotated);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60 * (i + 1)), QFileDevice::FileModificationTime);
    }
    const auto [capture, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no editor on a first capture";

    clickRecentRow(editor, 1);
    const QString unread = readAndAnswerAlert("damaged-capture.png", "Screenshotcouldnotbeopened");
    EXPECT_TRUE(unread.contains("ScreenshotA.pngcouldnotbereadasanimage:thefileisdamaged.")) << unread.toStdString();

    xdotool({"windowactivate", "--sync", editor});
    clickRecentRow(editor, 2);
    const QString unloaded = readAndAnswerAlert("damaged-annotations.png", "Annotationscouldnotbeloaded");
    EXPECT_TRUE(unloaded.contains("ScreenshotB.png:theannotationfileScreenshotB.png.brindlecast.jsonisdamaged."))
        << unloaded.toStdString();
    EXPECT_FALSE(unloaded.contains("json.exception")) << unloaded.toStdString();
    EXPECT_EQ(shownWindows(exactTitle("Screenshot B.png")), QStringList{editor}) << "the capture did not open";
    EXPECT_EQ(TestSupport::readFile(annotated + ".brindlecast.json"), R"({"version":1,"image":{"fileName":)");
}

// The library folder set below a regular file: the capture fails and names that file as the one
// in the way, not the folder that cannot be made below it.
TEST_F(AppEndToEnd, ALibraryBelowAFileNamesTheFileInTheWay) {
    REQUIRE_PROGRAM("tesseract");
    const QString notes = home_ + "/notes.txt";
    TestSupport::writeFile(notes, "notes");
    writePreferences(home_, {{"settings.showFloatingThumbnail", false},
                             {"settings.libraryLocation", (notes + "/Brindlecast").toStdString()}});
    startApp();
    xdotool({"key", "super+shift+9"});
    const QString told = readAndAnswerAlert("library-below-a-file.png", "Screenshotcouldnotbesaved");
    EXPECT_TRUE(told.contains("notes.txtisnotafolder.")) << told.toStdString();
    EXPECT_FALSE(told.contains("notes.txt/Brindlecast")) << told.toStdString();
    EXPECT_EQ(TestSupport::readFile(notes), "notes");
}
