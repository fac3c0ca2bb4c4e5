#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/Exporter.h"
#include "ExportKit/WorkingImage.h"
#include "Support/SystemMemory.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

namespace ExportKit::Exporter {

namespace {

// The longest side of a backdrop's canvas, in pixels.
constexpr double kLargestCanvasSide = 65536.0;

constexpr double kWatermarkFontSize = 13.0;
constexpr double kWatermarkLeftMargin = 6.0;
constexpr double kWatermarkRightMargin = 12.0;
constexpr double kWatermarkVerticalMargin = 6.0;
constexpr double kWatermarkSmallestFontSize = 1.0;
constexpr double kWatermarkBoxGray = 0.05;

// A canvas is made only when it can be held twice over in the memory the system has free: the
// watermark copies it and the encoder reads it after this. The allocation itself would succeed
// either way, and touching its pages could then bring the out-of-memory killer.
bool memoryAllowsCanvas(double pixels) { return Support::SystemMemory::canHold(qint64(4 * pixels), 2); }

void paintBackdropStyle(QPainter& painter, const Backdrop::Style& style, QSizeF canvas) {
    if (const auto* solid = std::get_if<Backdrop::Solid>(&style)) {
        painter.fillRect(QRectF(QPointF(0, 0), canvas), colorFromHex(solid->colorHex));
        return;
    }
    const auto* gradient = std::get_if<Backdrop::Gradient>(&style);
    if (!gradient || !std::isfinite(gradient->angle)) return; // no gradient: the canvas stays transparent
    const double length = std::max(canvas.width(), canvas.height());
    const QPointF centre(canvas.width() / 2, canvas.height() / 2);
    const QPointF half = BitmapCoordinates::directionForAngle(gradient->angle) * (length / 2);
    QLinearGradient fill(centre - half, centre + half);
    fill.setSpread(QGradient::PadSpread);
    fill.setColorAt(0, colorFromHex(gradient->colorHexA));
    fill.setColorAt(1, colorFromHex(gradient->colorHexB));
    painter.fillRect(QRectF(QPointF(0, 0), canvas), fill);
}

// The image moved right and down by a fraction of a pixel (0 <= shift < 1 on each axis) with
// linear interpolation, one pixel larger each way; what lies outside it counts as transparent.
QImage shiftedBySubpixel(const QImage& source, QPointF shift) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage shifted = BitmapCoordinates::makeWorkingBitmap(image.width() + 1, image.height() + 1);
    if (shifted.isNull() || image.isNull()) return {};
    const auto fx = std::uint32_t(std::lround(shift.x() * 256));
    const auto fy = std::uint32_t(std::lround(shift.y() * 256));
    auto mix = [](QRgb a, QRgb b, std::uint32_t fb) {
        // a * (256 - fb) + b * fb, per 8-bit channel, rounded.
        const std::uint32_t fa = 256 - fb;
        const std::uint32_t rb = (((a & 0x00FF00FF) * fa + (b & 0x00FF00FF) * fb + 0x00800080) >> 8) & 0x00FF00FF;
        const std::uint32_t ag = ((((a >> 8) & 0x00FF00FF) * fa + ((b >> 8) & 0x00FF00FF) * fb + 0x00800080)) & 0xFF00FF00;
        return QRgb(rb | ag);
    };
    const int w = image.width();
    const int h = image.height();
    std::vector<QRgb> previousRow(std::size_t(w + 1), 0);
    std::vector<QRgb> row(std::size_t(w + 1), 0);
    for (int y = 0; y <= h; ++y) {
        // Horizontal pass of source row y (transparent below the last row).
        if (y < h) {
            const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x <= w; ++x) row[std::size_t(x)] = mix(x < w ? in[x] : 0, x > 0 ? in[x - 1] : 0, fx);
        } else {
            std::fill(row.begin(), row.end(), 0);
        }
        auto* out = reinterpret_cast<QRgb*>(shifted.scanLine(y));
        for (int x = 0; x <= w; ++x) out[x] = mix(row[std::size_t(x)], previousRow[std::size_t(x)], fy);
        std::swap(row, previousRow);
    }
    return shifted;
}

} // namespace

std::optional<QRect> effectiveCropRect(QSize imageSize, const Support::Rect& rect) {
    if (rect.isNull()) return std::nullopt;
    const Support::Rect r = rect.standardized();
    for (double v : {r.minX(), r.minY(), r.maxX(), r.maxY()}) {
        if (!std::isfinite(v)) return std::nullopt;
    }
    const Support::Rect kept =
        r.integral().intersection(Support::Rect(0, 0, imageSize.width(), imageSize.height()));
    if (kept.isNull() || kept.width() < 1 || kept.height() < 1) return std::nullopt;
    const QRect pixels(int(kept.minX()), int(kept.minY()), int(kept.width()), int(kept.height()));
    if (pixels == QRect(QPoint(0, 0), imageSize)) return std::nullopt;
    return pixels;
}

QImage crop(const QImage& image, const Support::Rect& rect) {
    const auto pixels = effectiveCropRect(image.size(), rect);
    if (!pixels) return image;
    QImage sub = image.copy(*pixels);
    return sub.isNull() ? image : sub;
}

QImage applyBackdrop(const QImage& image, const Backdrop& backdrop) {
    if (std::holds_alternative<Backdrop::None>(backdrop.style)) return image;
    const double p = backdrop.padding;
    // A backdrop that was asked for is drawn or the export fails: never left off without a word.
    if (!std::isfinite(p) || p < 0) {
        throw ExportError::invalidRegion(QString("backdrop padding %1 is not a number of 0 or more").arg(p));
    }
    if (2 * p + std::max(image.width(), image.height()) > kLargestCanvasSide) throw ExportError::bitmapContextFailed();
    const int extra = int(std::trunc(2 * p));
    if (image.isNull()) return image;
    if (!memoryAllowsCanvas(double(image.width() + extra) * double(image.height() + extra))) {
        throw ExportError::bitmapContextFailed();
    }
    QImage canvas = BitmapCoordinates::makeWorkingBitmap(image.width() + extra, image.height() + extra);
    if (canvas.isNull()) throw ExportError::bitmapContextFailed();

    QPainter painter(&canvas);
    paintBackdropStyle(painter, backdrop.style, canvas.size());

    // The image sits p pixels in from the left and bottom edges, at its own size.
    const Support::Rect bottomLeft(p, p, image.width(), image.height());
    const QRectF target = BitmapCoordinates::painterRect(bottomLeft, canvas.height());
    painter.setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing, true);
    // The image is laid in as a texture over its (possibly rounded) rectangle. At a fractional
    // placement it is first resampled onto the pixel grid, its edges fading like partly covered
    // pixels, and then laid at whole-pixel offsets.
    QImage texture = image;
    texture.setDevicePixelRatio(1); // a brush would scale a high-density image down and tile it
    QPointF textureOrigin = target.topLeft();
    const QPointF whole(std::floor(target.x()), std::floor(target.y()));
    if (textureOrigin != whole) {
        texture = shiftedBySubpixel(image, textureOrigin - whole);
        if (texture.isNull()) throw ExportError::bitmapContextFailed();
        textureOrigin = whole;
    }
    const double radius = std::isfinite(backdrop.cornerRadius) ? backdrop.cornerRadius : 0;
    QPainterPath shape;
    shape.setFillRule(Qt::WindingFill);
    if (radius <= 0) {
        shape.addRect(QRectF(textureOrigin, texture.size()));
    } else {
        const double r = std::min(radius, std::min(image.width(), image.height()) / 2.0);
        shape.addRoundedRect(target, r, r);
        if (textureOrigin != target.topLeft()) {
            // The resampled texture's edges already fade by how much of a pixel they cover; along
            // the straight sides the shape reaches to whole pixels so that the fade is not applied
            // twice, and only the corner arcs are smoothed by the shape.
            const QRectF pixels(textureOrigin, texture.size());
            QPainterPath sides;
            sides.addRect(QRectF(pixels.left(), target.top() + r, pixels.width(), target.height() - 2 * r));
            sides.addRect(QRectF(target.left() + r, pixels.top(), target.width() - 2 * r, pixels.height()));
            shape = shape.united(sides);
        }
    }
    QBrush brush(texture);
    brush.setTransform(QTransform::fromTranslate(textureOrigin.x(), textureOrigin.y()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(brush);
    painter.drawPath(shape);
    painter.end();
    return canvas;
}

QImage watermark(const QImage& image, const std::optional<Watermark>& mark) {
    if (!mark) return image;
    const QString text = mark->text();
    if (text.isEmpty()) return image;
    QImage result = WorkingImage::copyOf(image);
    const double width = result.width();
    const double height = result.height();

    // On an image narrower than the text, the font shrinks until the box fits.
    double size = kWatermarkFontSize;
    QFont font = BitmapCoordinates::systemFont(size);
    auto inkWidth = [&](const QFont& f) { return QFontMetricsF(f, &result).tightBoundingRect(text).width(); };
    double textWidth = inkWidth(font);
    const double room = width - kWatermarkLeftMargin - kWatermarkRightMargin;
    while (textWidth + kWatermarkLeftMargin + kWatermarkRightMargin > width && size > kWatermarkSmallestFontSize) {
        size = std::max(kWatermarkSmallestFontSize, std::min(size * 0.95, size * room / std::max(textWidth, 1.0)));
        font = BitmapCoordinates::systemFont(size);
        textWidth = inkWidth(font);
    }
    const QFontMetricsF metrics(font, &result);
    const double x = width - textWidth - kWatermarkRightMargin;
    const double boxHeight = metrics.ascent() + metrics.descent() + 2 * kWatermarkVerticalMargin;
    const Support::Rect box(x - kWatermarkLeftMargin, 0, textWidth + kWatermarkLeftMargin + kWatermarkRightMargin,
                            boxHeight);
    const QRectF boxOnImage = BitmapCoordinates::painterRect(box, height);

    QPainter painter(&result);
    painter.fillRect(boxOnImage, QColor::fromRgbF(float(kWatermarkBoxGray), float(kWatermarkBoxGray),
                                                  float(kWatermarkBoxGray), 1.0f));
    painter.setClipRect(boxOnImage); // the text never reaches past its box
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const double baseline =
        BitmapCoordinates::baselineAboveBottom(kWatermarkVerticalMargin + metrics.descent(), height);
    painter.drawText(QPointF(x, baseline), text);
    painter.end();
    return result;
}

} // namespace ExportKit::Exporter
