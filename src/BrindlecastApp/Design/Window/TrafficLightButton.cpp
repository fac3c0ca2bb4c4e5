#include "BrindlecastApp/Design/Window/TrafficLightButton.h"

#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolTip.h"

#include <QEvent>
#include <QPainter>

namespace BrindlecastApp {

TrafficLightButton::TrafficLightButton(Kind kind, QWidget* parent) : QAbstractButton(parent), kind_(kind) {
    setFixedSize(12, 12);
    setFocusPolicy(Qt::NoFocus);
    static const char* const names[] = {"close", "minimize", "zoom"};
    setObjectName(QString::fromLatin1(names[static_cast<int>(kind)]));
    setToolTip(kind == Kind::close ? "Close" : kind == Kind::minimize ? "Minimize" : "Zoom");
    ToolTip::install(this);
}

void TrafficLightButton::setShowsMark(bool shows) {
    if (shows == showsMark_) return;
    showsMark_ = shows;
    update();
}

QColor TrafficLightButton::fillColor() const {
    const Tokens t = tokensFor(this);
    // A disabled button is grey; so are an inactive window's, unless the pointer is over them.
    if (!isEnabled() || (!isActiveWindow() && !showsMark_)) return t.isDark() ? QColor(86, 86, 86) : QColor(208, 208, 208);
    return kind_ == Kind::close ? t.trafficLights.close : kind_ == Kind::minimize ? t.trafficLights.minimize : t.trafficLights.zoom;
}

void TrafficLightButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) update();
    QAbstractButton::changeEvent(event);
}

void TrafficLightButton::paintEvent(QPaintEvent*) {
    const QColor fill = fillColor();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(fill.darker(115), 0.5));
    painter.setBrush(isDown() ? fill.darker(115) : fill);
    painter.drawEllipse(bounds);
    if (!showsMark_ || !isEnabled()) return;
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

TrafficLightGroup::TrafficLightGroup(std::array<TrafficLightButton*, 3> buttons, QWidget* parent)
    : QWidget(parent), buttons_(buttons) {
    setObjectName(QStringLiteral("trafficLightGroup"));
    setAttribute(Qt::WA_TranslucentBackground);
    for (TrafficLightButton* button : buttons_) button->installEventFilter(this);
}

void TrafficLightGroup::follow() {
    QRect area;
    for (TrafficLightButton* button : buttons_) area |= button->geometry();
    setGeometry(area);
    raise();
    for (TrafficLightButton* button : buttons_) button->raise();
}

bool TrafficLightGroup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter) {
        ++insideButtons_;
        refresh();
    } else if (event->type() == QEvent::Leave) {
        insideButtons_ = std::max(insideButtons_ - 1, 0);
        refresh();
    }
    return QWidget::eventFilter(watched, event);
}

void TrafficLightGroup::enterEvent(QEnterEvent* event) {
    insideArea_ = true;
    refresh();
    QWidget::enterEvent(event);
}

void TrafficLightGroup::leaveEvent(QEvent* event) {
    insideArea_ = false;
    refresh();
    QWidget::leaveEvent(event);
}

void TrafficLightGroup::refresh() {
    for (TrafficLightButton* button : buttons_) button->setShowsMark(isHovered());
}

} // namespace BrindlecastApp
