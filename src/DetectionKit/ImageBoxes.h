#pragma once

#include "Support/Geometry.h"

namespace DetectionKit::ImageBoxes {

// How far a finding's box reaches beyond what was recognised, on every side, in pixels.
inline constexpr double kGrowth = 4;

// A normalised bottom-left box as image pixels with a top-left origin, grown by kGrowth on every
// side and clipped to the image (null when it lies wholly outside).
Support::Rect findingBox(const Support::Rect& normalized, double imageWidth, double imageHeight);

// An image-pixel rectangle (top-left origin) as a normalised bottom-left box.
Support::Rect normalized(const Support::Rect& pixels, double imageWidth, double imageHeight);

} // namespace DetectionKit::ImageBoxes
