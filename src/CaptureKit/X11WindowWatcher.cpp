#include "CaptureKit/X11WindowWatcher.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace CaptureKit {

X11WindowWatcher::X11WindowWatcher(const QByteArray& displayName)
    : x_(std::make_unique<X11Connection>(displayName.constData())) {
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    x_->check(xcb_change_window_attributes_checked(x_->get(), x_->root(), XCB_CW_EVENT_MASK, &mask),
              "watching the root window");
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
    return std::exchange(changed_, {});
}

void X11WindowWatcher::readEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(x_->get())) {
        const XcbReply<xcb_generic_event_t> owned(event);
        std::lock_guard lock(mutex_);
        switch (event->response_type & ~0x80) {
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
