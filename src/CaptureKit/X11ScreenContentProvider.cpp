#include "CaptureKit/X11ScreenContentProvider.h"

#include "CaptureKit/CaptureError.h"
#include "CaptureKit/X11Compositor.h"
#include "CaptureKit/X11Session.h"
#include "CaptureKit/X11WindowTree.h"

#include <xcb/randr.h>

#include <chrono>
#include <thread>

namespace CaptureKit {

namespace {

// Holds the server for one listing and composition, so no window can appear, move or change
// between the two; released (and flushed) on every way out.
class ServerGrab {
public:
    explicit ServerGrab(X11Connection& x) : x_(x) { xcb_grab_server(x_.get()); }
    ~ServerGrab() {
        xcb_ungrab_server(x_.get());
        xcb_flush(x_.get());
        // Errors of unchecked requests arrive as events nobody reads: drop them.
        while (xcb_generic_event_t* event = xcb_poll_for_event(x_.get())) std::free(event);
    }
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;

private:
    X11Connection& x_;
};

// The RandR monitors; a server without them is one display the size of the screen.
std::vector<DisplayInfo> readDisplays(X11Connection& x) {
    std::vector<DisplayInfo> displays;
    xcb_connection_t* c = x.get();
    if (x.hasExtension(&xcb_randr_id)) {
        XcbReply<xcb_randr_query_version_reply_t> version(
            xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        if (version && (version->major_version > 1 || version->minor_version >= 5)) {
            XcbReply<xcb_randr_get_monitors_reply_t> monitors(
                xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, x.root(), 1), nullptr));
            if (monitors) {
                for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem;
                     xcb_randr_monitor_info_next(&it)) {
                    const xcb_randr_monitor_info_t* m = it.data;
                    if (m->width == 0 || m->height == 0) continue;
                    // The monitor's first output names it; a monitor made without outputs goes
                    // by the atom of its name.
                    const int outputs = xcb_randr_monitor_info_outputs_length(m);
                    const std::uint32_t id = outputs > 0 ? xcb_randr_monitor_info_outputs(m)[0] : m->name;
                    displays.push_back({id, Support::Rect(m->x, m->y, m->width, m->height), m->width, m->height});
                }
            }
        }
    }
    if (displays.empty()) {
        const xcb_screen_t* s = x.screen();
        displays.push_back({x.root(), Support::Rect(0, 0, s->width_in_pixels, s->height_in_pixels),
                            s->width_in_pixels, s->height_in_pixels});
    }
    return displays;
}

// Window images that may still hold other windows' pixels are blanked, and their clients get a
// moment to repaint them before the capture; one that has not repainted by then is blank in the
// capture, never stale.
void settleImages(X11Session& session, const X11Compositor::Predicate& among) {
    bool blanked = false;
    {
        ServerGrab grab(session.connection());
        blanked = session.blankUnsettledImages(X11WindowTree::read(session.connection()), among);
    }
    if (blanked) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

bool anyWindow(const X11TopLevel&) { return true; }

QRect displayArea(const DisplayInfo& display, const X11Connection& x) {
    const Support::Rect& f = display.frame;
    const QRect screen(0, 0, x.screen()->width_in_pixels, x.screen()->height_in_pixels);
    return QRect(int(f.x()), int(f.y()), int(f.width()), int(f.height())).intersected(screen);
}

} // namespace

ShareableSnapshot X11ScreenContentProvider::shareableContent() {
    const std::shared_ptr<X11Session> session = X11Session::current();
    std::lock_guard lock(session->mutex());
    X11Connection& x = session->connection();
    ShareableSnapshot snapshot;
    X11WindowTree tree;
    {
        ServerGrab grab(x);
        snapshot.displays = readDisplays(x);
        tree = X11WindowTree::read(x);
    }
    // Front to back: the frontmost on-screen window is zIndex 0.
    std::int64_t nextZ = 0;
    for (auto it = tree.clientOrder.rbegin(); it != tree.clientOrder.rend(); ++it) {
        const X11TopLevel& t = tree.topLevels[*it];
        if (t.otherClients.empty()) {
            if (t.ownedByThisProcess) continue;
            const bool onScreen = t.isOnScreen();
            snapshot.windows.push_back(
                {t.client, t.rect, t.appID, onScreen, onScreen ? nextZ++ : WindowInfo::unknownZIndex, !t.desktopOrOverlay});
            continue;
        }
        // The clients sharing a frame share its place in the order.
        const bool frameShown = t.viewable && t.onCurrentDesktop && !t.hidden;
        const std::int64_t z = frameShown ? nextZ++ : WindowInfo::unknownZIndex;
        const auto add = [&](xcb_window_t window, const std::optional<QString>& appID, bool onScreen, bool own) {
            if (!own)
                snapshot.windows.push_back(
                    {window, t.rect, appID, onScreen, onScreen ? z : WindowInfo::unknownZIndex, !t.desktopOrOverlay});
        };
        add(t.client, t.appID, t.isOnScreen(), t.ownedByThisProcess);
        for (const X11TopLevel::OtherClient& other : t.otherClients)
            add(other.window, other.appID, frameShown && other.viewable, other.ownedByThisProcess);
    }
    return snapshot;
}

QImage X11ScreenContentProvider::captureDisplay(const DisplayInfo& display, const QStringList& excludingBundleIDs) {
    return captureDisplay(display, excludingBundleIDs, false);
}

QImage X11ScreenContentProvider::captureDisplayContent(const DisplayInfo& display, const QStringList& excludingBundleIDs) {
    return captureDisplay(display, excludingBundleIDs, true);
}

QImage X11ScreenContentProvider::captureDisplay(const DisplayInfo& display, const QStringList& excludingBundleIDs,
                                                bool desktopLess) {
    const std::shared_ptr<X11Session> session = X11Session::current();
    std::lock_guard lock(session->mutex());
    X11Connection& x = session->connection();
    // Settled even with nothing excluded: this process's windows are always left out, and an
    // image made while one of them lay beneath would show it.
    settleImages(*session, anyWindow);
    ServerGrab grab(x);

    std::optional<DisplayInfo> current;
    for (const DisplayInfo& d : readDisplays(x))
        if (d.displayID == display.displayID) {
            current = d;
            break;
        }
    if (!current) throw CaptureError::displayNotFound();
    const QRect area = displayArea(*current, x);
    if (area.isEmpty()) throw CaptureError::displayNotFound();

    const X11WindowTree tree = X11WindowTree::read(x);
    // A window mapped or resized since the settling above gets no grace.
    session->blankUnsettledImages(tree, anyWindow);
    const auto excludedApp = [&](bool own, const std::optional<QString>& appID) {
        return own || (appID && excludingBundleIDs.contains(*appID));
    };
    auto excluded = [&](const X11TopLevel& t) {
        if (excludedApp(t.ownedByThisProcess, t.appID)) return true;
        for (const X11TopLevel::OtherClient& other : t.otherClients)
            if (excludedApp(other.ownedByThisProcess, other.appID)) return true;
        // A popup that cannot be traced to any application might be an excluded one's.
        return !excludingBundleIDs.isEmpty() && t.overrideRedirect && !t.appID;
    };
    X11Compositor compositor(*session, tree);
    if (!desktopLess) return compositor.composeScreen(area, excluded);
    return compositor.composeContent(area, [&](const X11TopLevel& t) { return excluded(t) || t.desktopOrOverlay; });
}

QImage X11ScreenContentProvider::captureWindow(const WindowInfo& window) {
    const std::shared_ptr<X11Session> session = X11Session::current();
    std::lock_guard lock(session->mutex());
    X11Connection& x = session->connection();
    // Only the window's own pixels may show: the one image drawn must be settled.
    const auto target = [&](const X11TopLevel& t) { return t.client == window.windowID || t.frame == window.windowID; };
    settleImages(*session, target);
    ServerGrab grab(x);
    const X11WindowTree tree = X11WindowTree::read(x);
    const X11TopLevel* t = tree.find(window.windowID);
    if (!t || !t->isClient || t->ownedByThisProcess) throw CaptureError::windowNotFound();
    if (!t->viewable) throw X11Error("the window is not on screen, so it has no image to capture");
    // Its frame's image may show another client instead, one of an excluded application.
    if (!t->otherClients.empty()) throw X11Error("the window shares its frame with other windows, so it cannot be captured alone");
    session->blankUnsettledImages(tree, target);
    return X11Compositor(*session, tree).composeWindow(*t);
}

} // namespace CaptureKit
