#pragma once

#include <QWidget>

#include <optional>

class QAbstractScrollArea;
class QScrollBar;

namespace BrindlecastApp {

// A vertical scroll bar laid over the right edge of a scroll area rather than beside its page,
// so a page keeps its whole width and its margins whether it scrolls or not: a thin rounded knob
// on no track, there only while the page is taller than the area. It drives the area's own
// scroll bar, which stays hidden, so the wheel, the keys and scrolling to a widget work as before.
class OverlayScrollBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 11;

    explicit OverlayScrollBar(QAbstractScrollArea* area);

    // Where the knob is drawn, in the bar's coordinates; empty while there is nothing to scroll.
    QRectF knobRect() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void place();
    void follow();
    QRectF track() const;

    QAbstractScrollArea* area_;
    QScrollBar* bar_;
    std::optional<double> grab_; // where in the knob the pointer took it
    bool hovering_ = false;
};

} // namespace BrindlecastApp
