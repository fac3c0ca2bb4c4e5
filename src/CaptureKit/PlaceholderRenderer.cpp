#include "CaptureKit/PlaceholderRenderer.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace CaptureKit::PlaceholderRenderer {

namespace {
constexpr double smallestLabelSize = 11;
constexpr int dotsPerMetreAt72Dpi = 2835; // so that a point is a pixel
const QColor plateColour = QColor::fromRgbF(0.15f, 0.15f, 0.15f, 1.0f);
const QColor labelColour = QColor::fromRgbF(0.9f, 0.9f, 0.9f, 1.0f);
} // namespace

double labelFontSize(const Support::Rect& plate) {
    const double byHeight = 0.25 * plate.height();
    const double byWidth = plate.width() / double(label.size()) * 1.6;
    return std::max(smallestLabelSize, std::min(byHeight, byWidth));
}

QImage draw(const QImage& image, const std::vector<Support::Rect>& plates) {
    QImage canvas = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull()) return image;
    canvas.setDotsPerMeterX(dotsPerMetreAt72Dpi);
    canvas.setDotsPerMeterY(dotsPerMetreAt72Dpi);
    const Support::Rect bounds(0, 0, canvas.width(), canvas.height());

    QPainter painter(&canvas);
    if (!painter.isActive()) return image;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const Support::Rect& plate : plates) {
        const Support::Rect r = plate.intersection(bounds);
        if (r.isEmpty()) continue;
        painter.fillRect(r.toQRectF(), plateColour);

        const double size = labelFontSize(r);
        QFont font(QStringLiteral("Helvetica"));
        font.setPointSizeF(size);
        const QFontMetricsF metrics(font, &canvas);
        const double width = metrics.horizontalAdvance(label);
        // The baseline sits a third of the font size below the plate's centre. The label is not
        // clipped: on a narrow plate the smallest size may run past its sides.
        painter.setFont(font);
        painter.setPen(labelColour);
        painter.drawText(QPointF(r.midX() - width / 2, r.midY() + size / 3), label);
    }
    painter.end();
    return canvas;
}

} // namespace CaptureKit::PlaceholderRenderer
