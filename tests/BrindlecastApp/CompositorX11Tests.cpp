// Runs against the test session's X display; skips without one.
#include "BrindlecastApp/Design/Compositor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

using namespace BrindlecastApp;

namespace {

struct Connection {
    Connection() : handle(xcb_connect(nullptr, &screen)) {}
    ~Connection() { xcb_disconnect(handle); }
    bool usable() const { return handle && !xcb_connection_has_error(handle); }

    int screen = 0;
    xcb_connection_t* handle;
};

xcb_atom_t atom(xcb_connection_t* c, const std::string& name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_screen_t* screenOf(xcb_connection_t* c, int number) {
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < number && it.rem; ++i) xcb_screen_next(&it);
    return it.data;
}

} // namespace

TEST(Compositor, FollowsTheOwnerOfTheCompositingSelection) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    Connection observer, claimant;
    if (!observer.usable() || !claimant.usable()) GTEST_SKIP() << "the X display does not answer";
    const xcb_atom_t selection = atom(claimant.handle, "_NET_WM_CM_S" + std::to_string(claimant.screen));
    {
        std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
            xcb_get_selection_owner_reply(claimant.handle, xcb_get_selection_owner(claimant.handle, selection), nullptr),
            &std::free);
        if (owner && owner->owner != XCB_WINDOW_NONE) GTEST_SKIP() << "a compositor already runs on this display";
    }
    EXPECT_FALSE(Compositor::isActive(observer.handle, observer.screen));

    // Claim the selection the way a compositing manager does, with a window of our own.
    xcb_screen_t* screen = screenOf(claimant.handle, claimant.screen);
    ASSERT_NE(screen, nullptr);
    const xcb_window_t window = xcb_generate_id(claimant.handle);
    xcb_create_window(claimant.handle, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(claimant.handle, window, selection, XCB_CURRENT_TIME);
    free(xcb_get_input_focus_reply(claimant.handle, xcb_get_input_focus(claimant.handle), nullptr)); // round trip
    EXPECT_TRUE(Compositor::isActive(observer.handle, observer.screen));

    xcb_destroy_window(claimant.handle, window); // the selection goes with its window
    free(xcb_get_input_focus_reply(claimant.handle, xcb_get_input_focus(claimant.handle), nullptr));
    EXPECT_FALSE(Compositor::isActive(observer.handle, observer.screen));
}

TEST(Compositor, ABrokenConnectionMeansNoCompositor) {
    EXPECT_FALSE(Compositor::isActive(nullptr, 0));
}
