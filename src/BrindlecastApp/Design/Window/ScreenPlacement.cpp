#include "BrindlecastApp/Design/Window/ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace BrindlecastApp::ScreenPlacement {

QSize fitted(QSize wanted, const QRect& area) {
    if (area.isEmpty()) return wanted;
    return {std::min(wanted.width(), area.width()), std::min(wanted.height(), area.height())};
}

QRect keptInside(const QRect& frame, const QRect& area) {
    if (area.isEmpty()) return frame;
    // The far edge first, so that the near edge wins on an area too small for the frame.
    const int x = std::max(std::min(frame.x(), area.x() + area.width() - frame.width()), area.x());
    const int y = std::max(std::min(frame.y(), area.y() + area.height() - frame.height()), area.y());
    return QRect(QPoint(x, y), frame.size());
}

QRect centred(QSize size, const QRect& area) {
    const QSize shown = fitted(size, area);
    if (area.isEmpty()) return QRect(QPoint(0, 0), shown);
    const QPoint topLeft(area.x() + (area.width() - shown.width()) / 2, area.y() + (area.height() - shown.height()) / 2);
    return keptInside(QRect(topLeft, shown), area);
}

QScreen* screenOf(const QWidget& window) {
    if (QScreen* holding = QGuiApplication::screenAt(window.geometry().center())) return holding;
    if (QScreen* own = window.screen()) return own;
    return QGuiApplication::primaryScreen();
}

QRect workArea(const QWidget& window) {
    const QScreen* screen = screenOf(window);
    return screen ? screen->availableGeometry() : QRect();
}

void centre(QWidget& window, QSize wanted) {
    const QRect frame = centred(wanted, workArea(window));
    if (window.minimumSize() == window.maximumSize()) window.setFixedSize(frame.size());
    else window.setMinimumSize(fitted(window.minimumSize(), frame));
    window.setGeometry(frame);
}

void keepOnScreen(QWidget& window) {
    const QRect kept = keptInside(window.geometry(), workArea(window));
    if (kept != window.geometry()) window.move(kept.topLeft());
}

} // namespace BrindlecastApp::ScreenPlacement
