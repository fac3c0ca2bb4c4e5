#include "CaptureKit/X11WindowWatcher.h"

#include <xcb/xfixes.h>

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace CaptureKit {

X11WindowWatcher::X11WindowWatcher(const QByteArray& displayName)
    : x_(std::make_unique<X11Connection>(displayName.constData())) {
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    x_->check(xcb_change_window_attributes_checked(x_->get(), x_->root(), XCB_CW_EVENT_MASK, &mask),
              "watching the root window");
    xcb_connection_t* c = x_->get();
    XcbReply<xcb_xfixes_query_version_reply_t> xfixes(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    if (!xfixes || xfixes->major_version < 2) throw X11Error("the X server's XFixes extension is older than 2.0");
    selectionEvent_ = std::uint8_t(xcb_get_extension_data(c, &xcb_xfixes_id)->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    const std::string selection = "_NET_WM_CM_S" + std::to_string(x_->screenNumber());
    x_->check(xcb_xfixes_select_selection_input_checked(
                  c, x_->root(), x_->atom(selection.c_str()),
                  XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                      | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE),
              "watching the compositing manager");
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw X11Error("cannot create the watcher's wake-up pipe");
    thread_ = std::thread([this] { run(); });
}

X11WindowWatcher::~X11WindowWatcher() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (write(wake_[1], "x", 1) < 0) {
        // The pipe is never full at this point; the thread also wakes on the connection.
    }
    if (thread_.joinable()) thread_.join();
    close(wake_[0]);
    close(wake_[1]);
}

std::optional<QSet<xcb_window_t>> X11WindowWatcher::takeChanged() {
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = ++requested_;
    // A full pipe already wakes the thread.
    if (!broken_ && write(wake_[1], "x", 1) < 0 && errno != EAGAIN) broken_ = true;
    caughtUp_.wait(lock, [&] { return served_ >= ticket || broken_; });
    if (broken_) return std::nullopt;
    QSet<xcb_window_t> changed = std::exchange(changed_, {});
    if (std::exchange(everythingChanged_, false)) return std::nullopt;
    return changed;
}

void X11WindowWatcher::readEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x_->get())) {
        const XcbReply<xcb_generic_event_t> owned(event);
        std::lock_guard lock(mutex_);
        const std::uint8_t type = event->response_type & ~0x80;
        if (type == selectionEvent_) {
            everythingChanged_ = true;
            continue;
        }
        switch (type) {
        case XCB_MAP_NOTIFY:
            changed_.insert(reinterpret_cast<xcb_map_notify_event_t*>(event)->window);
            break;
        case XCB_UNMAP_NOTIFY:
            changed_.insert(reinterpret_cast<xcb_unmap_notify_event_t*>(event)->window);
            break;
        case XCB_CREATE_NOTIFY: {
            const auto* e = reinterpret_cast<xcb_create_notify_event_t*>(event);
            sizes_.insert(e->window, QSize(e->width + 2 * e->border_width, e->height + 2 * e->border_width));
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            // Moves and restacking keep the image; only a new size makes a new one. A window
            // older than the watcher is first seen here: the caller compares its size itself.
            const auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
            const QSize size(e->width + 2 * e->border_width, e->height + 2 * e->border_width);
            const auto known = sizes_.constFind(e->window);
            if (known != sizes_.constEnd() && *known != size) changed_.insert(e->window);
            sizes_.insert(e->window, size);
            break;
        }
        case XCB_DESTROY_NOTIFY:
            sizes_.remove(reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window);
            break;
        default:
            break;
        }
    }
}

void X11WindowWatcher::run() {
    for (;;) {
        pollfd fds[2] = {{xcb_get_file_descriptor(x_->get()), POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
        char drain[64];
        while (read(wake_[0], drain, sizeof drain) > 0) {
        }
        std::uint64_t wanted = 0;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            wanted = requested_;
        }
        readEvents();
        std::lock_guard lock(mutex_);
        if (xcb_connection_has_error(x_->get())) break;
        served_ = wanted;
        caughtUp_.notify_all();
    }
    std::lock_guard lock(mutex_);
    broken_ = true;
    caughtUp_.notify_all();
}

} // namespace CaptureKit
