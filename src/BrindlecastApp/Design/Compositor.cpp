#include "BrindlecastApp/Design/Compositor.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace BrindlecastApp::Compositor {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

// The screen number is the part after the dot of DISPLAY (":0.1" is screen 1); 0 without one.
int displayScreen() {
    const char* display = std::getenv("DISPLAY");
    if (!display) return 0;
    const std::string text(display);
    const auto colon = text.rfind(':');
    const auto dot = text.find('.', colon == std::string::npos ? 0 : colon);
    return dot == std::string::npos ? 0 : std::atoi(text.c_str() + dot + 1);
}

xcb_atom_t internAtom(xcb_connection_t* connection, const std::string& name, bool onlyIfExists) {
    Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, onlyIfExists, static_cast<uint16_t>(name.size()), name.c_str()),
                              nullptr),
        &std::free);
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t rootOf(xcb_connection_t* connection, int screen) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    return it.rem ? it.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

bool usable(xcb_connection_t* connection) { return connection && !xcb_connection_has_error(connection); }

} // namespace

bool isActive() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return false;
    return isActive(x11->connection(), displayScreen());
}

bool isActive(xcb_connection_t* connection, int screen) {
    if (!usable(connection)) return false;
    const xcb_atom_t atom = internAtom(connection, "_NET_WM_CM_S" + std::to_string(screen), true);
    if (atom == XCB_ATOM_NONE) return false; // nobody ever claimed it
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom), nullptr), &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

bool offersBlur(xcb_connection_t* connection, int screen) {
    if (!usable(connection)) return false;
    const xcb_atom_t atom = internAtom(connection, kBlurBehindRegion, true);
    const xcb_window_t root = rootOf(connection, screen);
    if (atom == XCB_ATOM_NONE || root == XCB_WINDOW_NONE) return false;
    Reply<xcb_get_property_reply_t> property(
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, root, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 0),
                               nullptr),
        &std::free);
    return property && property->type != XCB_ATOM_NONE;
}

// --- Watch ---------------------------------------------------------------------------------------

struct Watch::Connection {
    ~Connection() {
        // It may go from inside the notifier's own signal.
        if (notifier) notifier.release()->deleteLater();
        if (handle) xcb_disconnect(handle);
    }

    xcb_connection_t* handle = nullptr;
    int screen = 0;
    xcb_atom_t blurAtom = XCB_ATOM_NONE;
    uint8_t selectionNotify = 0; // the XFixes event that reports a new owner of a selection
    std::unique_ptr<QSocketNotifier> notifier;
};

Watch& Watch::instance() {
    static Watch* watch = [] {
        auto* made = new Watch;
        if (qApp) made->setParent(qApp);
        return made;
    }();
    return *watch;
}

Watch::Watch() {
    if (QGuiApplication::platformName() != "xcb") return;
    auto x = std::make_unique<Connection>();
    x->handle = xcb_connect(nullptr, &x->screen);
    if (!usable(x->handle)) return;
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(x->handle, &xcb_xfixes_id);
    const xcb_window_t root = rootOf(x->handle, x->screen);
    if (!xfixes || !xfixes->present || root == XCB_WINDOW_NONE) return;
    std::free(xcb_xfixes_query_version_reply(x->handle, xcb_xfixes_query_version(x->handle, 5, 0), nullptr));
    x->selectionNotify = uint8_t(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    x->blurAtom = internAtom(x->handle, kBlurBehindRegion, false);
    const xcb_atom_t selection = internAtom(x->handle, "_NET_WM_CM_S" + std::to_string(x->screen), false);
    xcb_xfixes_select_selection_input(x->handle, root, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    // The announcement of the blur is a property of the root window.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x->handle, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x->handle);
    x->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x->handle), QSocketNotifier::Read);
    connect(x->notifier.get(), &QSocketNotifier::activated, this, &Watch::readEvents);
    x_ = std::move(x);
    active_ = Compositor::isActive(x_->handle, x_->screen);
    blur_ = Compositor::offersBlur(x_->handle, x_->screen);
}

Watch::~Watch() = default;

void Watch::readEvents() {
    if (!x_) return;
    // A check asks the server and may queue further events on the way: those are read from the
    // queue, as the socket will not report them again.
    for (bool fromSocket = true;; fromSocket = false) {
        bool dirty = false;
        while (xcb_generic_event_t* event =
                   fromSocket ? xcb_poll_for_event(x_->handle) : xcb_poll_for_queued_event(x_->handle)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == x_->selectionNotify) dirty = true;
            if (type == XCB_PROPERTY_NOTIFY && reinterpret_cast<xcb_property_notify_event_t*>(event)->atom == x_->blurAtom)
                dirty = true;
            std::free(event);
        }
        if (!usable(x_->handle)) {
            // The display went away: nothing composites for us any more.
            x_.reset();
            dirty = true;
        }
        if (!dirty) return;
        recheck();
        if (!x_) return;
    }
}

void Watch::recheck() {
    const bool active = x_ && Compositor::isActive(x_->handle, x_->screen);
    const bool blur = x_ && Compositor::offersBlur(x_->handle, x_->screen);
    if (active == active_ && blur == blur_) return;
    active_ = active;
    blur_ = blur;
    emit changed();
}

} // namespace BrindlecastApp::Compositor
