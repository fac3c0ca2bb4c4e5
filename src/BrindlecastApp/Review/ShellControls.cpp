#include "BrindlecastApp/Review/ShellControls.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/TabularDigits.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolTip.h"
#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr int kSymbolPointSize = 13;
constexpr double kActionHeight = 30;
constexpr double kActionPadding = 12;
constexpr double kPlainPadding = 6;
constexpr double kSymbolSpacing = 6;
constexpr int kLabelFontSize = 12;

QColor accentFor(const QWidget* widget) {
    Theme* theme = themeFor(widget);
    return theme ? theme->accent() : tokensFor(widget).accent;
}

} // namespace

FrostedCard::FrostedCard(double cornerRadius, QWidget* parent) : QWidget(parent), radius_(cornerRadius) {
    setAttribute(Qt::WA_TranslucentBackground);
}

QColor FrostedCard::material() { return QColor(36, 36, 40, 214); }

QList<Tokens::Shadow> FrostedCard::castShadows() const { return {Tokens::Shadow{Design::black(0.35), 14, 0, 6}}; }

QPainterPath FrostedCard::shadowShape() const { return continuousRoundedRect(rect(), radius_); }

void FrostedCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(material());
    painter.drawPath(continuousRoundedRect(rect(), radius_));
    painter.setPen(QPen(Design::hairline(), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(continuousRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), std::max(0.0, radius_ - 0.5)));
}

PillButton::PillButton(QString symbol, QString toolTip, QWidget* parent) : QAbstractButton(parent), symbol_(std::move(symbol)) {
    setFixedSize(34, 26);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(toolTip);
    setCursor(Qt::ArrowCursor);
    ToolTip::install(this);
}

void PillButton::setCurrent(bool current) {
    if (current == current_) return;
    current_ = current;
    update();
}

QColor PillButton::foreground() const {
    if (current_) return Qt::white;
    const QColor secondary = tokensFor(this).secondaryText();
    return isEnabled() ? secondary : Design::withOpacity(secondary, 0.4);
}

void PillButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (current_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(accentFor(this));
        painter.drawPath(continuousRoundedRect(rect(), 7));
    } else if (isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Design::white(0.1));
        painter.drawPath(continuousRoundedRect(rect(), 7));
    }
    const double side = Symbols::sideForPointSize(kSymbolPointSize);
    const QRectF box(QPointF(width() / 2.0 - side / 2, height() / 2.0 - side / 2), QSizeF(side, side));
    Symbols::paint(painter, symbol_, box, foreground(), SymbolWeight::medium);
}

ActionButton::ActionButton(QString title, std::optional<QString> symbol, Look look, QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)), look_(look) {
    setText(title);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::ArrowCursor);
    ToolTip::install(this);
}

QFont ActionButton::titleFont() const {
    return Support::Fonts::interfaceFont(13, look_ == Look::prominent ? QFont::DemiBold : QFont::Medium);
}

QSize ActionButton::sizeHint() const {
    const QFontMetricsF metrics(titleFont());
    const double padding = look_ == Look::plain ? kPlainPadding : kActionPadding;
    double width = metrics.horizontalAdvance(text()) + 2 * padding;
    if (symbol_) width += Symbols::sideForPointSize(kSymbolPointSize) + kSymbolSpacing;
    return {int(std::ceil(width)), int(kActionHeight)};
}

void ActionButton::paintEvent(QPaintEvent*) {
    const Tokens t = tokensFor(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.4);
    const QRectF bounds = rect();
    QColor foreground = t.primaryText();
    if (look_ == Look::plain) {
        foreground = t.secondaryText();
    } else {
        const bool prominent = look_ == Look::prominent;
        QColor fill = prominent ? accentFor(this) : Design::white(0.12);
        if (isDown()) fill = prominent ? fill.darker(115) : Design::white(0.2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawPath(continuousRoundedRect(bounds, t.radii.small));
        painter.setPen(QPen(Design::hairline(), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(continuousRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), t.radii.small - 0.5));
        if (prominent) foreground = Qt::white;
    }
    const QFont font = titleFont();
    const QFontMetricsF metrics(font);
    const double side = symbol_ ? Symbols::sideForPointSize(kSymbolPointSize) : 0;
    const double content = metrics.horizontalAdvance(text()) + (symbol_ ? side + kSymbolSpacing : 0);
    double x = (bounds.width() - content) / 2;
    if (symbol_) {
        Symbols::paint(painter, *symbol_, QRectF(x, (bounds.height() - side) / 2, side, side), foreground, SymbolWeight::medium);
        x += side + kSymbolSpacing;
    }
    painter.setFont(font);
    painter.setPen(foreground);
    painter.drawText(QPointF(x, (bounds.height() - metrics.height()) / 2 + metrics.ascent()), text());
}

SymbolLabel::SymbolLabel(QString symbol, QColor color, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), color_(color) {
    ToolTip::install(this);
}

void SymbolLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    updateGeometry();
    update();
}

// Counts in tabular figures, so that a chip keeps its width while its number changes.
QSize SymbolLabel::sizeHint() const {
    const QFont font = Support::Fonts::interfaceFont(kLabelFontSize, QFont::DemiBold);
    const double side = Symbols::sideForPointSize(kLabelFontSize);
    return {int(std::ceil(side + 4 + TabularDigits::horizontalAdvance(font, text_))),
            int(std::ceil(std::max(side, QFontMetricsF(font).height())))};
}

void SymbolLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = Symbols::sideForPointSize(kLabelFontSize);
    Symbols::paint(painter, symbol_, QRectF(0, (height() - side) / 2, side, side), color_, SymbolWeight::semibold);
    painter.setFont(Support::Fonts::interfaceFont(kLabelFontSize, QFont::DemiBold));
    painter.setPen(color_);
    TabularDigits::draw(painter, QRectF(side + 4, 0, width() - side - 4, height()), text_);
}

} // namespace BrindlecastApp
