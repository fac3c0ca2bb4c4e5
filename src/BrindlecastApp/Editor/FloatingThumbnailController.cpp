#include "BrindlecastApp/Editor/FloatingThumbnailController.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Editor/FloatingThumbnailCard.h"
#include "BrindlecastApp/Design/WalkthroughClock.h"
#include "CaptureKit/X11Connection.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTextStream>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace BrindlecastApp {

namespace {

// The centre of the desktop's active window in root coordinates, when there is one.
std::optional<QPoint> activeWindowCentre() {
    try {
        CaptureKit::X11Connection x;
        const std::optional<std::uint32_t> active = x.cardinalProperty(x.root(), "_NET_ACTIVE_WINDOW");
        if (!active || *active == 0) return std::nullopt;
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
            xcb_get_geometry_reply(x.get(), xcb_get_geometry(x.get(), *active), nullptr), &std::free);
        if (!geometry) return std::nullopt;
        std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> origin(
            xcb_translate_coordinates_reply(x.get(), xcb_translate_coordinates(x.get(), *active, x.root(), 0, 0),
                                            nullptr),
            &std::free);
        if (!origin) return std::nullopt;
        return QPoint(origin->dst_x + geometry->width / 2, origin->dst_y + geometry->height / 2);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

QScreen* liveFocusScreen() {
    if (QGuiApplication::platformName() == "xcb") {
        if (const std::optional<QPoint> centre = activeWindowCentre()) {
            // Root coordinates are device pixels; screens are placed in logical ones.
            for (QScreen* screen : QGuiApplication::screens()) {
                const QRect native(screen->geometry().topLeft(), screen->geometry().size() * screen->devicePixelRatio());
                if (native.contains(*centre)) return screen;
            }
        }
    }
    return QGuiApplication::primaryScreen();
}

// Puts the panel on every desktop, out of the task bar and pager and out of the focus's way
// before it is mapped.
void stickToEveryDesktop(QWidget& panel) {
    if (QGuiApplication::platformName() != "xcb") return;
    try {
        CaptureKit::X11Connection x;
        const xcb_window_t window = xcb_window_t(panel.winId());
        const std::uint32_t everyDesktop = 0xFFFFFFFF;
        xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, window, x.atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                            &everyDesktop);
        const xcb_atom_t states[] = {x.atom("_NET_WM_STATE_STICKY"), x.atom("_NET_WM_STATE_SKIP_TASKBAR"),
                                     x.atom("_NET_WM_STATE_SKIP_PAGER"), x.atom("_NET_WM_STATE_ABOVE")};
        xcb_change_property(x.get(), XCB_PROP_MODE_APPEND, window, x.atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 4, states);
        // Without the take-focus protocol, a window that wants no input is never handed the focus
        // (with it, a window manager may offer the focus and the toolkit would take it).
        std::vector<xcb_atom_t> protocols = x.atomsProperty(window, "WM_PROTOCOLS");
        std::erase(protocols, x.atom("WM_TAKE_FOCUS"));
        xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, window, x.atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 32,
                            std::uint32_t(protocols.size()), protocols.data());
        xcb_flush(x.get());
    } catch (const std::exception&) {
        // Without the hints it still floats above; only other desktops miss it.
    }
}

} // namespace

FloatingThumbnailEnvironment FloatingThumbnailEnvironment::live() {
    FloatingThumbnailEnvironment env;
    env.clock = WalkthroughClock::real();
    env.now = [] { return QDateTime::currentDateTime(); };
    env.focusScreen = liveFocusScreen;
    return env;
}

FloatingThumbnailController::FloatingThumbnailController(Theme& theme, FloatingThumbnailEnvironment environment,
                                                         QObject* parent)
    : QObject(parent), theme_(theme), environment_(std::move(environment)) {}

FloatingThumbnailController::~FloatingThumbnailController() { delete current_.data(); }

int FloatingThumbnailController::thumbnailHeight(std::optional<QSize> screenSize) {
    if (!screenSize || screenSize->width() <= 0) return 144;
    return int(std::lround(double(screenSize->height()) * FloatingThumbnailCard::kImageWidth / screenSize->width()));
}

QPoint FloatingThumbnailController::panelOrigin(const QRect& workArea, QSize panel) {
    return QPoint(workArea.x() + workArea.width() - panel.width() - kScreenInset,
                  workArea.y() + workArea.height() - panel.height() - kScreenInset);
}

void FloatingThumbnailController::show(const QImage& image, const QDateTime& time, std::function<void()> onTap) {
    // The card up goes at once, with no slide; deleting it also drops its pending wait.
    if (current_) {
        current_->hide();
        current_->deleteLater();
        current_ = nullptr;
    }
    QScreen* screen = environment_.focusScreen ? environment_.focusScreen() : nullptr;
    const QSize thumbSize(FloatingThumbnailCard::kImageWidth,
                          thumbnailHeight(screen ? std::optional<QSize>(screen->geometry().size()) : std::nullopt));
    QPointer<FloatingThumbnailController> self(this);
    FloatingThumbnailCard::Actions actions;
    actions.onTap = [self, onTap = std::move(onTap)] {
        if (!self) return;
        QPointer<FloatingThumbnailCard> card = self->current_;
        if (onTap) onTap();
        if (self && card) self->dismiss(card);
    };
    actions.onDismiss = [self](FloatingThumbnailCard* card) {
        if (self) self->dismiss(card);
    };
    auto* card = new FloatingThumbnailCard(image, thumbSize, time, environment_.now, *environment_.clock,
                                           std::move(actions));
    ThemedRoot::install(card, &theme_);
    connect(this, &FloatingThumbnailController::dismissing, card, &FloatingThumbnailCard::slideOut);
    if (screen) {
        card->setScreen(screen);
        card->move(panelOrigin(screen->availableGeometry(), card->size()));
    }
    current_ = card;
    stickToEveryDesktop(*card);
    card->show();
}

void FloatingThumbnailController::dismiss() { dismiss(current_); }

void FloatingThumbnailController::dismiss(FloatingThumbnailCard* card) {
    // A replaced card, or one already on its way out, has nothing left to dismiss.
    if (!card || card != current_ || card->isSlidingOut()) return;
    emit dismissing();
    QPointer<FloatingThumbnailCard> leaving(card);
    environment_.clock->after(kOrderOutSeconds, this, [this, leaving] {
        if (leaving && leaving == current_) orderOut(leaving);
    });
}

void FloatingThumbnailController::orderOut(FloatingThumbnailCard* card) {
    card->hide();
    card->deleteLater();
    current_ = nullptr;
}

QImage FloatingThumbnailController::syntheticShot() {
    QImage image(460, 288, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Top to bottom, as a gradient at -90 degrees runs.
    QLinearGradient sky(0, 0, 0, 288);
    sky.setColorAt(0, QColor::fromRgbF(0.976f, 0.812f, 0.576f));
    sky.setColorAt(0.5, QColor::fromRgbF(0.816f, 0.459f, 0.604f));
    sky.setColorAt(1, QColor::fromRgbF(0.227f, 0.247f, 0.471f));
    p.fillRect(image.rect(), sky);
    // The drawing's origin is its bottom-left corner; these are placed top-down.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgbF(1.0f, 0.835f, 0.494f));
    p.drawEllipse(QRectF(110.4, 288 - 158.4 - 60, 60, 60));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor::fromRgbF(1.0f, 0.231f, 0.188f), 3));
    p.drawRoundedRect(QRectF(193.2, 288 - 86.4 - 97.92, 119.6, 97.92), 6, 6);
    return image;
}

FloatingThumbnailController* FloatingThumbnailController::presentPreview(bool dark) {
    // Kept for the life of the process, as the app's own controller is; a second preview
    // replaces the first.
    static Theme* previewTheme = nullptr;
    static FloatingThumbnailController* previewHolder = nullptr;
    delete previewHolder;
    delete previewTheme;
    previewTheme = new Theme();
    // The mode is stored as every change of mode is.
    previewTheme->setMode(dark ? ThemeMode::dark : ThemeMode::light);
    previewHolder = new FloatingThumbnailController(*previewTheme);
    previewHolder->show(syntheticShot(), QDateTime::currentDateTime(), [] {
        std::fputs("[FloatingThumbnail] tapped \u2014 editor would open here\n", stdout);
        std::fflush(stdout);
    });
    return previewHolder;
}

} // namespace BrindlecastApp
