#pragma once

#include "DetectionKit/Recognition.h"
#include "Support/Geometry.h"

#include <vector>

namespace DetectionKit::ImageBoxes {

// How far a finding's box reaches beyond what was recognised, on every side, in pixels.
inline constexpr double kGrowth = 4;

// Where a range starts or ends between two glyphs with no space between them, its box reaches
// this share of the glyphs' height into the neighbouring glyph: the recogniser's split between two
// touching glyphs can fall inside either one's ink.
inline constexpr double kReachIntoNeighbour = 0.2;

// A normalised bottom-left box as image pixels with a top-left origin, grown by kGrowth on every
// side and clipped to the image (null when it lies wholly outside).
Support::Rect findingBox(const Support::Rect& normalized, double imageWidth, double imageHeight);

// The finding boxes (as findingBox makes them) of the characters [start, end) of a recognised
// line, made from the boxes of the glyphs that hold them: one box per row of text they lie on,
// never the rest of the word around them. A glyph that holds more characters than the range
// takes in gives the share of its width those characters have, and a character more on either
// side. Empty when no glyph holds a character of the range.
std::vector<Support::Rect> rangeBoxes(const RecognizedLine& line, qsizetype start, qsizetype end, double imageWidth,
                                      double imageHeight);

// An image-pixel rectangle (top-left origin) as a normalised bottom-left box.
Support::Rect normalized(const Support::Rect& pixels, double imageWidth, double imageHeight);

} // namespace DetectionKit::ImageBoxes
