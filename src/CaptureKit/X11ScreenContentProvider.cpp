#include "CaptureKit/X11ScreenContentProvider.h"

#include "CaptureKit/AppIdentity.h"
#include "CaptureKit/CaptureError.h"
#include "CaptureKit/X11Compositor.h"
#include "CaptureKit/X11Session.h"
#include "CaptureKit/X11WindowTree.h"

#include <xcb/randr.h>

#include <algorithm>
#include <chrono>
#include <optional>
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

// Reads the windows under `grab`. Window images that may still hold other windows' pixels are
// blanked first, and their clients get a moment to repaint them, with the server let go
// meanwhile; one that has not repainted by then is blank in the capture, never stale, and so is
// one mapped or resized during that moment.
X11WindowTree settledTree(X11Session& session, std::optional<ServerGrab>& grab, const X11Compositor::Predicate& among) {
    X11Connection& x = session.connection();
    X11WindowTree tree = X11WindowTree::read(x);
    if (!session.blankUnsettledImages(tree, among)) return tree;
    grab.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    grab.emplace(x);
    tree = X11WindowTree::read(x);
    session.blankUnsettledImages(tree, among);
    return tree;
}

QRect displayArea(const DisplayInfo& display, const X11Connection& x) {
    const Support::Rect& f = display.frame;
    const QRect screen(0, 0, x.screen()->width_in_pixels, x.screen()->height_in_pixels);
    return QRect(int(f.x()), int(f.y()), int(f.width()), int(f.height())).intersected(screen);
}

} // namespace

X11ScreenContentProvider::~X11ScreenContentProvider() {
    if (const std::shared_ptr<X11Session> session = readFrom_.lock()) {
        std::lock_guard lock(session->mutex());
        session->releaseSharedMemory();
    }
}

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
    // Front to back: the frontmost on-screen window is zIndex 0. The clients sharing a frame share
    // its place. Popups are listed too, so that a refusal sees a blocked application whose only
    // visible window is a popup, but they have no place in the order. "On screen" is what the
    // server says (mapped and viewable), never what a window says of itself.
    std::int64_t nextZ = 0;
    for (auto t = tree.topLevels.rbegin(); t != tree.topLevels.rend(); ++t) {
        const bool inOrder = t->isInOrder();
        const std::int64_t z = inOrder && t->viewable ? nextZ++ : WindowInfo::unknownZIndex;
        for (const X11Client& c : t->clients) {
            if (!c.listed || c.ownedByThisProcess || (!inOrder && c.identities.isEmpty())) continue;
            const bool onScreen = t->viewable && c.viewable;
            snapshot.windows.push_back({c.window, t->rect, c.appID, onScreen, onScreen ? z : WindowInfo::unknownZIndex,
                                        !t->isDesktopOrOverlay(), c.identities, c.processKnown});
        }
    }
    return snapshot;
}

QImage X11ScreenContentProvider::captureDisplay(const DisplayInfo& display, const QStringList& excludingBundleIDs) {
    return captureDisplay(display, excludingBundleIDs, false);
}

QImage X11ScreenContentProvider::captureDisplayContent(const DisplayInfo& display, const QStringList& excludingBundleIDs) {
    return captureDisplay(display, excludingBundleIDs, true);
}

bool X11ScreenContentProvider::leftOut(const X11TopLevel& t, const QStringList& excludingBundleIDs) {
    // A frame without a client still shows its client's last pixels, whoever that was.
    if (t.clients.empty()) return true;
    // A window that cannot be told from a left-out application's might be one.
    return std::any_of(t.clients.begin(), t.clients.end(), [&](const X11Client& c) {
        return c.ownedByThisProcess || !blockedIdentities(c.identities, c.processKnown, excludingBundleIDs).isEmpty();
    });
}

QImage X11ScreenContentProvider::captureDisplay(const DisplayInfo& display, const QStringList& excludingBundleIDs,
                                                bool desktopLess) {
    const std::shared_ptr<X11Session> session = X11Session::current();
    std::lock_guard lock(session->mutex());
    readFrom_ = session;
    X11Connection& x = session->connection();
    // Only the images that will be drawn need settling; settled even with nothing excluded, as
    // this process's windows are always left out, and an image made while one of them lay
    // beneath would show it.
    const auto drawn = [&](const X11TopLevel& t) { return !leftOut(t, excludingBundleIDs); };
    std::optional<ServerGrab> grab(std::in_place, x);
    const X11WindowTree tree = settledTree(*session, grab, drawn);

    std::optional<DisplayInfo> current;
    for (const DisplayInfo& d : readDisplays(x))
        if (d.displayID == display.displayID) {
            current = d;
            break;
        }
    if (!current) throw CaptureError::displayNotFound();
    const QRect area = displayArea(*current, x);
    if (area.isEmpty()) throw CaptureError::displayNotFound();

    const auto excluded = [&](const X11TopLevel& t) { return leftOut(t, excludingBundleIDs); };
    X11Compositor compositor(*session, tree);
    if (!desktopLess) return compositor.composeScreen(area, excluded, !session->compositorRunning());
    return compositor.composeContent(area, [&](const X11TopLevel& t) { return excluded(t) || t.isDesktopOrOverlay(); });
}

QImage X11ScreenContentProvider::captureWindow(const WindowInfo& window) {
    const std::shared_ptr<X11Session> session = X11Session::current();
    std::lock_guard lock(session->mutex());
    readFrom_ = session;
    X11Connection& x = session->connection();
    // Only the window's own pixels may show: the one image drawn must be settled.
    const auto target = [&](const X11TopLevel& t) { return t.client(window.windowID) != nullptr; };
    std::optional<ServerGrab> grab(std::in_place, x);
    const X11WindowTree tree = settledTree(*session, grab, target);
    const X11TopLevel* t = tree.find(window.windowID);
    const X11Client* client = t ? t->client(window.windowID) : nullptr;
    if (!client || !client->listed || client->ownedByThisProcess) throw CaptureError::windowNotFound();
    if (!t->viewable || !client->viewable) throw X11Error("the window is not on screen, so it has no image to capture");
    // Its frame's image may show another client instead, one of an excluded application.
    if (t->clients.size() > 1) throw X11Error("the window shares its frame with other windows, so it cannot be captured alone");
    return X11Compositor(*session, tree).composeWindow(*t);
}

} // namespace CaptureKit
