#pragma once

#include "CaptureKit/X11Connection.h"
#include "CaptureKit/X11WindowTree.h"
#include "CaptureKit/X11WindowWatcher.h"

#include <xcb/render.h>
#include <xcb/xfixes.h>

#include <QImage>
#include <QString>

#include <QHash>
#include <QSize>

#include <functional>
#include <memory>
#include <mutex>

namespace CaptureKit {

// The capture's long-lived tie to one X display. Automatic redirection of the root's children
// lasts only as long as the connection that asked for it, so the connection is kept for the life
// of the process: every window then has an off-screen image the capture can compose from, made
// once when it is mapped, whatever compositing manager comes or goes.
class X11Session {
public:
    // The session of $DISPLAY, made on first use. Throws CaptureError::notAuthorized when no
    // display answers or it lacks Composite 0.2, and X11Error when it lacks the rest of what
    // composing needs (Render, XFixes 2).
    static std::shared_ptr<X11Session> current();

    // Held for a whole listing or capture: one capture at a time per display.
    std::mutex& mutex() { return mutex_; }
    X11Connection& connection() { return *connection_; }

    // Render picture formats: for a window's visual, and the two the capture draws into.
    xcb_render_pictformat_t formatForVisual(xcb_visualid_t visual) const;
    xcb_render_pictformat_t formatForDepth(std::uint8_t depth) const;
    bool formatHasAlpha(xcb_render_pictformat_t format) const;

    // A window's off-screen image is made when it is mapped (or, for the first capture, when its
    // windows are redirected) and remade when it is resized, filled with whatever the screen
    // showed in its place, other windows included, until its client repaints. Blanks the images
    // of the windows `among` picks that were not blanked by an earlier call or have been mapped
    // or resized since, and has every one of their windows repaint; returns whether it blanked
    // any. Call under a server grab, after a round trip.
    bool blankUnsettledImages(const X11WindowTree& tree, const std::function<bool(const X11TopLevel&)>& among);

    // Whether a compositing manager owns the screen's selection (or it cannot be told): then what
    // the screen shows is the manager's drawing, which may lag behind the windows.
    bool compositorRunning();

    // The pixels of a 24- or 32-bit drawable as Format_ARGB32_Premultiplied (a 24-bit one opaque),
    // through shared memory when the server offers it.
    QImage readImage(xcb_drawable_t drawable, int x, int y, int width, int height, std::uint8_t depth);
    // Gives back the shared memory images were read through (a 4K screen's is 32 MB); the next
    // read makes it again. Call under mutex().
    void releaseSharedMemory();

    X11Session(std::unique_ptr<X11Connection> connection, const QByteArray& displayName);
    ~X11Session();

private:
    void requireExtensions();
    void redirectTopLevels();
    QImage readThroughSharedMemory(xcb_drawable_t drawable, int x, int y, int width, int height, bool opaque);

    std::mutex mutex_;
    std::unique_ptr<X11Connection> connection_;
    QHash<xcb_window_t, QSize> settled_; // windows whose images hold only their own pixels
    std::unique_ptr<X11WindowWatcher> watcher_;
    struct Formats;
    std::unique_ptr<Formats> formats_;
    bool sharedMemoryUsable_ = false;
    int sharedMemoryId_ = -1;
    void* sharedMemory_ = nullptr;
    std::size_t sharedMemorySize_ = 0;
    std::uint32_t sharedSegment_ = 0;
};

} // namespace CaptureKit
