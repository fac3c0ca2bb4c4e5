#include "BrindlecastApp/Pipeline/WatermarkStamp.h"

#include "ExportKit/Exporter.h"

#include <algorithm>

namespace BrindlecastApp::Pipeline {

namespace {

QImage premultiplied(const QImage& image) {
    return image.format() == QImage::Format_ARGB32_Premultiplied
               ? image
               : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The smallest rectangle holding every pixel that differs between two images of one size.
QRect changedPixels(const QImage& before, const QImage& after) {
    int left = before.width(), top = before.height(), right = -1, bottom = -1;
    for (int y = 0; y < before.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(after.constScanLine(y));
        for (int x = 0; x < before.width(); ++x) {
            if (a[x] == b[x]) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

bool WatermarkStamp::sameParts(const std::optional<ExportKit::Watermark>& mark) const {
    return mark && mark->user == user && mark->device == device && mark->timestamp.has_value() == hasTimestamp;
}

bool WatermarkStamp::isWholeIn(const QImage& output, QPoint origin) const {
    const QRect placed = rect.translated(origin);
    if (!QRect(QPoint(0, 0), output.size()).contains(placed)) return false;
    return premultiplied(output.copy(placed)) == pixels;
}

MarkedImage applyWatermark(const QImage& image, const std::optional<ExportKit::Watermark>& mark) {
    QImage marked = ExportKit::Exporter::watermark(image, mark);
    if (!mark || marked.size() != image.size()) return {marked, std::nullopt};
    const QImage after = premultiplied(marked);
    const QRect rect = changedPixels(premultiplied(image), after);
    if (rect.isEmpty()) return {marked, std::nullopt};
    return {marked, WatermarkStamp{rect, after.copy(rect), mark->user, mark->device, mark->timestamp.has_value()}};
}

std::optional<WatermarkStamp> recognizeWatermark(const QImage& image, const std::optional<ExportKit::Watermark>& mark,
                                                 const std::vector<QDateTime>& times) {
    if (!mark) return std::nullopt;
    const QImage source = premultiplied(image);
    std::vector<std::optional<QDateTime>> candidates;
    if (mark->timestamp) {
        candidates.assign(times.begin(), times.end());
    } else {
        candidates.push_back(std::nullopt);
    }
    for (const std::optional<QDateTime>& time : candidates) {
        ExportKit::Watermark candidate = *mark;
        candidate.timestamp = time;
        // Where this mark lies: drawn on nothing, every pixel it touches changes.
        QImage blank(source.size(), QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        const QRect rect = changedPixels(blank, premultiplied(ExportKit::Exporter::watermark(blank, candidate)));
        if (rect.isEmpty()) return std::nullopt;
        if (premultiplied(ExportKit::Exporter::watermark(source, candidate)).copy(rect) == source.copy(rect)) {
            return WatermarkStamp{rect, source.copy(rect), candidate.user, candidate.device, candidate.timestamp.has_value()};
        }
    }
    return std::nullopt;
}

} // namespace BrindlecastApp::Pipeline
