#pragma once

#include "SidecarKit/Annotation.h"

#include <QImage>
#include <QPointF>

#include <cstdint>
#include <list>
#include <optional>

namespace BrindlecastApp {

// Annotations drawn once by the export's own drawing at the canvas's scale, then reused by every
// frame until they change: while one arrow is dragged only that arrow is drawn again. A sprite is
// kept per annotation look and geometry, scale and sub-pixel position of the image; the least
// recently used go when the cache outgrows its budget.
class AnnotationSprites {
public:
    explicit AnnotationSprites(std::int64_t byteBudget = std::int64_t(128) << 20);

    struct Request {
        const SidecarKit::Annotation* annotation = nullptr;
        double imageHeight = 0;
        double scale = 1;            // view points per image pixel
        double devicePixelRatio = 1;
        QPointF imageOrigin;         // where the image's top-left corner lies, view points
        double minimumLineWidth = 0; // image pixels
        double minimumDashUnit = 0;  // image pixels
    };

    struct Sprite {
        QImage image; // device pixel ratio set
        QPointF topLeft;
    };
    // Nothing when the annotation draws nothing, or its sprite would be too large (draw it
    // directly then).
    std::optional<Sprite> sprite(const Request& request);

    // The area (image pixels) an annotation can paint, outlines, arrowheads and shadows included;
    // null when it paints nothing.
    static Support::Rect paintedBounds(const SidecarKit::Annotation& annotation);

    std::size_t count() const { return entries_.size(); }
    std::int64_t renders() const { return renders_; }
    void clear();

    static constexpr std::int64_t kLargestPixels = std::int64_t(16) << 20;

private:
    struct Key {
        SidecarKit::Annotation::Kind kind;
        double imageHeight, scale, devicePixelRatio, minimumLineWidth, minimumDashUnit;
        int phaseX, phaseY;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct Entry {
        Key key;
        QImage image;
        QPoint deviceOffset; // from the image origin's whole device pixel to the sprite's corner
    };

    std::int64_t byteBudget_;
    std::int64_t bytes_ = 0;
    std::int64_t renders_ = 0;
    std::list<Entry> entries_; // most recently used first
};

} // namespace BrindlecastApp
