#include "BrindlecastApp/Settings/MacCheckbox.h"

#include "BrindlecastApp/Design/Icon.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QPainter>

namespace BrindlecastApp {

namespace {

constexpr double kSide = 17;
constexpr double kRadius = 4.5;
constexpr double kBorder = 1.5;
constexpr double kCheck = 13;

} // namespace

MacCheckbox::MacCheckbox(bool isOn, QWidget* parent) : QWidget(parent), on_(isOn) {
    setFixedSize(int(kSide), int(kSide));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
}

void MacCheckbox::setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    update();
}

QColor MacCheckbox::borderColor() const {
    return tokensFor(this).isDark() ? Design::white(0.32) : Design::black(0.28);
}

void MacCheckbox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, kSide, kSide);
    if (on_) {
        painter.fillPath(continuousRoundedRect(box, kRadius), tokensFor(this).accent);
        const double offset = (kSide - kCheck) / 2;
        Icon::paint(painter, Icon::Glyph::checkmark, QPointF(offset, offset), kCheck, Qt::white);
        return;
    }
    // Stroked inside the shape: the pen runs along a path inset by half its width.
    const double half = kBorder / 2;
    painter.setPen(QPen(borderColor(), kBorder));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(continuousRoundedRect(box.adjusted(half, half, -half, -half), kRadius - half));
}

} // namespace BrindlecastApp
