#pragma once

#include "CaptureKit/DisplayInfo.h"
#include "CaptureKit/WindowInfo.h"

#include <vector>

namespace CaptureKit {

// What is on the screens at one moment: displays and windows in the provider's order (windows
// are not sorted by zIndex).
struct ShareableSnapshot {
    std::vector<DisplayInfo> displays;
    std::vector<WindowInfo> windows;

    friend bool operator==(const ShareableSnapshot&, const ShareableSnapshot&) = default;
};

} // namespace CaptureKit
