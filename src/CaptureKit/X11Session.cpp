#include "CaptureKit/X11Session.h"

#include "CaptureKit/CaptureError.h"

#include <xcb/composite.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <QHash>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace CaptureKit {

namespace {

constexpr int dotsPerMetreAt72Dpi = 2835;

// Clears every window of the given trees to its background and asks its clients to repaint;
// one round trip per level of the trees, however many windows there are.
void clearTrees(X11Connection& x, std::vector<xcb_window_t> level) {
    for (int depth = 0; depth <= 32 && !level.empty(); ++depth) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (xcb_window_t window : level) {
            xcb_clear_area(x.get(), 1, window, 0, 0, 0, 0);
            cookies.push_back(xcb_query_tree(x.get(), window));
        }
        std::vector<xcb_window_t> next;
        for (xcb_query_tree_cookie_t cookie : cookies) {
            XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x.get(), cookie, nullptr));
            if (!tree) continue;
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            next.insert(next.end(), children, children + xcb_query_tree_children_length(tree.get()));
        }
        level = std::move(next);
    }
}

// 32-bit pixels in the server's (little-endian) order; a 24-bit drawable's spare byte is not alpha.
QImage imageFromPixels(const std::uint32_t* source, int width, int height, bool opaque) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) throw X11Error("not enough memory for the captured image");
    for (int row = 0; row < height; ++row) {
        auto* target = reinterpret_cast<std::uint32_t*>(image.scanLine(row));
        const std::uint32_t* line = source + std::size_t(row) * width;
        if (opaque) {
            for (int i = 0; i < width; ++i) target[i] = line[i] | 0xff000000u;
        } else {
            std::memcpy(target, line, std::size_t(width) * 4);
        }
    }
    image.setDotsPerMeterX(dotsPerMetreAt72Dpi);
    image.setDotsPerMeterY(dotsPerMetreAt72Dpi);
    return image;
}

} // namespace

struct X11Session::Formats {
    QHash<xcb_visualid_t, xcb_render_pictformat_t> byVisual;
    QHash<xcb_render_pictformat_t, bool> hasAlpha;
    xcb_render_pictformat_t rgb24 = 0;
    xcb_render_pictformat_t argb32 = 0;
};

std::shared_ptr<X11Session> X11Session::current() {
    static std::mutex sessionsMutex;
    static std::map<QByteArray, std::shared_ptr<X11Session>> sessions;
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) throw CaptureError::notAuthorized();

    std::lock_guard lock(sessionsMutex);
    std::shared_ptr<X11Session>& session = sessions[display];
    // A display server that went away (or restarted) leaves a dead connection behind, which xcb
    // notices only when it next reads. Nothing else reads the session's events: the errors of its
    // unchecked requests are of no use.
    if (session) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(session->connection().get())) std::free(event);
        if (xcb_connection_has_error(session->connection().get())) session.reset();
    }
    if (!session) {
        std::unique_ptr<X11Connection> connection;
        try {
            connection = std::make_unique<X11Connection>(display.constData());
        } catch (const X11Error&) {
            throw CaptureError::notAuthorized();
        }
        session = std::make_shared<X11Session>(std::move(connection), display);
    }
    return session;
}

X11Session::X11Session(std::unique_ptr<X11Connection> connection, const QByteArray& displayName)
    : connection_(std::move(connection)), formats_(std::make_unique<Formats>()) {
    requireExtensions();
    // Watching starts before redirecting, so no window can get a new image unnoticed.
    watcher_ = std::make_unique<X11WindowWatcher>(displayName);
    redirectTopLevels();
}

X11Session::~X11Session() { releaseSharedMemory(); }

void X11Session::releaseSharedMemory() {
    if (!sharedMemory_) return;
    xcb_shm_detach(connection_->get(), sharedSegment_);
    // The server lets go of the segment before it is gone from here too.
    xcb_flush(connection_->get());
    shmdt(sharedMemory_);
    sharedMemory_ = nullptr;
    sharedMemorySize_ = 0;
}

void X11Session::requireExtensions() {
    X11Connection& x = *connection_;
    xcb_connection_t* c = x.get();
    // Without Composite 0.2 no window can be left out: capture access counts as not granted, as
    // CaptureAuthorization reports.
    if (!x.hasExtension(&xcb_composite_id)) throw CaptureError::notAuthorized();
    XcbReply<xcb_composite_query_version_reply_t> composite(
        xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 4), nullptr));
    if (!composite || (composite->major_version == 0 && composite->minor_version < 2)) throw CaptureError::notAuthorized();
    if (!x.hasExtension(&xcb_render_id)) throw X11Error("the X server has no Render extension");
    XcbReply<xcb_render_query_version_reply_t> render(
        xcb_render_query_version_reply(c, xcb_render_query_version(c, 0, 11), nullptr));
    if (!x.hasExtension(&xcb_xfixes_id)) throw X11Error("the X server has no XFixes extension");
    XcbReply<xcb_xfixes_query_version_reply_t> xfixes(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    if (!render || !xfixes || xfixes->major_version < 2) throw X11Error("the X server's XFixes extension is older than 2.0");

    XcbReply<xcb_render_query_pict_formats_reply_t> formats(
        xcb_render_query_pict_formats_reply(c, xcb_render_query_pict_formats(c), nullptr));
    if (!formats) throw X11Error("cannot read the Render picture formats");
    for (auto it = xcb_render_query_pict_formats_formats_iterator(formats.get()); it.rem; xcb_render_pictforminfo_next(&it)) {
        const xcb_render_pictforminfo_t& f = *it.data;
        if (f.type != XCB_RENDER_PICT_TYPE_DIRECT) continue;
        formats_->hasAlpha.insert(f.id, f.direct.alpha_mask != 0);
        const bool rgb = f.direct.red_shift == 16 && f.direct.green_shift == 8 && f.direct.blue_shift == 0
                         && f.direct.red_mask == 0xff && f.direct.green_mask == 0xff && f.direct.blue_mask == 0xff;
        if (rgb && f.depth == 24 && f.direct.alpha_mask == 0) formats_->rgb24 = f.id;
        if (rgb && f.depth == 32 && f.direct.alpha_mask == 0xff && f.direct.alpha_shift == 24) formats_->argb32 = f.id;
    }
    for (auto screen = xcb_render_query_pict_formats_screens_iterator(formats.get()); screen.rem;
         xcb_render_pictscreen_next(&screen)) {
        for (auto depth = xcb_render_pictscreen_depths_iterator(screen.data); depth.rem; xcb_render_pictdepth_next(&depth)) {
            for (auto visual = xcb_render_pictdepth_visuals_iterator(depth.data); visual.rem;
                 xcb_render_pictvisual_next(&visual))
                formats_->byVisual.insert(visual.data->visual, visual.data->format);
        }
    }
    if (!formats_->rgb24 || !formats_->argb32) throw X11Error("the X server offers no 24- or 32-bit RGB picture format");

    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        throw X11Error("the X server's image byte order is not supported");
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if ((f.data->depth == 24 || f.data->depth == 32) && f.data->bits_per_pixel != 32)
            throw X11Error("the X server's pixel layout is not supported");
    }

    if (x.hasExtension(&xcb_shm_id)) {
        XcbReply<xcb_shm_query_version_reply_t> shm(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
        sharedMemoryUsable_ = shm != nullptr;
    }
}

void X11Session::redirectTopLevels() {
    X11Connection& x = *connection_;
    // Ours even when a compositing manager has redirected the windows already: it may undo its
    // redirection at any time (some do while a full-screen window shows), and every window
    // redirected again gets a new image copied from the screen, other windows' pixels included,
    // without any event to tell. Held by us, each window keeps its one image for as long as it is
    // mapped. Automatic redirection never conflicts with a manager's manual one.
    x.check(xcb_composite_redirect_subwindows_checked(x.get(), x.root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC),
            "redirecting the windows to off-screen images");
}

bool X11Session::compositorRunning() {
    X11Connection& x = *connection_;
    const std::string selection = "_NET_WM_CM_S" + std::to_string(x.screenNumber());
    XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        x.get(), xcb_get_selection_owner(x.get(), x.atom(selection.c_str())), nullptr));
    return !owner || owner->owner != XCB_NONE;
}

bool X11Session::blankUnsettledImages(const X11WindowTree& tree, const std::function<bool(const X11TopLevel&)>& among) {
    X11Connection& x = *connection_;
    xcb_connection_t* c = x.get();
    struct Unsettled {
        xcb_window_t frame;
        QSize size;
        xcb_pixmap_t pixmap;
        xcb_void_cookie_t named;
    };
    std::vector<Unsettled> unsettled;
    std::vector<xcb_window_t> cleared;
    if (const std::optional<QSet<xcb_window_t>> changed = watcher_->takeChanged()) {
        for (xcb_window_t window : *changed) settled_.remove(window);
    } else {
        settled_.clear();
    }
    QHash<xcb_window_t, QSize> settled;
    for (const X11TopLevel& t : tree.topLevels) {
        if (!t.viewable || t.inputOnly) continue;
        const QSize size(int(t.rect.width()), int(t.rect.height()));
        const auto known = settled_.constFind(t.frame);
        const bool settledBefore = known != settled_.constEnd() && *known == size;
        if (!among(t)) {
            if (settledBefore) settled.insert(t.frame, size);
            continue;
        }
        const bool ours = std::any_of(t.clients.begin(), t.clients.end(), [](const X11Client& c) { return c.ownedByThisProcess; });
        if (settledBefore || ours) {
            settled.insert(t.frame, size);
            continue;
        }
        const xcb_pixmap_t pixmap = xcb_generate_id(c);
        unsettled.push_back({t.frame, size, pixmap, xcb_composite_name_window_pixmap_checked(c, t.frame, pixmap)});
    }
    // All images named first, then blanked: one round trip however many there are.
    for (const Unsettled& u : unsettled) {
        // An image that cannot be named now is not blanked: it stays unsettled for the next time.
        if (!x.succeeded(u.named)) continue;
        settled.insert(u.frame, u.size);
        const xcb_gcontext_t gc = xcb_generate_id(c);
        const std::uint32_t black = 0;
        xcb_create_gc(c, gc, u.pixmap, XCB_GC_FOREGROUND, &black);
        const xcb_rectangle_t all{0, 0, std::uint16_t(u.size.width()), std::uint16_t(u.size.height())};
        xcb_poly_fill_rectangle(c, u.pixmap, gc, 1, &all);
        xcb_free_gc(c, gc);
        xcb_free_pixmap(c, u.pixmap);
        cleared.push_back(u.frame);
    }
    clearTrees(x, cleared);
    settled_ = std::move(settled);
    return !cleared.empty();
}

xcb_render_pictformat_t X11Session::formatForVisual(xcb_visualid_t visual) const {
    return formats_->byVisual.value(visual, 0);
}

xcb_render_pictformat_t X11Session::formatForDepth(std::uint8_t depth) const {
    return depth == 32 ? formats_->argb32 : formats_->rgb24;
}

bool X11Session::formatHasAlpha(xcb_render_pictformat_t format) const { return formats_->hasAlpha.value(format, false); }

QImage X11Session::readImage(xcb_drawable_t drawable, int x, int y, int width, int height, std::uint8_t depth) {
    const bool opaque = depth != 32;
    if (width <= 0 || height <= 0) return {};
    if (sharedMemoryUsable_) {
        QImage image = readThroughSharedMemory(drawable, x, y, width, height, opaque);
        if (!image.isNull()) return image;
    }
    xcb_connection_t* c = connection_->get();
    xcb_generic_error_t* rawError = nullptr;
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, std::int16_t(x), std::int16_t(y), std::uint16_t(width),
                         std::uint16_t(height), ~0u),
        &rawError));
    XcbReply<xcb_generic_error_t> error(rawError);
    if (!reply) throw X11Error("cannot read the composed image");
    if (xcb_get_image_data_length(reply.get()) < width * height * 4) throw X11Error("the X server sent a short image");
    return imageFromPixels(reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply.get())), width, height, opaque);
}

QImage X11Session::readThroughSharedMemory(xcb_drawable_t drawable, int x, int y, int width, int height, bool opaque) {
    xcb_connection_t* c = connection_->get();
    const std::size_t size = std::size_t(width) * height * 4;
    if (size > sharedMemorySize_) {
        releaseSharedMemory();
        sharedMemoryId_ = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (sharedMemoryId_ < 0) {
            sharedMemoryUsable_ = false;
            return {};
        }
        void* memory = shmat(sharedMemoryId_, nullptr, 0);
        sharedSegment_ = xcb_generate_id(c);
        const bool attached = memory != reinterpret_cast<void*>(-1)
                              && connection_->succeeded(xcb_shm_attach_checked(c, sharedSegment_, std::uint32_t(sharedMemoryId_), 0));
        // Marked for removal at once: the segment goes away with the last process detaching.
        shmctl(sharedMemoryId_, IPC_RMID, nullptr);
        if (!attached) {
            // A remote display cannot see our memory: read through the socket from now on.
            if (memory != reinterpret_cast<void*>(-1)) shmdt(memory);
            sharedMemoryUsable_ = false;
            return {};
        }
        sharedMemory_ = memory;
        sharedMemorySize_ = size;
    }
    xcb_generic_error_t* rawError = nullptr;
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        c, xcb_shm_get_image(c, drawable, std::int16_t(x), std::int16_t(y), std::uint16_t(width), std::uint16_t(height), ~0u,
                             XCB_IMAGE_FORMAT_Z_PIXMAP, sharedSegment_, 0),
        &rawError));
    XcbReply<xcb_generic_error_t> error(rawError);
    if (!reply) throw X11Error("cannot read the composed image");
    return imageFromPixels(static_cast<const std::uint32_t*>(sharedMemory_), width, height, opaque);
}

} // namespace CaptureKit
