#pragma once

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <Qt>

class QPainter;

namespace BrindlecastApp {

// Text at a size between whole pixels, such as 12.5 points of the design. A font's size is set in
// whole pixels (a point size that comes to 12.5 pixels draws at 13), so such text is set at a
// whole multiple of its size and drawn scaled down to it; a whole size is drawn as it is.
class SizedText {
public:
    // `font` gives the family and weight; `pixels` the size (a design point is a pixel at scale 1).
    SizedText(QFont font, double pixels);

    double horizontalAdvance(const QString& text) const;
    double ascent() const;
    double height() const;
    // `text` shortened with an ellipsis to at most `width`.
    QString elided(const QString& text, Qt::TextElideMode mode, double width) const;

    // In the painter's pen; `flags` as QPainter::drawText takes them.
    void draw(QPainter& painter, const QRectF& rect, int flags, const QString& text) const;
    void draw(QPainter& painter, const QPointF& baseline, const QString& text) const;

private:
    QFont font_;  // at the whole size it is set at
    double scale_; // the drawn size over that size
};

} // namespace BrindlecastApp
