#include "DetectionKit/FaceCandidates.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace DetectionKit::FaceCandidates {

namespace {

constexpr int kValuesPerAnchor = 16;

double sigmoid(double raw) { return 1.0 / (1.0 + std::exp(-std::clamp(raw, -80.0, 80.0))); }

double sharedArea(const Support::Rect& a, const Support::Rect& b) {
    const Support::Rect shared = a.intersection(b);
    return shared.isNull() || shared.isEmpty() ? 0 : shared.width() * shared.height();
}

} // namespace

double overlap(const Support::Rect& a, const Support::Rect& b) {
    const double common = sharedArea(a, b);
    const double either = a.width() * a.height() + b.width() * b.height() - common;
    return common > 0 && either > 0 ? common / either : 0;
}

std::vector<Candidate> decode(const Head& head, const Placement& placement, double threshold) {
    std::vector<Candidate> found;
    if (!head.scores || !head.boxes || head.rows <= 0 || head.columns <= 0 || placement.scale <= 0) return found;
    const size_t plane = size_t(head.rows) * size_t(head.columns);
    for (int anchor = 0; anchor < head.anchors; ++anchor) {
        const float* scores = head.scores + size_t(anchor) * plane;
        const float* values = head.boxes + size_t(anchor) * kValuesPerAnchor * plane;
        for (int y = 0; y < head.rows; ++y) {
            for (int x = 0; x < head.columns; ++x) {
                const size_t cell = size_t(y) * size_t(head.columns) + size_t(x);
                const double score = sigmoid(scores[cell]);
                if (!(score >= threshold)) continue;
                const double width = values[2 * plane + cell];
                const double height = values[3 * plane + cell];
                if (!(width > 0) || !(height > 0) || !std::isfinite(width) || !std::isfinite(height)) continue;
                const double centreX = (x + 0.5) * head.stride + values[cell];
                const double centreY = (y + 0.5) * head.stride + values[plane + cell];
                const double s = placement.scale;
                Candidate candidate{Support::Rect(placement.left + (centreX - width / 2) / s,
                                                  placement.top + (centreY - height / 2) / s, width / s, height / s),
                                    score};
                // Key points follow the box's four values, x then y, as offsets from the anchor.
                for (int k = 0; k < keyPointCount; ++k)
                    candidate.keyPoints[size_t(k)] = {
                        placement.left + ((x + 0.5) * head.stride + values[size_t(4 + 2 * k) * plane + cell]) / s,
                        placement.top + ((y + 0.5) * head.stride + values[size_t(5 + 2 * k) * plane + cell]) / s};
                found.push_back(candidate);
            }
        }
    }
    return found;
}

std::vector<Candidate> merge(std::vector<Candidate> candidates, double minOverlap) {
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    std::vector<Candidate> merged;
    std::vector<bool> taken(candidates.size(), false);
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (taken[i]) continue;
        const Candidate& best = candidates[i];
        double weight = 0, left = 0, top = 0, right = 0, bottom = 0;
        std::array<Support::Point, keyPointCount> points{};
        for (size_t j = i; j < candidates.size(); ++j) {
            if (taken[j] || (j != i && overlap(best.box, candidates[j].box) <= minOverlap)) continue;
            taken[j] = true;
            const Candidate& c = candidates[j];
            weight += c.score;
            left += c.score * c.box.minX();
            top += c.score * c.box.minY();
            right += c.score * c.box.maxX();
            bottom += c.score * c.box.maxY();
            for (size_t k = 0; k < points.size(); ++k) {
                points[k].x += c.score * c.keyPoints[k].x;
                points[k].y += c.score * c.keyPoints[k].y;
            }
        }
        for (Support::Point& point : points) point = {point.x / weight, point.y / weight};
        merged.push_back({Support::Rect(left / weight, top / weight, (right - left) / weight, (bottom - top) / weight),
                          best.score, points});
    }
    return merged;
}

namespace {

// Starts of spans of `side` covering [0, length), evenly spread, each overlapping the next by at
// least `overlap`.
std::vector<int> starts(int length, int side, int overlap) {
    if (length <= side) return {0};
    const int step = std::max(1, side - overlap);
    const int count = (length - side + step - 1) / step + 1;
    std::vector<int> result;
    for (int i = 0; i < count; ++i) result.push_back(int(std::lround(double(i) * (length - side) / (count - 1))));
    return result;
}

} // namespace

std::vector<Tile> tiles(int width, int height, int side, int overlap) {
    std::vector<Tile> result;
    if (width <= 0 || height <= 0 || side <= 0) return result;
    for (const int y : starts(height, side, overlap))
        for (const int x : starts(width, side, overlap))
            result.push_back({x, y, std::min(side, width), std::min(side, height)});
    return result;
}

namespace {

int difference(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

// Pixels this close are alike; a step up to kShading is shading, as a photograph's surfaces have
// from pixel to pixel. The edges of glyphs and drawings step further, between fills that are flat.
constexpr int kNear = 3;
constexpr int kShading = 24;

bool near(QRgb a, QRgb b) { return difference(a, b) <= kNear; }

// A cell is photographic when fewer than this share of its pixels match their right and lower
// neighbours (faces in photographs reach at most 0.31 over the face on the face bench, drawings at
// least 0.47), and at least kLeastShadedInPhotographs of them step to their right neighbour by
// shading: the edges of small text are as unlike their neighbours, but by larger steps.
constexpr double kMostSameInPhotographs = 0.45;
constexpr double kLeastShadedInPhotographs = 0.25;

// Faces narrower than this are small enough for a drawing's outlines to fill much of the box.
constexpr double kSmallFace = 40;

} // namespace

CellMap photographicCells(const QImage& image, int cell) {
    CellMap map;
    if (image.isNull() || cell <= 0) return map;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    map.cell = cell;
    map.columns = (rgb.width() + cell - 1) / cell;
    map.rows = (rgb.height() + cell - 1) / cell;
    std::vector<int> same(size_t(map.columns) * size_t(map.rows), 0);
    std::vector<int> shaded(same.size(), 0);
    for (int y = 0; y + 1 < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        const auto* below = reinterpret_cast<const QRgb*>(rgb.constScanLine(y + 1));
        const size_t first = size_t(y / cell) * size_t(map.columns);
        for (int x = 0; x + 1 < rgb.width(); ++x) {
            const int right = difference(row[x], row[x + 1]);
            if (right <= kNear && difference(row[x], below[x]) <= kNear)
                ++same[first + size_t(x / cell)];
            else if (right <= kShading)
                ++shaded[first + size_t(x / cell)];
        }
    }
    map.photographic.resize(same.size());
    for (int r = 0; r < map.rows; ++r)
        for (int c = 0; c < map.columns; ++c) {
            // The pixels that have both neighbours inside the image.
            const int w = std::min(cell, rgb.width() - 1 - c * cell);
            const int h = std::min(cell, rgb.height() - 1 - r * cell);
            const size_t i = size_t(r) * size_t(map.columns) + size_t(c);
            map.photographic[i] = w > 0 && h > 0 && same[i] < kMostSameInPhotographs * w * h &&
                                  shaded[i] >= kLeastShadedInPhotographs * w * h;
        }
    return map;
}

std::vector<Tile> faceAreas(const CellMap& cells, int width, int height, int smallest, int margin) {
    std::vector<Tile> areas;
    if (cells.cell <= 0) return areas;
    // Groups of touching cells (sides and corners), each as its bounding box in cells.
    std::vector<int> group(cells.photographic.size(), -1);
    for (size_t start = 0; start < cells.photographic.size(); ++start) {
        if (!cells.photographic[start] || group[start] >= 0) continue;
        int left = cells.columns, top = cells.rows, right = -1, bottom = -1;
        std::vector<size_t> stack = {start};
        group[start] = int(start);
        while (!stack.empty()) {
            const size_t i = stack.back();
            stack.pop_back();
            const int c = int(i % size_t(cells.columns)), r = int(i / size_t(cells.columns));
            left = std::min(left, c), right = std::max(right, c), top = std::min(top, r), bottom = std::max(bottom, r);
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    const int nc = c + dc, nr = r + dr;
                    if (nc < 0 || nr < 0 || nc >= cells.columns || nr >= cells.rows) continue;
                    const size_t n = size_t(nr) * size_t(cells.columns) + size_t(nc);
                    if (cells.photographic[n] && group[n] < 0) {
                        group[n] = int(start);
                        stack.push_back(n);
                    }
                }
        }
        const int x = left * cells.cell, y = top * cells.cell;
        const int w = std::min(width, (right + 1) * cells.cell) - x, h = std::min(height, (bottom + 1) * cells.cell) - y;
        if (w < smallest || h < smallest) continue;
        const int x0 = std::max(0, x - margin), y0 = std::max(0, y - margin);
        areas.push_back({x0, y0, std::min(width, x + w + margin) - x0, std::min(height, y + h + margin) - y0});
    }
    // Overlapping areas become one, until none overlap.
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < areas.size() && !merged; ++i)
            for (size_t j = i + 1; j < areas.size() && !merged; ++j) {
                const Tile& a = areas[i];
                const Tile& b = areas[j];
                if (a.x >= b.x + b.width || b.x >= a.x + a.width || a.y >= b.y + b.height || b.y >= a.y + a.height) continue;
                const int x = std::min(a.x, b.x), y = std::min(a.y, b.y);
                areas[i] = {x, y, std::max(a.x + a.width, b.x + b.width) - x, std::max(a.y + a.height, b.y + b.height) - y};
                areas.erase(areas.begin() + long(j));
                merged = true;
            }
    }
    return areas;
}

Flatness flatness(const QImage& image, const Support::Rect& box) {
    const Support::Rect clipped = box.integral().intersection(Support::Rect(0, 0, image.width(), image.height()));
    if (clipped.isNull() || clipped.width() < 2 || clipped.height() < 2) return {};
    const QImage area = image.copy(clipped.toQRectF().toRect()).convertToFormat(QImage::Format_RGB32);
    std::vector<int> counts(4096, 0);
    long same = 0;
    for (int y = 0; y < area.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(area.constScanLine(y));
        const auto* below = y + 1 < area.height() ? reinterpret_cast<const QRgb*>(area.constScanLine(y + 1)) : nullptr;
        for (int x = 0; x < area.width(); ++x) {
            const QRgb p = row[x];
            ++counts[size_t((qRed(p) >> 4) << 8 | (qGreen(p) >> 4) << 4 | (qBlue(p) >> 4))];
            if (below && x + 1 < area.width() && near(p, row[x + 1]) && near(p, below[x])) ++same;
        }
    }
    std::partial_sort(counts.begin(), counts.begin() + 4, counts.end(), std::greater<>());
    const double pixels = double(area.width()) * area.height();
    return {(counts[0] + counts[1] + counts[2] + counts[3]) / pixels,
            same / (double(area.width() - 1) * (area.height() - 1))};
}

bool looksDrawn(const QImage& image, const Support::Rect& box) {
    const Flatness f = flatness(image, box);
    return f.fewColours >= 0.65 && f.sameAsNext >= 0.4;
}

namespace {

// The inner face (cheeks, nose and upper lip: rows from a third of the box to seven tenths, the
// middle half across), seen at 64 x 64 pixels at most and never enlarged: enlarging makes anything
// smooth. Calls `visit` with each of its pixels and the pixels to its right and below; false when
// the box holds too few pixels to tell.
bool visitInside(const QImage& image, const Support::Rect& box, const std::function<void(QRgb, QRgb, QRgb)>& visit) {
    const Support::Rect clipped = box.integral().intersection(Support::Rect(0, 0, image.width(), image.height()));
    if (clipped.isNull() || clipped.width() < 4 || clipped.height() < 4) return false;
    const int side = std::clamp(int(std::lround(std::min(clipped.width(), clipped.height()))), 8, 64);
    const QImage face = image.copy(clipped.toQRectF().toRect())
                            .scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                            .convertToFormat(QImage::Format_RGB32);
    for (int y = side * 11 / 32; y < side * 45 / 64; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(face.constScanLine(y));
        const auto* below = reinterpret_cast<const QRgb*>(face.constScanLine(y + 1));
        for (int x = side / 4; x < side * 3 / 4; ++x) visit(row[x], row[x + 1], below[x]);
    }
    return true;
}

// An inner face whose grey levels span at least this much is lit as a face in plain view is; a
// darker or washed-out one (backlit, a dim room) has its shading squeezed into fewer levels, so
// more of its pixels match their neighbours without being a fill.
constexpr int kFullContrast = 128;

// How much of the inner face a drawing's fills take up. A face at full contrast: photographs reach
// at most 0.13 on the face bench (0.05 when small), anime faces, thumbnails too, 0.2 (0.1) and more.
// Faces of lower contrast keep the measure's larger bound: backlit photographs reach 0.29.
constexpr double kFlatDrawing = 0.19;
constexpr double kFlatSmallDrawing = 0.1;
constexpr double kFlatDimDrawing = 0.35;

} // namespace

double flatInside(const QImage& image, const Support::Rect& box) {
    long flat = 0, pixels = 0;
    auto alike = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) <= 1 && std::abs(qGreen(a) - qGreen(b)) <= 1 && std::abs(qBlue(a) - qBlue(b)) <= 1;
    };
    const bool seen = visitInside(image, box, [&](QRgb p, QRgb right, QRgb below) {
        flat += alike(p, right) && alike(p, below);
        ++pixels;
    });
    return seen && pixels > 0 ? double(flat) / double(pixels) : 0;
}

int contrastInside(const QImage& image, const Support::Rect& box) {
    int darkest = 255, brightest = 0;
    const bool seen = visitInside(image, box, [&](QRgb p, QRgb, QRgb) {
        darkest = std::min(darkest, qGray(p));
        brightest = std::max(brightest, qGray(p));
    });
    return seen ? std::max(0, brightest - darkest) : 0;
}

bool drawing(const QImage& image, const Support::Rect& box) {
    if (looksDrawn(image, box)) return true;
    const bool small = std::max(box.width(), box.height()) < kSmallFace;
    const double flat = flatInside(image, box);
    const bool fullContrast = contrastInside(image, box) >= kFullContrast;
    if (flat >= (!fullContrast ? kFlatDimDrawing : small ? kFlatSmallDrawing : kFlatDrawing)) return true;
    // Small faces, at most a few tens of pixels: photographs reach a share of 0.09 pixels like their
    // neighbours, the outlines and fills of small stickers and sprites 0.25 and more.
    return small && flatness(image, box).sameAsNext >= 0.25;
}

bool humanLayout(const Candidate& c) {
    if (!(c.box.width() > 0) || !(c.box.height() > 0)) return false;
    auto x = [&](KeyPoint k) { return (c.keyPoints[size_t(k)].x - c.box.minX()) / c.box.width(); };
    auto y = [&](KeyPoint k) { return (c.keyPoints[size_t(k)].y - c.box.minY()) / c.box.height(); };
    // On the face bench, people (turned ones too) reach at least 0.24, 0.32 and 0.61.
    const double eyes = x(leftEye) - x(rightEye);
    const double mouthBelowEyes = y(mouth) - (y(rightEye) + y(leftEye)) / 2;
    const double ears = x(leftEar) - x(rightEar);
    return eyes >= 0.2 && mouthBelowEyes >= 0.28 && ears >= 0.5;
}

std::vector<Support::Rect> oneBoxPerFace(std::vector<Support::Rect> boxes, double within) {
    for (bool joined = true; joined;) {
        joined = false;
        for (size_t i = 0; i < boxes.size() && !joined; ++i)
            for (size_t j = i + 1; j < boxes.size() && !joined; ++j) {
                const double smaller = std::min(boxes[i].width() * boxes[i].height(), boxes[j].width() * boxes[j].height());
                const double common = sharedArea(boxes[i], boxes[j]);
                if (!(common > 0) || common < within * smaller) continue;
                boxes[i] = boxes[i].united(boxes[j]);
                boxes.erase(boxes.begin() + long(j));
                joined = true;
            }
    }
    return boxes;
}

Support::Rect faceBox(const Support::Rect& modelBox) {
    const Support::Rect box = modelBox.standardized();
    const double side = 0.1 * box.width();
    const double end = 0.1 * box.height();
    const double rise = 0.05 * box.height();
    return Support::Rect(box.minX() - side, box.minY() - end - rise, box.width() + 2 * side, box.height() + 2 * end);
}

} // namespace DetectionKit::FaceCandidates
