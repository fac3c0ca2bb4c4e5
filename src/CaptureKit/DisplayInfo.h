#pragma once

#include "Support/Geometry.h"

#include <cstdint>

namespace CaptureKit {

// One display: its bounds in global screen space (points, top-left origin) and the size of its
// captured image in pixels.
struct DisplayInfo {
    std::uint32_t displayID = 0;
    Support::Rect frame;
    std::int64_t pixelWidth = 0;
    std::int64_t pixelHeight = 0;

    // Pixels per point: pixelWidth over the frame's width, or exactly 1 when that width is not
    // positive (or not a number).
    double scale() const;

    friend bool operator==(const DisplayInfo& a, const DisplayInfo& b) {
        return a.displayID == b.displayID && a.frame.equalTo(b.frame) && a.pixelWidth == b.pixelWidth
               && a.pixelHeight == b.pixelHeight;
    }
};

} // namespace CaptureKit
