#pragma once

#include "CaptureKit/ScreenContentProvider.h"
#include "CaptureKit/X11Connection.h"
#include "CaptureKit/X11WindowTree.h"

#include <memory>

namespace CaptureKit {

class X11Session;

// The live provider on an X11 display ($DISPLAY). Displays are the RandR monitors; windows are
// the window manager's clients (without one, the root's mapped children) and the popups an
// application can be told for; images are composed window by window from Composite's off-screen
// window images, so left-out windows are simply not drawn. Windows of this process never appear,
// neither listed nor drawn.
//
// Failures of the display server are thrown as X11Error; no display at all as
// CaptureError::notAuthorized.
//
// One provider serves one capture: the shared memory its images were read through is given back
// to the system when it goes, so an idle application holds none.
class X11ScreenContentProvider final : public ScreenContentProvider {
public:
    X11ScreenContentProvider() = default;
    ~X11ScreenContentProvider() override;
    X11ScreenContentProvider(const X11ScreenContentProvider&) = delete;
    X11ScreenContentProvider& operator=(const X11ScreenContentProvider&) = delete;

    ShareableSnapshot shareableContent() override;
    QImage captureDisplay(const DisplayInfo& display, const QStringList& excludingBundleIDs) override;
    QImage captureDisplayContent(const DisplayInfo& display, const QStringList& excludingBundleIDs) override;
    QImage captureWindow(const WindowInfo& window) override;

private:
    QImage captureDisplay(const DisplayInfo& display, const QStringList& excludingBundleIDs, bool desktopLess);
    // Whether a display capture leaves `t` out: windows of this process and of the excluded
    // applications (by any ID they may be given), frames whose client is gone, and the windows
    // that cannot be told from an excluded application's (see blockedIdentities).
    static bool leftOut(const X11TopLevel& t, const QStringList& excludingBundleIDs);

    // The session images were read from, once they are.
    std::weak_ptr<X11Session> readFrom_;
};

} // namespace CaptureKit
