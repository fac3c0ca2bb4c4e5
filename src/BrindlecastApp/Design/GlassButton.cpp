#include "BrindlecastApp/Design/GlassButton.h"

#include "BrindlecastApp/Design/Glass.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/SpringHover.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double buttonHeight = 34;
constexpr double spacing = 6;
constexpr double fontSize = 13;

QColor brightened(const QColor& color, double amount) {
    auto up = [amount](float c) { return static_cast<float>(std::clamp(c + amount, 0.0, 1.0)); };
    return QColor::fromRgbF(up(color.redF()), up(color.greenF()), up(color.blueF()), color.alphaF());
}

QColor accentOf(const QWidget* widget) {
    Theme* theme = themeFor(widget);
    return theme ? theme->accent() : tokensFor(widget).accent;
}

} // namespace

GlassButton::GlassButton(QString title, std::optional<QString> systemImage, Role role, std::function<void()> action,
                         QWidget* parent)
    : QAbstractButton(parent),
      systemImage_(std::move(systemImage)),
      role_(role),
      hover_(new SpringHover(this, Tokens::defaults().motion.ease)) {
    setText(title);
    setFont(titleFont());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

QFont GlassButton::titleFont() const {
    return Support::Fonts::interfaceFont(static_cast<int>(fontSize), role_ == Role::prominent ? QFont::DemiBold : QFont::Medium);
}

QSize GlassButton::sizeHint() const {
    const QFontMetricsF metrics(titleFont());
    double width = metrics.horizontalAdvance(text()) + 2 * horizontalPadding();
    if (systemImage_) width += Symbols::sideForPointSize(fontSize) + spacing;
    return {static_cast<int>(std::ceil(width)), static_cast<int>(buttonHeight)};
}

QColor GlassButton::backgroundAt(double hover) const {
    const bool dark = tokensFor(this).isDark();
    if (role_ == Role::prominent) return brightened(accentOf(this), 0.05 * hover);
    const double rest = dark ? 0.09 : 0.05, hovered = dark ? 0.16 : 0.1;
    const double opacity = rest + (hovered - rest) * hover;
    return dark ? Design::white(opacity) : Design::black(opacity);
}

bool GlassButton::isHovering() const { return hover_->hovering(); }

QColor GlassButton::background() const { return backgroundAt(isHovering() ? 1 : 0); }

Tokens::Shadow GlassButton::shadow() const {
    if (role_ == Role::prominent) return {Design::withOpacity(accentOf(this), 0.4), 6, 0, 4};
    return {Qt::transparent, 0, 0, 0};
}

QList<Tokens::Shadow> GlassButton::castShadows() const {
    const Tokens::Shadow s = shadow();
    return s.color.alpha() == 0 ? QList<Tokens::Shadow>{} : QList<Tokens::Shadow>{s};
}

QPainterPath GlassButton::shadowShape() const { return continuousRoundedRect(rect(), tokensFor(this).radii.button); }

void GlassButton::paintEvent(QPaintEvent*) {
    const Tokens t = tokensFor(this);
    const QRectF bounds = rect();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(backgroundAt(hover_->amount()));
    painter.drawPath(continuousRoundedRect(bounds, t.radii.button));
    Glass::paintTopHighlight(painter, bounds, t.radii.button, Glass::highlightOpacity(t), bounds.height());

    const QColor foreground = role_ == Role::prominent ? QColor(Qt::white) : t.primaryText();
    const QFont font = titleFont();
    const QFontMetricsF metrics(font);
    const double symbolSide = systemImage_ ? Symbols::sideForPointSize(fontSize) : 0;
    const double contentWidth = metrics.horizontalAdvance(text()) + (systemImage_ ? symbolSide + spacing : 0);
    double x = bounds.center().x() - contentWidth / 2;
    if (systemImage_) {
        Symbols::paint(painter, *systemImage_, QRectF(x, bounds.center().y() - symbolSide / 2, symbolSide, symbolSide),
                       foreground, role_ == Role::prominent ? SymbolWeight::semibold : SymbolWeight::medium);
        x += symbolSide + spacing;
    }
    painter.setFont(font);
    painter.setPen(foreground);
    painter.drawText(QRectF(x, bounds.top(), bounds.right() - x, bounds.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     text());
}

} // namespace BrindlecastApp
