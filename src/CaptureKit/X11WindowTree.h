#pragma once

#include "CaptureKit/AppIdentity.h"
#include "CaptureKit/X11Connection.h"
#include "Support/Geometry.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace CaptureKit {

// An application's window inside a top-level: a window-manager frame's client, or an unmanaged
// window that is its own client.
struct X11Client {
    xcb_window_t window = XCB_NONE;
    bool viewable = false;
    // The one application ID it goes by; transients and popups take their owner's.
    std::optional<QString> appID;
    // Every application ID it may be given (appID among them): its own properties' IDs, its
    // transient owners', and for a window naming nothing itself, its process's other windows'.
    // Empty: nothing can say whose window this is.
    QStringList identities;
    // Whether its process was looked at (see isProcessKnown in AppIdentity.h); when not, it is
    // told by its names alone (see blockedIdentities).
    bool processKnown = false;
    bool ownedByThisProcess = false;
    // Not withdrawn: a window the window manager manages, or an unmanaged one on screen.
    bool listed = false;
    // DESKTOP, DOCK, NOTIFICATION, tooltip and menu types and keep-above windows.
    bool overlay = false;
};

// One child of the root window (a window-manager frame, an unmanaged window or a popup).
struct X11TopLevel {
    xcb_window_t frame = XCB_NONE;   // the root's child: what is drawn
    Support::Rect rect;              // outer bounds, border included, in root coordinates
    std::uint16_t borderWidth = 0;
    xcb_visualid_t visual = 0;
    std::uint8_t depth = 0;
    bool viewable = false;
    bool overrideRedirect = false;
    bool inputOnly = false;
    // The application windows it shows. A frame holds the clients the window manager put into it
    // (several for tabs: it shows whichever is mapped). Empty for a frame whose client is gone
    // (its image still holds the client's last pixels) and for the window manager's own windows.
    std::vector<X11Client> clients;

    // A window of the on-screen order: a managed client's frame or an unmanaged ordinary window.
    // Override-redirect popups, menus and tooltips are not.
    bool isInOrder() const { return !overrideRedirect && !clients.empty(); }
    // Goes with the desktop and the system's layers, which a desktop-less capture leaves out.
    bool isDesktopOrOverlay() const;
    // The client that is `window`, or nothing.
    const X11Client* client(xcb_window_t window) const;
};

// The root's children bottom to top, read in one pass. Clients are found inside frames by their
// WM_STATE property (set by every ICCCM window manager), so reparenting managers without the
// extended client lists are understood too.
struct X11WindowTree {
    std::vector<X11TopLevel> topLevels;  // bottom to top
    bool hasWindowManager = false;

    static X11WindowTree read(X11Connection& connection);

    // The top-level showing `window` as a client or as its frame; nothing when there is none.
    const X11TopLevel* find(xcb_window_t window) const;
};

} // namespace CaptureKit
