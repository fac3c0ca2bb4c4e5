#pragma once

#include "CaptureKit/ScreenContentProvider.h"
#include "PolicyKit/EffectivePolicy.h"
#include "Support/Geometry.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace CaptureKit {

// Policy-aware capture: no window of a blocked application ever shows in a result. Blocked
// windows are left out (omit), left out with grey plates where they were visible (placeholder),
// or the capture is refused with CaptureError::blockedContentPresent (cancelCapture).
//
// Every operation blocks on the provider: run it off the GUI thread. The service holds no
// mutable state and may be used from several threads at once.
class CaptureService {
public:
    CaptureService(PolicyKit::EffectivePolicy policy, std::shared_ptr<ScreenContentProvider> provider);

    const PolicyKit::EffectivePolicy& policy() const { return policy_; }

    // A whole display: the first listed one when no ID is given.
    QImage captureDisplay(std::optional<std::uint32_t> displayID = std::nullopt) const;
    // The same without the desktop and the system's own layers, on a transparent background.
    QImage captureDisplayContent(std::optional<std::uint32_t> displayID = std::nullopt) const;
    // A rectangle of global screen space, taken from the first listed display it meets only.
    QImage captureRegion(const Support::Rect& region) const;
    QImage captureRegionContent(const Support::Rect& region) const;
    // One window alone; refused for a blocked application's window whatever the behaviour.
    QImage captureWindow(std::uint32_t windowID) const;

    // The on-screen windows of blocked applications whose frames intersect `target`, in
    // snapshot order: those whose bundleID or any of whose identities is blocked, and those whose
    // process cannot be looked at and whose names could be a blocked application's.
    static std::vector<WindowInfo> blockedWindows(const ShareableSnapshot& snapshot, const QStringList& blockedBundleIDs,
                                                  const Support::Rect& target);
    // The parts of the blocked windows the viewer sees: each frame minus the unblocked on-screen
    // windows of known order in front of it (blocked judged as in blockedWindows). Global screen space; pieces may overlap.
    static std::vector<Support::Rect> visiblePlates(const std::vector<WindowInfo>& blocked,
                                                    const std::vector<WindowInfo>& windows,
                                                    const QStringList& blockedBundleIDs);
    // `base` minus `cut` as at most four non-overlapping pieces: the full-width band above, the one
    // below, then the pieces left and right of the cut.
    static std::vector<Support::Rect> subtracting(const Support::Rect& cut, const Support::Rect& base);
    // `rect` in the pixel space of `display`, rounded outward to whole pixels, not clamped.
    static Support::Rect pixelRect(const Support::Rect& rect, const DisplayInfo& display);

private:
    QImage captureDisplay(std::optional<std::uint32_t> displayID, bool excludeDesktop) const;
    QImage captureRegion(const Support::Rect& region, bool excludeDesktop) const;
    QImage capture(const DisplayInfo& display, const Support::Rect& target, const ShareableSnapshot& snapshot,
                   std::optional<Support::Rect> cropPixels, bool excludeDesktop) const;

    PolicyKit::EffectivePolicy policy_;
    std::shared_ptr<ScreenContentProvider> provider_;
};

} // namespace CaptureKit
