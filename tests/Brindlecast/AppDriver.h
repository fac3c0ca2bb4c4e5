#pragma once

// Drives the real app binary on the test session's display (Xvfb with openbox) like a user, with
// xdotool: hot keys, drags, clicks and Escape. Each test gets its own home, so its own library
// folder and its own single-instance lock. Skips without a display, a window manager or the tools.
// The file that includes it defines BRINDLECAST_BINARY and BRINDLECAST_ARTEFACTS_DIR.
#include "BrindlecastApp/Editor/EditorSidebarPane.h"
#include "BrindlecastApp/Editor/RecentRow.h"
#include "Support/Fonts.h"
#include "support/AppProcess.h"
#include "support/TestEnvironment.h"

#include <nlohmann/json.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <memory>
#include <optional>
#include <vector>

namespace EndToEnd {

using TestSupport::waitUntil;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

using TestSupport::waitUntil;

inline std::optional<QString> run(const QString& program, const QStringList& arguments) {
    const auto result = TestSupport::runProgram(program, arguments, std::nullopt, 20000);
    if (!result || result->exitCode != 0) return std::nullopt;
    return QString::fromUtf8(result->standardOutput).trimmed();
}

inline void xdotool(const QStringList& arguments) { ASSERT_TRUE(run("xdotool", arguments)) << arguments.join(' ').toStdString(); }

// The pattern xdotool matches a window named exactly `name` with: a second capture within the same
// second is named "… (1).png", and its brackets and dots are not the pattern's own.
inline QString exactTitle(const QString& name) {
    QString escaped;
    for (const QChar c : name) {
        if (QStringLiteral("\\^$.|?*+()[]{}").contains(c)) escaped += '\\';
        escaped += c;
    }
    return "^" + escaped + "$";
}

// The windows xdotool finds with `criteria`, as decimal IDs; empty when none matches. While it
// looks through the windows, one may go away (a tooltip, a thumbnail sliding out, a menu), and
// xdotool then stops on the X error as if nothing matched: it is asked again, so a window that
// is there is never reported missing.
inline QStringList findWindows(const QStringList& criteria) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto result = TestSupport::runProgram("xdotool", QStringList{"search"} + criteria, std::nullopt, 20000);
        if (!result) break;
        if (result->exitCode == 0) return QString::fromUtf8(result->standardOutput).split('\n', Qt::SkipEmptyParts);
        if (!result->standardError.contains("X Error")) return {};
    }
    ADD_FAILURE() << "xdotool search " << criteria.join(' ').toStdString() << " never finished";
    return {};
}

// The visible windows whose name matches the regular expression.
inline QStringList shownWindows(const QString& name) { return findWindows({"--onlyvisible", "--name", name}); }

// The screen's pixels now, as ImageMagick reads the root window.
inline QImage rootImage(const QString& folder) {
    const QString path = folder + "/root.png";
    if (!run("import", {"-window", "root", path})) return {};
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// Takes the clipboard from whoever holds it, with a text, so that a PNG on it afterwards was put
// there later.
inline void clearClipboard() {
    ASSERT_TRUE(run("sh", {"-c", "printf cleared | xclip -selection clipboard -i >/dev/null 2>&1"}));
}

// The PNG on the clipboard now; a null image while it holds none.
inline QImage clipboardPNG() {
    const auto read = TestSupport::runProgram("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"}, std::nullopt, 10000);
    if (!read || read->exitCode != 0) return {};
    return QImage::fromData(read->standardOutput, "PNG").convertToFormat(QImage::Format_RGB32);
}

// How many pixels differ between two images of one size; -1 when the sizes differ.
inline qint64 differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return -1;
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) differing += (a.pixel(x, y) & 0xffffff) != (b.pixel(x, y) & 0xffffff);
    return differing;
}

// Keeps a picture the test looked at beside the build's other artefacts; returns where.
inline QString keep(const QString& picture) {
    const QString folder = QString(BRINDLECAST_ARTEFACTS_DIR);
    QDir().mkpath(folder);
    const QString kept = folder + "/end-to-end-" + QFileInfo(picture).fileName();
    QFile::remove(kept);
    QFile::copy(picture, kept);
    return kept;
}

class AppDriverTest : public testing::Test {
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
        environment_ = TestSupport::appEnvironment(home_);
        library_ = home_ + "/Pictures/Brindlecast";
    }

    void TearDown() override {
        // Every run of the app (itself, or through a launcher that becomes it) ends cleanly,
        // however the test left it; the other programs are only ended.
        for (auto& process : processes_) {
            if (process->program() == BRINDLECAST_BINARY || process->arguments().contains(BRINDLECAST_BINARY)) {
                EXPECT_TRUE(TestSupport::endsCleanly(*process)) << process->arguments().join(' ').toStdString();
                continue;
            }
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

    // Starts the app and waits until it holds the Super+Shift+7 hot key. An app of the test before
    // (another process, ended without waiting) may hold them until the server has seen its
    // connection close: the new app's grabs would fail and it would never hold them, so it starts
    // once they are free.
    QProcess* startApp(const QStringList& arguments = {}) {
        waitUntilHotKeysFree();
        QProcess* app = start(BRINDLECAST_BINARY, arguments);
        EXPECT_TRUE(waitUntil([&] { return hotKeyHeld() || app->state() == QProcess::NotRunning; }, 60000));
        EXPECT_EQ(app->state(), QProcess::Running);
        return app;
    }

    // Starts the app in a mount namespace of its own in which `managed` is the system's managed
    // policy folder (an overlay over /etc: the real one is left alone), and waits as startApp()
    // does. Needs root and unshare; the caller skips without them.
    QProcess* startAppWithManagedPolicy(const QString& managed, const QStringList& arguments = {}) {
        const QString overlay = TestSupport::makeTemporaryFolder("etc-overlay");
        const QString script = R"(mount -t tmpfs tmpfs "$1"
mkdir -p "$1/upper" "$1/work"
mount -t overlay overlay -o "lowerdir=/etc,upperdir=$1/upper,workdir=$1/work" /etc
mkdir -p /etc/brindlecast/policies/managed
mount --bind "$2" /etc/brindlecast/policies/managed)";
        return startAppInOwnMounts(script, {overlay, managed}, arguments);
    }

    // Starts the app in a mount namespace of its own once `script` (sh, stopping at the first
    // failure, with `scriptArguments` as $1, $2...) has mounted what it needs, and waits as
    // startApp() does. Needs root and unshare.
    QProcess* startAppInOwnMounts(const QString& script, const QStringList& scriptArguments,
                                  const QStringList& arguments = {}) {
        const QString wrapped = "set -e\n" + script + "\nshift " + QString::number(scriptArguments.size()) + "\nexec \"$@\"";
        waitUntilHotKeysFree();
        QProcess* app = start("unshare", QStringList{"--mount", "--propagation", "private", "sh", "-c", wrapped, "sh"} +
                                             scriptArguments + QStringList{BRINDLECAST_BINARY} + arguments);
        EXPECT_TRUE(waitUntil([&] { return hotKeyHeld() || app->state() == QProcess::NotRunning; }, 60000));
        EXPECT_EQ(app->state(), QProcess::Running);
        return app;
    }

    // Whether a managed policy can be given to the app here: root, with unshare.
    static bool canGiveManagedPolicy() { return ::geteuid() == 0 && TestSupport::hasProgram("unshare"); }

    // A loopback HTTP server (tests/support/loopback_http_server.py) that accepts every request
    // and records it in `log`, ended with the test; its URL.
    QUrl startLoopbackWebhook(const QString& log) {
        QProcess* server = start("python3", {LOOPBACK_HTTP_SERVER_SCRIPT, "--log", log});
        QByteArray line;
        waitUntil([&] {
            server->waitForReadyRead(100);
            line += server->readAllStandardOutput();
            return line.contains('\n');
        }, 20000);
        const int port = line.trimmed().startsWith("PORT ") ? line.trimmed().mid(5).toInt() : 0;
        EXPECT_GT(port, 0) << "the webhook did not start";
        return QUrl("http://127.0.0.1:" + QString::number(port) + "/audit");
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

    // Presses the hot key and waits until the overlay shows and holds the keyboard (and so the
    // pointer): keys and clicks sent earlier would reach the window beneath.
    void pressHotKey(const QString& digit) {
        xdotool({"key", "super+shift+" + digit});
        ASSERT_TRUE(waitUntil([&] { return overlayShown() && keyboardHeld(); }, 20000)) << "no selection overlay";
    }

    // Window-pick mode over the window, then a click on it, which the app refuses (the window is
    // blocked) with an alert; the alert is answered with Return, and the selection comes back
    // for another try, holding the keyboard again.
    void clickRefusedWindow(xcb_window_t window) {
        const QPoint centre = frameOf(window).center();
        xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y())});
        pressHotKey("8");
        xdotool({"click", "1"});
        answerAlert("the refused window capture");
        if (HasFatalFailure()) return;
        ASSERT_TRUE(waitUntil([&] { return overlayShown() && keyboardHeld(); }, 20000)) << "the selection did not come back";
    }

    // Waits for the app's alert, answers it with Return and waits until it has gone.
    void answerAlert(const char* about) {
        const QString alert = waitForWindow("^Brindlecast$");
        ASSERT_FALSE(alert.isEmpty()) << "no alert for " << about;
        xdotool({"windowactivate", "--sync", alert});
        xdotool({"key", "Return"});
        ASSERT_TRUE(waitUntil([&] { return shownWindows("^Brindlecast$").isEmpty(); }, 20000));
    }

    // The alert that shows next, as its text read back from its pixels with all white space
    // left out (a message box's label wraps a long path anywhere), answered with Return; the
    // screen is kept as a picture under `picture`. Read again until `heading` (without white
    // space) is in it, as a grab may come before the label is painted; empty when no alert
    // showed. Needs tesseract.
    QString readAndAnswerAlert(const QString& picture, const QString& heading) {
        const QString alert = waitForWindow("^Brindlecast$");
        if (alert.isEmpty()) return {};
        xdotool({"windowactivate", "--sync", alert});
        QTest::qWait(300); // painted
        run("import", {"-window", "root", home_ + "/" + picture});
        std::printf("the alert: %s\n", qPrintable(keep(home_ + "/" + picture)));
        const QString grab = home_ + "/alert.png";
        QString text;
        waitUntil([&] {
            text.clear();
            // One thread: its threads wait busily for each other, which takes minutes on a machine
            // whose cores are all taken.
            if (run("import", {"-window", alert, "-resize", "400%", "-colorspace", "Gray", grab}))
                text = run("env", {"OMP_THREAD_LIMIT=1", "tesseract", grab, "-"}).value_or("").remove(QRegularExpression("\\s"));
            return text.contains(heading);
        }, 60000);
        xdotool({"key", "Return"});
        EXPECT_TRUE(waitUntil([&] { return shownWindows("^Brindlecast$").isEmpty(); }, 20000));
        return text;
    }

    // Sends the app SIGTERM and expects it to end on its own with status 0; returns once the X
    // server has let its hot keys go, so that an app started next can take them.
    void expectCleanEnd(QProcess* app) {
        ASSERT_TRUE(TestSupport::endsCleanly(*app));
        waitUntilHotKeysFree();
    }

    // An app that ended holds its grabs until the server has seen its connection close.
    void waitUntilHotKeysFree() { ASSERT_TRUE(waitUntil([&] { return !hotKeyHeld(); }, 20000)) << "the hot keys stay taken"; }

    // True when another client holds the keyboard (the overlay does while it is shown).
    bool keyboardHeld() {
        Reply<xcb_grab_keyboard_reply_t> reply(
            xcb_grab_keyboard_reply(x_, xcb_grab_keyboard(x_, 0, root_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                                          XCB_GRAB_MODE_ASYNC), nullptr),
            &std::free);
        if (!reply || reply->status != XCB_GRAB_STATUS_SUCCESS) return true;
        xcb_ungrab_keyboard(x_, XCB_CURRENT_TIME);
        xcb_flush(x_);
        return false;
    }

    // The first visible window whose name matches, as its decimal ID; empty when none showed.
    QString waitForWindow(const QString& name) {
        QStringList found;
        waitUntil([&] {
            found = shownWindows(name);
            return !found.isEmpty();
        }, 20000);
        return found.value(0);
    }

    bool overlayShown() { return !shownWindows("Brindlecast Selection").isEmpty(); }

    // Whether the window's top left shows exactly `picture`: the server has its first paint.
    bool shows(xcb_window_t window, const QImage& picture) {
        Reply<xcb_get_image_reply_t> image(
            xcb_get_image_reply(x_, xcb_get_image(x_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, std::uint16_t(picture.width()),
                                                  std::uint16_t(picture.height()), ~0u), nullptr),
            &std::free);
        if (!image || xcb_get_image_data_length(image.get()) != picture.width() * picture.height() * 4) return false;
        const QImage shown(xcb_get_image_data(image.get()), picture.width(), picture.height(), QImage::Format_RGB32);
        return differingPixels(shown, picture) == 0;
    }

    // A line of black text on white, 32 points, in a window of ImageMagick's put at `at` and
    // painted: the window (empty when it never showed), its picture, and where the ink lies on the
    // screen.
    struct ShownText {
        QString window;
        QImage pixels;
        QRect ink;
    };
    ShownText showText(const QString& text, const QString& title, QPoint at) {
        const QString picture = home_ + "/" + title + ".png";
        EXPECT_TRUE(run("convert", {"-size", "700x120", "xc:white", "-fill", "black", "-font",
                                    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "-pointsize", "32", "-annotate",
                                    "+20+75", text, picture}));
        start("display", {"-geometry", QString("+%1+%2").arg(at.x()).arg(at.y()), "-title", title, picture});
        ShownText shown{waitForWindow(exactTitle(title)), QImage(picture).convertToFormat(QImage::Format_RGB32), {}};
        if (shown.window.isEmpty() || !waitUntil([&] { return shows(shown.window.toUInt(), shown.pixels); }, 20000))
            return {};
        for (int y = 0; y < shown.pixels.height(); ++y)
            for (int x = 0; x < shown.pixels.width(); ++x)
                if ((shown.pixels.pixel(x, y) & 0xffffff) != 0xffffff) shown.ink |= QRect(x, y, 1, 1);
        shown.ink.translate(originOf(shown.window.toUInt()));
        return shown;
    }

    // True when another client holds the Super+Shift+7 grab (the app does, once it is up).
    bool hotKeyHeld() { return TestSupport::keyGrabbedElsewhere(x_, root_, '7', XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4); }

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

    // Starts the app, captures the display with Super+Shift+9 and waits for the editor to show
    // the capture (the working copy that was not in the library before), in front. Returns the
    // working copy and the editor's window; the window is empty when either did not come.
    std::pair<QString, QString> captureIntoEditor() {
        const QStringList before = workingCopies();
        startApp();
        xdotool({"key", "super+shift+9"});
        QString capture;
        const bool written = waitUntil([&] {
            for (const QString& copy : workingCopies())
                if (!before.contains(copy)) capture = copy;
            return !capture.isEmpty();
        }, 60000);
        if (!written) return {};
        const QString editor = waitForWindow(exactTitle(QFileInfo(capture).fileName()));
        if (!editor.isEmpty()) xdotool({"windowactivate", "--sync", editor});
        return {capture, editor};
    }

    // Draws a box with the rectangle tool across the middle of the editor's canvas (the editor
    // has the keyboard).
    void drawBox(const QString& editor) {
        const QPoint corner = originOf(editor.toUInt());
        xdotool({"key", "r"});
        xdotool({"mousemove", QString::number(corner.x() + 520), QString::number(corner.y() + 330)});
        xdotool({"mousedown", "1"});
        xdotool({"mousemove", QString::number(corner.x() + 640), QString::number(corner.y() + 420)});
        xdotool({"mousemove", QString::number(corner.x() + 760), QString::number(corner.y() + 500)});
        xdotool({"mouseup", "1"});
        QTest::qWait(300);
    }

    // Opens the editor's More menu from its button at `more` and clicks row `row` (0 Show in
    // Files, 1 Export to Folder, 2 Flatten Image, 3 Delete Screenshot), with Shift held when
    // `shift`. The menu opens 6 points below More; its rows are 28 high, 2 apart, 8 in, and a
    // divider 5 high stands above Delete Screenshot.
    void chooseFromMoreMenu(QPoint more, int row, bool shift = false) {
        xdotool({"mousemove", QString::number(more.x()), QString::number(more.y())});
        xdotool({"click", "1"});
        QTest::qWait(500);
        const QPoint at = more + QPoint(0, 17 + 6 + 8 + 30 * row + (row >= 3 ? 5 + 2 : 0) + 14);
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y())});
        if (shift) xdotool({"keydown", "shift"});
        xdotool({"click", "1"});
        if (shift) xdotool({"keyup", "shift"});
    }

    // Clicks a row of the editor's recents list (0: the newest capture) in the editor window.
    void clickRecentRow(const QString& editor, int row) {
        const QPoint origin = originOf(editor.toUInt());
        const QFont heading = Support::Fonts::interfaceFont(11, QFont::Bold);
        const int header = 14 + int(std::ceil(QFontMetricsF(heading).height())) + 8;
        const int rowHeight = BrindlecastApp::RecentRow(BrindlecastApp::CaptureEntry{}, "Today", false).sizeHint().height();
        const int y = BrindlecastApp::EditorSidebarPane::kInset + BrindlecastApp::EditorSidebarPane::kHeaderHeight + header +
                      row * (rowHeight + 3) + rowHeight / 2;
        xdotool({"mousemove", QString::number(origin.x() + 60), QString::number(origin.y() + y)});
        xdotool({"click", "1"});
    }

    // Where a window's top left lies on the root.
    QPoint originOf(xcb_window_t window) {
        Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(x_, xcb_translate_coordinates(x_, window, root_, 0, 0), nullptr), &std::free);
        return origin ? QPoint(origin->dst_x, origin->dst_y) : QPoint();
    }

    xcb_connection_t* x_ = nullptr;
    xcb_window_t root_ = 0;
    QString home_;
    QString library_;
    QProcessEnvironment environment_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

// The leftmost column of the Done button: the rightmost accent-filled run of a row of the window's
// picture. Nothing when no such area shows.
inline std::optional<int> doneButtonLeft(const QImage& window, int row) {
    const QColor accent(0, 122, 255);
    int run = 0;
    for (int x = window.width() - 1; x >= 0; --x) {
        const QColor c = window.pixelColor(x, row);
        const bool filled = std::abs(c.red() - accent.red()) <= 30 && std::abs(c.green() - accent.green()) <= 30 &&
                            std::abs(c.blue() - accent.blue()) <= 30;
        if (filled) {
            ++run;
        } else if (run >= 40) {
            return x + 1;
        } else {
            run = 0;
        }
    }
    return std::nullopt;
}


// The toolbar's row in the editor window: the title strip (46) + the toolbar's padding (10) + half
// the pill (24).
constexpr int kToolbarRow = 46 + 10 + 24;

// Waits until the editor window shows its toolbar's Done button and returns its left edge in the
// window; nothing when it never showed (the window's last picture is kept then and named).
inline std::optional<int> waitForDoneButton(const QString& editor, const QString& grab) {
    std::optional<int> doneLeft;
    const bool shown = waitUntil([&] {
        if (!run("import", {"-window", editor, grab})) return false;
        doneLeft = doneButtonLeft(QImage(grab), kToolbarRow - 13); // above its label
        return doneLeft.has_value();
    }, 20000);
    if (!shown) ADD_FAILURE() << "see " << keep(grab).toStdString();
    return doneLeft;
}

// What the app logged, as the journal holds it for its process.
inline QStringList appLog(qint64 pid) {
    const auto read = TestSupport::runProgram("journalctl", {"--no-pager", "-o", "cat", "_PID=" + QString::number(pid)},
                                              std::nullopt, 20000);
    return read ? QString::fromUtf8(read->standardOutput).split('\n', Qt::SkipEmptyParts) : QStringList{};
}

// Whether the app's log reaches a journal the test can read.
inline bool journalIsRunning() {
    return QFileInfo::exists("/run/systemd/journal/socket") && TestSupport::hasProgram("journalctl");
}

// Writes the app's preference file before it starts.
inline void writePreferences(const QString& home, const nlohmann::json& values) {
    TestSupport::writeFile(home + "/config/app.brindlecast/preferences.json", QByteArray::fromStdString(values.dump()));
}

} // namespace EndToEnd
