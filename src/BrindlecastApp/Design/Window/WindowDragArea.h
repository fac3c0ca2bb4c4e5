#pragma once

#include <QPoint>
#include <QWidget>

namespace BrindlecastApp {

// A strip that moves its window when dragged: the window manager moves it where it can
// (startSystemMove); without one, the strip moves the window itself.
class WindowDragArea : public QWidget {
    Q_OBJECT
public:
    explicit WindowDragArea(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool manualMove_ = false;
    QPoint pressGlobal_;
    QPoint windowOrigin_;
};

} // namespace BrindlecastApp
