#include "DetectionKit/ScreenTextRegions.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <future>
#include <map>
#include <tuple>

namespace DetectionKit::ScreenTextRegions {

namespace {

// Edge strength (per-channel morphological gradient) that counts as a glyph's outline. Low enough
// for grey-on-grey secondary text, high enough to ignore gradients and photo noise in flat areas.
constexpr int kEdgeThreshold = 40;
// A large glyph's edges are nearly all this strong; a picture's fade in and out.
constexpr int kStrongEdge = 2 * kEdgeThreshold;
constexpr double kLargeGlyphStrongShare = 0.7;
// A large glyph's box is nearly all its two colours and their blends; a picture's is not.
constexpr double kBlendDistance = 24;
constexpr double kTwoColouredShare = 0.9;
// A line of text on a plain ground: the ground, the glyphs' ink, and a link's colour or a
// highlight band.
constexpr int kPlainGroundColours = 3;
// Components taller than this may be pictures with text drawn on them.
constexpr int kPictureHeight = 40;
// A line of text on a picture: several times wider than tall.
constexpr double kLineAspect = 4;
// Strokes of glyphs up to a bold heading's are narrower than this. Glyphs on a picture stand out
// this much: the thin parts of the picture seen through a card are dimmed by it.
constexpr int kStrokeKernel = 7;
constexpr int kStrokeThreshold = 60;
// On a picture, nothing taller than a heading is taken for text.
constexpr int kTallestLineOnPictures = 64;
// Gaps up to this many pixels between glyph edges join them into one word.
constexpr int kGlyphGap = 4;
// Lines are never taller than this; anything taller is a picture, not text.
constexpr int kMaxLineHeight = 400;
// Above this height a component must be drawn in outlines, as large glyphs are, to count as text:
// photographs and pictures are dense with edges.
constexpr int kTallLine = 100;
constexpr double kMaxTallEdgeDensity = 0.22;
constexpr int kMinLineHeight = 5;
// Words join into a line while the gap between them stays below this many line heights.
constexpr double kWordGapInHeights = 1.2;
// A line beside a word as tall as two lines (a name beside an avatar) is text, not a mark: this
// many times wider than tall, and this share of the word's height or more (a 10 px name beside a
// 32 px avatar; not a colon's dots or a quote).
constexpr double kLineBesideAspect = 1.5;
constexpr double kLineBesideShare = 0.25;
// Words of one line are of comparable height (a lowercase word beside one with ascenders and
// descenders is about half as tall). A photograph, a camera tile, an avatar or a frame beside text is
// several times taller than its words: joined to them it would take in the lines above and below,
// and the cards along a row, into one region read as a single line.
constexpr double kMaxHeightRatioInLine = 2.5;
// A frame (the outline of a toast, a card or a panel) has its edges along its sides and none a few
// pixels inside them.
constexpr int kFrameSideDepth = 5;
constexpr int kMinFrameSide = 20;
constexpr double kMaxEdgeShareInsideFrame = 0.05;
// Scale small text up to about this glyph height, the size the recognition model reads best, and
// large text down to about kLargeTextHeight (reading it at full size costs time and reads no better).
constexpr double kTargetTextHeight = 26;
constexpr double kLargeTextHeight = 40;
constexpr double kMaxScale = 4;
// Text under kTinyTextHeight (9-11 px) is scaled up further: at the usual size the engine still
// takes the small loops of an "8" for a "3" or a "6", a "5" for a "$", and the dotted zero of a
// 9 pt terminal's row of digits for an at sign.
constexpr double kTinyTextHeight = 12;
constexpr double kTinyTargetTextHeight = 36;
// Ink that is only partly there (anti-aliased edges of thin strokes) is darkened, so that strokes
// keep their shapes once scaled up; text under kSmallTextHeight, whose strokes are thinner than a
// pixel, more so ("@" and "0" in 10-11 px monospaced text). From kSolidStrokeTextHeight up every
// stroke has pixels of full ink and is barely scaled: darkening would only fatten the glyphs and
// narrow the blanks beside a narrow "1", where the engine then breaks the word.
constexpr double kInkGamma = 2;
constexpr double kSmallTextInkGamma = 3;
// The lighter darkening of a second reading.
constexpr double kLightInkGamma = 1.5;
constexpr int kSmallTextHeight = 14;
constexpr int kSolidStrokeTextHeight = 20;
constexpr int kCropMargin = 2;
// A pixel this far from its background (0-255) is marked as ink when lines and glyphs are traced.
constexpr uchar kMarked = 24;
constexpr int kPreparedMargin = 10;

// How strongly each pixel stands out from its neighbours: the largest per-channel morphological
// gradient.
cv::Mat edgeStrength(const cv::Mat& bgr) {
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat gradient;
    cv::morphologyEx(bgr, gradient, cv::MORPH_GRADIENT, kernel);
    std::vector<cv::Mat> channels;
    cv::split(gradient, channels);
    cv::Mat strongest = channels[0];
    for (size_t i = 1; i < channels.size(); ++i) strongest = cv::max(strongest, channels[i]);
    return strongest;
}

// How strongly each pixel belongs to a thin line, lighter (`light`) or darker than both its sides,
// narrower than `kernel`: the strokes of glyphs. The wide shapes of a picture, and the steps
// between them, have none.
cv::Mat strokeStrength(const cv::Mat& bgr, int kernel, bool light) {
    cv::Mat hat;
    cv::morphologyEx(bgr, hat, light ? cv::MORPH_TOPHAT : cv::MORPH_BLACKHAT,
                     cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kernel, kernel)));
    std::vector<cv::Mat> channels;
    cv::split(hat, channels);
    cv::Mat strongest = channels[0];
    for (size_t c = 1; c < channels.size(); ++c) strongest = cv::max(strongest, channels[c]);
    return strongest;
}

// Strokes of either kind.
cv::Mat strokeStrength(const cv::Mat& bgr, int kernel) {
    return cv::max(strokeStrength(bgr, kernel, true), strokeStrength(bgr, kernel, false));
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

int colourKey(const cv::Vec3b& c) { return (c[0] >> 3) << 10 | (c[1] >> 3) << 5 | (c[2] >> 3); }

// The colour of the ground glyphs are drawn on: the most common one in `area`.
cv::Vec3d groundOf(const cv::Mat& area) {
    std::vector<int> keys;
    keys.reserve(area.total());
    for (int y = 0; y < area.rows; ++y)
        for (int x = 0; x < area.cols; ++x) keys.push_back(colourKey(area.at<cv::Vec3b>(y, x)));
    if (keys.empty()) return {};
    std::sort(keys.begin(), keys.end());
    int groundKey = keys[0];
    size_t most = 0;
    for (size_t run = 0, i = 0; i < keys.size(); i += run) {
        run = size_t(std::upper_bound(keys.begin() + long(i), keys.end(), keys[i]) - keys.begin()) - i;
        if (run > most) {
            most = run;
            groundKey = keys[i];
        }
    }
    cv::Vec3d sum(0, 0, 0);
    for (int y = 0; y < area.rows; ++y)
        for (int x = 0; x < area.cols; ++x)
            if (colourKey(area.at<cv::Vec3b>(y, x)) == groundKey) sum += cv::Vec3d(area.at<cv::Vec3b>(y, x));
    return sum / double(most);
}

// A rule is one colour along its length; a run along a row of small glyphs (their tops, or their
// baseline) passes over ink and gaps in turn. Each row of a run is judged on its own, so that a
// frame drawn a pixel or two around a line of text (a selected cell) is told from the glyphs it
// touches; the rows that change colour are given back. The row just under a baseline is one
// colour too, but it is the ground's: a run whose one-coloured rows are all the ground's holds no
// rule, only the edges of glyphs, and is given back whole.
void keepOnlyUniformRuns(cv::Mat& runs, const cv::Mat& bgr, const cv::Mat& grey) {
    constexpr double kMaxRowDeviation = 18;
    constexpr int kGroundRows = 2; // rows beyond the run that show the ground beside it
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(runs, labels, stats, centroids, 8, CV_32S);
    for (int i = 1; i < count; ++i) {
        const cv::Rect r(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                         stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        const cv::Rect around = (r + cv::Size(0, 2 * kGroundRows) - cv::Point(0, kGroundRows)) & cv::Rect(0, 0, grey.cols, grey.rows);
        const cv::Vec3d ground = groundOf(bgr(around));
        bool unlikeGround = false;
        for (int y = r.y; y < r.y + r.height; ++y) {
            const cv::Mat rowMask = (labels.row(y).colRange(r.x, r.x + r.width) == i);
            if (cv::countNonZero(rowMask) < 2) continue;
            cv::Scalar mean, deviation;
            cv::meanStdDev(grey.row(y).colRange(r.x, r.x + r.width), mean, deviation, rowMask);
            if (deviation[0] > kMaxRowDeviation)
                runs.row(y).colRange(r.x, r.x + r.width).setTo(0, rowMask);
            else {
                const cv::Scalar colour = cv::mean(bgr.row(y).colRange(r.x, r.x + r.width), rowMask);
                for (int c = 0; c < 3; ++c) unlikeGround = unlikeGround || std::abs(colour[c] - ground[c]) > kMarked;
            }
        }
        if (!unlikeGround) runs(r).setTo(0, labels(r) == i);
    }
}

void removeRules(cv::Mat& edges, const cv::Mat& bgr, const cv::Mat& grey) {
    const int run = 60;
    // Vertical runs this long are box sides; the stems of large glyphs are shorter.
    const int verticalRun = 160;
    const int depth = 5;
    // The two directions are found side by side: the engines wait for the regions.
    std::future<cv::Mat> vertical = std::async(std::launch::async, [&edges] {
        return thinRuns(edges, {1, verticalRun}, {depth, verticalRun}, {2 * depth + 1, 1});
    });
    cv::Mat horizontal;
    cv::morphologyEx(edges, horizontal, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_RECT, {run, 1}));
    keepOnlyUniformRuns(horizontal, bgr, grey);
    edges.setTo(0, horizontal | vertical.get());
}

// A filled shape about as tall as text, of one colour inside and unlike what is around it: an icon,
// a bullet or a painted-over area. It carries no text, and joined to a line it would be read as a
// letter glued to the first word.
bool isSolidShape(const cv::Rect& r, const cv::Mat& edges, const cv::Mat& bgr) {
    if (r.width < 8 || r.height < 8 || r.height > 64) return false;
    const double aspect = double(r.width) / r.height;
    if (aspect < 0.7 || aspect > 1.45) return false;
    const cv::Rect inner(r.x + r.width / 4, r.y + r.height / 4, r.width - r.width / 2, r.height - r.height / 2);
    if (inner.width < 2 || inner.height < 2 || cv::countNonZero(edges(inner)) > 0) return false;
    const cv::Rect around = (r + cv::Size(4, 4) - cv::Point(2, 2)) & cv::Rect(0, 0, bgr.cols, bgr.rows);
    cv::Mat ring(around.size(), CV_8UC1, cv::Scalar(255));
    ring(cv::Rect(r.x - around.x, r.y - around.y, r.width, r.height)).setTo(0);
    const cv::Scalar inside = cv::mean(bgr(inner));
    const cv::Scalar outside = cv::mean(bgr(around), ring);
    for (int c = 0; c < 3; ++c)
        if (std::abs(inside[c] - outside[c]) > 40) return true;
    return false;
}

bool sameLine(const cv::Rect& a, const cv::Rect& b) {
    const int overlap = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    return overlap > 0 && overlap >= int(0.5 * std::min(a.height, b.height));
}

// Whether the component `label` (of `labels`, bounds `r`) is an outline with nothing of its own
// inside: its edges all lie along its sides.
bool isHollow(const cv::Rect& r, const cv::Mat& labels, int label) {
    if (r.width < kMinFrameSide || r.height < kMinFrameSide) return false;
    const cv::Rect inner(r.x + kFrameSideDepth, r.y + kFrameSideDepth, r.width - 2 * kFrameSideDepth,
                         r.height - 2 * kFrameSideDepth);
    const int all = cv::countNonZero(labels(r) == label);
    const int inside = cv::countNonZero(labels(inner) == label);
    return inside <= kMaxEdgeShareInsideFrame * all;
}

struct Word {
    cv::Rect rect;
    bool hollow = false;
    bool onPicture = false;
};

struct Line {
    cv::Rect rect;
    std::vector<cv::Rect> words;
    bool merged = false;
    bool hollow = false; // one hollow word alone: an outline, or a frame around other lines
    bool onPicture = false;
};

// For each word, whether it stands beside two lines set one above the other, reaching over both:
// an avatar or an icon beside a name over a comment. Joined to either line it would take the other
// in too (its box holds the other's glyphs), and the two would be read as one; it joins neither,
// and nor does what lies inside it (the initials on a disc). A line beside it lies outside it and
// is text, not a mark; two words one above the other beside it are no two lines where another word
// beside them reaches over both as well: the bars of an "=" or a colon's dots and the word after
// them, the counters of a large "8" and the glyph around them. A frame around lines does not count,
// nor do the strokes read on a picture, whose own shapes are no lines.
std::vector<bool> besideTwoLines(const std::vector<Word>& words) {
    std::vector<size_t> byTop(words.size());
    for (size_t i = 0; i < words.size(); ++i) byTop[i] = i;
    std::sort(byTop.begin(), byTop.end(), [&](size_t a, size_t b) { return words[a].rect.y < words[b].rect.y; });
    std::vector<int> tops;
    for (size_t i : byTop) tops.push_back(words[i].rect.y);
    auto inside = [](const cv::Rect& inner, const cv::Rect& outer) { return (inner & outer) == inner; };
    auto gapBetween = [](const cv::Rect& a, const cv::Rect& b) {
        return std::max(a.x, b.x) - std::min(a.x + a.width, b.x + b.width);
    };
    std::vector<bool> apart(words.size(), false);
    std::vector<size_t> near, beside;
    for (size_t i = 0; i < words.size(); ++i) {
        const cv::Rect& w = words[i].rect;
        if (w.height < 2 * kMinLineHeight || words[i].onPicture) continue;
        // Words that start less than its height above it or within it: the lines beside it, and
        // what else reaches over them.
        near.clear();
        for (size_t k = size_t(std::lower_bound(tops.begin(), tops.end(), w.y - w.height) - tops.begin());
             k < byTop.size() && tops[k] < w.y + w.height; ++k)
            if (byTop[k] != i && !words[byTop[k]].onPicture && !inside(words[byTop[k]].rect, w))
                near.push_back(byTop[k]);
        beside.clear();
        for (size_t k : near) {
            const cv::Rect& other = words[k].rect;
            const bool isText = other.height >= std::max<double>(kMinLineHeight, kLineBesideShare * w.height) &&
                                other.width >= kLineBesideAspect * other.height;
            if (isText && other.height <= w.height && gapBetween(w, other) <= kWordGapInHeights * w.height &&
                sameLine(w, other))
                beside.push_back(k);
        }
        auto reachedOverByAnother = [&](const cv::Rect& upper, const cv::Rect& lower) {
            return std::any_of(near.begin(), near.end(), [&](size_t r) {
                const cv::Rect& over = words[r].rect;
                return !words[r].hollow && over != upper && over != lower && sameLine(over, upper) &&
                       sameLine(over, lower) &&
                       std::min(gapBetween(over, upper), gapBetween(over, lower)) <= kWordGapInHeights * over.height;
            });
        };
        for (size_t a = 0; a < beside.size() && !apart[i]; ++a)
            for (size_t b = a + 1; b < beside.size() && !apart[i]; ++b) {
                const cv::Rect& one = words[beside[a]].rect;
                const cv::Rect& two = words[beside[b]].rect;
                apart[i] = !sameLine(one, two) && !reachedOverByAnother(one, two);
            }
    }
    std::vector<bool> inApart = apart;
    for (size_t i = 0; i < words.size(); ++i) {
        if (!apart[i]) continue;
        const cv::Rect& w = words[i].rect;
        for (size_t k = size_t(std::lower_bound(tops.begin(), tops.end(), w.y) - tops.begin());
             k < byTop.size() && tops[k] < w.y + w.height; ++k)
            if (byTop[k] != i && inside(words[byTop[k]].rect, w)) inApart[byTop[k]] = true;
    }
    return inApart;
}

// Joins words that sit on one line with small gaps between them, left to right.
std::vector<Line> joinIntoLines(std::vector<Word> words) {
    std::sort(words.begin(), words.end(), [](const Word& a, const Word& b) { return a.rect.x < b.rect.x; });
    const std::vector<bool> apart = besideTwoLines(words);
    std::vector<Line> lines;
    for (const Word& w : words) lines.push_back({w.rect, {w.rect}, false, w.hollow, w.onPicture});
    bool changed = true;
    while (changed) {
        changed = false;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].merged || apart[i]) continue;
            for (size_t j = i + 1; j < lines.size(); ++j) {
                if (lines[j].merged || apart[j]) continue;
                cv::Rect& a = lines[i].rect;
                const cv::Rect& b = lines[j].rect;
                const int gap = b.x - (a.x + a.width);
                const int height = std::max(a.height, b.height);
                if (gap > kWordGapInHeights * height) continue;
                if (height > kMaxHeightRatioInLine * std::min(a.height, b.height)) continue;
                if (!sameLine(a, b)) continue;
                if ((a | b).height > kMaxLineHeight) continue;
                a = a | b;
                lines[i].hollow = false;
                lines[i].onPicture = lines[i].onPicture || lines[j].onPicture;
                lines[i].words.insert(lines[i].words.end(), lines[j].words.begin(), lines[j].words.end());
                lines[j].merged = true;
                changed = true;
            }
        }
    }
    std::erase_if(lines, [](const Line& l) { return l.merged; });
    return lines;
}

// The height of most of the line's text, weighting words by width: an avatar or an icon beside a
// long word does not set the size the word is read at.
int textHeightOf(const Line& line) {
    std::vector<cv::Rect> words = line.words;
    std::sort(words.begin(), words.end(), [](const cv::Rect& a, const cv::Rect& b) { return a.height < b.height; });
    long total = 0;
    for (const cv::Rect& w : words) total += w.width;
    long seen = 0;
    for (const cv::Rect& w : words) {
        seen += w.width;
        if (2 * seen >= total) return w.height;
    }
    return line.rect.height;
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

// The crop's surroundings: every pixel reachable from its border through small colour steps.
// Text never touches the border (the crop has a margin), so this is the background around the
// line, however it shades. Each area reached from another part of the border, with a step too
// large between it and the others (a highlighted band across the line, the page above and below
// it), is numbered apart: 1, 2, ... up to 255; 0 is what the border does not reach.
cv::Mat reachableFromBorder(const cv::Mat& crop) {
    cv::Mat mask(crop.rows + 2, crop.cols + 2, CV_8UC1, cv::Scalar(0));
    const cv::Scalar step(10, 10, 10);
    int area = 0;
    auto seed = [&](int x, int y) {
        if (mask.at<uchar>(y + 1, x + 1)) return;
        area = std::min(area + 1, 255);
        const int flags = 4 | cv::FLOODFILL_MASK_ONLY | (area << 8);
        cv::floodFill(crop, mask, cv::Point(x, y), cv::Scalar(), nullptr, step, step, flags);
    };
    for (int x = 0; x < crop.cols; ++x) {
        seed(x, 0);
        seed(x, crop.rows - 1);
    }
    for (int y = 0; y < crop.rows; ++y) {
        seed(0, y);
        seed(crop.cols - 1, y);
    }
    return mask(cv::Rect(1, 1, crop.cols, crop.rows)).clone();
}

constexpr double kMinFillShare = 0.35;

// A fill that shades from one colour to another (a chat bubble's gradient): each channel fitted
// as a plane over the fill's pixels, the glyphs on it left out of the fit by a second pass. The
// fitted colours are written into `background` where `inFill` is set; false when the area is no
// such fill: not solid over its bounds `r` (a link's underline and the glyphs that touch it), or
// too few of its pixels on the plane.
bool fitGradient(const cv::Mat& crop, const cv::Mat& inFill, const cv::Rect& r, cv::Mat& background) {
    constexpr double kOnPlane = 10;
    constexpr double kSolid = 0.6;
    std::vector<cv::Point> points;
    cv::findNonZero(inFill, points);
    if (points.size() < 16 || double(points.size()) < kSolid * r.area()) return false;
    std::vector<bool> use(points.size(), true);
    std::array<cv::Vec3d, 3> planes{}; // per channel: a + b x + c y
    for (int pass = 0; pass < 2; ++pass) {
        cv::Matx33d normal = cv::Matx33d::zeros();
        std::array<cv::Vec3d, 3> right{};
        size_t used = 0;
        for (size_t k = 0; k < points.size(); ++k) {
            if (!use[k]) continue;
            const cv::Vec3d basis(1, points[k].x, points[k].y);
            normal += basis * basis.t();
            const cv::Vec3b& c = crop.at<cv::Vec3b>(points[k]);
            for (int ch = 0; ch < 3; ++ch) right[size_t(ch)] += double(c[ch]) * basis;
            ++used;
        }
        if (used < 16 || std::abs(cv::determinant(normal)) < 1e-6) return false;
        const cv::Matx33d inverse = normal.inv();
        for (size_t ch = 0; ch < 3; ++ch) planes[ch] = inverse * right[ch];
        size_t onPlane = 0;
        for (size_t k = 0; k < points.size(); ++k) {
            const cv::Vec3b& c = crop.at<cv::Vec3b>(points[k]);
            double worst = 0;
            for (size_t ch = 0; ch < 3; ++ch)
                worst = std::max(worst, std::abs(double(c[int(ch)]) - planes[ch].dot(cv::Vec3d(1, points[k].x, points[k].y))));
            use[k] = worst <= (pass == 0 ? 4 * kOnPlane : kOnPlane);
            onPlane += use[k];
        }
        if (pass == 1 && onPlane < kMinFillShare * r.area()) return false;
    }
    for (const cv::Point& p : points) {
        cv::Vec3b& b = background.at<cv::Vec3b>(p);
        for (size_t ch = 0; ch < 3; ++ch) b[int(ch)] = cv::saturate_cast<uchar>(planes[ch].dot(cv::Vec3d(1, p.x, p.y)));
    }
    return true;
}

// Fills inside the line: a find-in-page highlight, a tag, a chip, a button. Each is a connected
// area the surroundings do not reach, wider than a glyph, most of it one colour or shading evenly
// from one colour to another (not on a picture, whose shades are no gradient). Its pixels get that
// colour, or the gradient's own colour at each pixel, as their background in `background`;
// `isFill` marks them.
void findFills(const cv::Mat& crop, const cv::Mat& surroundings, int textHeight, bool onPicture, cv::Mat& background,
               cv::Mat& isFill) {
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(~surroundings, labels, stats, centroids, 8, CV_32S);
    std::vector<int> histogram(1 << 15);
    for (int i = 1; i < count; ++i) {
        const cv::Rect r(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                         stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        if (r.width < 1.5 * textHeight) continue;
        std::fill(histogram.begin(), histogram.end(), 0);
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                if (labels.at<int>(y, x) == i) ++histogram[size_t(colourKey(crop.at<cv::Vec3b>(y, x)))];
        const auto peak = std::max_element(histogram.begin(), histogram.end());
        if (*peak < kMinFillShare * r.area()) {
            const cv::Mat inThisFill = labels == i;
            if (!onPicture && fitGradient(crop, inThisFill, r, background)) isFill.setTo(255, inThisFill);
            continue;
        }
        const int key = int(peak - histogram.begin());
        cv::Vec3d sum(0, 0, 0);
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                if (labels.at<int>(y, x) == i && colourKey(crop.at<cv::Vec3b>(y, x)) == key) sum += cv::Vec3d(crop.at<cv::Vec3b>(y, x));
        const cv::Vec3b fill(cv::saturate_cast<uchar>(sum[0] / *peak), cv::saturate_cast<uchar>(sum[1] / *peak),
                             cv::saturate_cast<uchar>(sum[2] / *peak));
        const cv::Mat inThisFill = labels == i;
        background.setTo(cv::Scalar(fill[0], fill[1], fill[2]), inThisFill);
        isFill.setTo(255, inThisFill);
    }
}

// How far each pixel of the crop is from its background, 0-255. The background around the line is
// the most common value in a band of columns around each column, counted over the surroundings
// only: a line that runs across panels of different shades is read against each one's own. Inside
// a fill, the background is the fill's colour.
cv::Mat inkDistance(const cv::Mat& crop, int textHeight, bool onPicture) {
    const cv::Mat areas = reachableFromBorder(crop);
    const cv::Mat surroundings = areas > 0;
    cv::Mat fillBackground(crop.size(), CV_8UC3, cv::Scalar(0, 0, 0));
    cv::Mat isFill(crop.size(), CV_8UC1, cv::Scalar(0));
    findFills(crop, surroundings, textHeight, onPicture, fillBackground, isFill);

    std::vector<cv::Mat> channels, fills;
    cv::split(crop, channels);
    cv::split(fillBackground, fills);
    const cv::Mat notSurroundings = ~surroundings;
    cv::Mat distance(crop.size(), CV_8UC1, cv::Scalar(0));
    const int band = std::max(8, textHeight);
    // Where the surroundings are a few areas of different shades (a highlighted band and the page
    // above and below it), each is its own background: the page's rows beside the band are no ink.
    // The glyphs take the shade most of the surroundings near them have. A picture seen around the
    // glyphs breaks into many such areas, and is read by its strokes instead.
    constexpr size_t kMostShadedAreas = 4;
    std::array<int, 256> areaSizes{}, leftmost{}, rightmost{};
    leftmost.fill(crop.cols);
    rightmost.fill(-1);
    for (int y = 0; y < areas.rows; ++y) {
        const uchar* row = areas.ptr<uchar>(y);
        for (int x = 0; x < areas.cols; ++x) {
            ++areaSizes[row[x]];
            leftmost[row[x]] = std::min(leftmost[row[x]], x);
            rightmost[row[x]] = std::max(rightmost[row[x]], x);
        }
    }
    // Such areas run across the whole crop, as the band and the page do; a glyph cut by the image's
    // edge, which the crop's border meets too, does not.
    std::vector<int> ownShades;
    for (size_t a = 1; a < 256; ++a)
        if (areaSizes[a] >= crop.cols / 2 && leftmost[a] == 0 && rightmost[a] == crop.cols - 1) ownShades.push_back(int(a));
    if (onPicture || ownShades.size() < 2 || ownShades.size() > kMostShadedAreas) ownShades.clear();
    for (size_t c = 0; c < channels.size(); ++c) {
        cv::Mat background = columnBandMode(channels[c], notSurroundings, 0, crop.rows, band);
        for (int a : ownShades) {
            const cv::Mat inArea = areas == a;
            columnBandMode(channels[c], ~inArea, 0, crop.rows, band).copyTo(background, inArea);
        }
        fills[c].copyTo(background, isFill);
        cv::Mat difference;
        cv::absdiff(channels[c], background, difference);
        distance = cv::max(distance, difference);
    }
    // A fill's outermost pixels blend into the surroundings (its rounded ends, a fractional edge):
    // they are its outline, not ink.
    cv::Mat outline;
    cv::dilate(surroundings, outline, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
    distance.setTo(0, outline & isFill);
    cv::normalize(distance, distance, 0, 255, cv::NORM_MINMAX);
    return distance;
}

// The height of the band of rows that holds the ink (dark on white), measured like a line's edges
// (a pixel beyond the ink on either side): a tag's or a chip's outline, which the edges of the
// line include, is background here.
int inkHeight(const cv::Mat& ink) {
    cv::Mat rows;
    cv::reduce(ink < 128, rows, 1, cv::REDUCE_SUM, CV_32S);
    int densest = 0;
    for (int y = 0; y < rows.rows; ++y) densest = std::max(densest, rows.at<int>(y) / 255);
    if (densest == 0) return ink.rows;
    int top = -1, bottom = -1;
    for (int y = 0; y < rows.rows; ++y)
        if (rows.at<int>(y) / 255 > densest / 10) {
            if (top < 0) top = y;
            bottom = y;
        }
    return bottom - top + 1 + 2;
}

// Lines that cross the whole crop, edge to edge: a grid line or a cell's frame beside the text, a
// selection's outline around it. Glyphs never reach both ends of the crop, which has a margin; the
// engine would read such a line as a "|" or a "[" glued to the first word.
void clearEdgeToEdgeLines(cv::Mat& distance) {
    const cv::Mat marked = distance >= kMarked;
    cv::Mat columns, rows;
    cv::reduce(marked, columns, 0, cv::REDUCE_MIN);
    cv::reduce(marked, rows, 1, cv::REDUCE_MIN);
    for (int x = 0; x < distance.cols; ++x)
        if (columns.at<uchar>(0, x)) distance.col(x).setTo(0);
    for (int y = 0; y < distance.rows; ++y)
        if (rows.at<uchar>(y, 0)) distance.row(y).setTo(0);
}

// Ink that reaches into the crop from the lines above and below it: a descender that hangs in
// from the line above (it meets the crop's top row and ends above the middle of the line), an
// ascender or a cap that rises in from the line below. Read with the line, it closes the blanks
// between its words and takes the boxes up and down. `middle` is the line's middle row in the
// crop; a side of the crop cut short by the image's edge is left alone.
void clearNeighbouringLines(cv::Mat& distance, int middle, bool topIsMargin, bool bottomIsMargin) {
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(distance >= kMarked, labels, stats, centroids, 8, CV_32S);
    for (int i = 1; i < count; ++i) {
        const int top = stats.at<int>(i, cv::CC_STAT_TOP);
        const int bottom = top + stats.at<int>(i, cv::CC_STAT_HEIGHT) - 1;
        const bool fromAbove = topIsMargin && top == 0 && bottom < middle;
        const bool fromBelow = bottomIsMargin && bottom == distance.rows - 1 && top > middle;
        if (!fromAbove && !fromBelow) continue;
        const cv::Rect r(stats.at<int>(i, cv::CC_STAT_LEFT), top, stats.at<int>(i, cv::CC_STAT_WIDTH),
                         stats.at<int>(i, cv::CC_STAT_HEIGHT));
        distance(r).setTo(0, labels(r) == i);
    }
}

// Partly inked pixels made darker (white stays white, full ink stays full).
void darkenPartialInk(cv::Mat& ink, double gamma) {
    cv::Mat table(1, 256, CV_8UC1);
    for (int v = 0; v < 256; ++v) table.at<uchar>(0, v) = cv::saturate_cast<uchar>(255.0 * std::pow(v / 255.0, gamma));
    cv::LUT(ink, table, ink);
}

// The distance of `p` from the segment between two colours: 0 for either and every blend of them.
double offBlend(const cv::Vec3d& p, const cv::Vec3d& a, const cv::Vec3d& b) {
    const cv::Vec3d along = b - a, q = p - a;
    const double length = cv::norm(along);
    const double t = length > 0 ? std::clamp(q.dot(along) / (length * length), 0.0, 1.0) : 0.0;
    return cv::norm(q - t * along);
}

// Whether nearly all of `area` is made of at most `colours` flat colours and the blends between
// any two of them. The colours are taken greedily: the most common one first, then each time the
// most common among the pixels the colours so far leave unexplained. Two colours are glyphs on a
// plain ground; a third or a fourth is a coloured link and its underline, or a highlight band on
// the page. A picture has more shades than that.
bool isFewColoured(const cv::Mat& area, int colours) {
    auto colour = [](int key) { return cv::Vec3d((key >> 10) * 8 + 4, ((key >> 5) & 31) * 8 + 4, (key & 31) * 8 + 4); };
    cv::Mat explained(area.size(), CV_8UC1, cv::Scalar(0));
    std::vector<cv::Vec3d> chosen;
    std::vector<int> counts(1 << 15, 0);
    long near = 0;
    for (int round = 0; round < colours; ++round) {
        std::fill(counts.begin(), counts.end(), 0);
        for (int y = 0; y < area.rows; ++y)
            for (int x = 0; x < area.cols; ++x)
                if (!explained.at<uchar>(y, x)) ++counts[size_t(colourKey(area.at<cv::Vec3b>(y, x)))];
        const auto next = std::max_element(counts.begin(), counts.end());
        if (*next == 0) break;
        if (round == 0) {
            // The first colour only counts with a second one (a plain area is its own blend).
            chosen.push_back(colour(int(next - counts.begin())));
            *next = -*next;
            const auto second = std::max_element(counts.begin(), counts.end());
            if (*second <= 0) return true;
            chosen.push_back(colour(int(second - counts.begin())));
            ++round;
        } else {
            chosen.push_back(colour(int(next - counts.begin())));
        }
        // The pixels the newest colour explains, blended with any colour taken before it.
        const size_t newest = chosen.size() - 1;
        for (int y = 0; y < area.rows; ++y)
            for (int x = 0; x < area.cols; ++x) {
                uchar& done = explained.at<uchar>(y, x);
                if (done) continue;
                const cv::Vec3d p(area.at<cv::Vec3b>(y, x));
                for (size_t k = 0; k < newest && !done; ++k) done = offBlend(p, chosen[k], chosen[newest]) <= kBlendDistance;
                near += done;
            }
    }
    return near >= kTwoColouredShare * double(area.total());
}

bool isTwoColoured(const cv::Mat& area) { return isFewColoured(area, 2); }

// How far each pixel of `area` is from `ground`: its largest difference in a channel.
cv::Mat distanceFrom(const cv::Mat& area, const cv::Vec3d& ground) {
    cv::Mat difference;
    cv::absdiff(area, cv::Scalar(ground[0], ground[1], ground[2]), difference);
    std::vector<cv::Mat> channels;
    cv::split(difference, channels);
    return cv::max(cv::max(channels[0], channels[1]), channels[2]);
}

// For each row of `area` (glyphs on a plain ground), how many pixels of `mask` are ink. The edges
// of glyphs reach a pixel beyond their ink, so two lines whose edges touch may still have a row of
// no ink between them.
std::vector<int> inkRows(const cv::Mat& area, const cv::Mat& mask) {
    const cv::Mat marked = inkOnGround(area, kMarked) & mask;
    std::vector<int> rows(size_t(area.rows));
    for (int y = 0; y < area.rows; ++y) rows[size_t(y)] = cv::countNonZero(marked.row(y));
    return rows;
}

// Whether nearly all of `area` is its ground, one ink and the blends between them. Small glyphs
// are mostly the partial ink of their edges, in many shades more common than the full ink;
// the full ink is the colour farthest from the ground.
bool isInkOnGround(const cv::Mat& area) {
    constexpr double kFullInk = 0.9; // of the largest distance from the ground
    const cv::Vec3d ground = groundOf(area);
    const cv::Mat distance = distanceFrom(area, ground);
    double farthest = 0;
    cv::minMaxLoc(distance, nullptr, &farthest);
    if (farthest < kMarked) return true;
    const cv::Scalar inkMean = cv::mean(area, distance >= kFullInk * farthest);
    const cv::Vec3d ink(inkMean[0], inkMean[1], inkMean[2]);
    long near = 0;
    for (int y = 0; y < area.rows; ++y)
        for (int x = 0; x < area.cols; ++x) near += offBlend(cv::Vec3d(area.at<cv::Vec3b>(y, x)), ground, ink) <= kBlendDistance;
    return near >= kTwoColouredShare * double(area.total());
}

// Lines set close together touch where a descender meets an ascender of the line below (or a
// link's underline, a highlight's rim meets both): their edges make one component, two or more
// lines tall, read as one line of noise. Such a component has, between two bands of rows dense
// with edges, a valley of rows where only those few strokes pass; it is cut along the row of
// each valley where the least ink passes. A single line has no such valley: only its ascenders
// rise above its densest rows and only its descenders hang below. Large glyphs (a line taller than kTallLine),
// whose outlines leave rows with few edges, are never cut, nor is a component whose lines are not
// all glyphs on a plain ground (`bgr`): a picture seen behind them is read for its strokes.
// Returns whether anything was cut.
bool cutTouchingLines(cv::Mat& joined, const cv::Mat& bgr) {
    constexpr int kLeastTwoLines = 2 * 8;
    constexpr double kValley = 0.2;  // a valley row's edges or ink, as a share of the sparser line's densest row
    constexpr double kDense = 0.5;   // the bands on either side, as a share of the densest row
    constexpr double kSideShare = 0.7;
    constexpr double kApartShare = 0.5; // rows just inside a side that hold edges, at most
    constexpr long kLeastLineRows = 4;
    constexpr double kSameDepth = 0.75; // a sparse side's dense rows, as a share of the other side's
    constexpr double kPieceValley = 0.5; // a valley row's edges, as a share of a sparse side's densest row
    cv::Mat labels, stats, centroids;
    const int count = cv::connectedComponentsWithStats(joined, labels, stats, centroids, 8, CV_32S);
    bool cut = false;
    std::vector<int> rows;
    for (int i = 1; i < count; ++i) {
        const cv::Rect r(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                         stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        if (r.height < kLeastTwoLines || r.height > kTallLine || r.width < 2 * r.height) continue;
        rows.assign(size_t(r.height), 0);
        for (int y = 0; y < r.height; ++y) {
            const int* row = labels.ptr<int>(r.y + y) + r.x;
            for (int x = 0; x < r.width; ++x) rows[size_t(y)] += row[x] == i;
        }
        // A card or a panel (a notification over a wallpaper) has sides from top to bottom, apart
        // from what they enclose; what is inside it is not cut here. The first glyphs of lines
        // set one above the other ("(" over a "T") reach from top to bottom too, but other glyphs
        // follow them closely.
        const int depth = std::min(kFrameSideDepth, r.width);
        auto rowsReached = [&](int from) {
            if (from < r.x || from + depth > r.x + r.width) return 0;
            cv::Mat reached;
            cv::reduce(labels(cv::Rect(from, r.y, depth, r.height)) == i, reached, 1, cv::REDUCE_MAX);
            return cv::countNonZero(reached);
        };
        auto side = [&](int from, int inward) {
            return rowsReached(from) >= kSideShare * r.height && rowsReached(from + inward * depth) < kApartShare * r.height;
        };
        if (side(r.x, 1) || side(r.x + r.width - depth, -1)) continue;
        const std::vector<int> ink = inkRows(bgr(r), labels(r) == i);
        // The densest row at or below each row, in edges and in ink.
        std::vector<int> below(rows.size()), inkBelow(rows.size());
        for (size_t y = rows.size(); y-- > 0;) {
            below[y] = std::max(rows[y], y + 1 < rows.size() ? below[y + 1] : 0);
            inkBelow[y] = std::max(ink[y], y + 1 < rows.size() ? inkBelow[y + 1] : 0);
        }
        // How deep the band of dense rows nearest to `from` is, going `step` rows at a time (up or
        // down) and stopping at `end`: the line on that side of a valley, not the lines beyond it.
        // A single sparser row inside the band (the middle of a "(") does not end it.
        auto denseRows = [&](int from, int end, int step, int densest) {
            int first = -1, last = -1;
            for (int y = from; y != end; y += step) {
                if (rows[size_t(y)] >= kDense * densest) {
                    if (first < 0) first = y;
                    last = y;
                } else if (last >= 0 && std::abs(y - last) > 1) {
                    break;
                }
            }
            return first < 0 ? 0L : long(std::abs(last - first) + 1);
        };
        int valleyStart = -1;
        int lineTop = 0; // the first row below the last cut
        std::vector<int> cuts;
        for (int y = 1; y <= r.height; ++y) {
            const size_t k = size_t(y);
            // One side may hold only the piece of its line that touches the other (a descender
            // over an ascender in dense terminal rows): as sparse as that, it must still be a
            // line, as deep as the other side (below). A piece of a glyph or two is hardly wider
            // than the stroke that joins it to the other line; there the valley is the rows where
            // the piece thins to that stroke, few edges beside the dense side. Edges reach a pixel
            // beyond the glyphs, so lines a row apart touch, and a descender that meets an
            // ascender brings many edges: there the valley is where the ink thins.
            bool inValley = false;
            if (y < r.height - 1 && y > lineTop) {
                const int upperPeak = *std::max_element(rows.begin() + lineTop, rows.begin() + y);
                const int sparser = std::min(upperPeak, below[k + 1]), denser = std::max(upperPeak, below[k + 1]);
                const int peak = below[size_t(lineTop)]; // the densest row of the lines left to cut
                const int sparserInk = std::min(*std::max_element(ink.begin() + lineTop, ink.begin() + y), inkBelow[k + 1]);
                inValley = denser >= kDense * peak &&
                           (rows[k] <= kValley * sparser || ink[k] <= kValley * sparserInk ||
                            (sparser < kDense * peak && rows[k] <= kPieceValley * sparser && rows[k] <= kValley * denser));
            }
            if (inValley && valleyStart < 0) valleyStart = y;
            if (inValley || valleyStart < 0) continue;
            // Both sides are lines of glyphs, several rows deep, not the outline of a bubble or a
            // card around a line (a row or two of dense edges).
            const int upperPeak = *std::max_element(rows.begin() + lineTop, rows.begin() + valleyStart);
            const long upper = denseRows(valleyStart - 1, lineTop - 1, -1, upperPeak);
            const long lower = denseRows(y, r.height, 1, below[size_t(y)]);
            const bool sparseSide = std::min(upperPeak, below[size_t(y)]) < kDense * below[size_t(lineTop)];
            if (upper < kLeastLineRows || lower < kLeastLineRows ||
                (sparseSide && std::min(upper, lower) < kSameDepth * std::max(upper, lower))) {
                valleyStart = -1;
                continue;
            }
            // Cut where the least ink passes, and of those rows where the fewest edges do.
            int sparsest = valleyStart;
            for (int v = valleyStart; v < y; ++v)
                if (std::tie(ink[size_t(v)], rows[size_t(v)]) < std::tie(ink[size_t(sparsest)], rows[size_t(sparsest)])) sparsest = v;
            cuts.push_back(sparsest);
            lineTop = sparsest + 1;
            valleyStart = -1;
        }
        // Each line between the cuts is glyphs on a plain ground: two colours and their blends. A
        // picture behind text (a wallpaper through a notification) is read for its strokes instead.
        bool allText = !cuts.empty();
        for (size_t k = 0; allText && k <= cuts.size(); ++k) {
            const int top = k == 0 ? 0 : cuts[k - 1] + 1;
            const int bottom = k == cuts.size() ? r.height : cuts[k];
            if (bottom <= top) continue;
            const cv::Mat line = bgr(cv::Rect(r.x, r.y + top, r.width, bottom - top));
            allText = isFewColoured(line, kPlainGroundColours) || isInkOnGround(line);
        }
        if (!allText) continue;
        for (const int row : cuts)
            joined.row(r.y + row).colRange(r.x, r.x + r.width).setTo(0, labels.row(r.y + row).colRange(r.x, r.x + r.width) == i);
        cut = true;
    }
    return cut;
}

// Collects the words of the screen: components of its edges, joined across small gaps.
class WordSearch {
public:
    WordSearch(const cv::Mat& bgr, const std::vector<cv::Rect>& blanks) : bgr_(bgr), blanks_(blanks) {
        cv::cvtColor(bgr, grey_, cv::COLOR_BGR2GRAY);
        strength_ = edgeStrength(bgr);
    }

    std::vector<Word> words() {
        cv::Mat edges;
        cv::threshold(strength_, edges, kEdgeThreshold, 255, cv::THRESH_BINARY);
        search(cv::Rect(0, 0, bgr_.cols, bgr_.rows), edges, false);
        return std::move(words_);
    }

private:
    // `edges` covers `area` of the screen; `onPicture`: the area is a picture's, searched for the
    // strokes of the glyphs drawn on it.
    void search(const cv::Rect& area, cv::Mat edges, bool onPicture) {
        const cv::Mat bgr = bgr_(area);
        removeRules(edges, bgr, grey_(area));
        // Blank areas hold nothing to read, and their edges must not join the words on either side.
        for (const cv::Rect& blank : blanks_)
            edges(((blank + cv::Size(4, 4) - cv::Point(2, 2)) & area) - area.tl()).setTo(0);
        cv::Mat joined;
        cv::morphologyEx(edges, joined, cv::MORPH_CLOSE,
                         cv::getStructuringElement(cv::MORPH_RECT, cv::Size(kGlyphGap + 1, 1)));

        if (!onPicture) cutTouchingLines(joined, bgr);
        cv::Mat labels, stats, centroids;
        const int count = cv::connectedComponentsWithStats(joined, labels, stats, centroids, 8, CV_32S);
        for (int i = 1; i < count; ++i) {
            const cv::Rect r(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                             stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
            if (r.height < kMinLineHeight || r.width < 3) continue;
            const cv::Rect onScreen = r + area.tl();
            if (onPicture) {
                if (r.height > kTallestLineOnPictures) continue;
            } else if (r.height > kPictureHeight) {
                // A line of glyphs drawn on a picture (a wallpaper seen through a translucent
                // notification, a caption on a photograph) is linked to the picture's edges; its
                // strokes are not. Where they make a line, it is read, and the picture is not.
                // Large glyphs on a plain ground are two colours and the shades between them;
                // anything else this tall is a picture, read only for what is drawn on it.
                const cv::Mat component = labels(r) == i;
                if (!isTwoColoured(bgr(r))) {
                    searchPicture(onScreen, component);
                    continue;
                }
                if (r.height > kTallLine &&
                    !(uniformEdges(edges(r), strength_(onScreen), component) && isLargeGlyph(edges(r), component)))
                    continue;
            }
            if (isSolidShape(r, edges, bgr)) continue;
            words_.push_back({onScreen, isHollow(r, labels, i), onPicture});
        }
    }

    // Whether the component's edges are about equally strong all along: the same two colours meet
    // there, as along glyphs. A picture's fade in and out.
    static bool uniformEdges(const cv::Mat& edges, const cv::Mat& strength, const cv::Mat& component) {
        const int all = cv::countNonZero(edges & component);
        const int strong = cv::countNonZero((strength > kStrongEdge) & component);
        return strong >= kLargeGlyphStrongShare * all;
    }

    // Above kTallLine a component is text only when drawn in outlines, as large glyphs are: a
    // photograph is dense with edges.
    static bool isLargeGlyph(const cv::Mat& edges, const cv::Mat& component) {
        return edges.rows <= kMaxLineHeight && cv::countNonZero(edges & component) <= kMaxTallEdgeDensity * edges.total();
    }

    // The words drawn on the picture in `r` (`component` marks the picture's pixels): the strokes
    // of glyphs, where a picture's shapes are wide. Added when they make at least one line (a
    // picture's own fine detail does not).
    void searchPicture(const cv::Rect& r, const cv::Mat& component) {
        cv::Mat edges;
        cv::threshold(strokeStrength(bgr_(r), kStrokeKernel), edges, kStrokeThreshold, 255, cv::THRESH_BINARY);
        cv::Mat within;
        cv::dilate(component, within, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3)));
        std::vector<Word> found;
        std::swap(found, words_);
        search(r, edges & within, true);
        std::swap(found, words_);
        const std::vector<Line> lines = joinIntoLines(found);
        const bool anyLine = std::any_of(lines.begin(), lines.end(), [](const Line& l) {
            return l.rect.width >= kLineAspect * l.rect.height;
        });
        if (anyLine) words_.insert(words_.end(), found.begin(), found.end());
    }

    const cv::Mat& bgr_;
    const std::vector<cv::Rect>& blanks_;
    cv::Mat grey_;
    cv::Mat strength_;
    std::vector<Word> words_;
};

} // namespace

std::vector<Region> find(const cv::Mat& bgr, const std::vector<cv::Rect>& blanks) {
    std::vector<Word> words = WordSearch(bgr, blanks).words();
    const std::vector<Line> lines = joinIntoLines(std::move(words));
    std::vector<Region> regions;
    for (const Line& line : lines) {
        // Small specks (a dot, a cursor) carry no readable text.
        if (line.rect.width < 6 && line.rect.height < 10) continue;
        auto contains = [](const Line& outer, const Line& inner) {
            return &outer != &inner && (outer.rect & inner.rect) == inner.rect && outer.rect.area() > inner.rect.area();
        };
        // The inside of a large glyph (the counter of an "a") is read with the glyph; lines inside a
        // frame are read on their own, and the frame, which holds nothing else, is not read.
        const bool insideAnother = std::any_of(lines.begin(), lines.end(), [&](const Line& other) {
            return !other.hollow && contains(other, line);
        });
        if (insideAnother) continue;
        const bool isFrame = line.hollow && std::any_of(lines.begin(), lines.end(), [&](const Line& other) {
            return contains(line, other);
        });
        if (isFrame) continue;
        regions.push_back({line.rect, textHeightOf(line), line.onPicture});
    }
    // Reading order: top to bottom, then left to right.
    std::sort(regions.begin(), regions.end(), [](const Region& a, const Region& b) {
        if (a.area.y + a.area.height / 2 < b.area.y) return true;
        if (b.area.y + b.area.height / 2 < a.area.y) return false;
        return a.area.x < b.area.x;
    });
    return regions;
}

namespace {

// The part of the screen a region's prepared picture is made from.
cv::Rect cropArea(const cv::Mat& bgr, const Region& region) {
    return (region.area + cv::Size(2 * kCropMargin, 2 * kCropMargin) - cv::Point(kCropMargin, kCropMargin)) &
           cv::Rect(0, 0, bgr.cols, bgr.rows);
}

bool samePixels(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    const size_t rowBytes = size_t(a.cols) * a.elemSize();
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), rowBytes) != 0) return false;
    return true;
}

} // namespace

std::vector<int> repeats(const cv::Mat& bgr, const std::vector<Region>& regions, const std::vector<cv::Rect>& blanks) {
    std::vector<int> result(regions.size(), -1);
    std::vector<cv::Rect> crops;
    for (const Region& region : regions) crops.push_back(cropArea(bgr, region));
    // The prepared picture depends on the crop's pixels, the text height and whether it lies on a
    // picture; a blank paints into it. Crops are bucketed by size and a cheap fingerprint first.
    std::map<std::tuple<int, int, int, bool, double>, std::vector<size_t>> seen;
    for (size_t i = 0; i < regions.size(); ++i) {
        const cv::Rect& crop = crops[i];
        const bool meetsBlank = std::any_of(blanks.begin(), blanks.end(), [&](const cv::Rect& b) { return (b & crop).area() > 0; });
        if (meetsBlank || crop.area() <= 0) continue;
        const cv::Scalar sum = cv::sum(bgr(crop));
        std::vector<size_t>& same = seen[{crop.width, crop.height, regions[i].textHeight, regions[i].onPicture,
                                          sum[0] + 256.0 * sum[1] + 65536.0 * sum[2]}];
        for (size_t j : same)
            if (samePixels(bgr(crops[j]), bgr(crop))) {
                result[i] = int(j);
                break;
            }
        if (result[i] < 0) same.push_back(i);
    }
    return result;
}

cv::Point repeatOffset(const cv::Mat& bgr, const Region& original, const Region& repeat) {
    return cropArea(bgr, repeat).tl() - cropArea(bgr, original).tl();
}

cv::Mat inkOnGround(const cv::Mat& area, int distance) { return distanceFrom(area, groundOf(area)) >= distance; }

bool darkensInk(const Region& region) { return region.textHeight < kSolidStrokeTextHeight; }

Prepared prepare(const cv::Mat& bgr, const Region& region, const std::vector<cv::Rect>& blanks, Ink darkening) {
    const cv::Rect area = cropArea(bgr, region);
    const cv::Mat crop = bgr(area);

    // Ink is whatever differs from its background, in any channel: this reads light-on-dark,
    // dark-on-light and coloured text on coloured fills alike, and hands the engine dark on white.
    cv::Mat distance = inkDistance(crop, region.textHeight, region.onPicture);
    if (region.onPicture) {
        // The picture behind the glyphs differs from the fill around them as much as they do: ink
        // is the strokes, of the polarity that the pixels far from the fill have.
        const int kernel = std::max(kStrokeKernel, region.textHeight / 3 | 1);
        const cv::Mat light = strokeStrength(crop, kernel, true);
        const cv::Mat dark = strokeStrength(crop, kernel, false);
        const cv::Mat far = distance > 128;
        distance = cv::sum(light & far)[0] > cv::sum(dark & far)[0] ? light : dark;
        distance.setTo(0, distance < kEdgeThreshold);
        cv::normalize(distance, distance, 0, 255, cv::NORM_MINMAX);
    }
    clearEdgeToEdgeLines(distance);
    // Only on a plain ground: where a picture shows around the glyphs, its shapes at the crop's
    // border are no neighbouring lines.
    if (!region.onPicture && isFewColoured(crop, kPlainGroundColours))
        clearNeighbouringLines(distance, region.area.y + region.area.height / 2 - area.y, area.y == region.area.y - kCropMargin,
                           area.y + area.height == region.area.y + region.area.height + kCropMargin);
    cv::Mat inkMap;
    cv::bitwise_not(distance, inkMap);
    if (darkensInk(region))
        darkenPartialInk(inkMap, darkening == Ink::light                  ? kLightInkGamma
                                 : region.textHeight < kSmallTextHeight ? kSmallTextInkGamma
                                                                        : kInkGamma);
    for (const cv::Rect& blank : blanks) {
        const cv::Rect inCrop = (blank & area) - area.tl();
        if (inCrop.area() > 0) inkMap(inCrop).setTo(255);
    }

    Prepared prepared;
    // A line drawn on a tag or a chip has the fill's outline for its edges: read at the size of its
    // ink when that is clearly smaller.
    const int ink = inkHeight(inkMap);
    const double height = std::max(1, ink < 0.6 * region.textHeight ? ink : region.textHeight);
    const double target = height < kTinyTextHeight ? kTinyTargetTextHeight : kTargetTextHeight;
    prepared.scale = height > 2 * kLargeTextHeight ? kLargeTextHeight / height
                                                   : std::clamp(target / height, 1.0, kMaxScale);
    if (prepared.scale != 1.0)
        cv::resize(inkMap, inkMap, cv::Size(), prepared.scale, prepared.scale,
                   prepared.scale > 1.0 ? cv::INTER_CUBIC : cv::INTER_AREA);
    cv::copyMakeBorder(inkMap, prepared.grey, kPreparedMargin, kPreparedMargin, kPreparedMargin, kPreparedMargin,
                       cv::BORDER_CONSTANT, cv::Scalar(255));
    prepared.origin = cv::Point2d(area.x, area.y);
    prepared.margin = kPreparedMargin;
    return prepared;
}

} // namespace DetectionKit::ScreenTextRegions
