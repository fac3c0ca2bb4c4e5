// The live provider against a real X server (the test run's Xvfb, with openbox where it runs),
// with windows from the capture test client.
#include "CaptureKit/CaptureAuthorization.h"
#include "X11CaptureFixture.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/wait.h>
#include <unistd.h>

using namespace CaptureKit;
using namespace CaptureKitTests;
using PolicyKit::BlockedAppBehavior;
using Support::Rect;

namespace {

// The root's pixels as the screen shows them (under a compositing manager: its drawing).
QImage screenImage(X11Connection& x) {
    const int width = x.screen()->width_in_pixels, height = x.screen()->height_in_pixels;
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        x.get(), xcb_get_image(x.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(), 0, 0, std::uint16_t(width), std::uint16_t(height), ~0u),
        nullptr));
    if (!reply || xcb_get_image_data_length(reply.get()) < width * height * 4) return {};
    QImage image(xcb_get_image_data(reply.get()), width, height, QImage::Format_RGB32);
    return image.copy();
}

TEST_F(X11CaptureTest, AuthorisedOnADisplayWithCompositeAndDeniedWithoutOne) {
    EXPECT_EQ(CaptureAuthorization::current(), CaptureAuthorization::authorized);
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    EXPECT_EQ(CaptureAuthorization::current(), CaptureAuthorization::denied);
    qputenv("DISPLAY", ":9999");
    EXPECT_EQ(CaptureAuthorization::current(), CaptureAuthorization::denied);
    qputenv("DISPLAY", display);

    // A display without Composite: denied, and the provider refuses as not authorised.
    REQUIRE_PROGRAM("Xvfb");
    QProcess server;
    server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-extension", "Composite"});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    qputenv("DISPLAY", ":" + server.readLine().trimmed());
    EXPECT_EQ(CaptureAuthorization::current(), CaptureAuthorization::denied);
    EXPECT_EQ(captureErrorOf([] { X11ScreenContentProvider().shareableContent(); }), CaptureError::notAuthorized());
    qputenv("DISPLAY", display);
    server.terminate();
    server.waitForFinished();
}

TEST_F(X11CaptureTest, WindowsListInStackingOrderWithTheirApplicationIDs) {
    const xcb_window_t a = spawn({50, 60, 200, 150}, red, {"--class", "CaptureTestA"});
    const xcb_window_t b = spawn({100, 100, 200, 150}, green, {"--class", "Ignored", "--gtk-id", "org.example.CaptureB"});
    const xcb_window_t c = spawn({150, 140, 200, 150}, blue, {"--class", "CaptureTestC"});
    const ShareableSnapshot snapshot = provider->shareableContent();

    struct Expected {
        xcb_window_t window;
        const char* property;
        QString id;
    } expected[] = {{a, "WM_CLASS", "CaptureTestA"}, {b, "_GTK_APPLICATION_ID", "org.example.CaptureB"}, {c, "WM_CLASS", "CaptureTestC"}};
    for (const Expected& e : expected) {
        const WindowInfo* info = find(snapshot, e.window);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->bundleID, e.id);
        EXPECT_TRUE(info->isOnScreen);
        EXPECT_TRUE(info->frame.contains(Rect(clientArea(e.window).x(), clientArea(e.window).y(), 200, 150)));
        const auto xprop = TestSupport::runProgram("xprop", {"-id", QString::number(e.window), e.property});
        ASSERT_TRUE(xprop);
        EXPECT_TRUE(xprop->standardOutput.contains(e.id.toUtf8())) << xprop->standardOutput.toStdString();
    }

    // Front to back: xprop lists the window manager's clients bottom to top; without a manager,
    // xwininfo lists the root's children top to bottom.
    std::vector<xcb_window_t> frontToBack;
    const bool managed = hasWindowManager();
    const auto listing = managed ? TestSupport::runProgram("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"})
                                 : TestSupport::runProgram("xwininfo", {"-root", "-children"});
    ASSERT_TRUE(listing);
    const QString text = QString::fromUtf8(listing->standardOutput);
    if (managed) {
        for (const QString& id : text.section('#', 1).split(',', Qt::SkipEmptyParts))
            frontToBack.insert(frontToBack.begin(), id.trimmed().toUInt(nullptr, 16));
    } else {
        const QRegularExpression child(R"(^\s+(0x[0-9a-f]+) )", QRegularExpression::MultilineOption);
        for (auto it = child.globalMatch(text); it.hasNext();) {
            const xcb_window_t window = it.next().captured(1).toUInt(nullptr, 16);
            if (find(snapshot, window)) frontToBack.push_back(window);
        }
    }
    ASSERT_GE(frontToBack.size(), 3u);
    std::int64_t expectedZ = 0;
    for (xcb_window_t window : frontToBack) {
        const WindowInfo* info = find(snapshot, window);
        ASSERT_TRUE(info) << window;
        if (info->isOnScreen) {
            EXPECT_EQ(info->zIndex, expectedZ++);
        }
    }
    EXPECT_LT(find(snapshot, c)->zIndex, find(snapshot, b)->zIndex);
    EXPECT_LT(find(snapshot, b)->zIndex, find(snapshot, a)->zIndex);
}

TEST_F(X11CaptureTest, OmitLeavesNoPixelOfTheBlockedWindowAndShowsWhatWasBeneath) {
    const xcb_window_t beneath = spawn({100, 100, 300, 200}, green, {"--class", "CaptureBeneath"});
    spawn({250, 150, 300, 200}, red, {"--class", "CaptureBlocked"});
    const CaptureService service(blockingPolicy(BlockedAppBehavior::omit, {"CaptureBlocked"}), provider);
    const QImage image = service.captureDisplay();
    EXPECT_EQ(countPixels(image, red), 0);
    // Where the blocked window covered the window beneath, that window shows.
    const QRect under = clientArea(beneath);
    EXPECT_EQ(image.pixel(under.right() - 5, under.bottom() - 5), green);
    EXPECT_EQ(countPixels(image, green, under), under.width() * under.height());
}

TEST_F(X11CaptureTest, WhereNothingLayBeneathThePublishedDesktopBackgroundShows) {
    // A desktop background as wallpaper setters publish it: a pixmap named on the root.
    constexpr QRgb wallpaper = 0xff6a4c93;
    const xcb_pixmap_t pixmap = xcb_generate_id(x->get());
    xcb_create_pixmap(x->get(), x->screen()->root_depth, pixmap, x->root(), 64, 64);
    const xcb_gcontext_t gc = xcb_generate_id(x->get());
    const std::uint32_t colour = wallpaper & 0xffffff;
    xcb_create_gc(x->get(), gc, pixmap, XCB_GC_FOREGROUND, &colour);
    const xcb_rectangle_t all{0, 0, 64, 64};
    xcb_poly_fill_rectangle(x->get(), pixmap, gc, 1, &all);
    const xcb_atom_t property = x->atom("_XROOTPMAP_ID");
    xcb_change_property(x->get(), XCB_PROP_MODE_REPLACE, x->root(), property, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
    roundTrip(*x);

    const xcb_window_t blocked = spawn({300, 300, 200, 150}, red, {"--class", "CaptureBlocked"});
    const QRect area = clientArea(blocked);
    const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::omit, {"CaptureBlocked"}), provider).captureDisplay();
    xcb_delete_property(x->get(), x->root(), property);
    xcb_free_gc(x->get(), gc);
    xcb_free_pixmap(x->get(), pixmap);
    EXPECT_EQ(countPixels(image, wallpaper, area), area.width() * area.height());
}

// Without a published wallpaper, the root window's own background (as xsetroot sets it) is what
// the screen shows where no window lies, and so what a left-out window's place shows: a colour,
// or a pattern tiled from the screen's corner. A root without any background shows black, never
// the left-out window.
TEST_F(X11CaptureTest, WhereNothingLayBeneathTheRootWindowsOwnBackgroundShows) {
    constexpr QRgb colour = 0xff336699, stripe = 0xffd0b060;
    // The tile: 7 wide (so that a wrong phase shows in any place), stripes on its first 3 columns.
    const auto tiled = [](int x, int) { return x % 7 < 3 ? stripe : colour; };
    struct Case {
        const char* name;
        QStringList serverArguments;
        QString compositor;
        bool pattern;
        std::function<QRgb(int, int)> expected;
    } cases[] = {
        {"a colour", {}, {}, false, [](int, int) { return colour; }},
        {"a tiled pattern", {}, {}, true, tiled},
        // What the manager draws where no window lies, as the screen shows it.
        {"a colour under a compositing manager", {}, "picom", false, [](int, int) { return QRgb(0); }},
        {"no background at all", {"-background", "none"}, {}, false, [](int, int) { return QRgb(0xff000000); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!useNestedDisplay("", c.serverArguments)) return;
        if (!c.compositor.isEmpty()) {
            ASSERT_TRUE(nested->startCompositor(c.compositor, {"--backend", "xrender", "--no-fading-openclose"}));
        }
        xcb_connection_t* conn = x->get();
        if (c.serverArguments.isEmpty()) {
            std::uint32_t background = colour & 0xffffff;
            std::uint32_t mask = XCB_CW_BACK_PIXEL;
            if (c.pattern) {
                const xcb_pixmap_t tile = xcb_generate_id(conn);
                xcb_create_pixmap(conn, x->screen()->root_depth, tile, x->root(), 7, 5);
                const xcb_gcontext_t gc = xcb_generate_id(conn);
                xcb_create_gc(conn, gc, tile, XCB_GC_FOREGROUND, &background);
                const xcb_rectangle_t all{0, 0, 7, 5};
                xcb_poly_fill_rectangle(conn, tile, gc, 1, &all);
                const std::uint32_t stripeColour = stripe & 0xffffff;
                xcb_change_gc(conn, gc, XCB_GC_FOREGROUND, &stripeColour);
                const xcb_rectangle_t stripes{0, 0, 3, 5};
                xcb_poly_fill_rectangle(conn, tile, gc, 1, &stripes);
                xcb_free_gc(conn, gc);
                background = tile;
                mask = XCB_CW_BACK_PIXMAP;
            }
            xcb_change_window_attributes(conn, x->root(), mask, &background);
            // The root keeps its background pixmap; the name can go.
            if (c.pattern) xcb_free_pixmap(conn, background);
            xcb_clear_area(conn, 0, x->root(), 0, 0, 0, 0);
        }
        const xcb_window_t blocked = spawn({301, 203, 200, 150}, red, {"--class", "CaptureBlocked"});
        const QRect area = clientArea(blocked);
        std::function<QRgb(int, int)> expected = c.expected;
        if (!c.compositor.isEmpty()) {
            // The root's own colour shows until the manager starts drawing.
            QRgb drawn = colour;
            ASSERT_TRUE(TestSupport::waitUntil([&] {
                const QImage screen = screenImage(*x);
                drawn = screen.isNull() ? colour : screen.pixel(5, 5);
                return drawn != colour;
            }));
            expected = [drawn](int, int) { return drawn; };
        }
        const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::omit, {"CaptureBlocked"}), provider).captureDisplay();
        EXPECT_EQ(countPixels(image, red), 0);
        int wrong = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int px = area.left(); px <= area.right(); ++px) wrong += image.pixel(px, y) != expected(px, y);
        EXPECT_EQ(wrong, 0);
        TearDown();
    }
}

// What a capture shows of the desktop, where a left-out window lay and where no window is, is what
// the screen shows there: the root's colour without a compositing manager, the manager's own
// drawing of the desktop under one (set before or after it starts), and a published wallpaper
// under both.
TEST_F(X11CaptureTest, TheCapturedDesktopIsWhatTheScreenShows) {
    constexpr QRgb rootColour = 0xff336699, wallpaper = 0xff6a4c93;
    enum class Compositor { none, startedFirst, startedAfter };
    struct Case {
        const char* name;
        Compositor compositor;
        bool publishedWallpaper;
    } cases[] = {
        {"the root's colour without a compositing manager", Compositor::none, false},
        {"colour set under a running compositing manager", Compositor::startedFirst, false},
        {"colour set before the compositing manager started", Compositor::startedAfter, false},
        {"a published wallpaper under a compositing manager", Compositor::startedFirst, true},
    };
    const QStringList picom{"--config", "/dev/null", "--backend", "xrender", "--no-fading-openclose"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!TestSupport::hasProgram("picom")) {
            ADD_FAILURE() << "picom is not installed";
            return;
        }
        if (!useNestedDisplay("openbox")) return;
        if (c.compositor == Compositor::startedFirst) {
            ASSERT_TRUE(nested->startCompositor("picom", picom));
        }
        xcb_connection_t* conn = x->get();
        // As xsetroot -solid sets it.
        const std::uint32_t colour = rootColour & 0xffffff;
        xcb_change_window_attributes(conn, x->root(), XCB_CW_BACK_PIXEL, &colour);
        xcb_clear_area(conn, 0, x->root(), 0, 0, 0, 0);
        xcb_pixmap_t pixmap = XCB_NONE;
        if (c.publishedWallpaper) {
            pixmap = xcb_generate_id(conn);
            xcb_create_pixmap(conn, x->screen()->root_depth, pixmap, x->root(), 64, 64);
            const xcb_gcontext_t gc = xcb_generate_id(conn);
            const std::uint32_t fill = wallpaper & 0xffffff;
            xcb_create_gc(conn, gc, pixmap, XCB_GC_FOREGROUND, &fill);
            const xcb_rectangle_t all{0, 0, 64, 64};
            xcb_poly_fill_rectangle(conn, pixmap, gc, 1, &all);
            xcb_free_gc(conn, gc);
            xcb_change_property(conn, XCB_PROP_MODE_REPLACE, x->root(), x->atom("_XROOTPMAP_ID"), XCB_ATOM_PIXMAP, 32, 1, &pixmap);
        }
        roundTrip(*x);
        if (c.compositor == Compositor::startedAfter) {
            ASSERT_TRUE(nested->startCompositor("picom", picom));
        }
        const xcb_window_t allowed = spawn({100, 100, 300, 200}, green, {"--class", "CaptureAllowed"});
        const xcb_window_t blocked = spawn({500, 300, 300, 200}, red, {"--class", "CaptureBlocked"});
        const QRect allowedArea = clientArea(allowed), blockedArea = clientArea(blocked);
        // Until the screen shows both windows painted, and a compositing manager its desktop: the
        // root's own colour shows until it starts drawing.
        QImage screen;
        ASSERT_TRUE(TestSupport::waitUntil([&] {
            screen = screenImage(*x);
            return !screen.isNull() && screen.pixel(allowedArea.center()) == green && screen.pixel(blockedArea.center()) == red
                   && (c.compositor == Compositor::none || screen.pixel(5, 5) != rootColour);
        }));
        const ShareableSnapshot snapshot = provider->shareableContent();
        ASSERT_TRUE(find(snapshot, allowed) && find(snapshot, blocked));
        const QRect allowedFrame = toQRect(find(snapshot, allowed)->frame), blockedFrame = toQRect(find(snapshot, blocked)->frame);
        const QRgb desktop = screen.pixel(5, 5);
        const CaptureService service(blockingPolicy(BlockedAppBehavior::omit, {"CaptureBlocked"}), provider);
        const QImage image = service.captureDisplay().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), screen.size());
        int wrongBare = 0, wrongUnderBlocked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int px = 0; px < image.width(); ++px) {
                const QPoint at(px, y);
                if (allowedFrame.contains(at)) continue;
                if (blockedFrame.contains(at)) wrongUnderBlocked += image.pixel(at) != desktop;
                else wrongBare += image.pixel(at) != screen.pixel(at);
            }
        }
        EXPECT_EQ(wrongBare, 0) << "desktop " << std::hex << desktop << ", captured " << image.pixel(5, 5);
        EXPECT_EQ(wrongUnderBlocked, 0);
        EXPECT_EQ(countPixels(image, green, allowedArea), allowedArea.width() * allowedArea.height());
        // A region of plain desktop.
        const QImage region = service.captureRegion(Rect(850, 50, 150, 200)).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(countPixels(region, desktop), 150 * 200);
        if (pixmap) xcb_free_pixmap(conn, pixmap);
        TearDown();
    }
}

TEST_F(X11CaptureTest, PlaceholderPlateLiesExactlyOverTheVisiblePart) {
    const xcb_window_t blocked = spawn({100, 100, 400, 300}, red, {"--class", "CapturePlated"});
    const xcb_window_t front = spawn({300, 50, 400, 200}, green, {"--class", "CaptureFront"});
    const ShareableSnapshot snapshot = provider->shareableContent();
    const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::placeholder, {"CapturePlated"}), provider).captureDisplay();
    EXPECT_EQ(countPixels(image, red), 0);

    const std::vector<Rect> pieces = CaptureService::subtracting(find(snapshot, front)->frame, find(snapshot, blocked)->frame);
    ASSERT_FALSE(pieces.empty());
    QRegion plate;
    for (const Rect& piece : pieces) plate += toQRect(piece);
    // Inside: only the plate's grey and its light label, never the window.
    for (const QRect& r : plate) {
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QRgb p = image.pixel(x, y);
                ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << "," << y;
            }
    }
    EXPECT_GT(countPixels(image, plateGrey, plate.boundingRect()), plate.boundingRect().width() * 10);
    // Nowhere else: not on the window in front, nor in a band around the blocked window.
    EXPECT_EQ(countPixels(image, plateGrey, clientArea(front)), 0);
    const QRect around = toQRect(find(snapshot, blocked)->frame).adjusted(-30, -30, 30, 30);
    int outside = 0;
    for (int y = around.top(); y <= around.bottom(); ++y)
        for (int x = around.left(); x <= around.right(); ++x)
            outside += !plate.contains(QPoint(x, y)) && image.pixel(x, y) == plateGrey;
    EXPECT_EQ(outside, 0);
}

// Redirecting a window gives it an off-screen image filled from the screen, which shows the
// windows lying on top of it, until its client repaints. A slow client must not carry a left-out
// window's pixels into the capture that way.
TEST_F(X11CaptureTest, SlowClientsNeverCarryALeftOutWindowsPixels) {
    const xcb_window_t beneath = spawn({100, 100, 300, 200}, green, {"--class", "CaptureSlow", "--slow-repaint", "3000"});
    spawn({250, 150, 300, 200}, red, {"--class", "CaptureBlocked"});
    const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::omit, {"CaptureBlocked"}), provider).captureDisplay();
    EXPECT_EQ(countPixels(image, red), 0);
    const QImage window = provider->live.captureWindow({beneath, {}, std::nullopt, true, 0});
    EXPECT_EQ(countPixels(window, red), 0);
}

TEST_F(X11CaptureTest, ThePointerIsNeverDrawn) {
    REQUIRE_PROGRAM("xdotool");
    const xcb_window_t window = spawn({300, 300, 200, 200}, green, {"--class", "CapturePointer"});
    const QRect area = clientArea(window);
    ASSERT_EQ(TestSupport::runProgram("xdotool", {"mousemove", QString::number(area.center().x()),
                                                  QString::number(area.center().y())})->exitCode, 0);
    const CaptureService service(blockingPolicy(BlockedAppBehavior::omit, {}), provider);
    EXPECT_EQ(countPixels(service.captureDisplay(), green, area), area.width() * area.height());
    EXPECT_EQ(countPixels(service.captureDisplayContent(), green, area), area.width() * area.height());
    EXPECT_EQ(countPixels(service.captureWindow(window), green), area.width() * area.height());
}

// A window mapped later gets its image the same way, filled from the screen beneath it, and so
// does a window shown again, even at its old size.
TEST_F(X11CaptureTest, WindowsMappedLaterOrShownAgainNeverCarryALeftOutWindowsPixels) {
    const CaptureService service(blockingPolicy(BlockedAppBehavior::omit, {"CaptureBlocked"}), provider);
    provider->shareableContent();
    spawn({250, 150, 300, 200}, red, {"--class", "CaptureBlocked", "--override"});
    const xcb_window_t slow = spawn({100, 100, 300, 200}, green, {"--class", "CaptureSlow", "--slow-repaint", "3000", "--override"});
    EXPECT_EQ(countPixels(service.captureDisplay(), red), 0);
    // Shown again on top of the blocked window while its client is busy.
    xcb_unmap_window(x->get(), slow);
    xcb_map_window(x->get(), slow);
    roundTrip(*x);
    EXPECT_EQ(countPixels(service.captureDisplay(), red), 0);
}

TEST_F(X11CaptureTest, CancelCaptureIsRefusedBeforeAnyImageIsTaken) {
    spawn({100, 100, 200, 200}, red, {"--class", "CaptureRefused"});
    const CaptureService service(blockingPolicy(BlockedAppBehavior::cancelCapture, {"CaptureRefused"}), provider);
    EXPECT_EQ(captureErrorOf([&] { service.captureDisplay(); }), CaptureError::blockedContentPresent({"CaptureRefused"}));
    EXPECT_EQ(provider->images, 0);
}

TEST_F(X11CaptureTest, TransientDialogsAndPopupsGoWithTheirOwner) {
    // The owner opens a popup of its own (another class, same process); a second process opens
    // a dialog for the owner's window.
    const xcb_window_t owner = spawn({100, 100, 200, 150}, red, {"--class", "CaptureOwner", "--popup", "100", "400"});
    const xcb_window_t dialog = spawn({400, 100, 150, 100}, red, {"--class", "Dialog", "--transient-for", QString::number(owner)});
    const ShareableSnapshot snapshot = provider->shareableContent();
    ASSERT_TRUE(find(snapshot, dialog));
    EXPECT_EQ(find(snapshot, dialog)->bundleID, QString("CaptureOwner"));
    const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::omit, {"CaptureOwner"}), provider).captureDisplay();
    EXPECT_EQ(countPixels(image, red, QRect(100, 400, 150, 100)), 0) << "the popup shows";
    EXPECT_EQ(countPixels(image, red), 0);
}

// Some window managers put several clients (tabs) into one frame, which shows whichever is
// mapped: the frame goes with every application it holds.
TEST_F(X11CaptureTest, AFrameHoldingSeveralClientsGoesWithEachOfThem) {
    // Made by a child process that keeps them when it ends: windows of this process would never
    // be listed, and without a process to look at, only an application ID of its own tells a
    // window from a blocked application's.
    const auto makeWindow = [](xcb_connection_t* c, xcb_window_t parent, QRgb colour, const char* windowClass) {
        const xcb_window_t w = xcb_generate_id(c);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        // Override-redirect, so that a running window manager leaves this frame alone.
        const bool topLevel = parent == screen->root;
        const std::uint32_t values[] = {colour & 0xffffff, topLevel};
        const std::int16_t at = topLevel ? 300 : 0;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, parent, at, at, 300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        const QByteArray value = QByteArray(windowClass) + '\0' + windowClass + '\0';
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, std::uint32_t(value.size()),
                            value.constData());
        const auto atom = [&](const char* name) {
            XcbReply<xcb_intern_atom_reply_t> reply(
                xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(qstrlen(name)), name), nullptr));
            return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        };
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("_GTK_APPLICATION_ID"), atom("UTF8_STRING"), 8,
                            std::uint32_t(qstrlen(windowClass)), windowClass);
        // What a window manager sets on the clients it manages.
        if (!topLevel) {
            const std::uint32_t normalState[] = {1, XCB_NONE};
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("WM_STATE"), atom("WM_STATE"), 32, 2, normalState);
        }
        return w;
    };
    int ids[2];
    ASSERT_EQ(::pipe(ids), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const xcb_window_t frame = makeWindow(c, root, green, "CaptureFrame");
        const xcb_window_t tabs[] = {frame, makeWindow(c, frame, green, "CaptureTabA"), makeWindow(c, frame, red, "CaptureTabB")};
        xcb_map_subwindows(c, frame);
        xcb_map_window(c, frame);
        xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        xcb_disconnect(c);
        const bool written = ::write(ids[1], tabs, sizeof tabs) == ssize_t(sizeof tabs);
        ::_exit(written ? 0 : 1);
    }
    ::close(ids[1]);
    xcb_window_t made[3] = {};
    const bool read = ::read(ids[0], made, sizeof made) == ssize_t(sizeof made);
    ::close(ids[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(read && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const xcb_window_t frame = made[0], tabA = made[1], tabB = made[2];
    roundTrip(*x);

    const ShareableSnapshot snapshot = provider->shareableContent();
    const QImage omitted = CaptureService(blockingPolicy(BlockedAppBehavior::omit, {"CaptureTabB"}), provider).captureDisplay();
    const auto refused = captureErrorOf([&] {
        CaptureService(blockingPolicy(BlockedAppBehavior::cancelCapture, {"CaptureTabB"}), provider).captureDisplay();
    });
    EXPECT_THROW(provider->live.captureWindow({tabA, {}, std::nullopt, true, 0}), X11Error);
    xcb_kill_client(x->get(), frame);

    EXPECT_EQ(countPixels(omitted, red), 0);
    EXPECT_EQ(refused, CaptureError::blockedContentPresent({"CaptureTabB"}));
    ASSERT_TRUE(find(snapshot, tabA) && find(snapshot, tabB));
    EXPECT_EQ(find(snapshot, tabB)->bundleID, QString("CaptureTabB"));
}

TEST_F(X11CaptureTest, DesktopLessCaptureIsTransparentWhereOnlyTheDesktopWas) {
    const xcb_window_t window = spawn({200, 200, 300, 200}, green, {"--class", "CaptureContent"});
    const xcb_window_t dock = spawn({600, 200, 200, 100}, blue, {"--class", "CaptureDock", "--type", "DOCK"});
    const xcb_window_t above = spawn({900, 200, 200, 100}, blue, {"--class", "CaptureAbove", "--above"});
    // The window list tells ordinary windows from the layers a desktop-less capture leaves out.
    const ShareableSnapshot snapshot = provider->shareableContent();
    for (const auto& [listed, ordinary] : {std::pair{window, true}, std::pair{dock, false}, std::pair{above, false}}) {
        ASSERT_TRUE(find(snapshot, listed));
        EXPECT_EQ(find(snapshot, listed)->isOrdinary, ordinary) << listed;
    }
    const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::omit, {}), provider).captureDisplayContent();
    const QRect area = clientArea(window);
    EXPECT_EQ(countPixels(image, green, area), area.width() * area.height());
    EXPECT_EQ(countPixels(image, blue), 0);
    EXPECT_EQ(qAlpha(image.pixel(image.width() - 3, image.height() - 3)), 0);
    EXPECT_EQ(qAlpha(image.pixel(700, 250)), 0);
}

TEST_F(X11CaptureTest, ShapedWindowsAreTransparentOutsideTheirShape) {
    const xcb_window_t shaped = spawn({200, 200, 400, 200}, green, {"--class", "CaptureShaped", "--shape-left-half"});
    const QRect area = clientArea(shaped);
    const QImage window = provider->live.captureWindow({shaped, {}, std::nullopt, true, 0});
    EXPECT_EQ(countPixels(window, green), 200 * 200);
    EXPECT_GE(countPixels(window, 0u), 200 * 200);
    const QImage content = provider->live.captureDisplayContent(firstDisplay(), {});
    EXPECT_EQ(countPixels(content, green, area), 200 * 200);
    EXPECT_EQ(countPixels(content, 0u, area.adjusted(200, 0, 0, 0)), 200 * 200);
}

TEST_F(X11CaptureTest, TranslucentWindowsBlendOverWhatRemainsBeneath) {
    // A half-transparent blue window, partly over a blocked red one and partly over the desktop.
    spawn({100, 100, 300, 200}, red, {"--class", "CaptureBlocked", "--override"});
    spawn({250, 100, 300, 200}, blue, {"--class", "CaptureGlass", "--argb", "128", "--override"});
    const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::omit, {"CaptureBlocked"}), provider).captureDisplay();
    const QRect glass(250, 100, 300, 200);
    int reddish = 0;
    for (int y = glass.top(); y <= glass.bottom(); ++y)
        for (int x = glass.left(); x <= glass.right(); ++x) reddish += qRed(image.pixel(x, y)) > 60;
    EXPECT_EQ(reddish, 0);
    // Over the blocked window's place it looks as it does over the bare desktop.
    EXPECT_EQ(image.pixel(300, 150), image.pixel(500, 250));
    EXPECT_GT(qBlue(image.pixel(300, 150)), 60);
}

TEST_F(X11CaptureTest, WindowCaptureOfAHalfCoveredWindowGivesItsOwnPixels) {
    const xcb_window_t covered = spawn({100, 100, 300, 200}, green, {"--class", "CaptureCovered"});
    spawn({250, 50, 300, 300}, red, {"--class", "CaptureCover"});
    const ShareableSnapshot snapshot = provider->shareableContent();
    const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::omit, {}), provider).captureWindow(covered);
    const WindowInfo* info = find(snapshot, covered);
    ASSERT_TRUE(info);
    EXPECT_EQ(image.size(), toQRect(info->frame).size());
    EXPECT_EQ(countPixels(image, red), 0);
    EXPECT_EQ(countPixels(image, green), 300 * 200);
}

TEST_F(X11CaptureTest, TwoMonitorsListAsTwoDisplays) {
    REQUIRE_PROGRAM("xrandr");
    const int width = x->screen()->width_in_pixels, height = x->screen()->height_in_pixels;
    const QString half = QString("%1/254x%2/286").arg(width / 2).arg(height);
    ASSERT_EQ(TestSupport::runProgram("xrandr", {"--setmonitor", "CaptureLeft", half + "+0+0", "none"})->exitCode, 0);
    ASSERT_EQ(TestSupport::runProgram("xrandr", {"--setmonitor", "CaptureRight", half + QString("+%1+0").arg(width / 2), "none"})->exitCode, 0);
    const xcb_window_t window = spawn({width / 2 + 100, 100, 200, 150}, green, {"--class", "CaptureRightSide"});
    const QRect area = clientArea(window);
    const ShareableSnapshot snapshot = provider->shareableContent();
    // The right display's image starts at its own top-left corner.
    QImage right;
    for (const DisplayInfo& d : snapshot.displays)
        if (d.frame.minX() == width / 2) right = provider->captureDisplay(d, {});
    TestSupport::runProgram("xrandr", {"--delmonitor", "CaptureLeft"});
    TestSupport::runProgram("xrandr", {"--delmonitor", "CaptureRight"});
    EXPECT_EQ(right.size(), QSize(width / 2, height));
    EXPECT_EQ(countPixels(right, green, area.translated(-width / 2, 0)), area.width() * area.height());

    std::vector<Rect> frames;
    for (const DisplayInfo& d : snapshot.displays) frames.push_back(d.frame);
    const auto has = [&](const Rect& r) { return std::any_of(frames.begin(), frames.end(), [&](const Rect& f) { return f.equalTo(r); }); };
    EXPECT_TRUE(has(Rect(0, 0, width / 2, height)));
    EXPECT_TRUE(has(Rect(width / 2, 0, width / 2, height)));
    for (const DisplayInfo& d : snapshot.displays) EXPECT_EQ(d.scale(), 1.0);
}

TEST_F(X11CaptureTest, ThisProcesssWindowsNeverAppear) {
    mapOwnWindow({300, 300, 200, 200});

    const CaptureService service(blockingPolicy(BlockedAppBehavior::omit, {}), provider);
    EXPECT_FALSE(find(provider->shareableContent(), ownWindow));
    EXPECT_EQ(countPixels(service.captureDisplay(), ownColour), 0);
    EXPECT_EQ(countPixels(service.captureDisplayContent(), ownColour), 0);
    EXPECT_THROW(provider->live.captureWindow({ownWindow, Rect(300, 300, 200, 200), std::nullopt, true, 0}), CaptureError);
    // A busy window mapped over ours starts with a copy of our pixels.
    spawn({250, 250, 300, 300}, green, {"--class", "CaptureSlow", "--slow-repaint", "3000", "--override"});
    EXPECT_EQ(countPixels(service.captureDisplay(), ownColour), 0);
    EXPECT_EQ(countPixels(service.captureDisplayContent(), ownColour), 0);
}

TEST_F(X11CaptureTest, WithNothingExcludedTheCaptureEqualsImportOfTheRoot) {
    REQUIRE_PROGRAM("import");
    spawn({100, 100, 300, 200}, green, {"--class", "CaptureSame"});
    spawn({200, 150, 300, 200}, red, {"--class", "CaptureSame2"});
    const DisplayInfo display = firstDisplay();
    const QString file = TestSupport::makeTemporaryFolder("import") + "/root.png";
    auto importRoot = [&] {
        const auto imported = TestSupport::runProgram("import", {"-window", "root", file});
        EXPECT_TRUE(imported && imported->exitCode == 0);
        return QImage(file).convertToFormat(QImage::Format_RGB32).copy(toQRect(display.frame));
    };
    // The window manager may still be repainting frames (focus moves to the new window): compare
    // only with a screen that stayed the same before and after our capture.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const QImage before = importRoot();
        const QImage ours = provider->captureDisplay(display, {}).convertToFormat(QImage::Format_RGB32);
        if (importRoot() != before) continue;
        ASSERT_EQ(ours.size(), before.size());
        int differing = 0;
        for (int y = 0; y < ours.height(); ++y)
            for (int x = 0; x < ours.width(); ++x) differing += ours.pixel(x, y) != before.pixel(x, y);
        EXPECT_EQ(differing, 0);
        return;
    }
    FAIL() << "the screen never held still";
}

} // namespace

// The shared memory images are read through lasts one capture: an idle process holds none, and
// the next capture makes it again.
TEST_F(X11CaptureTest, TheSharedMemoryOfACaptureIsGivenBackWithItsProvider) {
    const auto sharedSegments = [] {
        QFile maps("/proc/self/maps");
        if (!maps.open(QIODevice::ReadOnly)) return -1;
        return int(maps.readAll().count("/SYSV"));
    };
    spawn({100, 100, 300, 200}, green, {"--class", "CaptureShared"});
    const DisplayInfo display = firstDisplay();
    const int before = sharedSegments();
    QImage first;
    {
        X11ScreenContentProvider live;
        first = live.captureDisplay(display, {});
        live.captureDisplayContent(display, {});
        // One at most, kept between the two images of the capture (none on a display without it).
        EXPECT_LE(sharedSegments(), before + 1);
    }
    EXPECT_EQ(sharedSegments(), before);
    X11ScreenContentProvider again;
    const QImage second = again.captureDisplay(display, {});
    EXPECT_EQ(second.size(), first.size());
    EXPECT_GT(countPixels(second, green, QRect(100, 100, 300, 200)), 0);
}
