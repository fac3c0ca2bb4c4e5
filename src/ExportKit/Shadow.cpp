#include "ExportKit/Shadow.h"

#include "ExportKit/BitmapCoordinates.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace ExportKit::Shadow {

namespace {

// Box widths whose three successive passes approximate a Gaussian of `sigma`.
std::array<int, 3> boxRadiiForGaussian(double sigma) {
    const double ideal = std::sqrt(12.0 * sigma * sigma / 3.0 + 1.0);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    const int upper = lower + 2;
    const double m = (12.0 * sigma * sigma - 3.0 * lower * lower - 12.0 * lower - 9.0) / (-4.0 * lower - 4.0);
    const int useLower = int(std::lround(m));
    std::array<int, 3> radii{};
    for (int i = 0; i < 3; ++i) radii[std::size_t(i)] = ((i < useLower ? lower : upper) - 1) / 2;
    return radii;
}

// One box pass of `radius` along a line of `count` values spaced `stride` apart; values beyond
// the ends count as zero.
void boxLine(uchar* line, int count, qsizetype stride, int radius, std::vector<int>& scratch) {
    if (radius <= 0 || count <= 0) return;
    scratch.resize(std::size_t(count));
    for (int i = 0; i < count; ++i) scratch[std::size_t(i)] = line[i * stride];
    const int width = 2 * radius + 1;
    int sum = 0;
    for (int i = 0; i <= std::min(radius, count - 1); ++i) sum += scratch[std::size_t(i)];
    for (int i = 0; i < count; ++i) {
        line[i * stride] = uchar((sum + width / 2) / width);
        const int enter = i + radius + 1;
        const int leave = i - radius;
        if (enter < count) sum += scratch[std::size_t(enter)];
        if (leave >= 0) sum -= scratch[std::size_t(leave)];
    }
}

} // namespace

void blurAlpha(QImage& alphaImage, double sigma) {
    if (!(sigma > 0.3) || alphaImage.isNull()) return;
    const std::array<int, 3> radii = boxRadiiForGaussian(sigma);
    const int w = alphaImage.width();
    const int h = alphaImage.height();
    const qsizetype stride = alphaImage.bytesPerLine();
    uchar* bits = alphaImage.bits();
    std::vector<int> scratch;
    for (int radius : radii) {
        for (int y = 0; y < h; ++y) boxLine(bits + y * stride, w, 1, radius, scratch);
        for (int x = 0; x < w; ++x) boxLine(bits + x, h, stride, radius, scratch);
    }
}

void paintWithShadow(QPainter& painter, const Parameters& shadow, const QRectF& deviceBounds,
                     const std::function<void(QPainter&)>& draw) {
    QPaintDevice* device = painter.device();
    // A stored document can ask for any size; past these the offscreen layer would grow with the
    // mark rather than with the image, and the shadow is a faint haze anyway.
    constexpr double kLargestBlurRadius = 512;
    constexpr double kLargestOffset = 512;
    const double sigma = std::clamp(shadow.blurRadius, 0.0, kLargestBlurRadius) / 2.0;
    const QPointF offset(std::clamp(shadow.offset.x(), -kLargestOffset, kLargestOffset),
                         std::clamp(shadow.offset.y(), -kLargestOffset, kLargestOffset));
    const int margin = int(std::ceil(3.0 * sigma)) + 2;
    // Only content whose shadow or self can land on the device matters.
    const QRect deviceRect(0, 0, device->width(), device->height());
    const int reachX = margin + int(std::ceil(std::fabs(offset.x())));
    const int reachY = margin + int(std::ceil(std::fabs(offset.y())));
    const QRect relevant = deviceRect.adjusted(-reachX, -reachY, reachX, reachY);
    const QRect content = deviceBounds.toAlignedRect().intersected(relevant);
    if (content.isEmpty()) return;
    const QRect layerRect = content.adjusted(-margin, -margin, margin, margin);

    QImage layer = BitmapCoordinates::makeWorkingBitmap(layerRect.size());
    if (layer.isNull()) {
        draw(painter); // no room for a shadow: the drawing itself still appears
        return;
    }
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHints(painter.renderHints());
        layerPainter.setTransform(painter.transform() * QTransform::fromTranslate(-layerRect.x(), -layerRect.y()));
        draw(layerPainter);
    }

    QImage mask = layer.convertToFormat(QImage::Format_Alpha8);
    blurAlpha(mask, sigma);
    QImage tinted = BitmapCoordinates::makeWorkingBitmap(layerRect.size());
    if (!tinted.isNull()) {
        tinted.fill(shadow.color);
        QPainter tintPainter(&tinted);
        tintPainter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        tintPainter.drawImage(0, 0, mask);
    }

    painter.save();
    painter.resetTransform();
    if (!tinted.isNull()) painter.drawImage(QPointF(layerRect.topLeft()) + offset, tinted);
    painter.drawImage(layerRect.topLeft(), layer);
    painter.restore();
}

} // namespace ExportKit::Shadow
