#include "BrindlecastApp/Editor/TrafficLightButton.h"

#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QPainter>

namespace BrindlecastApp {

TrafficLightButton::TrafficLightButton(Kind kind, QWidget* parent) : QAbstractButton(parent), kind_(kind) {
    setFixedSize(12, 12);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    static const char* const names[] = {"close", "minimize", "zoom"};
    setObjectName(QString::fromLatin1(names[static_cast<int>(kind)]));
    setToolTip(kind == Kind::close ? "Close" : kind == Kind::minimize ? "Minimize" : "Zoom");
}

void TrafficLightButton::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TrafficLightButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TrafficLightButton::paintEvent(QPaintEvent*) {
    const Tokens t = tokensFor(this);
    const QColor fill = kind_ == Kind::close ? t.trafficLights.close
                        : kind_ == Kind::minimize ? t.trafficLights.minimize
                                                  : t.trafficLights.zoom;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(fill.darker(115), 0.5));
    painter.setBrush(isDown() ? fill.darker(115) : fill);
    painter.drawEllipse(bounds);
    if (!hovering_) return;
    painter.setPen(QPen(Design::black(0.55), 1.1, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = bounds.center();
    const double r = bounds.width() * 0.22;
    switch (kind_) {
    case Kind::close:
        painter.drawLine(c + QPointF(-r, -r), c + QPointF(r, r));
        painter.drawLine(c + QPointF(-r, r), c + QPointF(r, -r));
        break;
    case Kind::minimize: painter.drawLine(c + QPointF(-r * 1.2, 0), c + QPointF(r * 1.2, 0)); break;
    case Kind::zoom:
        painter.drawLine(c + QPointF(-r * 1.2, 0), c + QPointF(r * 1.2, 0));
        painter.drawLine(c + QPointF(0, -r * 1.2), c + QPointF(0, r * 1.2));
        break;
    }
}

} // namespace BrindlecastApp
