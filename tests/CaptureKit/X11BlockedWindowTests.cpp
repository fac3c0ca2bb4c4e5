// Blocked windows tried the way an attacker would: with window managers, compositing managers,
// transient and popup windows, stale frames, odd identities and wallpaper IDs, a capture under
// each behaviour must never show one of their pixels.
#include "X11CaptureFixture.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <unistd.h>

using namespace CaptureKit;
using namespace CaptureKitTests;
using PolicyKit::BlockedAppBehavior;
using Support::Rect;

namespace {

const QString blockedApp = "CaptureBlocked";

struct Expectation {
    // With cancelCapture: refused with these IDs; nothing means the capture goes ahead.
    std::optional<QStringList> refusal;
    // With placeholder: at least this many pixels of the plate's grey (its label takes some).
    int platePixels = 0;
};

using Capture = std::function<QImage(const CaptureService&)>;

QImage wholeDisplay(const CaptureService& service) { return service.captureDisplay(); }

class X11BlockedWindowTest : public X11CaptureTest {
protected:
    // Captures under each behaviour with `blocked` on the block list: no pixel of the blocked
    // windows' colour may show, and cancelCapture refuses exactly when `expected` says so.
    void expectNeverShown(const Capture& capture, const Expectation& expected, const QStringList& blocked = {blockedApp}) {
        for (BlockedAppBehavior behavior :
             {BlockedAppBehavior::omit, BlockedAppBehavior::placeholder, BlockedAppBehavior::cancelCapture}) {
            SCOPED_TRACE(testing::Message() << "behaviour " << int(behavior));
            const CaptureService service(blockingPolicy(behavior, blocked), provider);
            QImage image;
            const std::optional<CaptureError> error = captureErrorOf([&] { image = capture(service); });
            if (behavior == BlockedAppBehavior::cancelCapture && expected.refusal) {
                EXPECT_EQ(error, CaptureError::blockedContentPresent(*expected.refusal));
                continue;
            }
            ASSERT_FALSE(error) << "refused: " << error->description().toStdString();
            EXPECT_EQ(countPixels(image, red), 0);
            if (behavior == BlockedAppBehavior::placeholder) {
                EXPECT_GE(countPixels(image, plateGrey), expected.platePixels);
            }
        }
    }
};

// A transient dialog goes by its owner's ID, but the blocked app it names itself still counts.
TEST_F(X11BlockedWindowTest, ATransientNamingABlockedAppIsLeftOutWhateverItsOwner) {
    const xcb_window_t owner = spawn({100, 100, 300, 200}, green, {"--class", "CaptureAllowedOwner"});
    const xcb_window_t dialog =
        spawn({500, 100, 200, 150}, red, {"--class", blockedApp, "--transient-for", QString::number(owner)});
    const ShareableSnapshot snapshot = provider->shareableContent();
    ASSERT_TRUE(find(snapshot, dialog));
    EXPECT_EQ(find(snapshot, dialog)->bundleID, QString("CaptureAllowedOwner"));
    expectNeverShown(wholeDisplay, {QStringList{blockedApp}, 200 * 150 / 2});
}

// A popup with no owner named takes the first window of its process as owner; its own class
// still counts, so one allowed window cannot carry a blocked popup into a capture.
TEST_F(X11BlockedWindowTest, APopupNamingABlockedAppIsLeftOutThoughItsProcessHasAllowedWindows) {
    spawn({100, 100, 300, 200}, green,
          {"--class", "CaptureAllowed", "--popup", "600", "400", "--popup-class", blockedApp, "--popup-colour", "e01010"});
    // Its only visible window being the popup, a blocked app still refuses the capture.
    expectNeverShown(wholeDisplay, {QStringList{blockedApp}, 150 * 100 / 2});
}

TEST_F(X11BlockedWindowTest, AWindowSayingItIsHiddenWhileOnScreenStillCounts) {
    spawn({200, 200, 300, 200}, red, {"--class", blockedApp, "--claim-hidden"});
    expectNeverShown(wholeDisplay, {QStringList{blockedApp}, 300 * 200 / 2});
}

// Tk, xeyes and plain Xlib clients set no _NET_WM_PID, and a client may claim another process's:
// the server itself names the process, so such windows are ordinary windows, blocked only by
// their own IDs.
TEST_F(X11BlockedWindowTest, WindowsSettingNoProcessIDAreToldByTheServer) {
    const xcb_window_t stranger = spawn({100, 100, 250, 200}, red, {"--class", "CaptureStranger", "--no-pid"});
    const xcb_window_t nameless = spawn({400, 100, 250, 200}, green, {"--no-pid"});
    const xcb_window_t claimer = spawn({700, 100, 250, 200}, green, {"--class", "CaptureClaimer", "--pid", "1"});
    const ShareableSnapshot snapshot = provider->shareableContent();
    for (xcb_window_t window : {stranger, nameless, claimer}) {
        ASSERT_TRUE(find(snapshot, window));
        EXPECT_TRUE(find(snapshot, window)->isProcessKnown);
    }
    // Something else blocked: every behaviour shows all three whole.
    for (BlockedAppBehavior behavior : {BlockedAppBehavior::omit, BlockedAppBehavior::placeholder, BlockedAppBehavior::cancelCapture}) {
        SCOPED_TRACE(testing::Message() << "behaviour " << int(behavior));
        QImage image;
        const auto error = captureErrorOf([&] {
            image = CaptureService(blockingPolicy(behavior, {"CaptureSomethingElse"}), provider).captureDisplay();
        });
        ASSERT_FALSE(error) << error->description().toStdString();
        EXPECT_EQ(countPixels(image, red), 250 * 200);
        EXPECT_EQ(countPixels(image, green), 2 * 250 * 200);
        EXPECT_EQ(countPixels(image, plateGrey), 0);
    }
    // Blocked by its own name, it alone is left out, and a refusal names it alone.
    expectNeverShown(wholeDisplay, {QStringList{"CaptureStranger"}, 250 * 200 / 2}, {"CaptureStranger"});
    EXPECT_EQ(countPixels(CaptureService(blockingPolicy(BlockedAppBehavior::omit, {"CaptureStranger"}), provider).captureDisplay(), green),
              2 * 250 * 200);
}

// A window whose process cannot be looked at (a client of another machine, one whose process has
// gone) is told by its names alone: blocked when one resembles a blocked application's, or when
// it has none while anything is blocked; any other is shown.
TEST_F(X11BlockedWindowTest, AWindowWhoseProcessCannotBeLookedAtIsToldByItsNames) {
    if (!useNestedDisplay("", {"-listen", "tcp"})) return;
    const xcb_window_t vault = spawn({50, 50, 200, 150}, red, {"--class", "CaptureVault", "--tcp"});
    const xcb_window_t nameless = spawn({300, 50, 200, 150}, red, {"--tcp"});
    const xcb_window_t goneVault = spawn({550, 50, 200, 150}, red, {"--class", "Other", "--gtk-id", "com.other.CaptureVault", "--retain"});
    const xcb_window_t tool = spawn({50, 400, 200, 150}, green, {"--class", "CaptureTool", "--tcp"});
    const xcb_window_t goneNotes = spawn({300, 400, 200, 150}, green, {"--class", "CaptureNotes", "--retain"});
    const auto killRetained = qScopeGuard([&] {
        for (xcb_window_t window : {goneVault, goneNotes}) xcb_kill_client(x->get(), window);
        roundTrip(*x);
    });
    const ShareableSnapshot snapshot = provider->shareableContent();
    for (xcb_window_t window : {vault, nameless, goneVault, tool, goneNotes}) {
        SCOPED_TRACE(testing::Message() << "window " << window);
        ASSERT_TRUE(find(snapshot, window));
        EXPECT_FALSE(find(snapshot, window)->isProcessKnown);
    }
    const QStringList blocked{"org.example.CaptureVault"};
    expectNeverShown(wholeDisplay, {QStringList{"org.example.CaptureVault", unidentifiedWindow}, 3 * 200 * 150 / 2}, blocked);
    const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::omit, blocked), provider).captureDisplay();
    EXPECT_EQ(countPixels(image, green), 2 * 200 * 150);
    // Nothing blocked, nothing is left out.
    EXPECT_EQ(countPixels(CaptureService(blockingPolicy(BlockedAppBehavior::cancelCapture, {}), provider).captureDisplay(), red),
              3 * 200 * 150);
}

// Once a wallpaper setter has gone, its pixmap's ID may come back as any window's: that window
// must not be drawn as the desktop, in its own place or in the place of any window left out.
TEST_F(X11BlockedWindowTest, AWallpaperIDNamingAWindowGivesThePlainBackground) {
    const xcb_window_t blocked = spawn({600, 100, 200, 150}, red, {"--class", blockedApp});
    mapOwnWindow({100, 400, 200, 150});
    const xcb_atom_t wallpaper = x->atom("_XROOTPMAP_ID");
    xcb_change_property(x->get(), XCB_PROP_MODE_REPLACE, x->root(), wallpaper, XCB_ATOM_PIXMAP, 32, 1, &blocked);
    roundTrip(*x);
    // A region away from the blocked window, holding the hole this process's window leaves.
    expectNeverShown([](const CaptureService& s) { return s.captureRegion(Rect(50, 350, 400, 300)); }, {});
    expectNeverShown(wholeDisplay, {QStringList{blockedApp}});
    xcb_delete_property(x->get(), x->root(), wallpaper);
    roundTrip(*x);
}

// Every launcher claiming a class names its windows: the user's own launcher does not hide the
// installed application's ID, with which the policy blocks it.
TEST_F(X11BlockedWindowTest, EveryDesktopEntryClaimingAClassNamesItsWindows) {
    const QString userData = TestSupport::makeTemporaryFolder("user-data");
    const QString systemData = TestSupport::makeTemporaryFolder("system-data");
    TestSupport::writeFile(userData + "/applications/my-capture-foo.desktop",
                           "[Desktop Entry]\nName=Foo\nExec=foo\nStartupWMClass=CaptureFoo\n");
    TestSupport::writeFile(systemData + "/applications/org.example.CaptureFoo.desktop",
                           "[Desktop Entry]\nName=Foo\nExec=foo\nStartupWMClass=CaptureFoo\n");
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME"), dataDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_HOME", QFile::encodeName(userData));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(systemData));
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_DATA_HOME", dataHome);
        if (dataDirs.isNull()) qunsetenv("XDG_DATA_DIRS");
        else qputenv("XDG_DATA_DIRS", dataDirs);
    });

    spawn({100, 100, 300, 200}, red, {"--class", "CaptureFoo", "--gtk-id", "org.example.CaptureFoo"});
    const xcb_window_t second = spawn({600, 100, 300, 200}, red, {"--class", "CaptureFoo"});
    const ShareableSnapshot snapshot = provider->shareableContent();
    ASSERT_TRUE(find(snapshot, second));
    EXPECT_EQ(find(snapshot, second)->bundleID, QString("my-capture-foo"));

    const QStringList blocked{"org.example.CaptureFoo"};
    // The second window alone, and both.
    expectNeverShown([](const CaptureService& s) { return s.captureRegion(Rect(550, 50, 400, 300)); },
                     {blocked, 300 * 200 / 2}, blocked);
    expectNeverShown(wholeDisplay, {blocked, 300 * 200}, blocked);
}

// A closed window's frame stays on screen until the window manager gets round to removing it,
// still showing the window's last pixels; nothing says whose it was any more.
TEST_F(X11BlockedWindowTest, AFrameWhoseClientIsGoneIsNeverDrawn) {
    if (!useNestedDisplay("openbox")) return;
    const xcb_window_t blocked = spawn({100, 100, 300, 200}, red, {"--class", blockedApp});
    spawn({500, 100, 300, 200}, green, {"--class", "CaptureAllowed"});
    // An earlier capture with nothing left out settles every window's image.
    CaptureService(blockingPolicy(BlockedAppBehavior::omit, {}), provider).captureDisplay();

    nested->pauseWindowManager(true);
    close(blocked);
    expectNeverShown(wholeDisplay, {});
    nested->pauseWindowManager(false);
}

// Reparenting window managers without the extended client lists: clients are found inside their
// frames, and their frames go with them.
TEST_F(X11BlockedWindowTest, ClientsInsideFramesWithoutTheExtendedClientListsAreFound) {
    if (!useNestedDisplay("twm")) return;
    const xcb_window_t allowed = spawn({500, 100, 300, 200}, green, {"--class", "CaptureAllowed"});
    const xcb_window_t blocked = spawn({100, 100, 300, 200}, red, {"--class", blockedApp});
    expectNeverShown(wholeDisplay, {QStringList{blockedApp}, 300 * 200 / 2});
    // Listed as the clients they are, with their frames' bounds and order.
    const ShareableSnapshot snapshot = provider->shareableContent();
    ASSERT_TRUE(find(snapshot, blocked) && find(snapshot, allowed));
    EXPECT_EQ(find(snapshot, blocked)->bundleID, blockedApp);
    EXPECT_TRUE(toQRect(find(snapshot, blocked)->frame).contains(clientArea(blocked)));
    EXPECT_LT(find(snapshot, blocked)->zIndex, find(snapshot, allowed)->zIndex);
}

// A compositing manager may drop its redirection and take it up again (while a full-screen window
// shows, or when it restarts); the server then gives every window a new image copied from the
// screen. A window that does not repaint would carry what lay over it into every later capture.
TEST_F(X11BlockedWindowTest, ACompositorRedirectingWindowsAgainCarriesNoPixelsOver) {
    struct Case {
        const char* name;
        QString program;
        QStringList arguments;
        bool restart; // restarted rather than made to drop its redirection
    } cases[] = {
        {"picom while a full-screen window comes and goes", "picom",
         {"--backend", "xrender", "--unredir-if-possible", "--no-fading-openclose"}, false},
        {"xcompmgr restarted", "xcompmgr", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!TestSupport::hasProgram(c.program)) {
            ADD_FAILURE() << c.program.toStdString() << " is not installed";
            continue;
        }
        if (!useNestedDisplay("")) return;
        ASSERT_TRUE(nested->startCompositor(c.program, c.arguments));
        // A window that never repaints, under a blocked one.
        const xcb_window_t still = spawn({100, 100, 400, 300}, green, {"--class", "CaptureStill", "--slow-repaint", "600000"});
        const xcb_window_t blocked = spawn({300, 200, 300, 200}, red, {"--class", blockedApp});
        CaptureService(blockingPolicy(BlockedAppBehavior::omit, {blockedApp}), provider).captureDisplay();

        if (c.restart) {
            nested->stopCompositor();
            ASSERT_TRUE(nested->startCompositor(c.program, c.arguments));
        } else {
            const xcb_window_t fullScreen = spawn({0, 0, 1024, 768}, blue, {"--class", "CaptureFullScreen", "--override"});
            QThread::msleep(300); // the compositor's next frames
            close(fullScreen);
        }
        QThread::msleep(300);
        {
            SCOPED_TRACE("over the still window");
            expectNeverShown(wholeDisplay, {QStringList{blockedApp}});
        }
        // Moved away, the blocked window's plate no longer covers the still window.
        const std::uint32_t away[] = {650, 450};
        xcb_configure_window(x->get(), blocked, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, away);
        roundTrip(*x);
        {
            SCOPED_TRACE("moved away");
            expectNeverShown(wholeDisplay, {QStringList{blockedApp}});
        }
        // Hidden, it no longer refuses a capture.
        xcb_unmap_window(x->get(), blocked);
        roundTrip(*x);
        {
            SCOPED_TRACE("hidden");
            expectNeverShown(wholeDisplay, {});
        }
        EXPECT_EQ(countPixels(provider->live.captureWindow({still, {}, std::nullopt, true, 0}), red), 0);
        TearDown();
    }
}

// Blocked and allowed windows open, close, move, resize, hide and show again all the time (some
// of them popups, some never painted) while captures go on: not one blocked pixel may show.
TEST_F(X11BlockedWindowTest, WindowsChurningDuringCapturesNeverShowABlockedPixel) {
    QProcess churn;
    churn.start(CAPTURE_CHURN_CLIENT, {"12", "12", "16"});
    ASSERT_TRUE(churn.waitForStarted());
    while (!churn.canReadLine() && churn.waitForReadyRead(10000)) {
    }
    ASSERT_EQ(churn.readLine().trimmed(), "ready");

    const QStringList blocked{"CaptureChurnBlocked"};
    int captured = 0, refused = 0, leaked = 0;
    for (int i = 0; i < 200; ++i) {
        const BlockedAppBehavior behavior = i % 5 == 4 ? BlockedAppBehavior::cancelCapture
                                            : i % 2    ? BlockedAppBehavior::placeholder
                                                       : BlockedAppBehavior::omit;
        const CaptureService service(blockingPolicy(behavior, blocked), provider);
        QImage image;
        const auto error = captureErrorOf([&] {
            image = i % 3 ? service.captureDisplay() : service.captureRegion(Rect(100, 100, 700, 500));
        });
        if (error) {
            EXPECT_EQ(error, CaptureError::blockedContentPresent(blocked));
            ++refused;
            continue;
        }
        ++captured;
        const int pixels = countPixels(image, red);
        if (pixels && !leaked) image.save(TestSupport::makeTemporaryFolder("churn") + "/leak.png");
        leaked += pixels;
    }
    churn.closeWriteChannel();
    churn.waitForFinished(5000);
    EXPECT_EQ(leaked, 0);
    EXPECT_GE(captured, 150);
    EXPECT_EQ(captured + refused, 200);
}

} // namespace
