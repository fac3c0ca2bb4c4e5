#pragma once

#include "CaptureKit/ScreenContentProvider.h"
#include "CaptureKit/X11Connection.h"
#include "CaptureKit/X11WindowTree.h"

namespace CaptureKit {

// The live provider on an X11 display ($DISPLAY). Displays are the RandR monitors; windows are
// the window manager's clients (without one, the root's mapped children) and the popups an
// application can be told for; images are composed window by window from Composite's off-screen
// window images, so left-out windows are simply not drawn. Windows of this process never appear,
// neither listed nor drawn.
//
// Failures of the display server are thrown as X11Error; no display at all as
// CaptureError::notAuthorized.
class X11ScreenContentProvider final : public ScreenContentProvider {
public:
    ShareableSnapshot shareableContent() override;
    QImage captureDisplay(const DisplayInfo& display, const QStringList& excludingBundleIDs) override;
    QImage captureDisplayContent(const DisplayInfo& display, const QStringList& excludingBundleIDs) override;
    QImage captureWindow(const WindowInfo& window) override;

private:
    QImage captureDisplay(const DisplayInfo& display, const QStringList& excludingBundleIDs, bool desktopLess);
    // Whether a display capture leaves `t` out: windows of this process and of the excluded
    // applications (by any ID they may be given), frames whose client is gone, and while anything
    // is excluded, every window that cannot be told from an excluded application's.
    static bool leftOut(const X11TopLevel& t, const QStringList& excludingBundleIDs);
};

} // namespace CaptureKit
