#pragma once

#include "DetectionKit/LineAssembly.h"
#include "DetectionKit/PixelContentCache.h"
#include "DetectionKit/ScreenTextRegions.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace DetectionKit {

// What was read in a region's prepared picture, kept for the same picture in a later capture (the
// same window captured again, a check before an export): an engine reads a picture the same way
// every time, so the same pixels at the same scale give the same lines, wherever they lie on the
// screen. Bounded by the pixels it holds, the least recently used let go first. Lives as long as
// the engines; any thread.
class ReadRegionCache {
public:
    explicit ReadRegionCache(std::size_t mostBytes); // 0: keeps nothing

    // The lines read before in a picture equal to `prepared`'s, moved to its origin.
    std::optional<std::vector<LineAssembly::PixelLine>> find(const ScreenTextRegions::Prepared& prepared);
    void remember(const ScreenTextRegions::Prepared& prepared, const std::vector<LineAssembly::PixelLine>& lines);

private:
    // Lines placed as if the picture's origin were (0, 0).
    PixelContentCache<std::vector<LineAssembly::PixelLine>> lines_;
};

} // namespace DetectionKit
