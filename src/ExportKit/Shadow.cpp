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

// The rounded mean of a box of `width` values from their sum, looked up rather than divided:
// a wide blur divides once for every pixel of every pass.
class BoxMean {
public:
    explicit BoxMean(int width) : means_(std::size_t(255 * width + 1)) {
        for (std::size_t sum = 0; sum < means_.size(); ++sum) means_[sum] = uchar((int(sum) + width / 2) / width);
    }
    uchar operator()(int sum) const { return means_[std::size_t(sum)]; }

private:
    std::vector<uchar> means_;
};

// One box pass of `radius` along a row of `count` values; values beyond the ends count as zero.
void boxRow(uchar* line, int count, int radius, const BoxMean& mean, std::vector<int>& scratch) {
    if (radius <= 0 || count <= 0) return;
    scratch.resize(std::size_t(count));
    for (int i = 0; i < count; ++i) scratch[std::size_t(i)] = line[i];
    int sum = 0;
    for (int i = 0; i <= std::min(radius, count - 1); ++i) sum += scratch[std::size_t(i)];
    for (int i = 0; i < count; ++i) {
        line[i] = mean(sum);
        const int enter = i + radius + 1;
        const int leave = i - radius;
        if (enter < count) sum += scratch[std::size_t(enter)];
        if (leave >= 0) sum -= scratch[std::size_t(leave)];
    }
}

// The same pass down every column at once, a row at a time, so the image is read in memory
// order (a column at a time would miss the cache at every pixel of a large layer). `source` is
// scratch space for the pass's input.
void boxColumns(uchar* bits, int width, int height, qsizetype stride, int radius, const BoxMean& mean,
                std::vector<uchar>& source, std::vector<int>& sums) {
    if (radius <= 0 || width <= 0 || height <= 0) return;
    source.assign(bits, bits + stride * height);
    sums.assign(std::size_t(width), 0);
    const auto addRow = [&](int y, int sign) {
        const uchar* row = source.data() + y * stride;
        for (int x = 0; x < width; ++x) sums[std::size_t(x)] += sign * row[x];
    };
    for (int y = 0; y <= std::min(radius, height - 1); ++y) addRow(y, +1);
    for (int y = 0; y < height; ++y) {
        uchar* out = bits + y * stride;
        for (int x = 0; x < width; ++x) out[x] = mean(sums[std::size_t(x)]);
        if (y + radius + 1 < height) addRow(y + radius + 1, +1);
        if (y - radius >= 0) addRow(y - radius, -1);
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
    std::vector<uchar> source;
    for (int radius : radii) {
        if (radius <= 0) continue;
        const BoxMean mean(2 * radius + 1);
        for (int y = 0; y < h; ++y) boxRow(bits + y * stride, w, radius, mean, scratch);
        boxColumns(bits, w, h, stride, radius, mean, source, scratch);
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
    // Only what lands on the device matters: the drawing there, and the shadow there, which is
    // the blurred layer `offset` away; its blur reads the layer up to `margin` around.
    const QRect deviceRect(0, 0, device->width(), device->height());
    const QPoint shift(int(std::floor(offset.x())), int(std::floor(offset.y())));
    const int reach = margin + 1; // the floor of a fractional offset may be a pixel short
    const QRect shadowSource = deviceRect.translated(-shift).adjusted(-reach, -reach, reach, reach);
    const QRect layerRect =
        deviceBounds.toAlignedRect().adjusted(-margin, -margin, margin, margin).intersected(deviceRect.united(shadowSource));
    if (layerRect.isEmpty()) return;

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
