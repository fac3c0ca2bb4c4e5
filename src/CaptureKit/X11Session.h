#pragma once

#include "CaptureKit/X11Connection.h"

#include <xcb/render.h>
#include <xcb/xfixes.h>

#include <QImage>
#include <QString>

#include <memory>
#include <mutex>

namespace CaptureKit {

// The capture's long-lived tie to one X display. Automatic redirection of the root's children
// lasts only as long as the connection that asked for it, so the connection is kept for the life
// of the process: every window then has an off-screen image the capture can compose from.
class X11Session {
public:
    // The session of $DISPLAY, made on first use. Throws CaptureError::notAuthorized when no
    // display answers and X11Error when it lacks what composing needs (Composite 0.2, Render,
    // XFixes 2).
    static std::shared_ptr<X11Session> current();

    // Held for a whole listing or capture: one capture at a time per display.
    std::mutex& mutex() { return mutex_; }
    X11Connection& connection() { return *connection_; }

    // Render picture formats: for a window's visual, and the two the capture draws into.
    xcb_render_pictformat_t formatForVisual(xcb_visualid_t visual) const;
    xcb_render_pictformat_t formatForDepth(std::uint8_t depth) const;
    bool formatHasAlpha(xcb_render_pictformat_t format) const;

    // The pixels of a 24- or 32-bit drawable as Format_ARGB32_Premultiplied (a 24-bit one opaque),
    // through shared memory when the server offers it.
    QImage readImage(xcb_drawable_t drawable, int x, int y, int width, int height, std::uint8_t depth);

    explicit X11Session(std::unique_ptr<X11Connection> connection);
    ~X11Session();

private:
    void requireExtensions();
    void redirectTopLevels();
    QImage readThroughSharedMemory(xcb_drawable_t drawable, int x, int y, int width, int height, bool opaque);

    std::mutex mutex_;
    std::unique_ptr<X11Connection> connection_;
    struct Formats;
    std::unique_ptr<Formats> formats_;
    bool sharedMemoryUsable_ = false;
    int sharedMemoryId_ = -1;
    void* sharedMemory_ = nullptr;
    std::size_t sharedMemorySize_ = 0;
    std::uint32_t sharedSegment_ = 0;
};

} // namespace CaptureKit
