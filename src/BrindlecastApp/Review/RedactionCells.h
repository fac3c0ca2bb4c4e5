#pragma once

#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <QImage>
#include <QPointF>

#include <cstdint>
#include <list>
#include <optional>

namespace BrindlecastApp {

// The redaction textures the canvas shows, made by the export's own renderer (so every cell has
// the grey the export burns into the pixels) and scaled to the screen, with rounded corners. Each
// is made once per look, image rectangle, scale and sub-pixel position, then reused by every
// frame; the least recently used go when the cache outgrows its budget.
class RedactionCells {
public:
    explicit RedactionCells(std::int64_t byteBudget = std::int64_t(128) << 20);

    struct Request {
        SidecarKit::Annotation::RedactionStyle style = SidecarKit::Annotation::RedactionStyle::scramble;
        Support::Rect imageRect;       // image pixels, top-left origin
        double imageHeight = 0;        // pixels of the whole image
        double scale = 1;              // view points per image pixel
        double devicePixelRatio = 1;
        double cornerRadius = 0;       // view points
        QPointF viewOrigin;            // where the rectangle's top-left corner lands, view points
    };

    // The texture and the view point its top-left corner goes to (a device pixel of margin lies
    // around the rectangle, so pixels the rectangle only partly covers are covered as well; every
    // pixel whose centre lies inside the rounded rectangle is opaque). Nothing when the rectangle
    // has no texture or the texture would be too large to keep; draw it uncached then.
    struct Texture {
        QImage image; // device pixel ratio set
        QPointF topLeft;
    };
    std::optional<Texture> texture(const Request& request);

    // The same texture made afresh, not kept (also for rectangles too large to keep).
    static std::optional<Texture> render(const Request& request);

    std::size_t count() const { return entries_.size(); }
    // How many textures were made since construction: a frame that finds all of its textures
    // adds nothing.
    std::int64_t renders() const { return renders_; }
    void clear();

    // Textures larger than this many device pixels are not kept.
    static constexpr std::int64_t kLargestKeptPixels = std::int64_t(16) << 20;

private:
    struct Key {
        SidecarKit::Annotation::RedactionStyle style;
        double x, y, width, height, imageHeight, scale, devicePixelRatio, cornerRadius;
        int phaseX, phaseY;
        friend bool operator==(const Key&, const Key&) = default;
    };
    struct Entry {
        Key key;
        QImage image;
    };
    // Where the texture's top-left device pixel lies, and the key: the sub-pixel position of the
    // rectangle in eighths of a device pixel is part of it.
    struct Placement {
        Key key;
        QPointF topLeft;
    };
    static std::optional<Placement> place(const Request& request);
    static QImage draw(const Request& request, const Key& key);

    std::int64_t byteBudget_;
    std::int64_t bytes_ = 0;
    std::int64_t renders_ = 0;
    std::list<Entry> entries_; // most recently used first
};

} // namespace BrindlecastApp
