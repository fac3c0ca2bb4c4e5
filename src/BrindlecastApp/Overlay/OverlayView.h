#pragma once

#include "BrindlecastApp/Overlay/PickTarget.h"
#include "Support/Geometry.h"

#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <optional>

#include <QScreen>

namespace BrindlecastApp {

// One panel of the selection overlay: a borderless top-level that the window manager does not
// manage, covering one monitor (a RandR monitor, in root-window pixels). It paints the frozen picture of that monitor dimmed, with the
// selected area clear behind an accent outline, eight handles and a size readout, or, while
// nothing is selected, the pointer's global coordinates; in window-pick mode, the window under
// the pointer in a light accent tint.
//
// Input reaches it through its OverlayController, which routes the pointer gestures below.
// Local coordinates are points from the panel's top-left corner; root coordinates are the X
// root window's pixels.
class OverlayView : public QWidget {
    Q_OBJECT
public:
    // `screen` is Qt's screen the monitor lies on (its scale), null for scale 1.
    OverlayView(QScreen* screen, const Support::Rect& monitor, QPixmap frozenFrame, QColor accent);

    const Support::Rect& monitor() const { return monitor_; }
    // Where the panel goes in Qt's global coordinates.
    QRect panelGeometry() const;
    QRectF bounds() const { return QRectF(QPointF(0, 0), QSizeF(size())); }
    // Pixels per point of the panel's monitor.
    double scale() const;
    Support::Point toRoot(QPointF local) const;
    QPointF fromRoot(Support::Point root) const;
    Support::Rect toRoot(const QRectF& local) const;

    bool windowPickMode() const { return windowPickMode_; }
    const std::optional<QPointF>& dragStart() const { return dragStart_; }
    // Empty when nothing is selected.
    QRectF selection() const { return selection_; }
    const std::optional<QPointF>& hoverPoint() const { return hoverPoint_; }
    const std::optional<PickTarget>& pickTarget() const { return pickTarget_; }

    // Mode switches drop the drag, the selection and the hover point, and the pick target when
    // going back to area selection.
    void enterMode(bool windowPick);
    void setPickTarget(const std::optional<PickTarget>& target);
    void setHoverPoint(const std::optional<QPointF>& local);

    // Area selection. A press always starts a new selection; a drag leaving the panel is
    // clipped to it. The release gives the selection in root coordinates when it is at least
    // 2 x 2 points, and otherwise clears it.
    void beginDrag(QPointF local);
    void dragTo(QPointF local);
    std::optional<Support::Rect> endDrag(QPointF local);

    // What the panel draws where (also read by tests).
    struct Layout {
        std::optional<QRectF> highlight; // the clear (or tinted) area
        QList<QPointF> handles;
        std::optional<QRectF> readoutCapsule;
        QString readout;
        std::optional<QRectF> badgeCapsule;
        QString badge;
    };
    Layout layout() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QRectF pickHighlight() const;

    QPointer<QScreen> screen_;
    Support::Rect monitor_;
    QPixmap frozenFrame_;
    QColor accent_;
    bool windowPickMode_ = false;
    std::optional<QPointF> dragStart_;
    QRectF selection_;
    std::optional<QPointF> hoverPoint_;
    std::optional<PickTarget> pickTarget_;
};

} // namespace BrindlecastApp
