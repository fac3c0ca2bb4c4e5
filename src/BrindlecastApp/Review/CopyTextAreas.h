#pragma once

#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <vector>

namespace BrindlecastApp {

class ReviewViewModel;

namespace CopyTextAreas {

// The axis-aligned box that holds `rect` turned clockwise by `radians` about its centre.
Support::Rect rotatedEnclosingBox(const Support::Rect& rect, double radians);

// What copied text must not read: every area an export hides. The mandatory detections and the
// suggested ones kept, then the user's blur annotations, each by the box that holds it as turned.
// A blur whose geometry is not finite censors the whole image.
std::vector<Support::Rect> excluded(const ReviewViewModel& model);

} // namespace CopyTextAreas

} // namespace BrindlecastApp
