#include "BrindlecastApp/Design/Window/WindowDragArea.h"

#include <QMouseEvent>
#include <QWindow>

namespace BrindlecastApp {

WindowDragArea::WindowDragArea(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void WindowDragArea::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    QWidget* top = window();
    QWindow* handle = top->windowHandle();
    if (handle && handle->startSystemMove()) return;
    manualMove_ = true;
    pressGlobal_ = event->globalPosition().toPoint();
    windowOrigin_ = top->pos();
    event->accept();
}

void WindowDragArea::mouseMoveEvent(QMouseEvent* event) {
    if (!manualMove_) return QWidget::mouseMoveEvent(event);
    window()->move(windowOrigin_ + (event->globalPosition().toPoint() - pressGlobal_));
    event->accept();
}

void WindowDragArea::mouseReleaseEvent(QMouseEvent* event) {
    manualMove_ = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace BrindlecastApp
