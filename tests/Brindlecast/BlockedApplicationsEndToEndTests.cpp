// Real applications people block (two browsers, a password manager, a GTK and a Qt editor), each
// filling its window with one colour, under the real app binary on the test session's display.
// Each is blocked once by its desktop entry, chosen on the Privacy page's picker as a user picks
// it, and once by the organisation's managed BlockedBundleIDs; display, region and window
// captures taken with the hot keys must then hold no pixel of that colour in the working copy,
// the companion, the clipboard (the editor's Copy) or an export (Export to Folder). One
// application per test, started once for all its captures; a test skips when its application is
// not installed. Last, an ordinary desktop with KeePassXC blocked: nothing else may be blanked.
#include "../BrindlecastApp/Settings/PrivacyTestWindow.h"
#include "AppDriver.h"
#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Settings/ApplicationPicker.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"

#include <nlohmann/json.hpp>

#include <QApplication>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <unistd.h>

#include <functional>
#include <iostream>

namespace {

using namespace EndToEnd;

// Where the application's window is put, and the region capture's drag around it.
const QRect kWindowPlace(200, 150, 640, 420);
const QRect kRegion(150, 100, 760, 540);
// The colour the browsers' page and the editors' widgets are filled with.
const QByteArray kFill = "#1fa35c";

// One application: its program, its desktop entry as the picker shows it, and how to start it
// offline with its window filled with one colour (`home` is the test's home, `page` a page of
// that colour).
struct BlockedApplication {
    const char* label;
    const char* program;
    const char* entryName;
    const char* desktopID;
    std::function<QStringList(const QString& home, const QString& page)> arguments;
    // Whether the window is filled with kFill; otherwise its own background colour is looked for.
    bool filled = true;
};

const QString qtFill = "* { background: " + QString(kFill) + "; color: " + QString(kFill) + "; border: none; }";

void prepareFirefoxProfile(const QString& profile) {
    // A first start that asks for nothing and reaches for no server.
    TestSupport::writeFile(profile + "/user.js", R"(user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("startup.homepage_welcome_url", "");
user_pref("browser.startup.page", 0);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.healthreport.uploadEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.disabledForTesting", true);
user_pref("app.normandy.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("browser.newtabpage.enabled", false);
)");
}

const BlockedApplication kApplications[] = {
    {"Chromium", "chromium", "Chromium Web Browser", "chromium",
     [](const QString& home, const QString& page) {
         return QStringList{"--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                            "--disable-component-update", "--disable-sync", "--no-default-browser-check",
                            "--password-store=basic", "--test-type", "--user-data-dir=" + home + "/chromium",
                            "file://" + page};
     }},
    {"Firefox", "firefox-esr", "Firefox ESR", "firefox-esr",
     [](const QString& home, const QString& page) {
         prepareFirefoxProfile(home + "/firefox");
         return QStringList{"-no-remote", "-new-instance", "-profile", home + "/firefox", "file://" + page};
     }},
    {"KeePassXC", "keepassxc", "KeePassXC", "org.keepassxc.KeePassXC",
     [](const QString& home, const QString&) {
         // It draws with its own theme whatever the style sheet says: its welcome page's own
         // background is the colour looked for.
         TestSupport::writeFile(home + "/config/keepassxc/keepassxc.ini", "[General]\nConfigVersion=2\n");
         return QStringList{};
     },
     false},
    {"Mousepad", "mousepad", "Mousepad", "org.xfce.mousepad",
     [](const QString& home, const QString&) {
         TestSupport::writeFile(home + "/config/gtk-3.0/gtk.css",
                                "* { background-color: " + kFill + "; background-image: none; color: " + kFill + "; }\n");
         return QStringList{};
     }},
    {"FeatherPad", "featherpad", "FeatherPad", "featherpad",
     [](const QString& home, const QString&) {
         TestSupport::writeFile(home + "/fill.qss", qtFill.toUtf8());
         return QStringList{"-stylesheet", home + "/fill.qss"};
     }},
};

// Tests are named, and failures told, by the application's label.
void PrintTo(const BlockedApplication& application, std::ostream* out) { *out << application.label; }

// How many pixels of `colour` the picture holds.
qint64 pixelsOf(const QImage& picture, QRgb colour) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    qint64 count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) count += (line[x] & 0xffffff) == (colour & 0xffffff);
    }
    return count;
}

// The colour most of the area shows.
QRgb mostCommonColour(const QImage& picture) {
    QHash<QRgb, qint64> counts;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) ++counts[rgb.pixel(x, y) & 0xffffff];
    QRgb best = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(best)) best = it.key();
    return best;
}

// The image a new working copy holds once it is whole; empty when none came.
QString newImage(const QSet<QString>& before, const std::function<QStringList()>& workingCopies) {
    QString added;
    waitUntil([&] {
        for (const QString& file : workingCopies())
            if (!before.contains(file) && !QImage(file).isNull()) added = file;
        return !added.isEmpty();
    }, 60000);
    return added;
}

enum class BlockedBy { desktopEntry, managedPolicy };

class BlockedApplicationEndToEnd : public AppDriverTest, public testing::WithParamInterface<BlockedApplication> {
protected:
    void SetUp() override {
        AppDriverTest::SetUp();
        if (IsSkipped()) return;
        if (!TestSupport::hasProgram("xclip")) GTEST_SKIP() << "xclip is not installed";
        if (QStandardPaths::findExecutable(GetParam().program).isEmpty())
            GTEST_SKIP() << GetParam().program << " is not installed";
        // The managed folder is the system's own; the app is given one of the test's through a
        // mount namespace of its own.
        if (!canGiveManagedPolicy())
            GTEST_SKIP() << "a managed policy for the app needs root and unshare";
        managed_ = TestSupport::makeFolderReachableByAll("managed");
        // Nothing of the developer's session: no bus to hand the window to a running copy.
        environment_.remove("DBUS_SESSION_BUS_ADDRESS");
    }

    // Starts the application, puts its window in place and waits until it has painted; returns
    // its window.
    QString startApplication() {
        const BlockedApplication& application = GetParam();
        const QString page = home_ + "/fill.html";
        TestSupport::writeFile(page, "<!doctype html><html><body style=\"margin:0;background:" + kFill + "\"></body></html>");
        const QProcess* process = start(QStandardPaths::findExecutable(application.program), application.arguments(home_, page));
        QString window;
        waitUntil([&] {
            window = findWindows({"--onlyvisible", "--pid", QString::number(process->processId())}).value(0);
            return !window.isEmpty();
        }, 60000);
        if (window.isEmpty()) return {};
        const QString x = QString::number(kWindowPlace.x()), y = QString::number(kWindowPlace.y());
        xdotool({"windowmove", "--sync", window, x, y});
        xdotool({"windowsize", "--sync", window, QString::number(kWindowPlace.width()), QString::number(kWindowPlace.height())});
        xdotool({"windowactivate", "--sync", window});
        return window;
    }

    // The window's own colour once it has painted: the colour of most of its inside, found
    // nowhere else on the screen.
    std::optional<QRgb> paintedColour(const QString& window) {
        std::optional<QRgb> colour;
        waitUntil([&] {
            const QImage screen = rootImage(home_);
            const QRect frame = frameOf(window.toUInt());
            if (screen.isNull() || !frame.isValid()) return false;
            const QRect inside = frame.adjusted(frame.width() / 4, frame.height() / 3, -frame.width() / 4, -8);
            const QRgb candidate = GetParam().filled ? QColor(QString(kFill)).rgb() : mostCommonColour(screen.copy(inside));
            const qint64 there = pixelsOf(screen.copy(frame), candidate);
            if (there < qint64(inside.width()) * inside.height() / 2) return false;
            if (pixelsOf(screen, candidate) != there) return false;
            colour = candidate;
            return true;
        }, 60000);
        return colour;
    }

    void startAppWithManagedFolder() {
        QProcess* app = startAppWithManagedPolicy(managed_);
        ASSERT_TRUE(app && app->state() == QProcess::Running);
    }

    // Blocks the application on the Privacy page, through the picker, as a user does.
    void blockOnThePrivacyPage() {
        PrivacyTestWindow window(userStore(), BrindlecastApp::ThemeMode::light,
                                 BrindlecastApp::PrivacyTab::ApplicationChooser(&BrindlecastApp::ApplicationPicker::choose));
        bool offered = false;
        QTimer::singleShot(0, [&] {
            (void)QTest::qWaitFor(
                [] { return qobject_cast<BrindlecastApp::ApplicationPicker*>(QApplication::activeModalWidget()); }, 20000);
            auto* picker = qobject_cast<BrindlecastApp::ApplicationPicker*>(QApplication::activeModalWidget());
            if (!picker) return;
            QTreeWidget* list = picker->list();
            for (int i = 0; i < list->topLevelItemCount(); ++i) {
                if (list->topLevelItem(i)->text(0) != GetParam().entryName) continue;
                list->topLevelItem(i)->setSelected(true);
                offered = true;
                break;
            }
            QTest::mouseClick(picker->blockButton(), Qt::LeftButton);
        });
        QTest::mouseClick(window.page->addApplicationRow(), Qt::LeftButton);
        window.settle();
        EXPECT_TRUE(offered) << "the picker does not offer " << GetParam().entryName;
        ASSERT_EQ(window.model.userBlockedBundleIDs(), QStringList{GetParam().desktopID});
    }

    void block(BlockedBy by) {
        if (by == BlockedBy::desktopEntry) return blockOnThePrivacyPage();
        const nlohmann::json policy = {{"BlockedBundleIDs", {GetParam().desktopID}}};
        TestSupport::writeFile(managed_ + "/policy.json.new", QByteArray::fromStdString(policy.dump()));
        ASSERT_TRUE(QFile::rename(managed_ + "/policy.json.new", managed_ + "/policy.json"));
    }

    void unblock(BlockedBy by) {
        if (by == BlockedBy::managedPolicy) {
            ASSERT_TRUE(QFile::remove(managed_ + "/policy.json"));
            return;
        }
        userStore().setUserValue("BlockedBundleIDs", std::nullopt);
    }

    PolicyKit::PreferenceStore userStore() const {
        const QString noManagedPolicy = managed_ + "-none";
        QDir().mkpath(noManagedPolicy);
        return PolicyKit::PreferenceStore::live(PolicyKit::ManagedFolder{noManagedPolicy, ::geteuid(), noManagedPolicy},
                                                home_ + "/config/app.brindlecast/preferences.json");
    }

    // The library's images that are not companions.
    QSet<QString> libraryImages() const {
        const QStringList copies = workingCopies();
        return QSet<QString>(copies.begin(), copies.end());
    }

    QString waitForNewImage(const QSet<QString>& before) { return newImage(before, [this] { return workingCopies(); }); }

    // The PNG on the clipboard, once it has the size of `expected`.
    QImage clipboardImage(const QSize& expected) {
        QImage copied;
        waitUntil([&] {
            copied = clipboardPNG();
            return copied.size() == expected;
        }, 30000);
        return copied;
    }

    // Checks every output of one display or region capture for the colour: the working copy, its
    // companion, and what the editor's Copy puts on the clipboard.
    void expectNoneOfTheColourIn(const QString& workingCopy, QRgb colour) {
        ASSERT_FALSE(workingCopy.isEmpty()) << "no working copy came";
        const QImage copy(workingCopy);
        keepPicture(copy, workingCopy);
        EXPECT_EQ(pixelsOf(copy, colour), 0) << "in the working copy";
        const QString companion = workingCopy.chopped(4) + ".content.png";
        ASSERT_TRUE(waitUntil([&] { return !QImage(companion).isNull(); }, 30000)) << "no companion came";
        EXPECT_EQ(pixelsOf(QImage(companion), colour), 0) << "in the companion";
        const std::optional<EditorToolbar> toolbar = editorToolbar(workingCopy);
        ASSERT_TRUE(toolbar) << "no editor showing the capture";
        clearClipboard();
        clickAt(toolbar->copy);
        const QImage copied = clipboardImage(copy.size());
        ASSERT_FALSE(copied.isNull()) << "nothing of the capture's size on the clipboard";
        EXPECT_EQ(pixelsOf(copied, colour), 0) << "on the clipboard";
    }

    void keepPicture(const QImage& picture, const QString& file) {
        const QString artefacts = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
        if (artefacts.isEmpty()) return;
        QDir().mkpath(artefacts);
        picture.save(artefacts + "/blocked-" + QString(GetParam().label) + "-" + QFileInfo(file).fileName());
    }

    QString captureDisplay() {
        const QSet<QString> before = libraryImages();
        xdotool({"key", "super+shift+9"});
        return waitForNewImage(before);
    }

    QString captureRegion() {
        const QSet<QString> before = libraryImages();
        xdotool({"mousemove", QString::number(kRegion.left()), QString::number(kRegion.top())});
        pressHotKey("7");
        xdotool({"mousedown", "1"});
        xdotool({"mousemove", QString::number(kRegion.center().x()), QString::number(kRegion.center().y())});
        xdotool({"mousemove", QString::number(kRegion.left() + kRegion.width()),
                 QString::number(kRegion.top() + kRegion.height())});
        xdotool({"mouseup", "1"});
        return waitForNewImage(before);
    }

    // A click on the blocked window in window-pick mode: the capture is refused with an alert,
    // which is dismissed, and nothing is written. A display capture taken next goes the same road,
    // so once its file is in, the refused one's would be too.
    void expectWindowCaptureRefused(const QString& window) {
        const QSet<QString> before = libraryImages();
        clickRefusedWindow(window.toUInt());
        if (HasFatalFailure()) return;
        // The selection takes the keys, though the alert handed the focus back to the editor.
        xdotool({"key", "Escape"});
        ASSERT_TRUE(waitUntil([&] { return !overlayShown(); }, 20000))
            << "Escape did not end the selection (see " << (rootImage(home_), keep(home_ + "/root.png")).toStdString() << ")";
        const QString next = captureDisplay();
        ASSERT_FALSE(next.isEmpty());
        EXPECT_EQ(libraryImages() - before, QSet<QString>{next}) << "the refused window capture wrote a file";
    }

    // The toolbar of the editor showing `capture`, brought to the front.
    struct EditorToolbar {
        QPoint copy, more;
    };
    std::optional<EditorToolbar> editorToolbar(const QString& capture) {
        const QString editor = waitForWindow(exactTitle(QFileInfo(capture).fileName()));
        if (editor.isEmpty()) return std::nullopt;
        xdotool({"windowactivate", "--sync", editor});
        const std::optional<int> doneLeft = waitForDoneButton(editor, home_ + "/editor.png");
        if (!doneLeft) return std::nullopt;
        const QPoint corner = originOf(editor.toUInt());
        // From Done leftwards, 3 points apart: Copy (104 wide), a 1-point gap, settings and More (36 each).
        return EditorToolbar{corner + QPoint(*doneLeft - 3 - 52, kToolbarRow),
                             corner + QPoint(*doneLeft - 3 - 104 - 3 - 1 - 3 - 36 - 3 - 18, kToolbarRow)};
    }

    void clickAt(const QPoint& at) {
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
        xdotool({"click", "1"});
    }

    // Export to Folder from the editor showing `capture`: the exported file.
    QString exportFromTheEditor(const QString& capture) {
        const std::optional<EditorToolbar> toolbar = editorToolbar(capture);
        if (!toolbar) return {};
        const QSet<QString> before = libraryImages();
        clickAt(toolbar->more);
        QTest::qWait(500);
        // The menu opens 6 points below More; Export to Folder is its second row (rows 28 high, 2 apart, 8 in).
        clickAt(toolbar->more + QPoint(0, 17 + 6 + 8 + 30 + 14));
        return waitForNewImage(before);
    }

    QString managed_;
};

} // namespace

TEST_P(BlockedApplicationEndToEnd, NeverShowsInACaptureOrWhatLeavesIt) {
    const QString window = startApplication();
    ASSERT_FALSE(window.isEmpty()) << GetParam().program << " showed no window";
    const std::optional<QRgb> colour = paintedColour(window);
    ASSERT_TRUE(colour) << "the window did not paint one colour over most of it (see "
                        << keep(home_ + "/root.png").toStdString() << ")";
    writePreferences(home_, {{"settings.showFloatingThumbnail", false}});
    startAppWithManagedFolder();
    if (HasFatalFailure()) return;

    // Not blocked, the window is in the capture: the colour is one a capture keeps. A window
    // moved since the last capture is blank in one until it repaints, so a few may be needed.
    const qint64 painted = kWindowPlace.width() * kWindowPlace.height() / 4;
    qint64 shown = 0;
    for (int attempt = 0; attempt < 3 && shown <= painted; ++attempt) {
        const QString open = captureDisplay();
        ASSERT_FALSE(open.isEmpty()) << "no working copy in " << library_.toStdString();
        keepPicture(QImage(open), open);
        shown = pixelsOf(QImage(open), *colour);
    }
    EXPECT_GT(shown, painted) << "colour " << QColor(*colour).name().toStdString();

    for (BlockedBy by : {BlockedBy::desktopEntry, BlockedBy::managedPolicy}) {
        SCOPED_TRACE(by == BlockedBy::desktopEntry ? "blocked by its desktop entry" : "blocked by managed policy");
        block(by);
        if (HasFatalFailure()) return;
        const QString display = captureDisplay();
        {
            SCOPED_TRACE("display");
            expectNoneOfTheColourIn(display, *colour);
        }
        if (by == BlockedBy::desktopEntry) {
            SCOPED_TRACE("exported");
            const QString exported = exportFromTheEditor(display);
            ASSERT_FALSE(exported.isEmpty()) << "Export to Folder wrote nothing";
            EXPECT_EQ(pixelsOf(QImage(exported), *colour), 0);
        }
        {
            SCOPED_TRACE("region");
            const QString region = captureRegion();
            expectNoneOfTheColourIn(region, *colour);
            EXPECT_EQ(QImage(region).size(), kRegion.size());
        }
        {
            SCOPED_TRACE("window");
            expectWindowCaptureRefused(window);
        }
        unblock(by);
    }
}

INSTANTIATE_TEST_SUITE_P(RealApplications, BlockedApplicationEndToEnd, testing::ValuesIn(kApplications),
                         [](const testing::TestParamInfo<BlockedApplication>& info) { return std::string(info.param.label); });

namespace {

// An ordinary desktop while KeePassXC is blocked, the app running as a user of its own: windows
// of that user and of another one (the test's), most of which say nothing of their process (Tk,
// xeyes, a plain Xlib client). None of them may be blanked, whether the app places plates or
// refuses; KeePassXC, another user's too, always is.
struct OrdinaryWindow {
    const char* label;
    bool appUser; // run as the app's user; otherwise as the test's own
    QString program;
    QStringList arguments;
    QStringList search; // what xdotool finds its window by
};

// The user the app runs as, and the tool that makes a program run as it.
const QStringList kAsAppUser{"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};

// A window with no class, no process ID and a plain fill, as the simplest Xlib program makes.
const QString kPlainXlibWindow = R"(from Xlib import X, display
d = display.Display(); s = d.screen()
w = s.root.create_window(0, 0, 400, 300, 0, s.root_depth, background_pixel=0x3a7d5c, event_mask=X.ExposureMask)
w.set_wm_name("Plain Xlib")
w.map(); d.sync()
while True: d.next_event()
)";

const QString kTkWindow = R"(import tkinter
root = tkinter.Tk(); root.title("Tk notes")
tkinter.Label(root, text="Notes for the meeting", font=("DejaVu Sans", 18)).pack(expand=True)
root.mainloop()
)";

class OrdinaryScreenEndToEnd : public AppDriverTest {
protected:
    void SetUp() override {
        AppDriverTest::SetUp();
        if (IsSkipped()) return;
        if (::geteuid() != 0) GTEST_SKIP() << "running the app as another user needs root";
        for (const char* program : {"setpriv", "xterm", "xclock", "xeyes", "mousepad", "featherpad", "keepassxc", "xclip"})
            if (!TestSupport::hasProgram(program)) GTEST_SKIP() << program << " is not installed";
        for (const char* module : {"Xlib", "tkinter"})
            if (!run("/usr/bin/python3", {"-c", QString("import ") + module}))
                GTEST_SKIP() << "python3 cannot import " << module;
        // The app's home, its user's; the other windows' home, the test's own.
        home_ = TestSupport::makeFolderReachableByAll("app-home");
        environment_ = TestSupport::appEnvironment(home_);
        environment_.remove("DBUS_SESSION_BUS_ADDRESS");
        library_ = home_ + "/Pictures/Brindlecast";
        otherHome_ = TestSupport::makeTemporaryFolder("other-home");
        otherEnvironment_ = TestSupport::appEnvironment(otherHome_);
        otherEnvironment_.remove("DBUS_SESSION_BUS_ADDRESS");
        TestSupport::writeFile(otherHome_ + "/config/keepassxc/keepassxc.ini", "[General]\nConfigVersion=2\n");
        TestSupport::writeFile(home_ + "/config/gtk-3.0/settings.ini", "[Settings]\ngtk-cursor-blink=false\n");
        // Entries that name an interpreter as their program: blocking them must not block every
        // window the interpreter runs.
        const QString venv = home_ + "/venv/bin";
        QDir().mkpath(venv);
        ASSERT_TRUE(QFile::link("/usr/bin/python3", venv + "/python3"));
        TestSupport::writeFile(home_ + "/data/applications/org.example.VenvTool.desktop",
                               "[Desktop Entry]\nType=Application\nName=Venv Tool\nExec=env FOO=1 " + venv.toUtf8() + "/python3 %U\n");
        TestSupport::writeFile(home_ + "/data/applications/org.example.TryPython.desktop",
                               "[Desktop Entry]\nType=Application\nName=Try Python\nTryExec=python3\nExec=notes-tool %U\n");
        webhookLog_ = home_ + "/../webhook-" + QFileInfo(home_).fileName() + ".jsonl";
        handHomeOver();
    }

    // Starts a program as the app's user or the test's, and returns its window once shown.
    QString open(const OrdinaryWindow& window) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(window.appUser ? environment_ : otherEnvironment_);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (window.appUser) process->start("setpriv", kAsAppUser + QStringList{window.program} + window.arguments);
        else process->start(window.program, window.arguments);
        EXPECT_TRUE(process->waitForStarted(10000)) << window.label;
        lastOpened_ = process.get();
        processes_.push_back(std::move(process));
        QString found;
        waitUntil([&] {
            found = findWindows(QStringList{"--onlyvisible"} + window.search).value(0);
            return !found.isEmpty();
        }, 60000);
        return found;
    }

    // The app's home handed to its user (the test writes into it as itself).
    void handHomeOver() { ASSERT_TRUE(run("chown", {"-R", "nobody:nogroup", home_})); }

    void writeAppPreferences(const nlohmann::json& values) {
        writePreferences(home_, values);
        handHomeOver();
    }

    QProcess* startAppAsItsUser() {
        QProcess* app = start("setpriv", kAsAppUser + QStringList{BRINDLECAST_BINARY});
        EXPECT_TRUE(waitUntil([&] { return hotKeyHeld() || app->state() == QProcess::NotRunning; }, 60000));
        EXPECT_EQ(app->state(), QProcess::Running);
        return app;
    }

    // Until the screen holds still, the focus on a window without a blinking text cursor.
    void waitUntilStill(const QString& focus) {
        xdotool({"windowactivate", "--sync", focus});
        QImage last = rootImage(otherHome_);
        EXPECT_TRUE(waitUntil([&] {
            QTest::qWait(400);
            const QImage now = rootImage(otherHome_);
            const qint64 changed = differingPixels(now, last);
            last = now;
            return changed >= 0 && changed < 400;
        }, 60000)) << "the screen never held still";
    }

    // A display capture with the hot key: the working copy, with the screen just before and after.
    struct Captured {
        QImage before, image, after;
    };
    Captured captureDisplay() {
        Captured captured;
        const QStringList copies = workingCopies();
        captured.before = rootImage(otherHome_);
        xdotool({"key", "super+shift+9"});
        const QString added = newImage(QSet<QString>(copies.begin(), copies.end()), [this] { return workingCopies(); });
        captured.after = rootImage(otherHome_);
        if (!added.isEmpty()) captured.image = QImage(added).convertToFormat(QImage::Format_RGB32);
        return captured;
    }

    // Pixels of the area that the screen showed alike before and after the capture but the
    // capture shows otherwise: what it blanked, painted over or left out.
    static qint64 blankedIn(const Captured& captured, const QRect& area, qint64* counted) {
        qint64 blanked = 0;
        const QRect inside = area.intersected(captured.image.rect());
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x) {
                const QRgb shown = captured.before.pixel(x, y);
                if (shown != captured.after.pixel(x, y)) continue;
                ++*counted;
                blanked += captured.image.pixel(x, y) != shown;
            }
        return blanked;
    }

    // Keeps the screen before, the capture and the screen after with the build's artefacts.
    void keepPictures(const Captured& captured, const QString& name) {
        for (const auto& [picture, suffix] : {std::pair{&captured.before, "before"}, std::pair{&captured.image, "capture"},
                                              std::pair{&captured.after, "after"}}) {
            const QString file = otherHome_ + "/ordinary-" + name + "-" + suffix + ".png";
            picture->save(file);
            std::cerr << "kept " << keep(file).toStdString() << "\n";
        }
    }

    // The audit records the app posted to the webhook so far.
    std::vector<nlohmann::json> auditRecords() const {
        std::vector<nlohmann::json> records;
        for (const QByteArray& line : TestSupport::readFile(webhookLog_).split('\n')) {
            if (line.trimmed().isEmpty()) continue;
            const nlohmann::json request = nlohmann::json::parse(line.toStdString(), nullptr, false);
            if (request.is_discarded() || !request.contains("body")) continue;
            const nlohmann::json record = nlohmann::json::parse(request["body"].get<std::string>(), nullptr, false);
            if (!record.is_discarded()) records.push_back(record);
        }
        return records;
    }

    QUrl startWebhook() { return startLoopbackWebhook(webhookLog_); }

    QString otherHome_;
    QProcessEnvironment otherEnvironment_;
    QString webhookLog_;
    QProcess* lastOpened_ = nullptr;
};

} // namespace

TEST_F(OrdinaryScreenEndToEnd, OnlyTheBlockedApplicationIsBlankedWhateverUserItsWindowsRunAs) {
    const OrdinaryWindow ordinary[] = {
        {"xterm", true, "xterm", {"-e", "/bin/sh"}, {"--class", "^XTerm$"}},
        {"xclock", true, "xclock", {}, {"--class", "^XClock$"}},
        {"a plain Xlib window", true, "/usr/bin/python3", {"-c", kPlainXlibWindow}, {"--name", "^Plain Xlib$"}},
        {"Mousepad", true, "mousepad", {}, {"--class", "^Mousepad$"}},
        {"xeyes", false, "xeyes", {}, {"--class", "^XEyes$"}},
        {"a Tk window", false, "/usr/bin/python3", {"-c", kTkWindow}, {"--name", "^Tk notes$"}},
        {"FeatherPad", false, "featherpad", {}, {"--class", "^FeatherPad$"}},
    };
    const OrdinaryWindow keepass{"KeePassXC", false, "keepassxc", {}, {"--class", "^KeePassXC$"}};

    // Four columns, two rows, none over another.
    const auto place = [&](const QString& window, int cell) {
        const QString x = QString::number(20 + cell % 4 * 475), y = QString::number(40 + cell / 4 * 520);
        xdotool({"windowmove", "--sync", window, x, y});
        xdotool({"windowsize", "--sync", window, "440", "440"});
    };
    std::vector<std::pair<const char*, QString>> windows;
    for (const OrdinaryWindow& window : ordinary) {
        const QString id = open(window);
        ASSERT_FALSE(id.isEmpty()) << window.label << " showed no window";
        place(id, int(windows.size()));
        windows.emplace_back(window.label, id);
    }
    QString keepassWindow = open(keepass);
    QProcess* keepassProcess = lastOpened_;
    ASSERT_FALSE(keepassWindow.isEmpty()) << "KeePassXC showed no window";
    place(keepassWindow, 7);
    const QUrl webhook = startWebhook();
    writeAppPreferences({{"settings.showFloatingThumbnail", false},
                         {"settings.openEditorAfterCapture", false},
                         {"BlockedBundleIDs", {"org.keepassxc.KeePassXC", "org.example.VenvTool", "org.example.TryPython"}},
                         {"AuditWebhookURL", webhook.toString().toStdString()}});
    startAppAsItsUser();
    if (HasFatalFailure()) return;
    const QString still = windows[0].second; // xterm, whose cursor does not blink
    waitUntilStill(still);

    // Placeholder (the default): the ordinary windows whole, KeePassXC under its plate.
    const Captured placed = captureDisplay();
    ASSERT_FALSE(placed.image.isNull()) << "no working copy in " << library_.toStdString();
    ASSERT_EQ(placed.image.size(), placed.before.size());
    qint64 blanked = 0, counted = 0;
    for (const auto& [label, window] : windows) {
        qint64 here = 0;
        const qint64 wrong = blankedIn(placed, frameOf(window.toUInt()), &here);
        EXPECT_EQ(wrong, 0) << label << ": " << wrong << " of " << here << " pixels blanked";
        blanked += wrong;
        counted += here;
    }
    EXPECT_GT(counted, 7 * 400 * 400);
    RecordProperty("wronglyBlankedFraction", std::to_string(double(blanked) / double(std::max<qint64>(counted, 1))));
    const QRect keepassFrame = frameOf(keepassWindow.toUInt());
    const QRgb keepassColour = mostCommonColour(placed.before.copy(keepassFrame.adjusted(40, 80, -40, -40)));
    EXPECT_EQ(pixelsOf(placed.image.copy(keepassFrame), keepassColour), 0) << "KeePassXC shows in the capture";
    EXPECT_GT(pixelsOf(placed.image.copy(keepassFrame), qRgb(38, 38, 38)), qint64(keepassFrame.width()) * keepassFrame.height() / 2);
    if (HasFailure()) keepPictures(placed, "placeholder");

    // Refusing instead, with KeePassXC closed: nothing on the screen is blocked, so the capture
    // goes ahead, whole, and nothing is recorded as a violation.
    writeAppPreferences({{"settings.showFloatingThumbnail", false},
                         {"settings.openEditorAfterCapture", false},
                         {"BlockedBundleIDs", {"org.keepassxc.KeePassXC", "org.example.VenvTool", "org.example.TryPython"}},
                         {"BlockedAppBehavior", "cancelCapture"},
                         {"AuditWebhookURL", webhook.toString().toStdString()}});
    keepassProcess->terminate();
    ASSERT_TRUE(waitUntil([&] { return findWindows({"--onlyvisible", "--class", "^KeePassXC$"}).isEmpty(); }, 30000));
    waitUntilStill(still);
    const Captured refusedNot = captureDisplay();
    ASSERT_FALSE(refusedNot.image.isNull()) << "the capture was refused with nothing blocked on screen";
    EXPECT_TRUE(shownWindows("^Brindlecast$").isEmpty()) << "an alert showed";
    for (const auto& [label, window] : windows) {
        qint64 here = 0;
        EXPECT_EQ(blankedIn(refusedNot, frameOf(window.toUInt()), &here), 0) << label;
    }
    if (HasFailure()) keepPictures(refusedNot, "not-refused");

    // KeePassXC open again: refused, and the violation names it alone.
    keepassWindow = open(keepass);
    ASSERT_FALSE(keepassWindow.isEmpty());
    place(keepassWindow, 7);
    waitUntilStill(still);
    const QStringList before = workingCopies();
    xdotool({"key", "super+shift+9"});
    const QString alert = waitForWindow("^Brindlecast$");
    ASSERT_FALSE(alert.isEmpty()) << "no refusal";
    xdotool({"windowactivate", "--sync", alert});
    xdotool({"key", "Return"});
    EXPECT_EQ(workingCopies(), before);
    QStringList violations;
    waitUntil([&] {
        violations.clear();
        for (const nlohmann::json& record : auditRecords())
            if (record.value("kind", "") == "policyViolation") violations << QString::fromStdString(record.value("detail", ""));
        return !violations.isEmpty();
    }, 30000);
    EXPECT_EQ(violations, QStringList{"blocked bundle IDs: org.keepassxc.KeePassXC"});
}
