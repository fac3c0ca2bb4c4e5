#pragma once

#include <xcb/xcb.h>

namespace BrindlecastApp::Compositor {

// True when a compositing manager owns the _NET_WM_CM_S<screen> selection of our X display, so a
// window may have see-through rounded corners. False on every other platform and without X.
bool isActive();

// The same question asked over a given connection for one screen.
bool isActive(xcb_connection_t* connection, int screen);

} // namespace BrindlecastApp::Compositor
