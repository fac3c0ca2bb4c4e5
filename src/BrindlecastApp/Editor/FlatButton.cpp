#include "BrindlecastApp/Editor/FlatButton.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "Support/Fonts.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double kSymbolSpacing = 6;
constexpr double kTitleSize = 13;
constexpr double kChevronPointSize = 6.5;
constexpr double kChevronInset = 4;

// The rounded fill behind a flat button, in the colour for its pressed state.
void paintFill(QPainter& painter, const QRectF& bounds, const FlatFillStyle& fill, bool down) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(down ? fill.pressed : fill.rest);
    painter.drawPath(continuousRoundedRect(bounds, fill.radius));
}

} // namespace

int FlatLook::scaled(double length, double scale) {
    // A hair above the product, so that a length meant whole (36 at 1) is not rounded below it.
    return int(std::floor(length * scale + 1e-6));
}

QColor FlatLook::hoverTint(const QWidget* widget) {
    return tokensFor(widget).isDark() ? Design::white(0.16) : Design::black(0.10);
}

// --- FlatToolButton ------------------------------------------------------------------------------

FlatToolButton::FlatToolButton(bool isActive, bool hasSubmenu, std::function<void()> action, IconPainter icon,
                               QWidget* parent)
    : QAbstractButton(parent), active_(isActive), hasSubmenu_(hasSubmenu), icon_(std::move(icon)) {
    setFixedSize(kSize);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void FlatToolButton::setActive(bool active) {
    if (active == active_) return;
    active_ = active;
    update();
}

void FlatToolButton::setScale(double scale) {
    if (scale == scale_ || scale <= 0) return;
    scale_ = scale;
    setFixedSize(sizeHint());
    update();
}

QSize FlatToolButton::sizeHint() const {
    return {FlatLook::scaled(kSize.width(), scale_), FlatLook::scaled(kSize.height(), scale_)};
}

void FlatToolButton::setDimming(double opacity) {
    if (opacity == dimming_) return;
    dimming_ = opacity;
    update();
}

FlatFillStyle FlatToolButton::fill() const {
    const Tokens t = tokensFor(this);
    const QColor tint = FlatLook::hoverTint(this);
    if (active_) return {t.accent, Design::withOpacity(t.accent, t.accent.alphaF() * 0.85), t.radii.button};
    return {hovering_ ? tint : QColor(Qt::transparent), tint, t.radii.button};
}

QColor FlatToolButton::foreground() const { return active_ ? QColor(Qt::white) : tokensFor(this).primaryText(); }

QRectF FlatToolButton::chevronBox() const {
    if (!hasSubmenu_) return {};
    const double side = Symbols::sideForPointSize(kChevronPointSize) * scale_;
    const double inset = kChevronInset * scale_;
    return QRectF(width() - inset - side, height() - inset - side, side, side);
}

void FlatToolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(dimming_);
    // Drawn at its designed size, scaled to the button's.
    painter.scale(scale_, scale_);
    const QRectF bounds(QPointF(), QSizeF(size()) / scale_);
    paintFill(painter, bounds, fill(), isDown());
    const QColor ink = foreground();
    icon_.paintCentred(painter, bounds, ink);
    if (hasSubmenu_) {
        const QRectF chevron = chevronBox();
        Symbols::paint(painter, "chevron.down", QRectF(chevron.topLeft() / scale_, chevron.size() / scale_),
                       Design::withOpacity(ink, 0.75), SymbolWeight::bold);
    }
}

void FlatToolButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void FlatToolButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

// --- FlatButton ----------------------------------------------------------------------------------

FlatButton::FlatButton(std::optional<QString> title, std::optional<QString> systemImage, bool prominent,
                       std::optional<double> fixedWidth, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), title_(std::move(title)), systemImage_(std::move(systemImage)), prominent_(prominent),
      fixedWidth_(fixedWidth) {
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (title_) setAccessibleName(*title_);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void FlatButton::setLabel(std::optional<QString> title, std::optional<QString> systemImage) {
    if (title == title_ && systemImage == systemImage_) return;
    title_ = std::move(title);
    systemImage_ = std::move(systemImage);
    setAccessibleName(title_.value_or(QString()));
    if (!fixedWidth_) updateGeometry();
    update();
}

void FlatButton::setDimming(double opacity) {
    if (opacity == dimming_) return;
    dimming_ = opacity;
    update();
}

void FlatButton::setScale(double scale) {
    if (scale == scale_ || scale <= 0) return;
    scale_ = scale;
    updateGeometry();
    update();
}

void FlatButton::setWaiting(bool waiting) {
    if (waiting == waiting_) return;
    waiting_ = waiting;
    if (waiting) setCursor(Qt::BusyCursor);
    else unsetCursor();
    update();
}

FlatFillStyle FlatButton::fill() const {
    const Tokens t = tokensFor(this);
    const QColor tint = FlatLook::hoverTint(this);
    if (prominent_) {
        const double alpha = t.accent.alphaF();
        return {Design::withOpacity(t.accent, alpha * (hovering_ ? 0.9 : 1.0)), Design::withOpacity(t.accent, alpha * 0.8),
                t.radii.button};
    }
    if (hovering_) return {tint, tint, t.radii.button};
    return {t.isDark() ? Design::white(0.09) : Design::black(0.05), tint, t.radii.button};
}

QColor FlatButton::foreground() const { return prominent_ ? QColor(Qt::white) : tokensFor(this).primaryText(); }

double FlatButton::sidePadding() const {
    if (!title_) return 10;
    return prominent_ ? 15 : 12;
}

QFont FlatButton::titleFont() const {
    return Support::Fonts::interfaceFont(int(kTitleSize), prominent_ ? QFont::DemiBold : QFont::Medium);
}

QSizeF FlatButton::contentSize() const {
    double width = 0;
    if (systemImage_) width += Symbols::sideForPointSize(kTitleSize);
    if (title_) {
        if (systemImage_) width += kSymbolSpacing;
        width += QFontMetricsF(titleFont()).horizontalAdvance(*title_);
    }
    return {width, double(kHeight)};
}

QSize FlatButton::sizeHint() const {
    const double width = std::ceil(fixedWidth_ ? *fixedWidth_ : contentSize().width() + 2 * sidePadding());
    return {FlatLook::scaled(width, scale_), FlatLook::scaled(kHeight, scale_)};
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setOpacity(dimming_);
    painter.scale(scale_, scale_);
    const QRectF bounds(QPointF(), QSizeF(size()) / scale_);
    paintFill(painter, bounds, fill(), isDown() || waiting_);

    // The content is centred in the button, whatever its width.
    const QColor ink = foreground();
    const QSizeF content = contentSize();
    double x = bounds.center().x() - content.width() / 2;
    if (systemImage_) {
        const double side = Symbols::sideForPointSize(kTitleSize);
        Symbols::paint(painter, *systemImage_, QRectF(x, bounds.center().y() - side / 2, side, side), ink,
                       prominent_ ? SymbolWeight::semibold : SymbolWeight::medium);
        x += side + kSymbolSpacing;
    }
    if (title_) {
        painter.setFont(titleFont());
        painter.setPen(ink);
        painter.drawText(QRectF(x, bounds.top(), bounds.right() - x, bounds.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         *title_);
    }
}

void FlatButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void FlatButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace BrindlecastApp
