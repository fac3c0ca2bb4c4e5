#include "BrindlecastApp/Settings/OverlayScrollBar.h"

#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Tokens.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace BrindlecastApp {

namespace {

constexpr double kKnobWidth = 6;
constexpr double kKnobWidthHovered = 8;
constexpr double kEndInset = 3;   // above and below the knob's travel
constexpr double kEdgeInset = 2;  // between the knob and the area's edge
constexpr double kMinimumKnob = 28;

} // namespace

OverlayScrollBar::OverlayScrollBar(QAbstractScrollArea* area)
    : QWidget(area), area_(area), bar_(area->verticalScrollBar()) {
    setObjectName("overlayScrollBar");
    setAttribute(Qt::WA_TranslucentBackground);
    area_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area_->installEventFilter(this);
    connect(bar_, &QScrollBar::rangeChanged, this, &OverlayScrollBar::follow);
    connect(bar_, &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
    place();
    follow();
}

bool OverlayScrollBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == area_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) place();
    return QWidget::eventFilter(watched, event);
}

void OverlayScrollBar::place() {
    setGeometry(area_->width() - kWidth, 0, kWidth, area_->height());
    raise(); // over the viewport, which the area lays out after its children
}

void OverlayScrollBar::follow() {
    setVisible(bar_->maximum() > bar_->minimum());
    update();
}

QRectF OverlayScrollBar::track() const {
    return QRectF(rect()).adjusted(0, kEndInset, -kEdgeInset, -kEndInset);
}

QRectF OverlayScrollBar::knobRect() const {
    const double range = bar_->maximum() - bar_->minimum();
    if (range <= 0) return {};
    const QRectF t = track();
    const double length = std::clamp(t.height() * bar_->pageStep() / (range + bar_->pageStep()), kMinimumKnob, t.height());
    const double top = t.top() + (t.height() - length) * (bar_->value() - bar_->minimum()) / range;
    const double width = hovering_ || grab_ ? kKnobWidthHovered : kKnobWidth;
    return {t.right() - width, top, width, length};
}

void OverlayScrollBar::paintEvent(QPaintEvent*) {
    const QRectF knob = knobRect();
    if (knob.isEmpty()) return;
    QColor ink = tokensFor(this).primaryText();
    ink.setAlphaF(hovering_ || grab_ ? 0.42 : 0.28);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawRoundedRect(knob, knob.width() / 2, knob.width() / 2);
}

void OverlayScrollBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const QRectF knob = knobRect();
    const double y = event->position().y();
    if (knob.isEmpty()) return;
    if (y >= knob.top() && y <= knob.bottom()) {
        grab_ = y - knob.top();
        update();
    } else {
        bar_->triggerAction(y < knob.top() ? QAbstractSlider::SliderPageStepSub : QAbstractSlider::SliderPageStepAdd);
    }
}

void OverlayScrollBar::mouseMoveEvent(QMouseEvent* event) {
    if (!grab_) return;
    const QRectF knob = knobRect(), t = track();
    const double travel = t.height() - knob.height();
    if (travel <= 0) return;
    const double fraction = std::clamp((event->position().y() - *grab_ - t.top()) / travel, 0.0, 1.0);
    bar_->setValue(bar_->minimum() + int(std::lround(fraction * (bar_->maximum() - bar_->minimum()))));
}

void OverlayScrollBar::mouseReleaseEvent(QMouseEvent*) {
    grab_.reset();
    update();
}

void OverlayScrollBar::wheelEvent(QWheelEvent* event) { QApplication::sendEvent(bar_, event); }

void OverlayScrollBar::enterEvent(QEnterEvent*) {
    hovering_ = true;
    update();
}

void OverlayScrollBar::leaveEvent(QEvent*) {
    hovering_ = false;
    update();
}

} // namespace BrindlecastApp
