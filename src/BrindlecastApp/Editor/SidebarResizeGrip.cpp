#include "BrindlecastApp/Editor/SidebarResizeGrip.h"

#include <QMouseEvent>

#include <cmath>

namespace BrindlecastApp {

SidebarResizeGrip::SidebarResizeGrip(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::SizeHorCursor);
    setFixedWidth(kWidth);
}

void SidebarResizeGrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    pressed_ = true;
    dragging_ = false;
    pressX_ = event->globalPosition().x();
    event->accept();
}

void SidebarResizeGrip::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_) return QWidget::mouseMoveEvent(event);
    const double translation = event->globalPosition().x() - pressX_;
    // A press that has not moved a point is not a drag yet.
    if (!dragging_ && std::abs(translation) < 1) return;
    dragging_ = true;
    emit dragged(translation);
    event->accept();
}

void SidebarResizeGrip::mouseReleaseEvent(QMouseEvent* event) {
    if (!pressed_) return QWidget::mouseReleaseEvent(event);
    pressed_ = false;
    if (dragging_) {
        dragging_ = false;
        emit dragEnded();
    }
    event->accept();
}

} // namespace BrindlecastApp
