#include "BrindlecastApp/Design/IconView.h"

#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

IconView::IconView(Icon::Glyph glyph, double size, QWidget* parent) : QWidget(parent), glyph_(glyph), size_(size) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void IconView::setColor(const QColor& color) {
    // Callers may set the colour from a paint of their own: the same colour asks for no repaint.
    if (color == color_) return;
    color_ = color;
    update();
}

QSize IconView::sizeHint() const {
    const int side = static_cast<int>(std::ceil(size_));
    return {side, side};
}

void IconView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPointF origin((width() - size_) / 2, (height() - size_) / 2);
    Icon::paint(painter, glyph_, origin, size_, color_.value_or(tokensFor(this).primaryText()));
}

} // namespace BrindlecastApp
