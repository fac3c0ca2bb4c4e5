#include "DetectionKit/TextExtractor.h"

#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/SharedRecognizers.h"

#include <QPainter>
#include <algorithm>

namespace DetectionKit {

QString TextExtractor::text(const QImage& image, const std::optional<Support::Rect>& region,
                            const std::vector<Support::Rect>& excluding) {
    return text(image, region, excluding, *sharedTextRecognizer());
}

QString TextExtractor::text(const QImage& image, const std::optional<Support::Rect>& region,
                            const std::vector<Support::Rect>& excluding, TextRecognizer& recognizer) {
    const QImage working = excluding.empty() ? image : censored(image, excluding);
    const Support::Rect bounds(0, 0, image.width(), image.height());

    Support::Rect crop = bounds;
    QImage cropped = working;
    if (region) {
        crop = region->integral().intersection(bounds);
        // Written so that a region that is not a number counts as empty too.
        if (!(crop.width() > 0 && crop.height() > 0)) return QString();
        cropped = working.copy(QRect(int(crop.x()), int(crop.y()), int(crop.width()), int(crop.height())));
        if (cropped.isNull()) return QString();
    }

    // The painted-over areas, told to the recogniser so that the words beside them are read as
    // they are and not as part of one black shape.
    std::vector<Support::Rect> blanks;
    for (const Support::Rect& excluded : excluding) {
        const Support::Rect r = excluded.integral().intersection(bounds).offsetBy(-crop.x(), -crop.y());
        if (r.width() > 0 && r.height() > 0) blanks.push_back(r);
    }
    std::vector<Item> items;
    for (const RecognizedLine& line : recognizer.recognizeAround(cropped, blanks)) items.push_back({line.box, line.text});

    const Support::Rect cropBounds(0, 0, crop.width(), crop.height());
    for (const Support::Rect& excluded : excluding) {
        const Support::Rect r = excluded.offsetBy(-crop.x(), -crop.y()).intersection(cropBounds);
        if (!(r.width() > 2 && r.height() > 2)) continue;
        items.push_back({ImageBoxes::normalized(r, crop.width(), crop.height()), kRedactedWord});
    }
    return joinedInReadingOrder(std::move(items));
}

QImage TextExtractor::censored(const QImage& image, const std::vector<Support::Rect>& regions) {
    QImage copy = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (copy.isNull() || copy.size() != image.size()) throw DetectionError(DetectionError::Code::contextUnavailable);
    copy.setDevicePixelRatio(1); // rectangles are pixels, whatever scale the capture carries
    QPainter painter(&copy);
    if (!painter.isActive()) throw DetectionError(DetectionError::Code::contextUnavailable);
    // Clipped to the image first: the painter silently skips rectangles with coordinates far
    // beyond it, which would leave what they cover readable.
    const Support::Rect bounds(0, 0, copy.width(), copy.height());
    for (const Support::Rect& region : regions) {
        const Support::Rect r = region.integral().intersection(bounds);
        if (!(r.width() > 0 && r.height() > 0)) continue;
        painter.fillRect(r.toQRectF(), Qt::black);
    }
    painter.end();
    return copy;
}

QString TextExtractor::joinedInReadingOrder(std::vector<Item> items) {
    if (items.empty()) return QString();
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.box.maxY() > b.box.maxY(); });

    std::vector<std::vector<Item>> lines;
    for (Item& item : items) {
        if (!lines.empty() && lines.back().front().box.minY() < item.box.midY())
            lines.back().push_back(std::move(item));
        else
            lines.push_back({std::move(item)});
    }

    QStringList joinedLines;
    for (std::vector<Item>& line : lines) {
        std::stable_sort(line.begin(), line.end(),
                         [](const Item& a, const Item& b) { return a.box.minX() < b.box.minX(); });
        QStringList words;
        for (const Item& item : line) words.append(item.text);
        joinedLines.append(words.join(QLatin1Char(' ')));
    }
    return joinedLines.join(QLatin1Char('\n'));
}

} // namespace DetectionKit
