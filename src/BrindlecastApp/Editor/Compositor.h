#pragma once

namespace BrindlecastApp::Compositor {

// True when a compositing manager owns the _NET_WM_CM_S<screen> selection of our X display, so a
// window may have see-through rounded corners. False on every other platform and without X.
bool isActive();

} // namespace BrindlecastApp::Compositor
