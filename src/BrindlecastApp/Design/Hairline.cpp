#include "BrindlecastApp/Design/Hairline.h"

#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

Hairline::Hairline(Qt::Orientation axis, std::optional<double> length, QWidget* parent)
    : QWidget(parent), axis_(axis), length_(length) {
    const int extent = static_cast<int>(std::lround(length_.value_or(22)));
    if (axis_ == Qt::Vertical) {
        setFixedSize(1, extent);
    } else if (length_) {
        setFixedSize(extent, 1);
    } else {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
}

QSize Hairline::sizeHint() const {
    if (axis_ == Qt::Vertical) return {1, static_cast<int>(std::lround(length_.value_or(22)))};
    return {static_cast<int>(std::lround(length_.value_or(0))), 1};
}

void Hairline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Design::withOpacity(tokensFor(this).primaryText(), 0.14));
}

} // namespace BrindlecastApp
