#include "DetectionKit/BaselineJoin.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <optional>

namespace DetectionKit::BaselineJoin {

using LineAssembly::PixelGlyph;
using LineAssembly::PixelLine;
using ScreenTextRegions::Region;

namespace {

// A pixel this far from the background (any channel) is ink.
constexpr int kInkDistance = 48;

// A column at a region's side holding ink over this share of the region's height, and at least
// kBorderInTextHeights of its text height, is a border rather than a glyph: no glyph stands that
// much taller than the line it sits in.
constexpr double kBorderShareOfHeight = 0.6;
constexpr double kBorderInTextHeights = 1.5;
// A border is a thin line: wider ink at a side is something else (an icon, a picture).
constexpr int kBorderWidest = 4;
// A row with ink across this share of a region is a rule (a field's top or bottom border).
constexpr double kRuleRowShare = 0.8;

// Two lines are of one size when their heights differ by less than this factor, and on one
// baseline when their baselines are this share of the height apart or closer.
constexpr double kSameSize = 1.3;
constexpr double kSameBaselineInHeights = 0.15;
// A word space in proportional text leaves about half the height of a capital or a digit blank
// between two words' ink (a little more beside a bracket or a narrow letter's side bearing); the
// columns of a table or a form stand at least a whole height apart.
constexpr double kWidestSpaceInHeights = 0.9;
// A column of the gap holding ink over this share of the lines' height is a rule between them.
constexpr double kRuleShareOfHeight = 0.5;

cv::Mat inkOf(const cv::Mat& bgr) { return ScreenTextRegions::inkOnGround(bgr, kInkDistance); }

// Clears the rows of `ink` that a rule runs across (a field's top or bottom border), so that the
// columns between a side border and the text count as blank.
void clearRuleRows(cv::Mat& ink) {
    for (int y = 0; y < ink.rows; ++y)
        if (cv::countNonZero(ink.row(y)) >= kRuleRowShare * ink.cols) ink.row(y).setTo(0);
}

std::vector<int> inkPerColumn(const cv::Mat& ink) {
    std::vector<int> counts(size_t(ink.cols));
    for (int x = 0; x < ink.cols; ++x) counts[size_t(x)] = cv::countNonZero(ink.col(x));
    return counts;
}

// The area with a thin tall run of ink cut from its left (`step` +1) or right (-1) end, with the
// blank columns after it; nullopt when that end holds none. `tall` is the least ink a border's
// column holds. Between the border and the text only the middle of the area need be blank: a
// field's rounded corners curve into the columns beside its side, above and below the text.
std::optional<cv::Rect> withoutBorderAt(const cv::Mat& bgr, const cv::Rect& area, int tall, int step) {
    cv::Mat ink = inkOf(bgr(area));
    clearRuleRows(ink);
    const std::vector<int> all = inkPerColumn(ink);
    const int quarter = ink.rows / 4;
    const std::vector<int> middle = inkPerColumn(ink.rowRange(quarter, ink.rows - quarter));
    auto inside = [&](int at) { return at >= 0 && at < ink.cols; };
    auto isTall = [&](int at) { return all[size_t(at)] >= tall; };
    auto isBlank = [&](int at) { return middle[size_t(at)] == 0 && !isTall(at); };
    int x = step > 0 ? 0 : ink.cols - 1;
    while (inside(x) && isBlank(x)) x += step;
    // The border's anti-aliased edges are fainter, shorter columns on either side of it.
    int width = 0;
    while (inside(x) && !isTall(x) && width < kBorderWidest) {
        x += step;
        ++width;
    }
    if (!inside(x) || !isTall(x)) return std::nullopt;
    while (inside(x) && (isTall(x) || !isBlank(x)) && width <= kBorderWidest) {
        x += step;
        ++width;
    }
    if (width > kBorderWidest || !inside(x)) return std::nullopt;
    while (inside(x) && isBlank(x)) x += step;
    if (!inside(x)) return std::nullopt;
    // `x` is the first column of what stays.
    return step > 0 ? cv::Rect(area.x + x, area.y, area.width - x, area.height) : cv::Rect(area.x, area.y, x + 1, area.height);
}

// The area narrowed to the rows that hold ink other than rules, with a pixel to spare on each
// side; nullopt when a column as tall as a border is left in it.
std::optional<cv::Rect> narrowedToText(const cv::Mat& bgr, const cv::Rect& area, int tall) {
    cv::Mat ink = inkOf(bgr(area));
    clearRuleRows(ink);
    const std::vector<int> counts = inkPerColumn(ink);
    if (std::any_of(counts.begin(), counts.end(), [tall](int count) { return count >= tall; })) return std::nullopt;
    int top = -1, bottom = -1;
    for (int y = 0; y < ink.rows; ++y) {
        if (cv::countNonZero(ink.row(y)) == 0) continue;
        if (top < 0) top = y;
        bottom = y;
    }
    if (top < 0) return std::nullopt;
    const cv::Rect bounds(0, 0, bgr.cols, bgr.rows);
    return cv::Rect(area.x, area.y + top - 1, area.width, bottom - top + 3) & bounds;
}

struct Measure {
    double baseline = 0;
    double height = 0;
};

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// A line's baseline (where most of its glyphs end) and its height above the baseline (its tallest
// glyph's, leaving out glyphs much taller than the others, which are misread marks).
Measure measureOf(const PixelLine& line) {
    if (line.glyphs.empty()) return {line.box.maxY(), line.box.height()};
    std::vector<double> bottoms, heights;
    for (const PixelGlyph& g : line.glyphs) {
        bottoms.push_back(g.box.maxY());
        heights.push_back(g.box.height());
    }
    const double baseline = median(bottoms);
    const double typical = median(heights);
    double height = 0;
    for (const PixelGlyph& g : line.glyphs)
        if (g.box.height() <= 2 * typical) height = std::max(height, baseline - g.box.minY());
    return {baseline, height};
}

// Whether two lines stand side by side: they share at least half the height of the shorter one.
// The descenders of a line touching the next one's ascenders are no such share.
bool besideEachOther(const Support::Rect& a, const Support::Rect& b) {
    const double shared = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    return shared > 0 && shared >= 0.5 * std::min(a.height(), b.height());
}

// Whether a column of the gap between two lines holds ink over much of their height: a rule, a
// field's or a cell's border.
bool ruleBetween(const cv::Mat& bgr, const Support::Rect& gap) {
    const cv::Rect bounds(0, 0, bgr.cols, bgr.rows);
    // The glyphs' anti-aliased edges reach a pixel past their boxes.
    const int left = int(std::ceil(gap.minX())) + 1;
    const int right = int(std::floor(gap.maxX())) - 1;
    const cv::Rect area = cv::Rect(left, int(gap.minY()), right - left, int(std::ceil(gap.maxY())) - int(gap.minY())) & bounds;
    if (area.width <= 0 || area.height <= 0) return false;
    const cv::Mat ink = inkOf(bgr(area));
    const int tall = std::max(1, int(std::ceil(kRuleShareOfHeight * area.height)));
    for (int x = 0; x < ink.cols; ++x)
        if (cv::countNonZero(ink.col(x)) >= tall) return true;
    return false;
}

PixelLine joined(const PixelLine& left, const PixelLine& right) {
    PixelLine line = left;
    line.text.append(QLatin1Char(' '));
    const qsizetype offset = line.text.size();
    line.text.append(right.text);
    for (const PixelGlyph& g : right.glyphs) line.glyphs.push_back({g.start + offset, g.length, g.box});
    line.box = line.box.united(right.box);
    return line;
}

} // namespace

void cutSideBorders(const cv::Mat& bgr, std::vector<Region>& regions) {
    const cv::Rect bounds(0, 0, bgr.cols, bgr.rows);
    for (Region& region : regions) {
        const cv::Rect area = region.area & bounds;
        // Only a region much taller than its text can hold a border beside it.
        if (region.onPicture || area.height < kBorderInTextHeights * region.textHeight || area.width < 2) continue;
        const int tall = std::max(int(std::ceil(kBorderInTextHeights * region.textHeight)),
                                  int(std::ceil(kBorderShareOfHeight * area.height)));
        cv::Rect kept = area;
        // Fields side by side leave two borders at one end.
        for (int step : {+1, -1})
            while (const std::optional<cv::Rect> rest = withoutBorderAt(bgr, kept, tall, step)) kept = *rest;
        if (kept == area) continue;
        if (const std::optional<cv::Rect> text = narrowedToText(bgr, kept, tall)) region.area = *text;
    }
}

std::vector<PixelLine> join(const cv::Mat& bgr, std::vector<std::vector<PixelLine>> regionLines,
                            const std::vector<Support::Rect>& blanks) {
    struct Entry {
        size_t region;
        PixelLine line;
        Measure measure;
        bool alone; // the only line its region read
    };
    std::vector<Entry> entries;
    for (size_t r = 0; r < regionLines.size(); ++r)
        for (PixelLine& line : regionLines[r]) {
            const Measure m = measureOf(line);
            entries.push_back({r, std::move(line), m, regionLines[r].size() == 1});
        }

    // Each line's nearest neighbour to the right among the lines beside it, whatever it is.
    const size_t none = entries.size();
    std::vector<size_t> right(entries.size(), none), left(entries.size(), none);
    for (size_t i = 0; i < entries.size(); ++i) {
        const Support::Rect& a = entries[i].line.box;
        double nearest = 0;
        for (size_t j = 0; j < entries.size(); ++j) {
            const Support::Rect& b = entries[j].line.box;
            if (j == i || !besideEachOther(a, b) || b.midX() <= a.midX()) continue;
            const double gap = b.minX() - a.maxX();
            if (right[i] == none || gap < nearest) {
                right[i] = j;
                nearest = gap;
            }
        }
    }

    auto joinable = [&](size_t i, size_t j) {
        const Entry& a = entries[i];
        const Entry& b = entries[j];
        if (!a.alone || !b.alone || a.region == b.region) return false;
        const double low = std::min(a.measure.height, b.measure.height);
        const double high = std::max(a.measure.height, b.measure.height);
        if (low <= 0 || high > kSameSize * low) return false;
        if (std::abs(a.measure.baseline - b.measure.baseline) > std::max(1.0, kSameBaselineInHeights * low)) return false;
        const double gap = b.line.box.minX() - a.line.box.maxX();
        if (gap < -0.1 * low || gap > kWidestSpaceInHeights * low) return false;
        const double top = std::min(a.line.box.minY(), b.line.box.minY());
        const double bottom = std::max(a.line.box.maxY(), b.line.box.maxY());
        const Support::Rect between(a.line.box.maxX(), top, std::max(0.0, gap), bottom - top);
        const Support::Rect across = between.insetBy(-1, 0);
        if (std::any_of(blanks.begin(), blanks.end(), [&](const Support::Rect& blank) { return blank.intersects(across); }))
            return false;
        return !ruleBetween(bgr, between);
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t j = right[i];
        if (j == none || left[j] != none || !joinable(i, j)) continue;
        // Each line joins one on either side: the nearest on its left must be this one too.
        bool nearestOnLeft = true;
        for (size_t k = 0; k < entries.size() && nearestOnLeft; ++k)
            nearestOnLeft = k == i || right[k] != j || entries[k].line.box.maxX() <= entries[i].line.box.maxX();
        if (nearestOnLeft) left[j] = i;
    }

    std::vector<PixelLine> lines;
    std::vector<bool> taken(entries.size(), false);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (taken[i]) continue;
        // The chain this line belongs to, from its leftmost part; it stands where its first part
        // stood in the order.
        size_t head = i;
        while (left[head] != none) head = left[head];
        PixelLine line = entries[head].line;
        taken[head] = true;
        for (size_t k = head; right[k] != none && left[right[k]] == k;) {
            k = right[k];
            line = joined(line, entries[k].line);
            taken[k] = true;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace DetectionKit::BaselineJoin
