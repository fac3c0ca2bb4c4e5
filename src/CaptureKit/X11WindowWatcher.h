#pragma once

#include "CaptureKit/X11Connection.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QSize>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace CaptureKit {

// Follows, on a connection and a thread of its own, which of the root's children were mapped,
// unmapped or resized: each of those got a new off-screen image. A compositing manager that
// starts, stops or is replaced may have redirected every window anew (and given each a new image
// copied from the screen), so a change of the compositing-manager selection counts as a change
// of every window. Reading the events as they come keeps the server from queueing them up for us
// between captures.
class X11WindowWatcher {
public:
    // Throws X11Error when the display does not answer.
    explicit X11WindowWatcher(const QByteArray& displayName);
    ~X11WindowWatcher();
    X11WindowWatcher(const X11WindowWatcher&) = delete;
    X11WindowWatcher& operator=(const X11WindowWatcher&) = delete;

    // The windows changed since the last call, once every event already sent to the watcher has
    // been read. Nothing when any window may have changed: the compositing manager changed, or the
    // watcher lost its connection.
    // The caller makes sure the server has flushed (a round trip on another connection does).
    std::optional<QSet<xcb_window_t>> takeChanged();

private:
    void run();
    void readEvents();

    std::unique_ptr<X11Connection> x_;
    int wake_[2] = {-1, -1};
    std::mutex mutex_;
    std::condition_variable caughtUp_;
    QSet<xcb_window_t> changed_;
    QHash<xcb_window_t, QSize> sizes_;
    std::uint64_t requested_ = 0;
    std::uint64_t served_ = 0;
    std::uint8_t selectionEvent_ = 0;
    bool everythingChanged_ = false;
    bool broken_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace CaptureKit
