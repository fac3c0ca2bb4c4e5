#include "BrindlecastApp/Design/ToolButton.h"

#include "BrindlecastApp/Design/Glass.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/SpringHover.h"
#include "BrindlecastApp/Design/SpringValue.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QPainter>

namespace BrindlecastApp {

namespace {

QColor mix(const QColor& from, const QColor& to, double amount) {
    auto lerp = [amount](float a, float b) { return static_cast<float>(a + (b - a) * amount); };
    return QColor::fromRgbF(lerp(from.redF(), to.redF()), lerp(from.greenF(), to.greenF()),
                            lerp(from.blueF(), to.blueF()), lerp(from.alphaF(), to.alphaF()));
}

} // namespace

ToolButton::ToolButton(bool isActive, std::function<void()> action, IconPainter icon, QWidget* parent)
    : QAbstractButton(parent),
      active_(isActive),
      icon_(std::move(icon)),
      activeAmount_(new SpringValue(this, isActive ? 1 : 0)),
      hover_(new SpringHover(this)),
      pressScale_(new SpringValue(this, 1)) {
    setFixedSize(36, 34);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
    connect(this, &QAbstractButton::pressed, this, [this] {
        pressScale_->animateTo(tokensFor(this).motion.pressScale, tokensFor(this).motion.press);
    });
    connect(this, &QAbstractButton::released, this, [this] { pressScale_->animateTo(1, tokensFor(this).motion.press); });
    connect(hover_, &SpringHover::hoveringChanged, this, [this] {
        if (parentWidget()) parentWidget()->update(); // the hover shadow is painted by the container
    });
    // The container paints the shadow, which shrinks and grows with the button.
    connect(&pressScale_->animation(), &QVariantAnimation::valueChanged, this, [this] {
        if (parentWidget()) parentWidget()->update();
    });
}

void ToolButton::setActive(bool active) {
    if (active == active_) return;
    active_ = active;
    activeAmount_->animateTo(active ? 1 : 0, tokensFor(this).motion.quick);
    update();
    if (parentWidget()) parentWidget()->update(); // the glow is painted by the container
}

bool ToolButton::isHovering() const { return hover_->hovering(); }

QColor ToolButton::foreground() const { return active_ ? QColor(Qt::white) : tokensFor(this).primaryText(); }

Tokens::Shadow ToolButton::shadow() const {
    const Tokens t = tokensFor(this);
    Theme* theme = themeFor(this);
    const QColor accent = theme ? theme->accent() : t.accent;
    if (active_) return {Design::withOpacity(accent, 0.45), 5, 0, 3};
    if (isHovering()) return {Design::black(0.1), 1.5, 0, 1};
    return {Qt::transparent, 0, 0, 0};
}

double ToolButton::scale() const { return isDown() ? tokensFor(this).motion.pressScale : 1.0; }

double ToolButton::drawnScale() const { return pressScale_->value(); }

// The shadow is cast by the button as drawn: a pressed button's glow shrinks with it, or it would
// leave a ring of shadow around the smaller button.
QList<Tokens::Shadow> ToolButton::castShadows() const {
    Tokens::Shadow s = shadow();
    if (s.color.alpha() == 0) return {};
    const double k = drawnScale();
    s.radius *= k;
    s.x *= k;
    s.y *= k;
    return {s};
}

QPainterPath ToolButton::shadowShape() const {
    const QRectF bounds = rect();
    const double k = drawnScale();
    QTransform aboutCentre;
    aboutCentre.translate(bounds.center().x(), bounds.center().y());
    aboutCentre.scale(k, k);
    aboutCentre.translate(-bounds.center().x(), -bounds.center().y());
    return aboutCentre.map(continuousRoundedRect(bounds, tokensFor(this).radii.button));
}

void ToolButton::paintEvent(QPaintEvent*) {
    const Tokens t = tokensFor(this);
    Theme* theme = themeFor(this);
    const QColor accent = theme ? theme->accent() : t.accent;
    const double active = activeAmount_->value();
    const double hover = hover_->amount();
    const QRectF bounds = rect();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = pressScale_->value();
    painter.translate(bounds.center());
    painter.scale(s, s);
    painter.translate(-bounds.center());

    const QPainterPath shape = continuousRoundedRect(bounds, t.radii.button);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Design::withOpacity(accent, accent.alphaF() * active));
    painter.drawPath(shape);
    if (active > 0) {
        QLinearGradient sheen(bounds.topLeft(), bounds.bottomLeft());
        sheen.setColorAt(0, Design::white(0.3 * active));
        sheen.setColorAt(1, Design::white(0.05 * active));
        painter.setBrush(sheen);
        painter.drawPath(shape);
    }
    const double tint = hover * (1 - active); // active wins over hover
    if (tint > 0) {
        painter.setBrush(t.isDark() ? Design::white(0.16 * tint) : Design::black(0.1 * tint));
        painter.drawPath(shape);
    }
    const double lit = std::max(active, hover);
    if (lit > 0) Glass::paintTopHighlight(painter, bounds, t.radii.button, Glass::highlightOpacity(t) * lit, bounds.height());

    icon_.paintCentred(painter, bounds, mix(t.primaryText(), Qt::white, active));
}

} // namespace BrindlecastApp
