// The real app binary on the test session's display (Xvfb with openbox), driven like a user with
// xdotool: hot keys, drags, clicks and Escape. Each test gets its own home, so its own library
// folder and its own single-instance lock. Skips without a display, a window manager or the tools.
#include "../BrindlecastApp/Settings/PrivacyTestWindow.h"
#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Settings/ApplicationPicker.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"
#include "support/TestEnvironment.h"

#include <nlohmann/json.hpp>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QApplication>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

bool waitUntil(const std::function<bool()>& condition, int ms) {
    QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired()) QTest::qWait(50);
    return condition();
}

// Whether the process has the recognition engines mapped (their module or the recognition library).
bool mapsRecognitionEngines(qint64 pid) {
    QFile maps(QString("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = maps.readAll();
    return text.contains("brindlecast-detection-engines") || text.contains("libtesseract");
}

std::optional<QString> run(const QString& program, const QStringList& arguments) {
    const auto result = TestSupport::runProgram(program, arguments, std::nullopt, 20000);
    if (!result || result->exitCode != 0) return std::nullopt;
    return QString::fromUtf8(result->standardOutput).trimmed();
}

void xdotool(const QStringList& arguments) { ASSERT_TRUE(run("xdotool", arguments)) << arguments.join(' ').toStdString(); }

// The screen's pixels now, as ImageMagick reads the root window.
QImage rootImage(const QString& folder) {
    const QString path = folder + "/root.png";
    if (!run("import", {"-window", "root", path})) return {};
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// How many pixels differ between two images of one size; -1 when the sizes differ.
qint64 differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return -1;
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) differing += (a.pixel(x, y) & 0xffffff) != (b.pixel(x, y) & 0xffffff);
    return differing;
}

class AppEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        if (!TestSupport::hasX11Display()) GTEST_SKIP() << "no X display";
        for (const char* tool : {"xdotool", "import", "convert", "display", "xwininfo"})
            if (!TestSupport::hasProgram(tool)) GTEST_SKIP() << tool << " is not installed";
        x_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(x_)) GTEST_SKIP() << "the X display does not answer";
        root_ = xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root;
        if (!run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).value_or("").contains("window id"))
            GTEST_SKIP() << "no window manager";

        home_ = TestSupport::makeTemporaryFolder("home");
        environment_ = QProcessEnvironment::systemEnvironment();
        for (const auto& [variable, sub] : {std::pair{"HOME", ""}, std::pair{"XDG_CONFIG_HOME", "/config"},
                                            std::pair{"XDG_DATA_HOME", "/data"}, std::pair{"XDG_CACHE_HOME", "/cache"},
                                            std::pair{"XDG_RUNTIME_DIR", "/runtime"}}) {
            QDir().mkpath(home_ + sub);
            environment_.insert(variable, home_ + sub);
        }
        QFile::setPermissions(home_ + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment_.remove("QT_QPA_PLATFORM");
        library_ = home_ + "/Pictures/Brindlecast";
    }

    void TearDown() override {
        for (auto& process : processes_) {
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished();
            }
        }
        if (x_) xcb_disconnect(x_);
    }

    QProcess* start(const QString& program, const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment_);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted(10000)) << program.toStdString();
        processes_.push_back(std::move(process));
        return processes_.back().get();
    }

    // Starts the app and waits until it holds the Super+Shift+7 hot key.
    QProcess* startApp(const QStringList& arguments = {}) {
        QProcess* app = start(BRINDLECAST_BINARY, arguments);
        EXPECT_TRUE(waitUntil([&] { return hotKeyHeld() || app->state() == QProcess::NotRunning; }, 20000));
        EXPECT_EQ(app->state(), QProcess::Running);
        return app;
    }

    // A window of ImageMagick's showing a picture in which no two pixels are alike, so a capture
    // one pixel off shows. Returns its X window.
    xcb_window_t showPicture(int x, int y) {
        const QString picture = home_ + "/picture.png";
        EXPECT_TRUE(run("convert", {"-size", "400x300", "xc:", "-channel", "R", "-fx", "i/w", "-channel", "G", "-fx",
                                    "j/h", "-channel", "B", "-fx", "(i+j)%7/7", "+channel", picture}));
        start("display", {"-geometry", QString("+%1+%2").arg(x).arg(y), "-title", "Brindlecast test picture", picture});
        const QString id = waitForWindow("Brindlecast test picture");
        EXPECT_FALSE(id.isEmpty()) << "the picture did not show";
        QTest::qWait(300); // its first paint
        return id.toUInt();
    }

    // The frame the window manager put around a client window: the root's child holding it.
    QRect frameOf(xcb_window_t window) {
        while (true) {
            Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x_, xcb_query_tree(x_, window), nullptr), &std::free);
            if (!tree) return {};
            if (tree->parent == root_) break;
            window = tree->parent;
        }
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(x_, xcb_get_geometry(x_, window), nullptr),
                                                 &std::free);
        if (!geometry) return {};
        return QRect(geometry->x, geometry->y, geometry->width + 2 * geometry->border_width,
                     geometry->height + 2 * geometry->border_width);
    }

    void pressHotKey(const QString& digit) {
        xdotool({"key", "super+shift+" + digit});
        ASSERT_TRUE(waitUntil([&] { return overlayShown(); }, 10000)) << "no selection overlay";
    }

    // The first visible window whose name matches, as its decimal ID; empty when none showed.
    QString waitForWindow(const QString& name) {
        std::optional<QString> found;
        waitUntil([&] {
            found = run("xdotool", {"search", "--onlyvisible", "--name", name});
            return found.has_value() && !found->isEmpty();
        }, 20000);
        return found.value_or(QString()).section('\n', 0, 0);
    }

    bool overlayShown() {
        return run("xdotool", {"search", "--onlyvisible", "--name", "Brindlecast Selection"}).has_value();
    }

    // True when another client holds the Super+Shift+7 grab (the app does, once it is up).
    bool hotKeyHeld() {
        xcb_keycode_t seven = keycodeFor('7');
        const xcb_void_cookie_t cookie = xcb_grab_key_checked(x_, 0, root_, XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4, seven,
                                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(x_, cookie)) {
            std::free(error);
            return true;
        }
        xcb_ungrab_key(x_, seven, root_, XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4);
        xcb_flush(x_);
        return false;
    }

    xcb_keycode_t keycodeFor(xcb_keysym_t keysym) {
        const xcb_setup_t* setup = xcb_get_setup(x_);
        Reply<xcb_get_keyboard_mapping_reply_t> mapping(
            xcb_get_keyboard_mapping_reply(
                x_, xcb_get_keyboard_mapping(x_, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1), nullptr),
            &std::free);
        if (!mapping) return 0;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
        for (int i = 0; i < length; ++i)
            if (syms[i] == keysym) return static_cast<xcb_keycode_t>(setup->min_keycode + i / mapping->keysyms_per_keycode);
        return 0;
    }

    // The working copies in the library (not their desktop-less companions).
    QStringList workingCopies() const {
        QStringList copies;
        for (const QString& name : QDir(library_).entryList({"*.png"}, QDir::Files, QDir::Name))
            if (!name.endsWith(".content.png")) copies << library_ + "/" + name;
        return copies;
    }

    QImage waitForWorkingCopy() {
        QImage copy;
        waitUntil([&] {
            const QStringList copies = workingCopies();
            if (copies.isEmpty()) return false;
            copy = QImage(copies.first());
            return !copy.isNull();
        }, 60000);
        return copy.convertToFormat(QImage::Format_RGB32);
    }

    xcb_connection_t* x_ = nullptr;
    xcb_window_t root_ = 0;
    QString home_;
    QString library_;
    QProcessEnvironment environment_;
    std::vector<std::unique_ptr<QProcess>> processes_;
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
    QTest::qWait(300);
    const QPoint pointer(frame.center().x() + 40, frame.center().y());
    ASSERT_TRUE(frameOf(gallery.toUInt()).contains(pointer)) << "the gallery is under the pointer";

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
    EXPECT_TRUE(mapsRecognitionEngines(app->processId()));
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
    QTest::qWait(1000);
    EXPECT_TRUE(workingCopies().isEmpty());
    EXPECT_FALSE(QDir(library_).exists() && !QDir(library_).isEmpty(QDir::Files));
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

// Settings opened through the app's own developer flag, used with the pointer: the watermark is
// switched on on the Export page and "Open editor after capture" unticked on the General page;
// both reach the app's preference file, and the next Super+Shift+9 writes a working copy with the
// mark in its bottom-right corner and nothing else changed (the app's own settings window is left
// out of its captures).
TEST_F(AppEndToEnd, TheWatermarkSwitchedOnInSettingsMarksTheNextCapture) {
    startApp({"--preview-settings", "export"});
    const QString settings = waitForWindow("^Settings$");
    ASSERT_FALSE(settings.isEmpty()) << "no settings window";
    const QString preferences = home_ + "/config/app.brindlecast/preferences.json";
    const auto stored = [&](const char* key) {
        QFile file(preferences);
        if (!file.open(QIODevice::ReadOnly)) return nlohmann::json();
        const nlohmann::json all = nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
        return all.is_object() && all.contains(key) ? all[key] : nlohmann::json();
    };
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
