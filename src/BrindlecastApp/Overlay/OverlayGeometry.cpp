#include "BrindlecastApp/Overlay/OverlayGeometry.h"

#include <algorithm>
#include <cmath>

namespace BrindlecastApp::OverlayGeometry {

Support::Rect dragSelection(QPointF start, QPointF current, const QRectF& bounds) {
    const Support::Rect dragged(std::min(start.x(), current.x()), std::min(start.y(), current.y()),
                                std::abs(current.x() - start.x()), std::abs(current.y() - start.y()));
    return dragged.intersection(Support::Rect::fromQRectF(bounds));
}

bool isReportable(const Support::Rect& selection) {
    return !selection.isNull() && selection.width() >= minimumSide && selection.height() >= minimumSide;
}

QList<QPointF> handleCentres(const QRectF& r) {
    if (!(r.width() > handleThreshold && r.height() > handleThreshold)) return {};
    QList<QPointF> centres;
    for (const double x : {r.left(), r.center().x(), r.right()})
        for (const double y : {r.top(), r.center().y(), r.bottom()})
            if (x != r.center().x() || y != r.center().y()) centres << QPointF(x, y);
    return centres;
}

QString readoutText(const QRectF& r, double scale) {
    return QString::asprintf("%.0f × %.0f pt  ·  %.0f × %.0f px", r.width(), r.height(), scale * r.width(),
                             scale * r.height());
}

Label readoutLayout(const QRectF& r, QSizeF text, const QRectF& bounds) {
    double top = r.bottom() + 18;
    if (top + text.height() > bounds.bottom()) top = r.bottom() - 13 - text.height();
    double x = r.center().x() - text.width() / 2;
    x = std::min(x, bounds.right() - text.width() - 10);
    x = std::max(x, bounds.left() + 10);
    const QRectF textRect(x, top, text.width(), text.height());
    return {textRect, textRect.adjusted(-10, -5, 10, 5)};
}

QString badgeText(QPointF global) {
    return QString("%1, %2").arg(std::lround(global.x())).arg(std::lround(global.y()));
}

Label badgeLayout(QPointF p, QSizeF text, const QRectF& bounds) {
    double x = p.x() + 14;
    if (bounds.right() - 4 < p.x() + 14 + text.width() + 16) x = p.x() - text.width() - 16 - 14;
    double top = p.y() + 18;
    if (top + text.height() > bounds.bottom() - 4) top = p.y() - 14 - text.height();
    const QRectF textRect(x, top, text.width(), text.height());
    return {textRect, textRect.adjusted(-8, -4, 8, 4)};
}

} // namespace BrindlecastApp::OverlayGeometry
