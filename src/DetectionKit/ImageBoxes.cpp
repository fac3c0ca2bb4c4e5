#include "DetectionKit/ImageBoxes.h"

#include <algorithm>

namespace DetectionKit::ImageBoxes {

namespace {

// A normalised bottom-left box as image pixels with a top-left origin.
Support::Rect pixelsOf(const Support::Rect& n, double w, double h) {
    return Support::Rect(n.minX() * w, (1.0 - n.maxY()) * h, n.width() * w, n.height() * h);
}

Support::Rect grownAndClipped(const Support::Rect& pixels, double w, double h) {
    return pixels.insetBy(-kGrowth, -kGrowth).intersection(Support::Rect(0, 0, w, h));
}

// Two boxes on one row of text: they share at least half the height of the lower one.
bool sameRow(const Support::Rect& a, const Support::Rect& b) {
    const double overlap = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    return overlap >= 0.5 * std::min(a.height(), b.height());
}

bool whitespaceIn(const QString& text, qsizetype from, qsizetype to) {
    for (qsizetype i = std::max<qsizetype>(0, from); i < std::min(to, text.size()); ++i)
        if (text.at(i).isSpace()) return true;
    return false;
}

} // namespace

Support::Rect findingBox(const Support::Rect& n, double w, double h) { return grownAndClipped(pixelsOf(n, w, h), w, h); }

std::vector<Support::Rect> rangeBoxes(const RecognizedLine& line, qsizetype start, qsizetype end, double w, double h) {
    std::vector<Support::Rect> rows;
    const GlyphBox* before = nullptr; // the nearest glyph ending at or before the range
    const GlyphBox* after = nullptr;  // the nearest glyph starting at or after its end
    bool startsOnAGlyph = true, endsOnAGlyph = true;
    Support::Rect previous; // the last glyph taken
    for (const GlyphBox& glyph : line.glyphs) {
        const qsizetype glyphEnd = glyph.start + glyph.length;
        if (glyph.length <= 0) continue;
        if (glyphEnd <= start) {
            if (!before || glyphEnd > before->start + before->length) before = &glyph;
            continue;
        }
        if (glyph.start >= end) {
            if (!after || glyph.start < after->start) after = &glyph;
            continue;
        }
        Support::Rect box = pixelsOf(glyph.box, w, h);
        if (glyph.start < start || glyphEnd > end) {
            // Only some of the glyph's characters: their share of its width, one more either side.
            const double cell = box.width() / double(glyph.length);
            const double from = double(std::max<qsizetype>(0, std::max(start, glyph.start) - glyph.start - 1));
            const double to = double(std::min(glyph.length, std::min(end, glyphEnd) - glyph.start + 1));
            box = Support::Rect(box.minX() + from * cell, box.minY(), (to - from) * cell, box.height());
            if (rows.empty() && glyph.start < start) startsOnAGlyph = false;
            if (glyphEnd > end) endsOnAGlyph = false;
        }
        // A row ends where the text wraps: the next glyph lies below or above it and back to the
        // left. A glyph that only sits low or high (an underscore, a quote) stays on its row.
        if (rows.empty() || (!sameRow(rows.back(), box) && box.minX() < previous.minX()))
            rows.push_back(box);
        else
            rows.back() = rows.back().united(box);
        previous = box;
    }
    if (rows.empty()) return {};

    // Into a glyph glued to the range, on the same row.
    if (before && startsOnAGlyph && !whitespaceIn(line.text, before->start + before->length, start)) {
        Support::Rect& first = rows.front();
        const Support::Rect neighbour = pixelsOf(before->box, w, h);
        if (sameRow(first, neighbour)) {
            const double left = std::max(neighbour.minX(), std::min(first.minX(), neighbour.maxX()) - kReachIntoNeighbour * first.height());
            if (left < first.minX()) first = Support::Rect(left, first.minY(), first.maxX() - left, first.height());
        }
    }
    if (after && endsOnAGlyph && !whitespaceIn(line.text, end, after->start)) {
        Support::Rect& last = rows.back();
        const Support::Rect neighbour = pixelsOf(after->box, w, h);
        if (sameRow(last, neighbour)) {
            const double right = std::min(neighbour.maxX(), std::max(last.maxX(), neighbour.minX()) + kReachIntoNeighbour * last.height());
            if (right > last.maxX()) last = Support::Rect(last.minX(), last.minY(), right - last.minX(), last.height());
        }
    }
    for (Support::Rect& row : rows) row = grownAndClipped(row, w, h);
    return rows;
}

Support::Rect normalized(const Support::Rect& p, double w, double h) {
    if (w <= 0 || h <= 0) return Support::Rect::null();
    return Support::Rect(p.minX() / w, 1.0 - p.maxY() / h, p.width() / w, p.height() / h);
}

} // namespace DetectionKit::ImageBoxes
