#include "BrindlecastApp/Review/RedactionCells.h"

#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/ExportError.h"
#include "ExportKit/Exporter.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace BrindlecastApp {

namespace {

// Sub-pixel positions are told apart to an eighth of a device pixel.
constexpr int kPhaseSteps = 8;
// Pixels whose centre lies inside the rounded rectangle are covered whole: the mask reaches this
// far (device pixels) beyond it, half the diagonal of a pixel.
constexpr double kCoverageReach = 0.75;
// A texture never made at all beyond this many device pixels (the frame then draws directly).
constexpr double kLargestTexturePixels = double(std::int64_t(64) << 20);

double deviceLength(double imageLength, const RedactionCells::Request& r) { return imageLength * r.scale * r.devicePixelRatio; }

} // namespace

RedactionCells::RedactionCells(std::int64_t byteBudget) : byteBudget_(byteBudget) {}

std::optional<RedactionCells::Placement> RedactionCells::place(const Request& r) {
    const Support::Rect rect = r.imageRect.standardized();
    if (!ExportKit::Exporter::RedactionPattern::isDrawable(rect) || !std::isfinite(r.imageHeight)) return std::nullopt;
    if (!(r.scale > 0) || !(r.devicePixelRatio > 0) || !std::isfinite(r.scale) || !std::isfinite(r.devicePixelRatio))
        return std::nullopt;
    const double w = deviceLength(rect.width(), r);
    const double h = deviceLength(rect.height(), r);
    if (!(w > 0 && h > 0) || w * h > kLargestTexturePixels) return std::nullopt;
    const QPointF device = r.viewOrigin * r.devicePixelRatio;
    if (!std::isfinite(device.x()) || !std::isfinite(device.y())) return std::nullopt;
    double wholeX = std::floor(device.x());
    double wholeY = std::floor(device.y());
    int phaseX = int(std::lround((device.x() - wholeX) * kPhaseSteps));
    int phaseY = int(std::lround((device.y() - wholeY) * kPhaseSteps));
    if (phaseX == kPhaseSteps) phaseX = 0, wholeX += 1;
    if (phaseY == kPhaseSteps) phaseY = 0, wholeY += 1;
    Key key{r.style,  rect.x(),  rect.y(),         rect.width(), rect.height(), r.imageHeight, r.scale, r.devicePixelRatio,
            r.cornerRadius, phaseX, phaseY};
    // One device pixel of margin on every side.
    return Placement{key, QPointF(wholeX - 1, wholeY - 1) / r.devicePixelRatio};
}

QImage RedactionCells::draw(const Request& r, const Key& key) {
    const Support::Rect rect(key.x, key.y, key.width, key.height);
    const QRectF target(1 + double(key.phaseX) / kPhaseSteps, 1 + double(key.phaseY) / kPhaseSteps,
                        deviceLength(rect.width(), r), deviceLength(rect.height(), r));
    QImage texture(int(std::ceil(target.right())) + 1, int(std::ceil(target.bottom())) + 1,
                   QImage::Format_ARGB32_Premultiplied);
    if (texture.isNull()) return {};
    texture.fill(Qt::transparent);
    {
        QPainter painter(&texture);
        painter.translate(target.topLeft());
        painter.scale(r.scale * r.devicePixelRatio, r.scale * r.devicePixelRatio);
        painter.translate(-rect.x(), -rect.y());
        try {
            ExportKit::Exporter::fillRedaction(painter, ExportKit::BitmapCoordinates::toBottomLeft(rect, r.imageHeight),
                                               r.imageHeight, r.style);
        } catch (const ExportKit::ExportError&) {
            return {};
        }
    }
    // Pixels the rectangle only partly covers take the colour of their neighbour inside it.
    {
        const QImage inside = texture;
        QPainter painter(&texture);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOver);
        for (const QPoint offset : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1), QPoint(-1, -1),
                                    QPoint(1, -1), QPoint(-1, 1), QPoint(1, 1)}) {
            painter.drawImage(offset, inside);
        }
    }
    // Rounded corners, reaching far enough that no pixel centred inside shows what lies beneath.
    {
        QPainterPath shape;
        const double radius = std::max(r.cornerRadius * r.devicePixelRatio, 0.0);
        const QRectF reach = target.adjusted(-kCoverageReach, -kCoverageReach, kCoverageReach, kCoverageReach);
        shape.addRoundedRect(reach, radius > 0 ? radius + kCoverageReach : 0, radius > 0 ? radius + kCoverageReach : 0);
        QImage mask(texture.size(), QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        {
            QPainter painter(&mask);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.fillPath(shape, Qt::black);
        }
        QPainter painter(&texture);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.drawImage(0, 0, mask);
    }
    texture.setDevicePixelRatio(r.devicePixelRatio);
    return texture;
}

std::optional<RedactionCells::Texture> RedactionCells::render(const Request& request) {
    const auto placement = place(request);
    if (!placement) return std::nullopt;
    QImage image = draw(request, placement->key);
    if (image.isNull()) return std::nullopt;
    return Texture{std::move(image), placement->topLeft};
}

std::optional<RedactionCells::Texture> RedactionCells::texture(const Request& request) {
    const auto placement = place(request);
    if (!placement) return std::nullopt;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->key == placement->key) {
            entries_.splice(entries_.begin(), entries_, it);
            return Texture{entries_.front().image, placement->topLeft};
        }
    }
    QImage image = draw(request, placement->key);
    ++renders_;
    if (image.isNull()) return std::nullopt;
    const std::int64_t size = image.sizeInBytes();
    if (std::int64_t(image.width()) * image.height() > kLargestKeptPixels) return Texture{std::move(image), placement->topLeft};
    entries_.push_front(Entry{placement->key, image});
    bytes_ += size;
    while (bytes_ > byteBudget_ && entries_.size() > 1) {
        bytes_ -= entries_.back().image.sizeInBytes();
        entries_.pop_back();
    }
    return Texture{std::move(image), placement->topLeft};
}

void RedactionCells::clear() {
    entries_.clear();
    bytes_ = 0;
}

} // namespace BrindlecastApp
