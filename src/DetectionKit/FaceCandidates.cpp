#include "DetectionKit/FaceCandidates.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace DetectionKit::FaceCandidates {

namespace {

constexpr int kValuesPerAnchor = 16;

double sigmoid(double raw) { return 1.0 / (1.0 + std::exp(-std::clamp(raw, -80.0, 80.0))); }

double overlap(const Support::Rect& a, const Support::Rect& b) {
    const Support::Rect shared = a.intersection(b);
    if (shared.isNull() || shared.isEmpty()) return 0;
    const double common = shared.width() * shared.height();
    const double either = a.width() * a.height() + b.width() * b.height() - common;
    return either > 0 ? common / either : 0;
}

} // namespace

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
                found.push_back({Support::Rect(placement.left + (centreX - width / 2) / s,
                                               placement.top + (centreY - height / 2) / s, width / s, height / s),
                                 score});
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
        for (size_t j = i; j < candidates.size(); ++j) {
            if (taken[j] || (j != i && overlap(best.box, candidates[j].box) <= minOverlap)) continue;
            taken[j] = true;
            const Candidate& c = candidates[j];
            weight += c.score;
            left += c.score * c.box.minX();
            top += c.score * c.box.minY();
            right += c.score * c.box.maxX();
            bottom += c.score * c.box.maxY();
        }
        merged.push_back({Support::Rect(left / weight, top / weight, (right - left) / weight, (bottom - top) / weight),
                          best.score});
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

Flatness flatness(const QImage& image, const Support::Rect& box) {
    const Support::Rect clipped = box.integral().intersection(Support::Rect(0, 0, image.width(), image.height()));
    if (clipped.isNull() || clipped.width() < 2 || clipped.height() < 2) return {};
    const QImage area = image.copy(clipped.toQRectF().toRect()).convertToFormat(QImage::Format_RGB32);
    auto near = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) <= 3;
    };
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

Support::Rect faceBox(const Support::Rect& modelBox) {
    const Support::Rect box = modelBox.standardized();
    const double side = 0.1 * box.width();
    const double end = 0.1 * box.height();
    const double rise = 0.05 * box.height();
    return Support::Rect(box.minX() - side, box.minY() - end - rise, box.width() + 2 * side, box.height() + 2 * end);
}

} // namespace DetectionKit::FaceCandidates
