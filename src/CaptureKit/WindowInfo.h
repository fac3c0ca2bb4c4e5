#pragma once

#include "Support/Geometry.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <limits>
#include <optional>

namespace CaptureKit {

// One window as the screen content lists it. `zIndex` 0 is the frontmost on-screen window;
// `unknownZIndex` means the window has no known place in the on-screen order.
//
// `bundleID` is the one ID the window's application goes by. `identities` holds every ID the
// window may be given besides (its own properties can name several, a transient window also goes
// by its owner's, and a window naming nothing by its process's other windows'); a block list
// catches the window when it names any of them. A provider that knows only `bundleID` leaves it
// empty. `isProcessKnown` is false for a window whose process cannot be looked at (a remote
// client, a process gone or hidden): it is told by its names alone, and counts as blocked when
// one of them resembles a blocked ID, or while anything is blocked, when it has none (see
// blockedIdentities in AppIdentity.h). Equality leaves `identities` and `isProcessKnown` out:
// they follow from the window.
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
    QStringList identities = {};
    bool isProcessKnown = true;

    friend bool operator==(const WindowInfo& a, const WindowInfo& b) {
        return a.windowID == b.windowID && a.frame.equalTo(b.frame) && a.bundleID == b.bundleID
               && a.isOnScreen == b.isOnScreen && a.zIndex == b.zIndex && a.isOrdinary == b.isOrdinary;
    }
};

} // namespace CaptureKit
