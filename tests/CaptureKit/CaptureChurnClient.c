/* Windows that never hold still, for the capture churn test: blocked ones (class
 * "CaptureChurnBlocked", red, some of them override-redirect popups) and allowed ones (class
 * "CaptureChurnAllowed", green, two of them without a background and never painted, so their
 * images hold only what the server put there) open, close, move, resize, hide and show again,
 * one change every few milliseconds, inside the top-left 1000x700 of the screen.
 *
 *   capture-churn-client BLOCKED ALLOWED SEED
 *
 * Prints "ready" once the first windows are mapped; runs until its standard input closes.
 */
#include <xcb/xcb.h>

#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { maxWindows = 64 };

typedef struct {
    xcb_window_t id;
    int blocked, popup, unpainted, mapped;
} Window;

static xcb_connection_t* c;
static xcb_screen_t* screen;
static unsigned seed;

static int randomBelow(int n) { return (int)(rand_r(&seed) % (unsigned)n); }

static xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
    xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
    free(r);
    return a;
}

static void create(Window* w) {
    w->id = xcb_generate_id(c);
    const uint32_t colour = w->blocked ? 0xe01010 : 0x10c020;
    const uint32_t values[] = {w->unpainted ? XCB_BACK_PIXMAP_NONE : colour, (uint32_t)w->popup};
    const int16_t x = (int16_t)randomBelow(800), y = (int16_t)randomBelow(550);
    const uint16_t width = (uint16_t)(60 + randomBelow(200)), height = (uint16_t)(40 + randomBelow(150));
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w->id, screen->root, x, y, width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, (w->unpainted ? XCB_CW_BACK_PIXMAP : XCB_CW_BACK_PIXEL) | XCB_CW_OVERRIDE_REDIRECT,
                      values);
    const char* name = w->blocked ? "churn\0CaptureChurnBlocked" : "churn\0CaptureChurnAllowed";
    const uint32_t length = (uint32_t)(strlen(name) + 1 + strlen(name + strlen(name) + 1) + 1);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w->id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, length, name);
    const uint32_t pid = (uint32_t)getpid();
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w->id, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    uint32_t hints[18] = {0};
    hints[0] = 1 | 2; /* USPosition | USSize: the window manager keeps both */
    hints[1] = (uint32_t)x;
    hints[2] = (uint32_t)y;
    hints[3] = width;
    hints[4] = height;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w->id, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    xcb_map_window(c, w->id);
    w->mapped = 1;
}

static void change(Window* w) {
    switch (randomBelow(4)) {
    case 0: /* closes, and another opens */
        xcb_destroy_window(c, w->id);
        create(w);
        break;
    case 1: {
        const uint32_t at[] = {(uint32_t)randomBelow(800), (uint32_t)randomBelow(550)};
        xcb_configure_window(c, w->id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, at);
        break;
    }
    case 2: {
        const uint32_t size[] = {(uint32_t)(60 + randomBelow(200)), (uint32_t)(40 + randomBelow(150))};
        xcb_configure_window(c, w->id, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
        break;
    }
    default:
        if (w->mapped) xcb_unmap_window(c, w->id);
        else xcb_map_window(c, w->id);
        w->mapped = !w->mapped;
        break;
    }
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s BLOCKED ALLOWED SEED\n", argv[0]);
        return 2;
    }
    const int blocked = atoi(argv[1]), allowed = atoi(argv[2]);
    seed = (unsigned)atoi(argv[3]);
    const int count = blocked + allowed;
    if (blocked < 0 || allowed < 0 || count <= 0 || count > maxWindows) return 2;
    c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "cannot connect to the display\n");
        return 1;
    }
    screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;

    Window windows[maxWindows] = {{0}};
    for (int i = 0; i < count; ++i) {
        windows[i].blocked = i < blocked;
        windows[i].popup = i < blocked / 3;
        windows[i].unpainted = i >= blocked && i < blocked + 2;
        create(&windows[i]);
    }
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
    printf("ready\n");
    fflush(stdout);

    struct pollfd in = {0, POLLIN, 0};
    for (;;) {
        if (poll(&in, 1, 3) > 0) {
            char buffer[64];
            if (read(0, buffer, sizeof buffer) <= 0) break;
        }
        xcb_generic_event_t* event;
        while ((event = xcb_poll_for_event(c))) free(event);
        change(&windows[randomBelow(count)]);
        xcb_flush(c);
        if (xcb_connection_has_error(c)) break;
    }
    xcb_disconnect(c);
    return 0;
}
