#pragma once

#include "Support/Geometry.h"

#include <QImage>

#include <array>
#include <vector>

namespace DetectionKit::FaceCandidates {

// The key points the model places on a face, in this order.
enum KeyPoint { rightEye, leftEye, nose, mouth, rightEar, leftEar, keyPointCount };

// A face the model saw: its box in image pixels (top-left origin), its score, 0..1, and its key
// points, in image pixels (the subject's right eye is on the image's left).
struct Candidate {
    Support::Rect box;
    double score = 0;
    std::array<Support::Point, keyPointCount> keyPoints{};
};

// One head of the face model, as it comes out of the net: `anchors` score maps and, per anchor,
// 16 regression maps (box centre offset x, y, width, height, then six key points), each
// rows x columns floats, planar. Every cell of the map is `stride` input pixels; its anchors sit
// at the cell's centre.
struct Head {
    const float* scores = nullptr;
    const float* boxes = nullptr;
    int anchors = 0;
    int stride = 0;
    int rows = 0;
    int columns = 0;
};

// Where a pass's input came from: input pixel (x, y) is image pixel
// (left + x / scale, top + y / scale).
struct Placement {
    double left = 0;
    double top = 0;
    double scale = 1;
};

// The candidates of one head whose score (a sigmoid of the raw value) reaches `threshold`, in
// image pixels.
std::vector<Candidate> decode(const Head& head, const Placement& placement, double threshold);

// How much two boxes overlap: their intersection's area over their union's, 0..1.
double overlap(const Support::Rect& a, const Support::Rect& b);

// Boxes that overlap by more than `minOverlap` (intersection over union) are one face: merged into
// their score-weighted mean (key points too), with the best score among them. Strongest first.
std::vector<Candidate> merge(std::vector<Candidate> candidates, double minOverlap = 0.3);

// Squares of `side` pixels covering a width x height image, overlapping by at least `overlap`: the
// last in each row and column ends at the image's edge. An image narrower or lower than `side` is
// one tile across or down, as large as the image. Rectangles as {x, y, width, height}.
struct Tile {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Tile&, const Tile&) = default;
};
std::vector<Tile> tiles(int width, int height, int side, int overlap);

// What a box (image pixels, clipped to the image) is made of. A photograph spreads over many
// shades that change from pixel to pixel; a drawing (a cartoon, a sticker, an initials avatar) is
// nearly all a few flat fills.
struct Flatness {
    double fewColours = 0;   // the share of pixels in the four most frequent colours (steps of 16)
    double sameAsNext = 0;   // the share of pixels that match their right and lower neighbours
};
Flatness flatness(const QImage& image, const Support::Rect& box);
// A box that is flat by both measures: on the face bench, faces in photographs reach at most 0.61
// and 0.31, drawings at least 0.69 and 0.47. Both must hold, so that a smooth face is not lost.
bool looksDrawn(const QImage& image, const Support::Rect& box);

// The share of the inner face (between the eyes and down to the mouth, seen at 64 x 64 pixels, or
// at its own size when smaller) whose colour matches its right and lower neighbours within 1 in
// every channel. Skin in photographs, even small, blurred, upscaled or in the dark, changes from pixel to
// pixel (at most 0.13 on the face bench when lit at full contrast, 0.29 when backlit); the skin of
// anime and other shaded drawings is a smooth or flat fill (0.2 and more, 0.35 dimly lit).
double flatInside(const QImage& image, const Support::Rect& box);
// How far apart (grey levels, 0..255) the darkest and brightest pixels of the inner face are.
int contrastInside(const QImage& image, const Support::Rect& box);
// A box that `looksDrawn`, whose inner face is flat (by a stricter bound when it is lit at full
// contrast, and stricter still when it is small), or, when small, a quarter of whose pixels match
// their neighbours.
bool drawing(const QImage& image, const Support::Rect& box);

// Whether the key points lie as on a person's face: eyes apart by a fifth of the box or more,
// the mouth well below them, the ears wide apart. Animals the model takes for faces (a long
// snout, eyes close together or to one side) fail it; faces turned three-quarter away pass.
bool humanLayout(const Candidate& candidate);

// Where a face can be, before the model is run: the parts of the image that change from pixel to
// pixel as photographs do. Flat fills, text, icons and drawings, which match most of their
// neighbours, hold none (the measure of `flatness`, `sameAsNext`, taken per cell of a grid).
struct CellMap {
    int cell = 0, columns = 0, rows = 0;
    std::vector<unsigned char> photographic; // row by row
};
CellMap photographicCells(const QImage& image, int cell);
// Rectangles around each group of touching photographic cells that is at least `smallest` pixels
// on both sides, grown by `margin` on every side, clipped to the image, overlapping ones merged.
std::vector<Tile> faceAreas(const CellMap& cells, int width, int height, int smallest, int margin);

// One box per face, in the order given: a box at least `within` of whose area lies inside another
// box is a part of the same face that the net took for a face of its own (hair or an ear seen at
// twice its size, the eyes and nose seen as a smaller face, the same face seen again off its
// centre), and the two become one box around both, so that nothing either covered is uncovered.
std::vector<Support::Rect> oneBoxPerFace(std::vector<Support::Rect> boxes, double within = 1.0 / 3);

// The face as the user sees it: the model's box sits low and narrow on the face, so it is grown by
// a tenth of its size on every side and raised by a twentieth of its height.
Support::Rect faceBox(const Support::Rect& modelBox);

} // namespace DetectionKit::FaceCandidates
