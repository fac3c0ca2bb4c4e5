#include "BrindlecastApp/Settings/AccentSwatch.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Review/Color.h"

#include <QPainter>

namespace BrindlecastApp {

namespace {

constexpr double kDisc = 26;
constexpr double kPadding = 3;

// A circle's outline stroked inside the circle of `box`.
void strokeInside(QPainter& painter, const QRectF& box, double width, const QColor& color) {
    const double half = width / 2;
    painter.setPen(QPen(color, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(box.adjusted(half, half, -half, -half));
}

} // namespace

AccentSwatch::AccentSwatch(const QColor& color, QWidget* parent) : QAbstractButton(parent), color_(color) {
    setFixedSize(sizeHint());
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (Theme* theme = themeFor(this)) theme->setAccent(color_);
    });
}

bool AccentSwatch::isSelected() const {
    const Theme* theme = themeFor(this);
    const QColor accent = theme ? theme->accent() : tokensFor(this).accent;
    return Color::hexRGB(accent) == Color::hexRGB(color_);
}

void AccentSwatch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(kPadding, kPadding, kDisc, kDisc);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawEllipse(disc);
    strokeInside(painter, disc, 1, Design::white(0.5));
    if (isSelected()) strokeInside(painter, QRectF(0, 0, kDisc + 2 * kPadding, kDisc + 2 * kPadding), 2, color_);
}

} // namespace BrindlecastApp
