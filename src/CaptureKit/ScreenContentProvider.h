#pragma once

#include "CaptureKit/ShareableSnapshot.h"

#include <QImage>
#include <QStringList>

namespace CaptureKit {

// The capture back end the capture service works through. Every operation is synchronous and
// may block on the display server: callers run it off the GUI thread. Images are
// Format_ARGB32_Premultiplied, top-left origin, and never show the pointer.
class ScreenContentProvider {
public:
    virtual ~ScreenContentProvider() = default;

    // Every display and window the provider can see, on screen or not, frames in global screen
    // space. Throws CaptureError::notAuthorized when the screen cannot be reached at all.
    virtual ShareableSnapshot shareableContent() = 0;

    // The whole display (pixelWidth x pixelHeight) with no window of the listed applications.
    // Throws CaptureError::displayNotFound when the display is gone.
    virtual QImage captureDisplay(const DisplayInfo& display, const QStringList& excludingBundleIDs) = 0;

    // Like captureDisplay, with the desktop and the system's own layers left out as well, on a
    // transparent background. A provider without such a mode answers with captureDisplay.
    virtual QImage captureDisplayContent(const DisplayInfo& display, const QStringList& excludingBundleIDs) {
        return captureDisplay(display, excludingBundleIDs);
    }

    // That one window alone. Throws CaptureError::windowNotFound when it is gone.
    virtual QImage captureWindow(const WindowInfo& window) = 0;
};

} // namespace CaptureKit
