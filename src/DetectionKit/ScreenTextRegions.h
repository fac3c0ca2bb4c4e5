#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace DetectionKit::ScreenTextRegions {

// One stretch of screen text to recognise on its own: usually one line of a label, a field or a
// paragraph, in image pixels.
struct Region {
    cv::Rect area;
    int textHeight = 0; // height of the tallest line of glyphs in the region
    bool onPicture = false; // drawn on a picture, which shows around and between the glyphs
};

// Finds the lines of text on a screen image (8-bit, 3 channels, BGR): edges of glyphs against their
// background in any colour and either polarity, joined into words and lines. Rules, separators,
// the outlines of boxes and solid icons are left out; photographs give regions too, which
// recognition reads as nothing or as noise. `blanks` are areas known to hold nothing to read
// (painted over): they neither become text nor join the words beside them.
std::vector<Region> find(const cv::Mat& bgr, const std::vector<cv::Rect>& blanks = {});

// The region cut out of the screen image (BGR) and made ready for the engine: dark ink on white
// whatever the colours were, small text scaled up, a white margin added.
// `scale` receives the factor applied and `origin` where the result's (0, 0) lies in the image.
struct Prepared {
    cv::Mat grey;
    double scale = 1;
    cv::Point2d origin; // image position of the prepared picture's top-left corner (before scaling)
    int margin = 0;     // blank pixels added around the scaled crop
};
// Ink that is only partly there (the anti-aliased edges of small glyphs) is darkened so that thin
// strokes keep their shapes once scaled up; `Ink::light` darkens it less, for a second reading
// where the usual darkening fills the small loops of a glyph ("@" read as "G").
enum class Ink { darkened, light };
Prepared prepare(const cv::Mat& bgr, const Region& region, const std::vector<cv::Rect>& blanks = {},
                 Ink darkening = Ink::darkened);
// Which pixels of `area` (glyphs on a plain ground) are ink: 255 where a pixel's largest channel
// difference from the ground, the area's most common colour, is `distance` (0-255) or more.
cv::Mat inkOnGround(const cv::Mat& area, int distance);

// Whether the region's partial ink is darkened at all: only then does a light preparation differ.
bool darkensInk(const Region& region);

// For each region, the first earlier one whose prepared picture is the same, pixel for pixel (the
// same line drawn again elsewhere: a name in every row, a label repeated), or -1. What is read
// in it is what was read in that one, moved by `repeatOffset`. Regions that meet a blank are
// never repeats.
std::vector<int> repeats(const cv::Mat& bgr, const std::vector<Region>& regions, const std::vector<cv::Rect>& blanks = {});
cv::Point repeatOffset(const cv::Mat& bgr, const Region& original, const Region& repeat);

} // namespace DetectionKit::ScreenTextRegions
