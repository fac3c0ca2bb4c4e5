// What the X11 capture tests share: windows from the capture test client, a provider that counts
// its image requests, and displays of their own for tests that need another window manager or a
// compositing manager.
#pragma once

#include "CaptureKit/CaptureError.h"
#include "CaptureKit/CaptureService.h"
#include "CaptureKit/X11Connection.h"
#include "CaptureKit/X11ScreenContentProvider.h"
#include "TestPolicy.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <functional>
#include <memory>

namespace CaptureKitTests {

using namespace CaptureKit;

inline constexpr QRgb red = 0xffe01010, green = 0xff10c020, blue = 0xff2040e0, ownColour = 0xffc0a030;

inline int countPixels(const QImage& image, QRgb colour, const QRect& within = {}) {
    const QRect area = within.isNull() ? image.rect() : within.intersected(image.rect());
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) count += image.pixel(x, y) == colour;
    return count;
}

inline QRect toQRect(const Support::Rect& r) { return QRect(int(r.x()), int(r.y()), int(r.width()), int(r.height())); }

inline void roundTrip(X11Connection& x) { free(xcb_get_input_focus_reply(x.get(), xcb_get_input_focus(x.get()), nullptr)); }

// Counts the provider's image requests, so a test can tell a refusal came before any image.
class CountingProvider : public ScreenContentProvider {
public:
    ShareableSnapshot shareableContent() override { return live.shareableContent(); }
    QImage captureDisplay(const DisplayInfo& d, const QStringList& ids) override {
        ++images;
        return live.captureDisplay(d, ids);
    }
    QImage captureDisplayContent(const DisplayInfo& d, const QStringList& ids) override {
        ++images;
        return live.captureDisplayContent(d, ids);
    }
    QImage captureWindow(const WindowInfo& w) override {
        ++images;
        return live.captureWindow(w);
    }
    X11ScreenContentProvider live;
    int images = 0;
};

// A virtual display of the test's own, with the window manager and compositing manager it asks
// for; DISPLAY names it while it lives.
class NestedDisplay {
public:
    NestedDisplay() : previousDisplay_(qgetenv("DISPLAY")) {}
    ~NestedDisplay() {
        stopCompositor();
        if (windowManager_) {
            ::kill(pid_t(windowManager_->processId()), SIGCONT);
            stop(*windowManager_);
        }
        if (server_) stop(*server_);
        qputenv("DISPLAY", previousDisplay_);
    }
    NestedDisplay(const NestedDisplay&) = delete;
    NestedDisplay& operator=(const NestedDisplay&) = delete;

    // Starts the server (1024x768, Composite, and `serverArguments`) and, unless empty,
    // `windowManager`, and waits until the manager runs. False when something could not start.
    bool start(const QString& windowManager, const QStringList& serverArguments = {}) {
        server_ = std::make_unique<QProcess>();
        server_->start("Xvfb", QStringList{"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24",
                                           "+extension", "Composite", "-noreset"} + serverArguments);
        if (!server_->waitForReadyRead(10000)) return false;
        qputenv("DISPLAY", ":" + server_->readLine().trimmed());
        if (windowManager.isEmpty()) return true;
        windowManager_ = std::make_unique<QProcess>();
        windowManager_->start(windowManager, windowManager == "openbox" ? QStringList{"--sm-disable"} : QStringList{});
        return windowManager_->waitForStarted() && waitUntilManaging();
    }

    // Starts a compositing manager and waits until it owns the screen's selection.
    bool startCompositor(const QString& program, const QStringList& arguments) {
        stopCompositor();
        compositor_ = std::make_unique<QProcess>();
        compositor_->start(program, arguments);
        return compositor_->waitForStarted() && waitFor([](X11Connection& x) { return compositing(x); });
    }

    void stopCompositor() {
        if (!compositor_) return;
        stop(*compositor_);
        compositor_.reset();
        waitFor([](X11Connection& x) { return !compositing(x); });
    }

    // Stops and continues the window manager, as a busy one would.
    void pauseWindowManager(bool paused) { ::kill(pid_t(windowManager_->processId()), paused ? SIGSTOP : SIGCONT); }

private:
    // Until a window it is asked to map gets framed. A manager that has only just taken over the
    // screen may still drop the map requests that came meanwhile, so the request is made again.
    static bool waitUntilManaging() {
        X11Connection x;
        const xcb_window_t probe = xcb_generate_id(x.get());
        xcb_create_window(x.get(), XCB_COPY_FROM_PARENT, probe, x.root(), 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        // A position of the user's own, or some managers wait for the user to place the window.
        const std::uint32_t hints[18] = {1 | 2, 0, 0, 10, 10}; // USPosition | USSize
        xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, probe, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
        const bool framed = TestSupport::waitUntil([&] {
            xcb_map_window(x.get(), probe);
            XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), probe), nullptr));
            return tree && tree->parent != x.root();
        });
        xcb_destroy_window(x.get(), probe);
        roundTrip(x);
        return framed;
    }
    static bool compositing(X11Connection& x) {
        XcbReply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(x.get(), xcb_get_selection_owner(x.get(), x.atom("_NET_WM_CM_S0")), nullptr));
        return owner && owner->owner != XCB_NONE;
    }
    static bool waitFor(const std::function<bool(X11Connection&)>& condition) {
        X11Connection x;
        return TestSupport::waitUntil([&] { return condition(x); });
    }
    static void stop(QProcess& process) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QByteArray previousDisplay_;
    std::unique_ptr<QProcess> server_, windowManager_, compositor_;
};

class X11CaptureTest : public testing::Test {
protected:
    void SetUp() override {
        if (!TestSupport::hasX11Display()) GTEST_SKIP() << "no X display";
        x = std::make_unique<X11Connection>();
    }

    void TearDown() override {
        // Ended at once: a slow client may be asleep before its next repaint.
        for (auto& client : clients) {
            client->terminate();
            client->waitForFinished(5000);
        }
        clients.clear();
        // The next test must not see these windows: wait until the server has destroyed them.
        if (x)
            for (xcb_window_t window : windows) waitUntilDestroyed(window);
        windows.clear();
        if (ownWindow && x) xcb_destroy_window(x->get(), ownWindow);
        ownWindow = XCB_NONE;
        if (x) roundTrip(*x);
        x.reset();
        nested.reset();
    }

    // Moves the test onto a display of its own with `windowManager` (none when empty). False (with
    // the test failed) when it cannot start: the test then returns.
    [[nodiscard]] bool useNestedDisplay(const QString& windowManager, const QStringList& serverArguments = {}) {
        for (const QString& program : {QString("Xvfb"), windowManager}) {
            if (!program.isEmpty() && !TestSupport::hasProgram(program)) {
                ADD_FAILURE() << program.toStdString() << " is not installed (scripts/deps installs it)";
                return false;
            }
        }
        x.reset();
        nested = std::make_unique<NestedDisplay>();
        if (!nested->start(windowManager, serverArguments)) {
            ADD_FAILURE() << "the test display with " << windowManager.toStdString() << " did not start";
            return false;
        }
        x = std::make_unique<X11Connection>();
        return true;
    }

    void waitUntilDestroyed(xcb_window_t window) {
        TestSupport::waitUntil([&] {
            XcbReply<xcb_get_window_attributes_reply_t> alive(
                xcb_get_window_attributes_reply(x->get(), xcb_get_window_attributes(x->get(), window), nullptr));
            return !alive;
        });
    }

    // Starts a test client window; returns its window ID.
    xcb_window_t spawn(QRect rect, QRgb colour, QStringList options = {}) {
        auto client = std::make_unique<QProcess>();
        QStringList arguments{QString::number(rect.x()), QString::number(rect.y()), QString::number(rect.width()),
                              QString::number(rect.height()), QString::number(colour & 0xffffff, 16)};
        client->start(CAPTURE_TEST_CLIENT, arguments + options);
        EXPECT_TRUE(client->waitForStarted());
        while (!client->canReadLine() && client->waitForReadyRead(10000)) {
        }
        const QByteArray line = client->readLine().trimmed();
        bool ok = false;
        const xcb_window_t window = line.toUInt(&ok, 16);
        EXPECT_TRUE(ok) << "the test client did not start: " << client->readAllStandardError().toStdString();
        clients.push_back(std::move(client));
        windows.push_back(window);
        return window;
    }

    // Ends the client that made `window` and waits until the window is gone.
    void close(xcb_window_t window) {
        for (std::size_t i = 0; i < windows.size(); ++i) {
            if (windows[i] != window || i >= clients.size()) continue;
            clients[i]->terminate();
            clients[i]->waitForFinished(5000);
        }
        waitUntilDestroyed(window);
    }

    // The client area of `window` in root coordinates (inside any window-manager frame).
    QRect clientArea(xcb_window_t window) {
        XcbReply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(x->get(), xcb_get_geometry(x->get(), window), nullptr));
        XcbReply<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(
            x->get(), xcb_translate_coordinates(x->get(), window, x->root(), 0, 0), nullptr));
        if (!g || !t) return {};
        return QRect(t->dst_x, t->dst_y, g->width, g->height);
    }

    const WindowInfo* find(const ShareableSnapshot& snapshot, xcb_window_t window) {
        for (const WindowInfo& w : snapshot.windows)
            if (w.windowID == window) return &w;
        return nullptr;
    }

    // The display that holds the whole screen in these tests.
    DisplayInfo firstDisplay() { return provider->shareableContent().displays.at(0); }

    bool hasWindowManager() { return !x->cardinalsProperty(x->root(), "_NET_CLIENT_LIST_STACKING").empty(); }

    // A window of this process (which every capture leaves out), so a capture has a hole to fill.
    void mapOwnWindow(QRect rect) {
        ownWindow = xcb_generate_id(x->get());
        const std::uint32_t values[] = {ownColour & 0xffffff, 1};
        xcb_create_window(x->get(), XCB_COPY_FROM_PARENT, ownWindow, x->root(), std::int16_t(rect.x()), std::int16_t(rect.y()),
                          std::uint16_t(rect.width()), std::uint16_t(rect.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          x->screen()->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        const std::uint32_t pid = std::uint32_t(getpid());
        xcb_change_property(x->get(), XCB_PROP_MODE_REPLACE, ownWindow, x->atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(x->get(), ownWindow);
        roundTrip(*x);
    }

    std::unique_ptr<X11Connection> x;
    std::unique_ptr<NestedDisplay> nested;
    std::shared_ptr<CountingProvider> provider = std::make_shared<CountingProvider>();
    std::vector<std::unique_ptr<QProcess>> clients;
    std::vector<xcb_window_t> windows;
    xcb_window_t ownWindow = XCB_NONE;
};

} // namespace CaptureKitTests
