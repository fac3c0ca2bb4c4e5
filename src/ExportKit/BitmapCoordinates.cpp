#include "ExportKit/BitmapCoordinates.h"

#include "Support/Fonts.h"

#include <QPainter>
#include <cmath>
#include <numbers>

namespace ExportKit::BitmapCoordinates {

Support::Rect toBottomLeft(const Support::Rect& topLeft, double height) {
    const Support::Rect r = topLeft.standardized();
    return Support::Rect(r.minX(), height - r.maxY(), r.width(), r.height());
}

Support::Rect toTopLeft(const Support::Rect& bottomLeft, double height) { return toBottomLeft(bottomLeft, height); }

QPointF painterPoint(const Support::Point& bottomLeft, double height) { return {bottomLeft.x, height - bottomLeft.y}; }

QRectF painterRect(const Support::Rect& bottomLeft, double height) {
    return toTopLeft(bottomLeft, height).toQRectF();
}

QRectF gridCell(const Support::Rect& bottomLeft, double height, double cell, long long row, long long column) {
    const double x = bottomLeft.minX() + double(column) * cell;
    const double bottomY = bottomLeft.minY() + double(row) * cell;
    return QRectF(x, height - (bottomY + cell), cell, cell);
}

int scanLineForRowFromBottom(int row, int rowCount) { return rowCount - 1 - row; }

QPointF directionForAngle(double radians) { return QPointF(std::cos(radians), -std::sin(radians)); }

QPointF shadowOffsetDownwards(double dy) { return QPointF(0, dy); }

void rotateClockwise(QPainter& painter, QPointF pivot, double radians) {
    painter.translate(pivot);
    painter.rotate(radians * 180.0 / std::numbers::pi);
    painter.translate(-pivot);
}

double baselineAboveBottom(double aboveBottom, double height) { return height - aboveBottom; }

QFont systemFont(double pixelSize, bool bold) {
    QFont font = Support::Fonts::interfaceFont(bold ? QFont::Bold : QFont::Normal);
    font.setPointSizeF(pixelSize);
    return font;
}

QImage makeWorkingBitmap(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return {};
    image.setDotsPerMeterX(kDotsPerMetreAt72Dpi);
    image.setDotsPerMeterY(kDotsPerMetreAt72Dpi);
    image.fill(Qt::transparent);
    return image;
}

QImage makeWorkingBitmap(QSize size) { return makeWorkingBitmap(size.width(), size.height()); }

} // namespace ExportKit::BitmapCoordinates


