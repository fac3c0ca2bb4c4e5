#pragma once

#include "Support/Geometry.h"

#include <QString>

#include <cstdint>
#include <limits>
#include <optional>

namespace CaptureKit {

// One window as the screen content lists it. `zIndex` 0 is the frontmost on-screen window;
// `unknownZIndex` means the window has no known place in the on-screen order.
struct WindowInfo {
    static constexpr std::int64_t unknownZIndex = std::numeric_limits<std::int64_t>::max();

    std::uint32_t windowID = 0;
    Support::Rect frame;
    std::optional<QString> bundleID;
    bool isOnScreen = false;
    std::int64_t zIndex = unknownZIndex;
    // An ordinary application window: not the desktop, a dock or panel, a menu, a tooltip, a
    // notification, a popup or a window kept above the others.
    bool isOrdinary = true;

    friend bool operator==(const WindowInfo& a, const WindowInfo& b) {
        return a.windowID == b.windowID && a.frame.equalTo(b.frame) && a.bundleID == b.bundleID
               && a.isOnScreen == b.isOnScreen && a.zIndex == b.zIndex && a.isOrdinary == b.isOrdinary;
    }
};

} // namespace CaptureKit
