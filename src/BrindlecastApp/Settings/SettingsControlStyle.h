#pragma once

#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Design/Tokens.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QStringList>
#include <QPainterPath>
#include <QRectF>

class QPainter;
class QWidget;

namespace BrindlecastApp {

// The looks the settings controls share: the segmented track and its raised selected segment
// (the theme picker and the small segmented control), the switch colours, and the fonts.
namespace SettingsControlStyle {

// The track behind the segments: white 0.09 in the dark scheme, black 0.05 otherwise.
QColor trackFill(const Tokens& t);
// The selected segment's plate: (248, 248, 250) at 0.98 in light, (14, 14, 18) at 0.985 in dark.
QColor selectedSegmentFill(const Tokens& t);
// Black 0.12, radius 1, half a point down.
Tokens::Shadow selectedSegmentShadow();

inline constexpr double kTrackRadius = 8;
inline constexpr double kSegmentRadius = 6;
inline constexpr double kTrackInset = 2;
inline constexpr double kSegmentSpacing = 2;

// Where segments of these labels sit on a track: side by side from the track's inset, each as
// wide as its label plus `sidePadding` on both sides.
QList<QRectF> segmentRects(const QStringList& labels, const QFont& font, double sidePadding, double height);
// The track around them (the inset on every side; the inset alone when there are none).
QSize trackSize(const QList<QRectF>& segments, double height);
// The segment under `point`, or -1.
int segmentAt(const QList<QRectF>& segments, const QPointF& point);

// The system font at a design size in points (a point is a pixel at scale 1).
QFont font(double points, QFont::Weight weight = QFont::Normal);
QFont monospacedFont(double points, QFont::Weight weight = QFont::Normal);

// Device pixels per point of what `painter` draws on.
double deviceScale(const QPainter& painter);

} // namespace SettingsControlStyle

} // namespace BrindlecastApp
