#include "DetectionKit/ScreenTextRegions.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>

namespace DetectionKit::ScreenTextRegions {

namespace {

// Edge strength (per-channel morphological gradient) that counts as a glyph's outline. Low enough
// for grey-on-grey secondary text, high enough to ignore gradients and photo noise in flat areas.
constexpr int kEdgeThreshold = 40;
// Gaps up to this many pixels between glyph edges join them into one word.
constexpr int kGlyphGap = 4;
// Lines are never taller than this; anything taller is a picture, not text.
constexpr int kMaxLineHeight = 120;
constexpr int kMinLineHeight = 5;
// Words join into a line while the gap between them stays below this many line heights.
constexpr double kWordGapInHeights = 1.2;
// Scale small text up to about this glyph height, the size the recognition model reads best.
constexpr double kTargetTextHeight = 26;
constexpr double kMaxScale = 4;
constexpr int kCropMargin = 2;
constexpr int kPreparedMargin = 10;

cv::Mat edgeMap(const cv::Mat& bgr) {
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat gradient;
    cv::morphologyEx(bgr, gradient, cv::MORPH_GRADIENT, kernel);
    std::vector<cv::Mat> channels;
    cv::split(gradient, channels);
    cv::Mat strongest = channels[0];
    for (size_t i = 1; i < channels.size(); ++i) strongest = cv::max(strongest, channels[i]);
    cv::Mat edges;
    cv::threshold(strongest, edges, kEdgeThreshold, 255, cv::THRESH_BINARY);
    return edges;
}

// Long thin runs are rules, separators and the sides of boxes: remove them so they neither join
// lines together nor become regions of their own. Small dense text makes long runs too, but many
// rows deep; those bands are kept.
cv::Mat thinRuns(const cv::Mat& edges, cv::Size runLength, cv::Size bandDepth, cv::Size bandFringe) {
    cv::Mat runs, bands;
    cv::morphologyEx(edges, runs, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_RECT, runLength));
    cv::morphologyEx(edges, bands, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_RECT, bandDepth));
    cv::dilate(bands, bands, cv::getStructuringElement(cv::MORPH_RECT, bandFringe));
    return runs & ~bands;
}

void removeRules(cv::Mat& edges) {
    const int run = 60;
    const int depth = 5;
    const cv::Mat horizontal = thinRuns(edges, {run, 1}, {run, depth}, {1, 2 * depth + 1});
    const cv::Mat vertical = thinRuns(edges, {1, run}, {depth, run}, {2 * depth + 1, 1});
    edges.setTo(0, horizontal | vertical);
}

struct Box {
    cv::Rect rect;
    bool merged = false;
};

bool sameLine(const cv::Rect& a, const cv::Rect& b) {
    const int overlap = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    return overlap > 0 && overlap >= int(0.5 * std::min(a.height, b.height));
}

// Joins words that sit on one line with small gaps between them, left to right.
std::vector<cv::Rect> joinIntoLines(std::vector<cv::Rect> words) {
    std::sort(words.begin(), words.end(), [](const cv::Rect& a, const cv::Rect& b) { return a.x < b.x; });
    std::vector<Box> boxes;
    for (const cv::Rect& w : words) boxes.push_back({w});
    bool changed = true;
    while (changed) {
        changed = false;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].merged) continue;
            for (size_t j = i + 1; j < boxes.size(); ++j) {
                if (boxes[j].merged) continue;
                cv::Rect& a = boxes[i].rect;
                const cv::Rect& b = boxes[j].rect;
                const int gap = b.x - (a.x + a.width);
                const int height = std::max(a.height, b.height);
                if (gap > kWordGapInHeights * height) continue;
                if (!sameLine(a, b)) continue;
                if ((a | b).height > kMaxLineHeight) continue;
                a = a | b;
                boxes[j].merged = true;
                changed = true;
            }
        }
    }
    std::vector<cv::Rect> lines;
    for (const Box& b : boxes)
        if (!b.merged) lines.push_back(b.rect);
    return lines;
}

// For every column, the most common value among the columns within half a band of it, counted
// over the rows [top, bottom) and only where `ignore` is zero; the result has the input's size with
// every row the same. A column whose band counts nothing takes its left neighbour's value.
cv::Mat columnBandMode(const cv::Mat& channel, const cv::Mat& ignore, int top, int bottom, int band) {
    std::vector<std::array<int, 256>> columns(size_t(channel.cols));
    for (auto& c : columns) c.fill(0);
    std::array<int, 256> all{};
    for (int y = 0; y < channel.rows; ++y) {
        const uchar* row = channel.ptr<uchar>(y);
        const uchar* skip = ignore.ptr<uchar>(y);
        for (int x = 0; x < channel.cols; ++x) {
            ++all[row[x]];
            if (y >= top && y < bottom && !skip[x]) ++columns[size_t(x)][row[x]];
        }
    }
    std::array<int, 256> window{};
    const int half = band / 2;
    auto add = [&](int x, int sign) {
        if (x < 0 || x >= channel.cols) return;
        for (int v = 0; v < 256; ++v) window[size_t(v)] += sign * columns[size_t(x)][size_t(v)];
    };
    for (int x = 0; x < half && x < channel.cols; ++x) add(x, 1);
    cv::Mat modes(1, channel.cols, CV_8UC1);
    uchar previous = uchar(std::max_element(all.begin(), all.end()) - all.begin());
    for (int x = 0; x < channel.cols; ++x) {
        add(x + half, 1);
        add(x - half - 1, -1);
        const auto peak = std::max_element(window.begin(), window.end());
        if (*peak > 0) previous = uchar(peak - window.begin());
        modes.at<uchar>(0, x) = previous;
    }
    cv::Mat background;
    cv::repeat(modes, channel.rows, 1, background);
    return background;
}

} // namespace

std::vector<Region> find(const cv::Mat& bgr) {
    cv::Mat edges = edgeMap(bgr);
    removeRules(edges);
    cv::Mat joined;
    cv::morphologyEx(edges, joined, cv::MORPH_CLOSE,
                     cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kGlyphGap + 1, 1)));

    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(joined, labels, stats, centroids, 8, CV_32S);
    std::vector<cv::Rect> words;
    for (int i = 1; i < count; ++i) {
        const cv::Rect r(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                         stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        if (r.height < kMinLineHeight || r.height > kMaxLineHeight) continue;
        if (r.width < 3) continue;
        words.push_back(r);
    }

    std::vector<Region> regions;
    for (const cv::Rect& line : joinIntoLines(std::move(words))) {
        // Small specks (a dot, a cursor) carry no readable text.
        if (line.width < 6 && line.height < 10) continue;
        regions.push_back({line, line.height});
    }
    // Reading order: top to bottom, then left to right.
    std::sort(regions.begin(), regions.end(), [](const Region& a, const Region& b) {
        if (a.area.y + a.area.height / 2 < b.area.y) return true;
        if (b.area.y + b.area.height / 2 < a.area.y) return false;
        return a.area.x < b.area.x;
    });
    return regions;
}

Prepared prepare(const cv::Mat& bgr, const Region& region) {
    const cv::Rect bounds(0, 0, bgr.cols, bgr.rows);
    const cv::Rect area =
        (region.area + cv::Size(2 * kCropMargin, 2 * kCropMargin) - cv::Point(kCropMargin, kCropMargin)) & bounds;
    const cv::Mat crop = bgr(area);

    // Ink is whatever differs from the background, in any channel: this reads light-on-dark,
    // dark-on-light and coloured text on coloured fills alike, and hands the engine dark on white.
    // The background is the most common value in a band of columns around each column, counted in
    // the middle rows away from glyph edges: a line that runs across buttons and badges of
    // different fills is read against each one's own fill, not the window around them.
    std::vector<cv::Mat> channels;
    cv::split(crop, channels);
    cv::Mat nearInk;
    cv::dilate(edgeMap(crop), nearInk, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
    const int top = crop.rows / 4;
    const int bottom = std::max(top + 1, crop.rows - crop.rows / 4);
    cv::Mat distance(crop.size(), CV_8UC1, cv::Scalar(0));
    const int band = std::max(8, region.textHeight);
    for (const cv::Mat& channel : channels) {
        const cv::Mat background = columnBandMode(channel, nearInk, top, bottom, band);
        cv::Mat difference;
        cv::absdiff(channel, background, difference);
        distance = cv::max(distance, difference);
    }
    cv::normalize(distance, distance, 0, 255, cv::NORM_MINMAX);
    cv::Mat ink;
    cv::bitwise_not(distance, ink);

    Prepared prepared;
    prepared.scale = std::clamp(kTargetTextHeight / std::max(1, region.textHeight), 1.0, kMaxScale);
    if (prepared.scale > 1.0) cv::resize(ink, ink, cv::Size(), prepared.scale, prepared.scale, cv::INTER_CUBIC);
    cv::copyMakeBorder(ink, prepared.grey, kPreparedMargin, kPreparedMargin, kPreparedMargin, kPreparedMargin,
                       cv::BORDER_CONSTANT, cv::Scalar(255));
    prepared.origin = cv::Point2d(area.x, area.y);
    prepared.margin = kPreparedMargin;
    return prepared;
}

} // namespace DetectionKit::ScreenTextRegions
