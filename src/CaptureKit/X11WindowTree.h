#pragma once

#include "CaptureKit/AppIdentity.h"
#include "CaptureKit/X11Connection.h"
#include "Support/Geometry.h"

#include <QString>

#include <optional>
#include <vector>

namespace CaptureKit {

// One child of the root window (a window-manager frame, an unmanaged window or a popup) with
// what the capture needs to know about the application window inside it.
struct X11TopLevel {
    xcb_window_t frame = XCB_NONE;   // the root's child: what is drawn
    xcb_window_t client = XCB_NONE;  // the application's window (the frame itself without a manager)
    Support::Rect rect;              // outer bounds, border included, in root coordinates
    std::uint16_t borderWidth = 0;
    xcb_visualid_t visual = 0;
    std::uint8_t depth = 0;
    bool viewable = false;
    bool overrideRedirect = false;
    bool inputOnly = false;
    bool isClient = false;           // a managed client (or, without a manager, a mapped top-level)
    bool clientViewable = false;
    std::optional<QString> appID;    // the owner's application ID (transients and popups: their owner's)
    bool ownedByThisProcess = false;
    bool onCurrentDesktop = true;
    bool hidden = false;
    // DESKTOP, DOCK, NOTIFICATION, tooltip and menu windows, keep-above windows and popups: the
    // layers a desktop-less capture leaves out.
    bool desktopOrOverlay = false;

    // Further clients a window manager put into the same frame (tabs): the frame shows whichever
    // of them is mapped, so it goes with each of their applications.
    struct OtherClient {
        xcb_window_t window = XCB_NONE;
        bool viewable = false;
        std::optional<QString> appID;
        bool ownedByThisProcess = false;
    };
    std::vector<OtherClient> otherClients;

    bool isOnScreen() const { return viewable && clientViewable && onCurrentDesktop && !hidden; }
};

// The root's children bottom to top, read in one pass.
struct X11WindowTree {
    std::vector<X11TopLevel> topLevels;     // bottom to top
    std::vector<std::size_t> clientOrder;   // indexes into topLevels, bottom to top in client stacking
    bool hasWindowManager = false;

    static X11WindowTree read(X11Connection& connection);

    // The top-level holding `window` as a client or as its frame; nothing when there is none.
    const X11TopLevel* find(xcb_window_t window) const;
};

} // namespace CaptureKit
