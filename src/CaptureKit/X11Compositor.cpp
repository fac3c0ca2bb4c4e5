#include "CaptureKit/X11Compositor.h"

#include <xcb/composite.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace CaptureKit {

namespace {

QRect toQRect(const Support::Rect& rect) {
    return QRect(int(rect.x()), int(rect.y()), int(rect.width()), int(rect.height()));
}

// Frees an X resource when the scope ends.
class ScopedResource {
public:
    using Free = xcb_void_cookie_t (*)(xcb_connection_t*, std::uint32_t);
    ScopedResource(xcb_connection_t* c, std::uint32_t id, Free free) : c_(c), id_(id), free_(free) {}
    ~ScopedResource() {
        if (id_) free_(c_, id_);
    }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    std::uint32_t id() const { return id_; }

private:
    xcb_connection_t* c_;
    std::uint32_t id_;
    Free free_;
};

// A pixmap of `size` with a Render picture over it.
struct Canvas {
    ScopedResource pixmap;
    ScopedResource picture;
};

std::unique_ptr<Canvas> makeCanvas(X11Session& session, const QSize& size, std::uint8_t depth) {
    xcb_connection_t* c = session.connection().get();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    session.connection().check(xcb_create_pixmap_checked(c, depth, pixmap, session.connection().root(),
                                                         std::uint16_t(size.width()), std::uint16_t(size.height())),
                               "creating the capture image");
    auto canvas = std::unique_ptr<Canvas>(
        new Canvas{{c, pixmap, xcb_free_pixmap}, {c, xcb_generate_id(c), xcb_render_free_picture}});
    // Checked: a new pixmap holds whatever the server's memory held, so nothing may be read from
    // it unless drawing into it works.
    session.connection().check(xcb_render_create_picture_checked(c, canvas->picture.id(), pixmap,
                                                                 session.formatForDepth(depth), 0, nullptr),
                               "creating the capture picture");
    return canvas;
}

} // namespace

X11Compositor::~X11Compositor() {
    for (xcb_pixmap_t pixmap : std::as_const(images_))
        if (pixmap) xcb_free_pixmap(session_.connection().get(), pixmap);
}

void X11Compositor::nameImages(const QRect& area, const Predicate& draw) {
    X11Connection& x = session_.connection();
    std::vector<std::pair<xcb_window_t, xcb_void_cookie_t>> requests;
    for (const X11TopLevel& t : tree_.topLevels) {
        if (!t.viewable || t.inputOnly || !toQRect(t.rect).intersects(area) || !draw(t)) continue;
        const xcb_pixmap_t pixmap = xcb_generate_id(x.get());
        images_.insert(t.frame, pixmap);
        requests.emplace_back(t.frame, xcb_composite_name_window_pixmap_checked(x.get(), t.frame, pixmap));
    }
    // All asked for first, then answered: one round trip however many windows there are.
    for (const auto& [window, cookie] : requests)
        if (!x.succeeded(cookie)) images_.insert(window, XCB_NONE);
}

void X11Compositor::fill(xcb_render_picture_t target, const QRect& rect, QRgb rgba) {
    // Render's colours are 16 bits a component, premultiplied.
    const QRgb premultiplied = qPremultiply(rgba);
    const auto wide = [](int component) { return std::uint16_t(component * 257); };
    const xcb_render_color_t colour{wide(qRed(premultiplied)), wide(qGreen(premultiplied)), wide(qBlue(premultiplied)),
                                    wide(qAlpha(premultiplied))};
    const xcb_rectangle_t r{std::int16_t(rect.x()), std::int16_t(rect.y()), std::uint16_t(rect.width()),
                            std::uint16_t(rect.height())};
    xcb_render_fill_rectangles(session_.connection().get(), XCB_RENDER_PICT_OP_SRC, target, colour, 1, &r);
}

bool X11Compositor::drawWindow(const X11TopLevel& window, xcb_render_picture_t target, const QPoint& origin,
                               xcb_xfixes_region_t clip, bool blend) {
    xcb_connection_t* c = session_.connection().get();
    const xcb_render_pictformat_t format = session_.formatForVisual(window.visual);
    if (!format) return false;
    const xcb_pixmap_t pixmap = images_.value(window.frame, XCB_NONE);
    if (!pixmap) return false;
    ScopedResource source(c, xcb_generate_id(c), xcb_render_free_picture);
    xcb_render_create_picture(c, source.id(), pixmap, format, 0, nullptr);

    // The bounding shape is relative to the inside of the border; unshaped windows give their
    // whole outer rectangle.
    ScopedResource shape(c, xcb_generate_id(c), xcb_xfixes_destroy_region);
    xcb_xfixes_create_region_from_window(c, shape.id(), window.frame, XCB_SHAPE_SK_BOUNDING);
    const QRect rect = toQRect(window.rect);
    xcb_xfixes_translate_region(c, shape.id(), std::int16_t(rect.x() + window.borderWidth - origin.x()),
                                std::int16_t(rect.y() + window.borderWidth - origin.y()));
    if (clip) xcb_xfixes_intersect_region(c, shape.id(), clip, shape.id());
    xcb_xfixes_set_picture_clip_region(c, target, shape.id(), 0, 0);

    const bool alpha = session_.formatHasAlpha(format);
    xcb_render_composite(c, alpha && blend ? XCB_RENDER_PICT_OP_OVER : XCB_RENDER_PICT_OP_SRC, source.id(), XCB_NONE,
                         target, 0, 0, 0, 0, std::int16_t(rect.x() - origin.x()), std::int16_t(rect.y() - origin.y()),
                         std::uint16_t(rect.width()), std::uint16_t(rect.height()));
    xcb_xfixes_set_picture_clip_region(c, target, XCB_NONE, 0, 0);
    return true;
}

std::optional<xcb_pixmap_t> X11Compositor::wallpaper() {
    X11Connection& x = session_.connection();
    xcb_connection_t* c = x.get();
    for (const char* property : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
        const std::optional<std::uint32_t> pixmap = x.cardinalProperty(x.root(), property);
        if (!pixmap || *pixmap == XCB_NONE) continue;
        // Only a pixmap: once the wallpaper setter has gone, its pixmap's ID may name any
        // application's window, and drawing that would show the window wherever the desktop shows.
        const xcb_get_window_attributes_cookie_t windowCookie = xcb_get_window_attributes(c, *pixmap);
        XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, *pixmap), nullptr));
        XcbReply<xcb_get_window_attributes_reply_t> window(xcb_get_window_attributes_reply(c, windowCookie, nullptr));
        if (window || !geometry || geometry->depth != x.screen()->root_depth) continue;
        return *pixmap;
    }
    return std::nullopt;
}

void X11Compositor::paintBackground(xcb_render_picture_t target, const QRect& area, const QRect& holes, bool composited) {
    X11Connection& x = session_.connection();
    xcb_connection_t* c = x.get();
    // Desktop backgrounds are published as a root pixmap, which compositing managers draw too;
    // without one, a compositing manager draws the desktop in a colour of its own choosing, and
    // the bare screen shows the root window's own background, and without that, black.
    if (const std::optional<xcb_pixmap_t> pixmap = wallpaper()) {
        ScopedResource picture(c, xcb_generate_id(c), xcb_render_free_picture);
        const std::uint32_t repeat = XCB_RENDER_REPEAT_NORMAL;
        if (x.succeeded(xcb_render_create_picture_checked(c, picture.id(), *pixmap,
                                                          session_.formatForVisual(x.screen()->root_visual),
                                                          XCB_RENDER_CP_REPEAT, &repeat))) {
            xcb_render_composite(c, XCB_RENDER_PICT_OP_SRC, picture.id(), XCB_NONE, target, std::int16_t(area.x()),
                                 std::int16_t(area.y()), 0, 0, 0, 0, std::uint16_t(area.width()), std::uint16_t(area.height()));
            return;
        }
    }
    if (!holes.isEmpty() && composited) {
        // With nothing of the desktop left on screen, what the common managers draw.
        fill(target, QRect(QPoint(0, 0), area.size()), drawnDesktopColour().value_or(qRgb(128, 128, 128)));
        return;
    }
    if (!holes.isEmpty() && paintRootBackground(target, area, holes)) return;
    fill(target, QRect(QPoint(0, 0), area.size()), qRgb(0, 0, 0));
}

std::optional<QRgb> X11Compositor::drawnDesktopColour() {
    X11Connection& x = session_.connection();
    xcb_connection_t* c = x.get();
    const int width = x.screen()->width_in_pixels, height = x.screen()->height_in_pixels;
    // Places on a grid over the screen, well away from every window (a manager may draw shadows
    // around them), read one pixel each in one round trip.
    constexpr int columns = 24, rows = 16, margin = 32, mostPlaces = 64;
    std::vector<QRect> windows;
    for (const X11TopLevel& t : tree_.topLevels)
        if (t.viewable && !t.inputOnly) windows.push_back(toQRect(t.rect).adjusted(-margin, -margin, margin, margin));
    std::vector<QPoint> bare;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const QPoint place(width * (2 * column + 1) / (2 * columns), height * (2 * row + 1) / (2 * rows));
            if (std::none_of(windows.begin(), windows.end(), [&](const QRect& w) { return w.contains(place); }))
                bare.push_back(place);
        }
    }
    if (bare.empty()) return std::nullopt;
    std::vector<xcb_get_image_cookie_t> cookies;
    const std::size_t step = (bare.size() + mostPlaces - 1) / mostPlaces;
    for (std::size_t i = 0; i < bare.size(); i += step)
        cookies.push_back(xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(), std::int16_t(bare[i].x()),
                                        std::int16_t(bare[i].y()), 1, 1, ~0u));
    // The colour most places show: a window that has just gone may still be drawn at a few.
    QHash<QRgb, int> counts;
    for (xcb_get_image_cookie_t cookie : cookies) {
        XcbReply<xcb_get_image_reply_t> pixel(xcb_get_image_reply(c, cookie, nullptr));
        if (!pixel || xcb_get_image_data_length(pixel.get()) < 4) continue;
        std::uint32_t value;
        std::memcpy(&value, xcb_get_image_data(pixel.get()), 4);
        ++counts[value | 0xff000000u];
    }
    if (counts.isEmpty()) return std::nullopt;
    QRgb most = counts.constBegin().key();
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it)
        if (it.value() > counts.value(most)) most = it.key();
    return most;
}

bool X11Compositor::paintRootBackground(xcb_render_picture_t target, const QRect& area, const QRect& rect) {
    X11Connection& x = session_.connection();
    xcb_connection_t* c = x.get();
    // The server hands out no window's background, but paints it into a window of ours whose
    // background is its parent's. Redirected by hand, that window never reaches the screen: its
    // image is drawn, with the server grabbed, and read while nobody else can see it.
    ScopedResource window(c, xcb_generate_id(c), xcb_destroy_window);
    const std::uint32_t values[] = {XCB_BACK_PIXMAP_PARENT_RELATIVE, 1};
    if (!x.succeeded(xcb_create_window_checked(c, XCB_COPY_FROM_PARENT, window.id(), x.root(), std::int16_t(rect.x()),
                                               std::int16_t(rect.y()), std::uint16_t(rect.width()),
                                               std::uint16_t(rect.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                                               XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT,
                                               values)))
        return false;
    // Refused only while a compositing manager redirects the root's children by hand itself,
    // and so this one too: then it stays off the screen as well.
    if (!x.succeeded(xcb_composite_redirect_window_checked(c, window.id(), XCB_COMPOSITE_REDIRECT_MANUAL)) &&
        !session_.compositorRunning())
        return false;
    if (!x.succeeded(xcb_map_window_checked(c, window.id()))) return false;
    ScopedResource image(c, xcb_generate_id(c), xcb_free_pixmap);
    if (!x.succeeded(xcb_composite_name_window_pixmap_checked(c, window.id(), image.id()))) return false;

    // A new window's image starts as a copy of the screen in its place, the left-out windows
    // included, and a root without a background (a server started with "-background none")
    // paints nothing over it. Only an image that differs from the screen is the background.
    const std::uint8_t depth = x.screen()->root_depth;
    const QImage painted = session_.readImage(image.id(), 0, 0, rect.width(), rect.height(), depth);
    const QImage screen = session_.readImage(x.root(), rect.x(), rect.y(), rect.width(), rect.height(), depth);
    if (painted.isNull() || painted == screen) return false;

    ScopedResource picture(c, xcb_generate_id(c), xcb_render_free_picture);
    if (!x.succeeded(xcb_render_create_picture_checked(c, picture.id(), image.id(),
                                                       session_.formatForVisual(x.screen()->root_visual), 0, nullptr)))
        return false;
    xcb_render_composite(c, XCB_RENDER_PICT_OP_SRC, picture.id(), XCB_NONE, target, 0, 0, 0, 0,
                         std::int16_t(rect.x() - area.x()), std::int16_t(rect.y() - area.y()),
                         std::uint16_t(rect.width()), std::uint16_t(rect.height()));
    return true;
}

QImage X11Compositor::composeScreen(const QRect& area, const Predicate& leaveOut, bool screenIsCurrent) {
    X11Connection& x = session_.connection();
    xcb_connection_t* c = x.get();
    std::vector<xcb_rectangle_t> holes;
    for (const X11TopLevel& t : tree_.topLevels) {
        if (!t.viewable || t.inputOnly || !leaveOut(t)) continue;
        const QRect hole = toQRect(t.rect).intersected(area);
        if (hole.isEmpty()) continue;
        holes.push_back({std::int16_t(hole.x() - area.x()), std::int16_t(hole.y() - area.y()), std::uint16_t(hole.width()),
                         std::uint16_t(hole.height())});
    }
    const std::uint8_t depth = x.screen()->root_depth;
    // Nothing to leave out: the screen as it is, unless a compositing manager draws it, whose
    // drawing may still show a window where it was a moment ago (or fading out after it closed).
    if (holes.empty() && screenIsCurrent)
        return session_.readImage(x.root(), area.x(), area.y(), area.width(), area.height(), depth);

    const std::unique_ptr<Canvas> canvas = makeCanvas(session_, area.size(), depth);
    // What is redrawn from the windows' own images: only the holes when the screen shows the
    // windows as they are now, else all of it.
    if (!screenIsCurrent) holes = {{0, 0, std::uint16_t(area.width()), std::uint16_t(area.height())}};
    ScopedResource gc(c, xcb_generate_id(c), xcb_free_gc);
    const std::uint32_t includeInferiors = XCB_SUBWINDOW_MODE_INCLUDE_INFERIORS;
    xcb_create_gc(c, gc.id(), canvas->pixmap.id(), XCB_GC_SUBWINDOW_MODE, &includeInferiors);
    if (screenIsCurrent)
        xcb_copy_area(c, x.root(), canvas->pixmap.id(), gc.id(), std::int16_t(area.x()), std::int16_t(area.y()), 0, 0,
                      std::uint16_t(area.width()), std::uint16_t(area.height()));
    // Blanked first with the same core requests as the copy, so that should a redraw below fail,
    // the holes stay black rather than show what the copy took from the screen.
    xcb_poly_fill_rectangle(c, canvas->pixmap.id(), gc.id(), std::uint32_t(holes.size()), holes.data());

    // Inside the holes, redraw what lies beneath the left-out windows: the desktop, then every
    // other window bottom to top.
    ScopedResource region(c, xcb_generate_id(c), xcb_xfixes_destroy_region);
    xcb_xfixes_create_region(c, region.id(), std::uint32_t(holes.size()), holes.data());
    xcb_xfixes_set_picture_clip_region(c, canvas->picture.id(), region.id(), 0, 0);
    QRect holeBounds;
    for (const xcb_rectangle_t& hole : holes)
        holeBounds |= QRect(hole.x + area.x(), hole.y + area.y(), hole.width, hole.height);
    paintBackground(canvas->picture.id(), area, holeBounds, !screenIsCurrent);
    xcb_xfixes_set_picture_clip_region(c, canvas->picture.id(), XCB_NONE, 0, 0);
    nameImages(area, [&](const X11TopLevel& t) { return !leaveOut(t); });
    for (const X11TopLevel& t : tree_.topLevels) {
        if (!t.viewable || t.inputOnly || leaveOut(t) || !toQRect(t.rect).intersects(area)) continue;
        if (drawWindow(t, canvas->picture.id(), area.topLeft(), region.id(), true)) continue;
        // A window whose image cannot be had: what the screen shows there may be a left-out
        // window's pixels, so cover that part with an opaque plate.
        ScopedResource part(c, xcb_generate_id(c), xcb_xfixes_destroy_region);
        const QRect rect = toQRect(t.rect).translated(-area.topLeft());
        const xcb_rectangle_t r{std::int16_t(rect.x()), std::int16_t(rect.y()), std::uint16_t(rect.width()),
                                std::uint16_t(rect.height())};
        xcb_xfixes_create_region(c, part.id(), 1, &r);
        xcb_xfixes_intersect_region(c, part.id(), region.id(), part.id());
        xcb_xfixes_set_picture_clip_region(c, canvas->picture.id(), part.id(), 0, 0);
        fill(canvas->picture.id(), rect, qRgb(38, 38, 38));
        xcb_xfixes_set_picture_clip_region(c, canvas->picture.id(), XCB_NONE, 0, 0);
    }
    return session_.readImage(canvas->pixmap.id(), 0, 0, area.width(), area.height(), depth);
}

QImage X11Compositor::composeContent(const QRect& area, const Predicate& leaveOut) {
    const std::unique_ptr<Canvas> canvas = makeCanvas(session_, area.size(), 32);
    fill(canvas->picture.id(), QRect(QPoint(0, 0), area.size()), qRgba(0, 0, 0, 0));
    nameImages(area, [&](const X11TopLevel& t) { return !leaveOut(t); });
    for (const X11TopLevel& t : tree_.topLevels) {
        if (!t.viewable || t.inputOnly || leaveOut(t) || !toQRect(t.rect).intersects(area)) continue;
        // A window that cannot be drawn simply stays out: the background is transparent.
        drawWindow(t, canvas->picture.id(), area.topLeft(), XCB_NONE, true);
    }
    return session_.readImage(canvas->pixmap.id(), 0, 0, area.width(), area.height(), 32);
}

QImage X11Compositor::composeWindow(const X11TopLevel& window) {
    const QRect rect = toQRect(window.rect);
    const std::unique_ptr<Canvas> canvas = makeCanvas(session_, rect.size(), 32);
    fill(canvas->picture.id(), QRect(QPoint(0, 0), rect.size()), qRgba(0, 0, 0, 0));
    nameImages(rect, [&](const X11TopLevel& t) { return t.frame == window.frame; });
    if (!drawWindow(window, canvas->picture.id(), rect.topLeft(), XCB_NONE, false))
        throw X11Error("cannot read the window's image");
    return session_.readImage(canvas->pixmap.id(), 0, 0, rect.width(), rect.height(), 32);
}

} // namespace CaptureKit
