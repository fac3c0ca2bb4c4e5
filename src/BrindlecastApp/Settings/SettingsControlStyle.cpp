#include "BrindlecastApp/Settings/SettingsControlStyle.h"

#include "Support/Fonts.h"

#include <cmath>

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

namespace BrindlecastApp {

namespace SettingsControlStyle {

QColor trackFill(const Tokens& t) { return t.isDark() ? Design::white(0.09) : Design::black(0.05); }

QColor selectedSegmentFill(const Tokens& t) {
    return t.isDark() ? Design::withOpacity(QColor::fromRgb(14, 14, 18), 0.985)
                      : Design::withOpacity(QColor::fromRgb(248, 248, 250), 0.98);
}

Tokens::Shadow selectedSegmentShadow() { return {Design::black(0.12), 1, 0, 0.5}; }

QList<QRectF> segmentRects(const QStringList& labels, const QFont& font, double sidePadding, double height) {
    const QFontMetricsF metrics(font);
    QList<QRectF> rects;
    double x = kTrackInset;
    for (const QString& label : labels) {
        const double width = std::ceil(metrics.horizontalAdvance(label)) + 2 * sidePadding;
        rects << QRectF(x, kTrackInset, width, height);
        x += width + kSegmentSpacing;
    }
    return rects;
}

QSize trackSize(const QList<QRectF>& segments, double height) {
    const double width = segments.isEmpty() ? 2 * kTrackInset : segments.back().right() + kTrackInset;
    return {int(std::ceil(width)), int(std::ceil(height + 2 * kTrackInset))};
}

int segmentAt(const QList<QRectF>& segments, const QPointF& point) {
    for (int i = 0; i < segments.size(); ++i)
        if (segments[i].contains(point)) return i;
    return -1;
}

QFont font(double points, QFont::Weight weight) { return Support::Fonts::interfaceFontOfSize(points, weight); }

QFont monospacedFont(double points, QFont::Weight weight) { return Support::Fonts::monospacedFontOfSize(points, weight); }

double deviceScale(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    return device ? device->devicePixelRatioF() : 1.0;
}

} // namespace SettingsControlStyle

} // namespace BrindlecastApp
