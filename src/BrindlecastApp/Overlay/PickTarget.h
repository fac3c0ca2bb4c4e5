#pragma once

#include "Support/Geometry.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace BrindlecastApp {

// A window picked in the selection overlay.
struct PickTarget {
    std::uint32_t windowID = 0;
    std::optional<QString> bundleID; // the owning application's ID, when it has one
    Support::Rect frame;             // root-window coordinates (global, top-left origin, pixels)

    friend bool operator==(const PickTarget& a, const PickTarget& b) {
        return a.windowID == b.windowID && a.bundleID == b.bundleID && a.frame.equalTo(b.frame);
    }
};

} // namespace BrindlecastApp
