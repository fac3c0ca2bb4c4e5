#include "BrindlecastApp/Design/Compositor.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace BrindlecastApp::Compositor {

bool isActive() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return false;
    // The screen number is the part after the dot of DISPLAY (":0.1" is screen 1); 0 without one.
    int screen = 0;
    if (const char* display = std::getenv("DISPLAY")) {
        const std::string text(display);
        const auto colon = text.rfind(':');
        const auto dot = text.find('.', colon == std::string::npos ? 0 : colon);
        if (dot != std::string::npos) screen = std::atoi(text.c_str() + dot + 1);
    }
    return isActive(x11->connection(), screen);
}

bool isActive(xcb_connection_t* connection, int screen) {
    if (!connection || xcb_connection_has_error(connection)) return false;
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    const xcb_intern_atom_cookie_t atomCookie =
        xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str());
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, atomCookie, nullptr), &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE) return false; // nobody ever claimed it
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr), &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace BrindlecastApp::Compositor
