#pragma once

#include "DetectionKit/Detection.h"
#include "DetectionKit/Recognition.h"

#include <QImage>
#include <QString>
#include <optional>
#include <vector>

namespace DetectionKit {

// Reads the text of a region of a captured image without reading what is to stay hidden: the
// excluded rectangles are painted black in a private copy before recognition, and each one that
// lies in the region stands in the output as "[redacted]". Stateless.
class TextExtractor {
public:
    // Lines top to bottom, words left to right, joined with spaces and line feeds. `region` and
    // `excluding` are image pixels with a top-left origin; no region means the whole image.
    // Throws DetectionError when the censored copy cannot be made, RecognitionError when
    // recognition cannot be performed.
    static QString text(const QImage& image, const std::optional<Support::Rect>& region,
                        const std::vector<Support::Rect>& excluding);
    // The same with a given recogniser (fakes in tests).
    static QString text(const QImage& image, const std::optional<Support::Rect>& region,
                        const std::vector<Support::Rect>& excluding, TextRecognizer& recognizer);

    // A piece of text and its box, normalised with a bottom-left origin.
    struct Item {
        Support::Rect box;
        QString text;
    };
    // Reading order over items: lines by top edge, highest first; an item joins the latest line
    // when that line's first item's bottom edge lies below the item's middle; words by left edge.
    static QString joinedInReadingOrder(std::vector<Item> items);

    static inline const QString kRedactedWord = QStringLiteral("[redacted]");

private:
    static QImage censored(const QImage& image, const std::vector<Support::Rect>& regions);
};

} // namespace DetectionKit
