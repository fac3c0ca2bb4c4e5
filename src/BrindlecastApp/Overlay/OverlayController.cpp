#include "BrindlecastApp/Overlay/OverlayController.h"

#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Overlay/OverlayView.h"
#include "BrindlecastApp/Logging/AppLog.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace BrindlecastApp {

namespace {

constexpr int grabRetryMs = 25;
constexpr int grabAttemptsMax = 40; // a second: another client may hold a grab for a moment

bool onX11() { return QGuiApplication::platformName() == "xcb"; }

// Waits until the X server has carried out every request sent so far (an unmap, a release).
void syncWithServer() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    xcb_connection_t* c = x11->connection();
    xcb_flush(c);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

// A screen's area in device pixels.
Support::Rect nativeGeometry(const QScreen* screen) {
    const QRect logical = screen->geometry();
    const double scale = screen->devicePixelRatio();
    return Support::Rect(logical.x(), logical.y(), logical.width() * scale, logical.height() * scale);
}

// Qt's screen a monitor lies on (the one holding its centre), for its scale.
QScreen* screenHolding(const Support::Rect& monitor) {
    const Support::Point centre{monitor.midX(), monitor.midY()};
    for (QScreen* screen : QGuiApplication::screens())
        if (nativeGeometry(screen).contains(centre)) return screen;
    return QGuiApplication::primaryScreen();
}

// What the monitor shows now, read from the root window: without a compositor a panel cannot
// let the screen show through, so it paints this picture under its dimming.
QPixmap frozenFrame(const Support::Rect& monitor) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 && x11->connection()) {
        xcb_connection_t* c = x11->connection();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const QRect area = monitor.toQRectF().toAlignedRect();
        std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
            xcb_get_image_reply(c,
                                xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<std::int16_t>(area.x()),
                                              static_cast<std::int16_t>(area.y()), static_cast<std::uint16_t>(area.width()),
                                              static_cast<std::uint16_t>(area.height()), ~0u),
                                nullptr),
            &std::free);
        // Root windows are 24 bits deep in 32-bit pixels on every server this runs on.
        if (reply && (reply->depth == 24 || reply->depth == 32) &&
            xcb_get_image_data_length(reply.get()) == area.width() * area.height() * 4) {
            const QImage pixels(xcb_get_image_data(reply.get()), area.width(), area.height(), area.width() * 4,
                                QImage::Format_RGB32);
            return QPixmap::fromImage(pixels.copy());
        }
    }
    QScreen* screen = screenHolding(monitor);
    return screen ? screen->grabWindow(0) : QPixmap();
}

} // namespace

QCursor OverlayController::windowPickCursor(qreal devicePixelRatio) {
    // 24 points across, drawn at the device pixels of the screen it shows on; the hot spot is
    // its centre. The X11 pointer is made of the picture's pixels and takes the hot spot as it is
    // given, unscaled, so it is given in those pixels.
    constexpr int side = 24;
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const std::optional<QPainterPath> camera = Symbols::path("camera.fill", QRectF(2, 2, side - 4, side - 4),
                                                             SymbolWeight::medium);
    if (!camera) return QCursor(Qt::CrossCursor);
    const int pixels = int(std::ceil(side * ratio));
    QPixmap image(pixels, pixels);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::white);
    painter.drawPath(*camera);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawPath(*camera);
    painter.end();
    return QCursor(image, pixels / 2, pixels / 2);
}

namespace {

// Hands every key event of the application to one function, before any window, shortcut or
// other filter sees it.
class ApplicationKeys : public QObject {
public:
    explicit ApplicationKeys(std::function<bool(QKeyEvent*)> take) : take_(std::move(take)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride: return take_(static_cast<QKeyEvent*>(event));
        default: return false;
        }
    }

private:
    std::function<bool(QKeyEvent*)> take_;
};

} // namespace

OverlayController::OverlayController(WindowList windowList, MonitorList monitorList, QColor accent, QObject* parent)
    : QObject(parent), windowList_(std::move(windowList)), monitorList_(std::move(monitorList)),
      accent_(std::move(accent)) {
    keyMonitor_ = std::make_unique<ApplicationKeys>([this](QKeyEvent* key) { return takeKey(key); });
    grabRetry_.setSingleShot(true);
    grabRetry_.setInterval(grabRetryMs);
    connect(&grabRetry_, &QTimer::timeout, this, &OverlayController::grabInput);
}

OverlayController::~OverlayController() {
    watchKeys(false);
    releaseInput();
    for (OverlayView* view : std::as_const(views_)) delete view;
}

void OverlayController::begin() {
    if (closed_ || !views_.isEmpty()) return;
    std::vector<Support::Rect> monitors = monitorList_ ? monitorList_() : std::vector<Support::Rect>{};
    if (monitors.empty())
        for (QScreen* screen : QGuiApplication::screens()) monitors.push_back(nativeGeometry(screen));
    // Every monitor's picture is taken before any panel covers one.
    QList<QPair<Support::Rect, QPixmap>> frozen;
    for (const Support::Rect& monitor : monitors) frozen.append({monitor, frozenFrame(monitor)});
    for (const auto& [monitor, frame] : frozen) {
        auto* view = new OverlayView(screenHolding(monitor), monitor, frame, accent_);
        view->installEventFilter(this);
        views_.append(view);
    }
    showPanels();
}

void OverlayController::showPanels() {
    for (OverlayView* view : std::as_const(views_)) {
        view->setGeometry(view->panelGeometry());
        view->show();
        view->raise();
    }
    shown_ = true;
    watchKeys(true);
    if (OverlayView* key = keyView()) {
        key->activateWindow();
        key->setFocus(Qt::ActiveWindowFocusReason);
    }
    grabAttempts_ = 0;
    grabInput();
}

void OverlayController::close() {
    if (closed_) return;
    watchKeys(false);
    releaseInput();
    for (OverlayView* view : std::as_const(views_)) {
        view->removeEventFilter(this);
        view->hide();
        view->deleteLater();
    }
    views_.clear();
    shown_ = false;
    closed_ = true;
    syncWithServer();
}

void OverlayController::orderOut() {
    if (!shown_) return;
    watchKeys(false);
    releaseInput();
    dragOwner_ = nullptr;
    for (OverlayView* view : std::as_const(views_)) view->hide();
    shown_ = false;
    syncWithServer();
}

void OverlayController::orderIn() {
    if (closed_ || shown_) return;
    showPanels();
    if (windowPickMode_) {
        refreshWindowList();
        updatePick(rootPoint(QCursor::pos()));
    }
}

void OverlayController::toggleMode() {
    windowPickMode_ = !windowPickMode_;
    dragOwner_ = nullptr;
    for (OverlayView* view : std::as_const(views_)) {
        view->enterMode(windowPickMode_);
        view->setCursor(windowPickMode_ ? windowPickCursor(view->devicePixelRatioF()) : QCursor(Qt::CrossCursor));
    }
    if (windowPickMode_) {
        refreshWindowList();
        updatePick(rootPoint(QCursor::pos()));
    }
}

void OverlayController::updatePick(Support::Point root) {
    const std::optional<PickTarget> target = windowAt(windows_, root);
    for (OverlayView* view : std::as_const(views_)) view->setPickTarget(target);
}

std::optional<PickTarget> OverlayController::windowAt(const std::vector<CaptureKit::WindowInfo>& windows,
                                                      Support::Point point) {
    const CaptureKit::WindowInfo* front = nullptr;
    for (const CaptureKit::WindowInfo& window : windows) {
        // A window without a place in the stacking order (a popup) cannot be told to be in front.
        if (!window.isOnScreen || !window.isOrdinary || window.zIndex == CaptureKit::WindowInfo::unknownZIndex) continue;
        if (!(window.frame.width() > 1 && window.frame.height() > 1) || !window.frame.contains(point)) continue;
        if (!front || window.zIndex < front->zIndex) front = &window;
    }
    if (!front) return std::nullopt;
    return PickTarget{front->windowID, front->bundleID, front->frame};
}

void OverlayController::refreshWindowList() { windows_ = windowList_ ? windowList_() : std::vector<CaptureKit::WindowInfo>{}; }

OverlayView* OverlayController::keyView() const {
    if (views_.isEmpty()) return nullptr;
    const QPoint pointer = QCursor::pos();
    for (OverlayView* view : views_)
        if (view->geometry().contains(pointer)) return view;
    return views_.first();
}

OverlayView* OverlayController::viewAtGlobal(QPointF global) const {
    for (OverlayView* view : views_)
        if (Support::Rect::fromQRectF(QRectF(view->geometry())).contains(Support::Point{global.x(), global.y()}))
            return view;
    return nullptr;
}

Support::Point OverlayController::rootPoint(QPointF global) const {
    if (OverlayView* view = viewAtGlobal(global)) return view->toRoot(global - QPointF(view->geometry().topLeft()));
    return {global.x(), global.y()};
}

void OverlayController::grabInput() {
    if (!shown_ || !onX11()) return;
    OverlayView* key = keyView();
    QWindow* window = key ? key->windowHandle() : nullptr;
    if (!window) return;
    grabbed_ = key;
    // A panel can be grabbed for only once the server shows it, and another client may hold a
    // grab for a moment (a menu closing): try again for a while.
    const bool keyboard = window->setKeyboardGrabEnabled(true);
    const bool pointer = window->setMouseGrabEnabled(true);
    if (keyboard && pointer) return;
    if (++grabAttempts_ < grabAttemptsMax) {
        grabRetry_.start();
        return;
    }
    appLog().error(QString("selection overlay: could not take the %1 from another application")
                         .arg(!keyboard && !pointer ? "keyboard and pointer" : !keyboard ? "keyboard" : "pointer"));
}

void OverlayController::releaseInput() {
    grabRetry_.stop();
    if (grabbed_ && grabbed_->windowHandle()) {
        grabbed_->windowHandle()->setKeyboardGrabEnabled(false);
        grabbed_->windowHandle()->setMouseGrabEnabled(false);
    }
    grabbed_ = nullptr;
}

void OverlayController::watchKeys(bool on) {
    // Removing a filter is safe while it runs (Escape closes from inside it).
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(keyMonitor_.get());
        if (on) app->installEventFilter(keyMonitor_.get());
    }
}

bool OverlayController::takeKey(QKeyEvent* key) {
    // The panels hold the keyboard, but Qt hands a key to the window it thinks has the focus, and
    // a window manager gives that back to another of the app's windows when one closes (an alert
    // over a refused capture): a key is the selection's whichever window it is addressed to, and
    // no field or shortcut of another window acts on it meanwhile.
    if (!shown_ || closed_) return false;
    if (key->type() == QEvent::ShortcutOverride) {
        key->accept(); // no shortcut: the key press itself comes next
        return true;
    }
    if (key->type() != QEvent::KeyPress) return true;
    if (key->key() == Qt::Key_Space) {
        if (!key->isAutoRepeat()) toggleMode();
    } else if (key->key() == Qt::Key_Escape) {
        close();
        if (onCancel) onCancel(); // may release this controller: nothing after it
    }
    return true;
}

bool OverlayController::eventFilter(QObject* watched, QEvent* event) {
    // Ordered out or closed: nothing that happens is the overlay's.
    if (!shown_ || closed_) return false;
    auto* view = qobject_cast<OverlayView*>(watched);
    if (!view || !views_.contains(view)) return false;

    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return true;
        const QPointF global = mouse->globalPosition();
        if (windowPickMode_) {
            const std::optional<PickTarget> target = windowAt(windows_, rootPoint(global));
            if (target && onWindow) onWindow(*target);
            return true;
        }
        OverlayView* owner = viewAtGlobal(global);
        dragOwner_ = owner ? owner : view;
        dragOwner_->beginDrag(global - QPointF(dragOwner_->geometry().topLeft()));
        return true;
    }
    case QEvent::MouseMove: {
        const QPointF global = static_cast<QMouseEvent*>(event)->globalPosition();
        if (dragOwner_) {
            dragOwner_->dragTo(global - QPointF(dragOwner_->geometry().topLeft()));
        } else if (windowPickMode_) {
            updatePick(rootPoint(global));
        } else {
            OverlayView* under = viewAtGlobal(global);
            for (OverlayView* each : std::as_const(views_))
                each->setHoverPoint(each == under ? std::optional<QPointF>(global - QPointF(each->geometry().topLeft()))
                                                  : std::nullopt);
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !dragOwner_) return true;
        OverlayView* owner = dragOwner_;
        dragOwner_ = nullptr;
        const std::optional<Support::Rect> area =
            owner->endDrag(mouse->globalPosition() - QPointF(owner->geometry().topLeft()));
        if (area && onRegion) onRegion(*area); // may order this overlay out or release it
        return true;
    }
    case QEvent::MouseButtonDblClick:
        return true;
    default:
        return false;
    }
}

} // namespace BrindlecastApp
