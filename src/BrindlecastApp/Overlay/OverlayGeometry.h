#pragma once

#include "Support/Geometry.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

// Where the selection overlay draws what. Everything is in the coordinates of one overlay panel:
// points, origin at the panel's top-left corner, y downwards.
namespace BrindlecastApp::OverlayGeometry {

// A drag smaller than this in either direction selects nothing.
inline constexpr double minimumSide = 2;
// Handles are drawn only on selections larger than this in both directions.
inline constexpr double handleThreshold = 24;
inline constexpr double handleSide = 7;

// The selection a drag from `start` to `current` makes, clipped to the panel: null when the
// drag left it entirely.
Support::Rect dragSelection(QPointF start, QPointF current, const QRectF& bounds);
// True for a selection at least 2 x 2 points (2 x 2 counts).
bool isReportable(const Support::Rect& selection);

// The centres of the eight handles (corners and edge midpoints), or none for a small selection.
QList<QPointF> handleCentres(const QRectF& selection);

// A text label and its capsule behind it.
struct Label {
    QRectF text;
    QRectF capsule;
    friend bool operator==(const Label&, const Label&) = default;
};

// "300 × 200 pt  ·  600 × 400 px" for a selection on a panel of backing scale 2.
QString readoutText(const QRectF& selection, double scale);
// Below the selection, 18 points under it; inside it, 13 points above its bottom edge, when the
// panel has no room below. Centred on it but never within 10 points of the panel's sides (the
// left limit wins on a panel too narrow for both).
Label readoutLayout(const QRectF& selection, QSizeF textSize, const QRectF& bounds);

// "812, 140": the pointer's global coordinates, each rounded half away from zero.
QString badgeText(QPointF global);
// Right of and below the pointer; left of it near the right edge, above it near the bottom.
Label badgeLayout(QPointF pointer, QSizeF textSize, const QRectF& bounds);

} // namespace BrindlecastApp::OverlayGeometry
