#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/Exporter.h"
#include "ExportKit/WorkingImage.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace ExportKit::Exporter {

namespace {

constexpr double kSolidGray = 0.08;
constexpr double kFallbackGray = 0.5;

QColor gray(double value) { return QColor::fromRgbF(float(value), float(value), float(value), 1.0f); }

// Painter-space rectangle grown outwards to whole pixels when the painter only translates, so
// that a pixel the region merely touches is covered entirely rather than blended with what lay
// beneath.
QRectF coverageRect(const QPainter& painter, const QRectF& rect) {
    if (painter.transform().type() > QTransform::TxTranslate) return rect;
    const QPointF shift(painter.transform().dx(), painter.transform().dy());
    const QRectF device = rect.translated(shift);
    const QRectF whole(QPointF(std::floor(device.left()), std::floor(device.top())),
                       QPointF(std::ceil(device.right()), std::ceil(device.bottom())));
    return whole.translated(-shift);
}

// The part of the painter's coordinate space that lands on its device, with a pixel to spare.
QRectF deviceArea(const QPainter& painter) {
    const QPaintDevice* device = painter.device();
    return painter.transform().inverted().mapRect(QRectF(-1, -1, device->width() + 2, device->height() + 2));
}

void fillScramble(QPainter& painter, const Support::Rect& rect, double canvasHeight, const QRectF& visible) {
    // Only the squares that meet the visible part of the region are computed and drawn.
    const Support::Rect visibleBottomLeft =
        BitmapCoordinates::toBottomLeft(Support::Rect::fromQRectF(visible), canvasHeight);
    const auto window = RedactionPattern::scrambleWindow(rect, visibleBottomLeft);
    if (!window) return;
    for (std::size_t r = 0; r < window->grays.size(); ++r) {
        const auto& row = window->grays[r];
        for (std::size_t c = 0; c < row.size(); ++c) {
            painter.fillRect(BitmapCoordinates::gridCell(rect, canvasHeight, window->cell,
                                                         window->firstRow + std::int64_t(r),
                                                         window->firstColumn + std::int64_t(c)),
                             gray(row[c]));
        }
    }
}

// Tile grays by QImage row (row 0 at the top), 8-bit levels.
using TileLevels = std::array<std::array<double, 6>, 4>;

// The tile stretched over `target` and sampled at the centres of the pixels of `visible` (both in
// painter coordinates): bilinear between the tile's pixel centres, held at its edges.
QImage stretchedTile(const TileLevels& levels, const QRectF& target, const QRect& visible) {
    QImage patch(visible.size(), QImage::Format_RGB32);
    if (patch.isNull()) return patch;
    const double sx = 6.0 / target.width();
    const double sy = 4.0 / target.height();
    std::vector<int> x0(std::size_t(visible.width()));
    std::vector<double> fx(std::size_t(visible.width()));
    for (int x = 0; x < visible.width(); ++x) {
        const double u = std::clamp((visible.left() + x + 0.5 - target.left()) * sx - 0.5, 0.0, 5.0);
        x0[std::size_t(x)] = std::min(int(u), 4);
        fx[std::size_t(x)] = u - x0[std::size_t(x)];
    }
    for (int y = 0; y < visible.height(); ++y) {
        const double v = std::clamp((visible.top() + y + 0.5 - target.top()) * sy - 0.5, 0.0, 3.0);
        const int y0 = std::min(int(v), 2);
        const double fy = v - y0;
        std::array<double, 6> row{};
        for (std::size_t c = 0; c < 6; ++c) row[c] = levels[std::size_t(y0)][c] * (1 - fy) + levels[std::size_t(y0) + 1][c] * fy;
        auto* line = reinterpret_cast<QRgb*>(patch.scanLine(y));
        for (int x = 0; x < visible.width(); ++x) {
            const std::size_t c = std::size_t(x0[std::size_t(x)]);
            const double f = fx[std::size_t(x)];
            const int level = int(std::lround(row[c] * (1 - f) + row[c + 1] * f));
            line[x] = qRgb(level, level, level);
        }
    }
    return patch;
}

void fillBlur(QPainter& painter, const Support::Rect& rect, double canvasHeight, const QRectF& visible) {
    const auto tile = RedactionPattern::blurTile(rect);
    QImage tileImage(6, 4, QImage::Format_RGB32);
    if (!tile || tileImage.isNull()) return; // the region keeps the fallback gray
    TileLevels levels{};
    for (int r = 0; r < 4; ++r) {
        const int scanLine = BitmapCoordinates::scanLineForRowFromBottom(r, 4);
        auto* line = reinterpret_cast<QRgb*>(tileImage.scanLine(scanLine));
        for (int c = 0; c < 6; ++c) {
            line[c] = gray((*tile)[std::size_t(r)][std::size_t(c)]).rgb();
            levels[std::size_t(scanLine)][std::size_t(c)] = qRed(line[c]);
        }
    }
    const QRectF target = BitmapCoordinates::painterRect(rect, canvasHeight);
    if (painter.transform().type() <= QTransform::TxTranslate) {
        // Axis-aligned: sample only the visible pixels, whatever the region's size.
        const QRect pixels = visible.toAlignedRect();
        const QImage patch = stretchedTile(levels, target, pixels);
        if (!patch.isNull()) painter.drawImage(pixels.topLeft(), patch);
        return;
    }
    // Turned: let the painter stretch the tile, unless the region is too large for its rasteriser.
    constexpr double kLargestTurnedSide = 1 << 20;
    if (target.width() > kLargestTurnedSide || target.height() > kLargestTurnedSide) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(target, tileImage);
}

} // namespace

void fillRedaction(QPainter& painter, const Support::Rect& bitmapRect, double canvasHeight, RedactionStyle style) {
    if (!RedactionPattern::isDrawable(bitmapRect) || !std::isfinite(canvasHeight)) {
        throw ExportError::invalidRegion("a redaction region must be finite and within +/-2^53");
    }
    const QRectF target = BitmapCoordinates::painterRect(bitmapRect, canvasHeight);
    if (target.isEmpty()) return;
    const QRectF clip = coverageRect(painter, target).intersected(deviceArea(painter));
    if (clip.isEmpty()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setClipRect(clip, Qt::IntersectClip);
    switch (style) {
    case RedactionStyle::solid:
        painter.fillRect(clip, gray(kSolidGray));
        break;
    case RedactionStyle::scramble:
        painter.fillRect(clip, gray(kFallbackGray)); // the edge pixels no square reaches
        fillScramble(painter, bitmapRect, canvasHeight, clip);
        break;
    case RedactionStyle::blur:
        painter.fillRect(clip, gray(kFallbackGray));
        fillBlur(painter, bitmapRect, canvasHeight, clip);
        break;
    }
    painter.restore();
}

QImage redact(const QImage& image, const std::vector<Support::Rect>& regions, RedactionStyle style) {
    // Refuse before drawing anything, so a bad region never yields a partly redacted image.
    for (const Support::Rect& region : regions) {
        if (!RedactionPattern::isDrawable(region)) {
            throw ExportError::invalidRegion("a redaction region must be finite and within +/-2^53");
        }
    }
    QImage result = WorkingImage::copyOf(image);
    QPainter painter(&result);
    const double height = result.height();
    for (const Support::Rect& region : regions) {
        fillRedaction(painter, BitmapCoordinates::toBottomLeft(region, height), height, style);
    }
    painter.end();
    return result;
}

QImage redact(const QImage& image, const std::vector<DetectionKit::Detection>& detections, RedactionStyle style) {
    std::vector<Support::Rect> regions;
    regions.reserve(detections.size());
    for (const auto& detection : detections) regions.push_back(detection.boundingBox());
    return redact(image, regions, style);
}

} // namespace ExportKit::Exporter
