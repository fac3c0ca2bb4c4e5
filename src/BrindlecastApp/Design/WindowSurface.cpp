#include "BrindlecastApp/Design/WindowSurface.h"

#include "BrindlecastApp/Design/Compositor.h"

#include <QEvent>
#include <QGuiApplication>
#include <QTransform>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace BrindlecastApp {

namespace {

xcb_connection_t* x11Connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

bool onX11() { return QGuiApplication::platformName() == "xcb" && x11Connection(); }

xcb_atom_t blurRegionAtom(xcb_connection_t* c) {
    static xcb_atom_t atom = [c] {
        const std::string name = Compositor::kBlurBehindRegion;
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.c_str()), nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }();
    return atom;
}

bool hasShapeExtension(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(c, &xcb_shape_id);
    return shape && shape->present;
}

} // namespace

WindowSurface* WindowSurface::attach(QWidget* window, Outline outline, Kind kind) {
    // Always a visual with alpha: a compositor that starts later can then show the clear parts.
    window->setAttribute(Qt::WA_TranslucentBackground);
    return new WindowSurface(window, std::move(outline), kind);
}

WindowSurface* WindowSurface::of(const QWidget* widget) {
    if (!widget) return nullptr;
    return widget->window()->findChild<WindowSurface*>(QString(), Qt::FindDirectChildrenOnly);
}

WindowSurface::WindowSurface(QWidget* window, Outline outline, Kind kind)
    : QObject(window), window_(window), outline_(std::move(outline)), kind_(kind) {
    wasSeeThrough_ = isSeeThrough();
    wasBlurred_ = isBlurredBehind();
    window->installEventFilter(this);
    connect(&Compositor::Watch::instance(), &Compositor::Watch::changed, this, [this] {
        reshape();
        const bool seeThrough = isSeeThrough(), blurred = isBlurredBehind();
        if (seeThrough == wasSeeThrough_ && blurred == wasBlurred_) return;
        wasSeeThrough_ = seeThrough;
        wasBlurred_ = blurred;
        if (window_) window_->update();
        emit changed();
    });
}

bool WindowSurface::isSeeThrough() const { return Compositor::Watch::instance().isActive(); }

bool WindowSurface::isBlurredBehind() const {
    return kind_ == Kind::glass && onX11() && Compositor::Watch::instance().offersBlur();
}

QRegion WindowSurface::regionOf(const QPainterPath& outline, double devicePixelRatio) {
    const QPainterPath scaled = QTransform::fromScale(devicePixelRatio, devicePixelRatio).map(outline);
    QRegion region;
    for (const QPolygonF& polygon : scaled.toFillPolygons()) region += QRegion(polygon.toPolygon(), Qt::WindingFill);
    return region;
}

std::vector<std::uint32_t> WindowSurface::blurRegionValue(const QRegion& region) {
    std::vector<std::uint32_t> value;
    for (const QRect& r : region) {
        value.insert(value.end(), {std::uint32_t(r.x()), std::uint32_t(r.y()), std::uint32_t(r.width()),
                                   std::uint32_t(r.height())});
    }
    return value;
}

void WindowSurface::reshape() {
    if (!window_ || !onX11() || !window_->internalWinId()) return;
    xcb_connection_t* c = x11Connection();
    const auto id = xcb_window_t(window_->internalWinId());
    const bool seeThrough = isSeeThrough();
    const QRegion outline = regionOf(outline_(), window_->devicePixelRatioF());
    // A window drawn square and opaque to its edges needs no cut (and keeps none from an old size).
    const QRect whole(QPoint(0, 0), window_->size() * window_->devicePixelRatioF());
    if (hasShapeExtension(c)) {
        if (seeThrough || outline == QRegion(whole)) {
            xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, id, 0, 0, XCB_PIXMAP_NONE);
        } else {
            // An empty outline cuts the whole window away, as it should (a card slid out of sight).
            std::vector<xcb_rectangle_t> rects;
            for (const QRect& r : outline)
                rects.push_back({int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
            xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, id, 0, 0,
                                 uint32_t(rects.size()), rects.data());
        }
    }
    publishBlurRegion(seeThrough && kind_ == Kind::glass ? outline : QRegion());
    xcb_flush(c);
}

void WindowSurface::publishBlurRegion(const QRegion& region) {
    xcb_connection_t* c = x11Connection();
    const auto id = xcb_window_t(window_->internalWinId());
    const xcb_atom_t atom = blurRegionAtom(c);
    if (atom == XCB_ATOM_NONE) return;
    // An empty value would ask for the whole window: no region asks for no blur at all.
    std::vector<std::uint32_t> value = blurRegionValue(region);
    if (blurPublished_ && value == publishedBlur_) return;
    if (value.empty()) xcb_delete_property(c, id, atom);
    else
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom, XCB_ATOM_CARDINAL, 32, uint32_t(value.size()),
                            value.data());
    publishedBlur_ = std::move(value);
    blurPublished_ = true;
}

bool WindowSurface::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Resize:
        case QEvent::WinIdChange:
            // A new native window carries nothing yet.
            if (event->type() == QEvent::WinIdChange) blurPublished_ = false;
            reshape();
            break;
        default: break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace BrindlecastApp
