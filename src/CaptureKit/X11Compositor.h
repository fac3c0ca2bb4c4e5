#pragma once

#include "CaptureKit/X11Session.h"
#include "CaptureKit/X11WindowTree.h"

#include <QHash>
#include <QColor>
#include <QImage>
#include <QRect>

#include <functional>
#include <optional>

namespace CaptureKit {

// Composes images from the windows' own off-screen images, so that any window can be left out.
// Call with the server grabbed, so the windows cannot change between the listing and the image.
class X11Compositor {
public:
    using Predicate = std::function<bool(const X11TopLevel&)>;

    X11Compositor(X11Session& session, const X11WindowTree& tree) : session_(session), tree_(tree) {}
    ~X11Compositor();
    X11Compositor(const X11Compositor&) = delete;
    X11Compositor& operator=(const X11Compositor&) = delete;

    // The screen inside `area` (root coordinates) as shown, except that the windows `leaveOut`
    // picks are not drawn: where they were, the windows beneath and the desktop background show.
    // Unless `screenIsCurrent`, nothing is taken from the screen itself: every window is drawn
    // from its own image.
    QImage composeScreen(const QRect& area, const Predicate& leaveOut, bool screenIsCurrent);

    // Only the windows `leaveOut` does not pick, on a transparent background.
    QImage composeContent(const QRect& area, const Predicate& leaveOut);

    // One top-level alone, its frame included, transparent outside its shape.
    QImage composeWindow(const X11TopLevel& window);

private:
    // Names the images of the windows in `area` that `draw` picks, for drawWindow.
    void nameImages(const QRect& area, const Predicate& draw);
    // Draws `window` into `target` (whose top-left is `origin` in root coordinates), clipped to its
    // shape and, when given, to `clip`. Returns false when its image could not be named.
    bool drawWindow(const X11TopLevel& window, xcb_render_picture_t target, const QPoint& origin,
                    xcb_xfixes_region_t clip, bool blend);
    // The published desktop background, when it is a pixmap of the screen's depth.
    std::optional<xcb_pixmap_t> wallpaper();
    // Paints the desktop over `holes` (root coordinates) of `target`, whose top-left is `area`'s,
    // as the screen shows it: as drawn by the compositing manager when `composited`.
    void paintBackground(xcb_render_picture_t target, const QRect& area, const QRect& holes, bool composited);
    // The colour a compositing manager draws the desktop in where no wallpaper is published (its
    // own, often grey, or the root's): what most places of the screen that no window covers
    // show. Nothing when no such place is left.
    std::optional<QRgb> drawnDesktopColour();
    // Paints the root window's own background (a colour or pattern set with xsetroot, say) over
    // `rect`; false when it cannot be had.
    bool paintRootBackground(xcb_render_picture_t target, const QRect& area, const QRect& rect);
    void fill(xcb_render_picture_t target, const QRect& rect, QRgb colour);

    X11Session& session_;
    const X11WindowTree& tree_;
    QHash<xcb_window_t, xcb_pixmap_t> images_; // XCB_NONE: the image could not be named
};

} // namespace CaptureKit
