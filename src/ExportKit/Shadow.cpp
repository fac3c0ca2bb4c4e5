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

// A stored document can ask for any size; past these the offscreen layer would grow with the
// mark rather than with the image, and the shadow is a faint haze anyway.
constexpr double kLargestBlurRadius = 512;
constexpr double kLargestOffset = 512;
// A wider Gaussian is smooth enough to be blurred on a grid of cells several pixels across and
// interpolated back, which differs from blurring every pixel by a few levels of alpha at most.
constexpr double kWidestPixelSigma = 16;
// The standard deviation, in cells, that a wide blur is computed with on its coarser grid.
constexpr double kCellSigma = 8;

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

// How far a blur of `sigma` carries a value: the three box radii together.
int blurReach(double sigma) {
    if (!(sigma > 0.3)) return 0;
    const std::array<int, 3> radii = boxRadiiForGaussian(sigma);
    return radii[0] + radii[1] + radii[2];
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

// The shadow's pixel for each coverage: the colour's premultiplied pixel scaled by the coverage,
// rounded as the raster engine's destination-in composition rounds it (made by that composition).
std::array<QRgb, 256> tintTable(const QColor& color) {
    QImage tinted(256, 1, QImage::Format_ARGB32_Premultiplied);
    tinted.fill(color);
    QImage coverage(256, 1, QImage::Format_Alpha8);
    for (int a = 0; a < 256; ++a) coverage.scanLine(0)[a] = uchar(a);
    {
        QPainter painter(&tinted);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.drawImage(0, 0, coverage);
    }
    std::array<QRgb, 256> table{};
    const auto* pixels = reinterpret_cast<const QRgb*>(tinted.constScanLine(0));
    std::copy(pixels, pixels + 256, table.begin());
    return table;
}

// The alpha of `area` of an ARGB32 premultiplied image.
QImage alphaOf(const QImage& image, const QRect& area) {
    QImage alpha(area.size(), QImage::Format_Alpha8);
    if (alpha.isNull()) return alpha;
    for (int y = 0; y < area.height(); ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(image.constScanLine(area.y() + y)) + area.x();
        uchar* target = alpha.scanLine(y);
        for (int x = 0; x < area.width(); ++x) target[x] = uchar(qAlpha(source[x]));
    }
    return alpha;
}

// The smallest rectangle holding every non-zero value of an Alpha8 image; empty when there is none.
QRect inkedArea(const QImage& alpha) {
    int top = -1, bottom = -1, left = alpha.width(), right = -1;
    for (int y = 0; y < alpha.height(); ++y) {
        const uchar* line = alpha.constScanLine(y);
        int first = 0;
        while (first < alpha.width() && line[first] == 0) ++first;
        if (first == alpha.width()) continue;
        int last = alpha.width() - 1;
        while (line[last] == 0) --last;
        if (top < 0) top = y;
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    if (top < 0) return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// The one value every pixel of an Alpha8 image holds, or -1 when they differ.
int uniformValue(const QImage& alpha) {
    if (alpha.isNull() || alpha.width() == 0 || alpha.height() == 0) return -1;
    const uchar value = alpha.constScanLine(0)[0];
    for (int y = 0; y < alpha.height(); ++y) {
        const uchar* line = alpha.constScanLine(y);
        if (std::any_of(line, line + alpha.width(), [value](uchar v) { return v != value; })) return -1;
    }
    return value;
}

// Whether `image` is opaque over all of `area`: then nothing beneath it there shows.
bool opaqueOver(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        if (std::any_of(line + area.left(), line + area.right() + 1, [](QRgb p) { return qAlpha(p) != 255; })) {
            return false;
        }
    }
    return true;
}

QImage tintedFrom(const QImage& alpha, const QRect& area, const std::array<QRgb, 256>& tint) {
    QImage tinted = BitmapCoordinates::makeWorkingBitmap(area.size());
    if (tinted.isNull()) return tinted;
    for (int y = 0; y < area.height(); ++y) {
        const uchar* source = alpha.constScanLine(area.y() + y) + area.x();
        auto* target = reinterpret_cast<QRgb*>(tinted.scanLine(y));
        for (int x = 0; x < area.width(); ++x) target[x] = tint[source[x]];
    }
    return tinted;
}

struct Clamped {
    double sigma;
    QPointF offset;
};

Clamped clamped(const Parameters& shadow) {
    return {std::clamp(shadow.blurRadius, 0.0, kLargestBlurRadius) / 2.0,
            QPointF(std::clamp(shadow.offset.x(), -kLargestOffset, kLargestOffset),
                    std::clamp(shadow.offset.y(), -kLargestOffset, kLargestOffset))};
}

// A layer of `area` on the painter's device with what `draw` paints, in the painter's transform.
QImage drawnLayer(const QPainter& painter, const QRect& area, const std::function<void(QPainter&)>& draw) {
    QImage layer = BitmapCoordinates::makeWorkingBitmap(area.size());
    if (layer.isNull()) return layer;
    QPainter layerPainter(&layer);
    layerPainter.setRenderHints(painter.renderHints());
    layerPainter.setTransform(painter.transform() * QTransform::fromTranslate(-area.x(), -area.y()));
    draw(layerPainter);
    return layer;
}

// Puts the shadow image and then the layer (either may be null) onto the painter's device, both
// at whole pixels.
void composite(QPainter& painter, const QImage& shadowImage, QPoint shadowAt, const QImage& layer, QPoint layerAt) {
    painter.save();
    painter.resetTransform();
    if (!shadowImage.isNull()) painter.drawImage(shadowAt, shadowImage);
    if (!layer.isNull()) painter.drawImage(layerAt, layer);
    painter.restore();
}

// `bounds` with each edge moved into `area`. What a layer needs of a mark lies within `area`, and
// a mark far off the image (a stored document may place one anywhere) then has coordinates small
// enough for integer rectangles.
QRectF clampedInto(const QRectF& bounds, const QRect& area) {
    // A NaN edge goes to the low end.
    const auto clamp = [](double value, double low, double high) { return value >= low ? std::min(value, high) : low; };
    const QRectF b = bounds.normalized();
    const double left = area.left(), right = double(area.left()) + area.width();
    const double top = area.top(), bottom = double(area.top()) + area.height();
    return QRectF(QPointF(clamp(b.left(), left, right), clamp(b.top(), top, bottom)),
                  QPointF(clamp(b.right(), left, right), clamp(b.bottom(), top, bottom)));
}

// Every pixel blurred: the layer reaches far enough around what lands on the device for the
// blur there to be what an unbounded layer would give.
void paintWithPixelBlur(QPainter& painter, const Parameters& shadow, const QRectF& deviceBounds,
                        const std::function<void(QPainter&)>& draw, bool withMark) {
    const auto [sigma, offset] = clamped(shadow);
    const QRect deviceRect(QPoint(0, 0), QSize(painter.device()->width(), painter.device()->height()));
    const int margin = int(std::ceil(3.0 * sigma)) + 2;
    // Only what lands on the device matters: the drawing there, and the shadow there, which is
    // the blurred layer `offset` away; its blur reads the layer up to `margin` around.
    const QPoint shift(int(std::floor(offset.x())), int(std::floor(offset.y())));
    const int reach = margin + 1; // the floor of a fractional offset may be a pixel short
    const QRect shadowSource = deviceRect.translated(-shift).adjusted(-reach, -reach, reach, reach);
    const QRect needed = deviceRect.united(shadowSource);
    const QRect layerRect = clampedInto(deviceBounds, needed.adjusted(-margin, -margin, margin, margin))
                                .toAlignedRect()
                                .adjusted(-margin, -margin, margin, margin)
                                .intersected(needed);
    if (layerRect.isEmpty()) return;

    const QImage layer = drawnLayer(painter, layerRect, draw);
    if (layer.isNull()) {
        draw(painter); // no room for a shadow: the drawing itself still appears
        return;
    }
    const QRect layerArea(QPoint(0, 0), layerRect.size());
    if (withMark && layerRect.contains(deviceRect) && opaqueOver(layer, deviceRect.translated(-layerRect.topLeft()))) {
        composite(painter, {}, {}, layer, layerRect.topLeft()); // the layer hides its own shadow
        return;
    }
    // The shadow image is placed at the rounded position the raster engine gives a fractional one.
    const QPoint shadowAt(qRound(layerRect.x() + offset.x()), qRound(layerRect.y() + offset.y()));
    // In layer pixels: the shadow that lands on the device, and the coverage its blur reads.
    const int blurred = blurReach(sigma);
    QRect landing = deviceRect.translated(-shadowAt).intersected(layerArea);
    const QRect read = landing.adjusted(-blurred, -blurred, blurred, blurred).intersected(layerArea);
    QImage shadowImage;
    const QImage readAlpha = read.isEmpty() ? QImage() : alphaOf(layer, read);
    const QRect inked = readAlpha.isNull() ? QRect() : inkedArea(readAlpha).translated(read.topLeft());
    // Coverage is zero beyond the inked area, and so is its blur beyond `blurred` of it.
    landing = inked.isEmpty() ? QRect() : landing.intersected(inked.adjusted(-blurred, -blurred, blurred, blurred));
    if (!landing.isEmpty()) {
        const std::array<QRgb, 256> tint = tintTable(shadow.color);
        const int uniform = uniformValue(readAlpha);
        if (uniform >= 0) {
            // A blur of one value everywhere is that value.
            shadowImage = BitmapCoordinates::makeWorkingBitmap(landing.size());
            if (!shadowImage.isNull()) shadowImage.fill(tint[std::size_t(uniform)]);
        } else {
            const QRect blurArea = landing.adjusted(-blurred, -blurred, blurred, blurred).intersected(read);
            QImage mask = readAlpha.copy(blurArea.translated(-read.topLeft()));
            blurAlpha(mask, sigma);
            shadowImage = tintedFrom(mask, landing.translated(-blurArea.topLeft()), tint);
        }
    }
    composite(painter, shadowImage, shadowAt + landing.topLeft(), withMark ? layer : QImage(), layerRect.topLeft());
}

// Paints the shadow over `area` of the device from the coverage of a grid of `cell`-pixel cells
// whose first cell starts at `gridOrigin`, read `offset` back: the coverage is interpolated
// bilinearly at each pixel's centre, then tinted. A tile at a time, so that no image the size of
// the device is made, and a tile whose cells all hold one value is filled with it.
void paintFromCells(QPainter& painter, const QImage& cells, QPointF gridOrigin, int cell, QPointF offset,
                    const QRect& area, const std::array<QRgb, 256>& tint) {
    constexpr int kTileRows = 32;
    constexpr int kTileColumns = 256;
    QImage tile(std::min(kTileColumns, area.width()), std::min(kTileRows, area.height()),
                QImage::Format_ARGB32_Premultiplied);
    if (tile.isNull()) return;
    const int columns = cells.width();
    const int rows = cells.height();
    // Cell (i, j) holds the coverage at the grid point (i + 0.5, j + 0.5) cells from the origin;
    // pixel x reads cells left[x] and the one right of it, weighing the right one
    // towardsRight[x] / 256.
    const auto gridCoordinate = [&](int pixel, double origin, double shift, int count) {
        return std::clamp((pixel + 0.5 - shift - origin) / cell - 0.5, 0.0, count - 1.0);
    };
    const auto cellBefore = [](double coordinate, int count) { return std::min(int(coordinate), std::max(count - 2, 0)); };
    std::vector<int> left(std::size_t(area.width()));
    std::vector<int> towardsRight(std::size_t(area.width()));
    for (int x = 0; x < area.width(); ++x) {
        const double u = gridCoordinate(area.x() + x, gridOrigin.x(), offset.x(), columns);
        left[std::size_t(x)] = cellBefore(u, columns);
        towardsRight[std::size_t(x)] = int(std::lround((u - left[std::size_t(x)]) * 256));
    }
    std::vector<int> above(static_cast<std::size_t>(kTileRows));
    std::vector<int> towardsBelow(static_cast<std::size_t>(kTileRows));
    std::vector<int> line(std::size_t(columns) + 1, 0); // coverage times 256
    for (int top = 0; top < area.height(); top += kTileRows) {
        const int tileRows = std::min(kTileRows, area.height() - top);
        for (int y = 0; y < tileRows; ++y) {
            const double v = gridCoordinate(area.y() + top + y, gridOrigin.y(), offset.y(), rows);
            above[std::size_t(y)] = cellBefore(v, rows);
            towardsBelow[std::size_t(y)] = int(std::lround((v - above[std::size_t(y)]) * 256));
        }
        const int firstRow = above.front();
        const int lastRow = std::min(above[std::size_t(tileRows) - 1] + 1, rows - 1);
        for (int tileLeft = 0; tileLeft < area.width(); tileLeft += kTileColumns) {
            const int tileColumns = std::min(kTileColumns, area.width() - tileLeft);
            const int firstColumn = left[std::size_t(tileLeft)];
            const int lastColumn = std::min(left[std::size_t(tileLeft + tileColumns) - 1] + 1, columns - 1);
            const uchar value = cells.constScanLine(firstRow)[firstColumn];
            bool uniform = true;
            for (int j = firstRow; j <= lastRow && uniform; ++j) {
                const uchar* row = cells.constScanLine(j);
                uniform = std::all_of(row + firstColumn, row + lastColumn + 1, [value](uchar v) { return v == value; });
            }
            const QPoint at(area.x() + tileLeft, area.y() + top);
            if (uniform) {
                if (value != 0) {
                    painter.fillRect(QRect(at, QSize(tileColumns, tileRows)), QColor::fromRgba(qUnpremultiply(tint[value])));
                }
                continue;
            }
            for (int y = 0; y < tileRows; ++y) {
                const int down = towardsBelow[std::size_t(y)];
                const uchar* upper = cells.constScanLine(above[std::size_t(y)]);
                const uchar* lower = cells.constScanLine(std::min(above[std::size_t(y)] + 1, rows - 1));
                for (int i = firstColumn; i <= lastColumn; ++i) {
                    line[std::size_t(i)] = upper[i] * (256 - down) + lower[i] * down;
                }
                line[std::size_t(lastColumn) + 1] = line[std::size_t(lastColumn)];
                auto* target = reinterpret_cast<QRgb*>(tile.scanLine(y));
                for (int x = 0; x < tileColumns; ++x) {
                    const std::size_t i = std::size_t(left[std::size_t(tileLeft + x)]);
                    const int weight = towardsRight[std::size_t(tileLeft + x)];
                    const int coverage = line[i] * (256 - weight) + line[i + 1] * weight; // times 65536
                    target[x] = tint[std::size_t((coverage + 32768) >> 16)];
                }
            }
            painter.drawImage(at, tile, QRect(0, 0, tileColumns, tileRows));
        }
    }
}

// A wide blur: the mark is drawn a second time, onto a grid of cells several pixels across, and
// that coverage is blurred there and interpolated back to pixels. The mark itself is then drawn
// straight onto the device, without a layer of its own: the shadow is an approximation already.
void paintWithCellBlur(QPainter& painter, const Parameters& shadow, const QRectF& deviceBounds,
                       const std::function<void(QPainter&)>& draw, bool withMark) {
    const auto [sigma, offset] = clamped(shadow);
    const QRect deviceRect(QPoint(0, 0), QSize(painter.device()->width(), painter.device()->height()));
    const int cell = int(std::ceil(sigma / kCellSigma));
    const double cellSigma = sigma / cell;
    // The coverage the shadow on the device reads: the device `offset` back, as far around as the
    // blur carries, where the mark is.
    const double reach = (blurReach(cellSigma) + 2) * cell;
    const QRect read = QRectF(deviceRect)
                           .translated(-offset)
                           .adjusted(-reach, -reach, reach, reach)
                           .intersected(deviceBounds.adjusted(-reach, -reach, reach, reach))
                           .toAlignedRect();
    const QRect landing = QRectF(read).translated(offset).toAlignedRect().intersected(deviceRect);
    if (!landing.isEmpty()) {
        const QSize grid((read.width() + cell - 1) / cell, (read.height() + cell - 1) / cell);
        QImage cells = BitmapCoordinates::makeWorkingBitmap(grid);
        if (!cells.isNull()) {
            {
                QPainter cellPainter(&cells);
                cellPainter.setRenderHints(painter.renderHints());
                cellPainter.setTransform(painter.transform() * QTransform::fromTranslate(-read.x(), -read.y()) *
                                         QTransform::fromScale(1.0 / cell, 1.0 / cell));
                draw(cellPainter);
            }
            QImage coverage = alphaOf(cells, QRect(QPoint(0, 0), grid));
            if (uniformValue(coverage) != 0) {
                blurAlpha(coverage, cellSigma);
                painter.save();
                painter.resetTransform();
                paintFromCells(painter, coverage, read.topLeft(), cell, offset, landing, tintTable(shadow.color));
                painter.restore();
            }
        }
    }
    if (withMark) draw(painter);
}

void paintShadowed(QPainter& painter, const Parameters& shadow, const QRectF& deviceBounds,
                   const std::function<void(QPainter&)>& draw, bool withMark) {
    if (clamped(shadow).sigma > kWidestPixelSigma) {
        paintWithCellBlur(painter, shadow, deviceBounds, draw, withMark);
    } else {
        paintWithPixelBlur(painter, shadow, deviceBounds, draw, withMark);
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
    paintShadowed(painter, shadow, deviceBounds, draw, true);
}

void paintShadowOnly(QPainter& painter, const Parameters& shadow, const QRectF& deviceBounds,
                     const std::function<void(QPainter&)>& draw) {
    paintShadowed(painter, shadow, deviceBounds, draw, false);
}

} // namespace ExportKit::Shadow
