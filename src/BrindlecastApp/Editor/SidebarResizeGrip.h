#pragma once

#include <QWidget>

namespace BrindlecastApp {

// The 10-point strip along the sidebar's trailing edge that resizes it: it shows the left-right
// resize cursor and reports a drag once the pointer has moved a point, as the distance from where
// the press began.
class SidebarResizeGrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 10;

    explicit SidebarResizeGrip(QWidget* parent = nullptr);

signals:
    // The pointer is `translation` points right of where the drag began (negative: left).
    void dragged(double translation);
    void dragEnded();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
    bool dragging_ = false;
    double pressX_ = 0;
};

} // namespace BrindlecastApp
