/* A window for the capture tests: one solid colour, the identity properties the test asks for,
 * placed where the test says. Prints its window ID once the window is on screen, then lives
 * until its standard input closes.
 *
 *   capture-test-client X Y WIDTH HEIGHT RRGGBB [--class CLASS] [--gtk-id ID] [--transient-for WIN]
 *                       [--override] [--type NAME] [--above] [--popup X Y] [--slow-repaint MS]
 *                       [--argb ALPHA] [--shape-left-half] [--popup-class CLASS] [--popup-colour RRGGBB]
 *                       [--claim-hidden] [--no-pid] [--pid PID] [--tcp] [--retain]
 *
 * --slow-repaint MS leaves the window without a background and paints it itself, MS milliseconds
 * after it shows and after every Expose, like a busy application.
 *
 * --argb ALPHA makes a 32-bit window of that opacity (0-255). --shape-left-half cuts the window
 * down to its left half with the Shape extension.
 *
 * --popup adds a 150x100 override-redirect window of the same colour at X, Y, from the same
 * process but with a class of its own and no WM_CLIENT_MACHINE, as an application's menu may be.
 * --popup-class and --popup-colour give it another class (default "PopupClass") and colour.
 *
 * --claim-hidden sets _NET_WM_STATE_HIDDEN on the window once it shows, as a window may say of
 * itself while it is plainly on screen.
 *
 * --no-pid sets no _NET_WM_PID (as Tk, xeyes and plain Xlib clients do); --pid PID claims another
 * process's. --tcp connects through the display's TCP port, as a client of another machine
 * does. --retain keeps the window after the client has gone: it prints the window's ID and ends.
 */
#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
    xcb_atom_t a = r ? r->atom : XCB_ATOM_NONE;
    free(r);
    return a;
}

static void setString(xcb_connection_t* c, xcb_window_t w, const char* property, const char* type, const char* value,
                      uint32_t length) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, property), atom(c, type), 8, length, value);
}

int main(int argc, char** argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: %s X Y WIDTH HEIGHT RRGGBB [options]\n", argv[0]);
        return 2;
    }
    const int x = atoi(argv[1]), y = atoi(argv[2]), width = atoi(argv[3]), height = atoi(argv[4]);
    const uint32_t colour = (uint32_t)strtoul(argv[5], NULL, 16);
    const char *windowClass = NULL, *gtkID = NULL, *type = NULL;
    uint32_t transientFor = 0;
    const char* popupClassName = "PopupClass";
    uint32_t popupColour = colour;
    int overrideRedirect = 0, above = 0, popup = 0, popupX = 0, popupY = 0, slowRepaint = -1, alpha = -1, shapeLeftHalf = 0,
        claimHidden = 0, noPid = 0, tcp = 0, retain = 0;
    long claimedPid = -1;
    for (int i = 6; i < argc; ++i) {
        if (!strcmp(argv[i], "--class") && i + 1 < argc) windowClass = argv[++i];
        else if (!strcmp(argv[i], "--gtk-id") && i + 1 < argc) gtkID = argv[++i];
        else if (!strcmp(argv[i], "--transient-for") && i + 1 < argc) transientFor = (uint32_t)strtoul(argv[++i], NULL, 0);
        else if (!strcmp(argv[i], "--type") && i + 1 < argc) type = argv[++i];
        else if (!strcmp(argv[i], "--override")) overrideRedirect = 1;
        else if (!strcmp(argv[i], "--above")) above = 1;
        else if (!strcmp(argv[i], "--slow-repaint") && i + 1 < argc) slowRepaint = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--argb") && i + 1 < argc) alpha = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--shape-left-half")) shapeLeftHalf = 1;
        else if (!strcmp(argv[i], "--popup-class") && i + 1 < argc) popupClassName = argv[++i];
        else if (!strcmp(argv[i], "--popup-colour") && i + 1 < argc) popupColour = (uint32_t)strtoul(argv[++i], NULL, 16);
        else if (!strcmp(argv[i], "--claim-hidden")) claimHidden = 1;
        else if (!strcmp(argv[i], "--no-pid")) noPid = 1;
        else if (!strcmp(argv[i], "--pid") && i + 1 < argc) claimedPid = strtol(argv[++i], NULL, 10);
        else if (!strcmp(argv[i], "--tcp")) tcp = 1;
        else if (!strcmp(argv[i], "--retain")) retain = 1;
        else if (!strcmp(argv[i], "--popup") && i + 2 < argc) {
            popup = 1;
            popupX = atoi(argv[++i]);
            popupY = atoi(argv[++i]);
        }
        else {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }

    char tcpDisplay[64] = {0};
    if (tcp) {
        const char* display = getenv("DISPLAY");
        const char* number = display ? strchr(display, ':') : NULL;
        if (!number) {
            fprintf(stderr, "no display number to reach over TCP\n");
            return 2;
        }
        snprintf(tcpDisplay, sizeof tcpDisplay, "127.0.0.1%s", number);
    }
    xcb_connection_t* c = xcb_connect(tcp ? tcpDisplay : NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "cannot connect to the display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_window_t w = xcb_generate_id(c);
    if (alpha >= 0) {
        /* A 32-bit visual with its own colour map; the background pixel is premultiplied ARGB. */
        xcb_visualid_t visual = 0;
        for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(screen); d.rem && !visual; xcb_depth_next(&d)) {
            if (d.data->depth != 32) continue;
            xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data);
            if (v.rem) visual = v.data->visual_id;
        }
        if (!visual) {
            fprintf(stderr, "the display has no 32-bit visual\n");
            return 1;
        }
        const xcb_colormap_t colormap = xcb_generate_id(c);
        xcb_create_colormap(c, XCB_COLORMAP_ALLOC_NONE, colormap, screen->root, visual);
        uint32_t premultiplied = (uint32_t)alpha << 24;
        for (int shift = 0; shift < 24; shift += 8)
            premultiplied |= ((((colour >> shift) & 0xff) * (uint32_t)alpha + 127) / 255) << shift;
        const uint32_t argbValues[] = {premultiplied, 0, (uint32_t)overrideRedirect,
                                       XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY, colormap};
        xcb_create_window(c, 32, w, screen->root, (int16_t)x, (int16_t)y, (uint16_t)width, (uint16_t)height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP,
                          argbValues);
    } else {
        const uint32_t values[] = {slowRepaint >= 0 ? XCB_BACK_PIXMAP_NONE : colour, (uint32_t)overrideRedirect,
                                   XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, (int16_t)x, (int16_t)y, (uint16_t)width,
                          (uint16_t)height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          (slowRepaint >= 0 ? XCB_CW_BACK_PIXMAP : XCB_CW_BACK_PIXEL) | XCB_CW_OVERRIDE_REDIRECT
                              | XCB_CW_EVENT_MASK,
                          values);
    }
    if (shapeLeftHalf) {
        const xcb_rectangle_t half = {0, 0, (uint16_t)(width / 2), (uint16_t)height};
        xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, w, 0, 0, 1, &half);
    }
    xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, w, XCB_GC_FOREGROUND, &colour);
    const xcb_rectangle_t all = {0, 0, (uint16_t)width, (uint16_t)height};

    if (windowClass) {
        char value[512];
        const int n = snprintf(value, sizeof value, "%s%c%s", windowClass, 0, windowClass);
        setString(c, w, "WM_CLASS", "STRING", value, (uint32_t)n + 1);
    }
    if (gtkID) setString(c, w, "_GTK_APPLICATION_ID", "UTF8_STRING", gtkID, (uint32_t)strlen(gtkID));
    const uint32_t pid = claimedPid >= 0 ? (uint32_t)claimedPid : (uint32_t)getpid();
    if (!noPid) xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    char host[256] = {0};
    gethostname(host, sizeof host - 1);
    setString(c, w, "WM_CLIENT_MACHINE", "STRING", host, (uint32_t)strlen(host));
    if (transientFor)
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1, &transientFor);
    if (type) {
        char name[128];
        snprintf(name, sizeof name, "_NET_WM_WINDOW_TYPE_%s", type);
        const xcb_atom_t value = atom(c, name);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &value);
    }
    if (above) {
        const xcb_atom_t value = atom(c, "_NET_WM_STATE_ABOVE");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 1, &value);
    }
    /* WM_NORMAL_HINTS with a user-given position and size, so the window manager keeps both. */
    uint32_t hints[18] = {0};
    hints[0] = 1 | 2; /* USPosition | USSize */
    hints[1] = (uint32_t)x;
    hints[2] = (uint32_t)y;
    hints[3] = (uint32_t)width;
    hints[4] = (uint32_t)height;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);

    if (popup) {
        xcb_window_t p = xcb_generate_id(c);
        const uint32_t popupValues[] = {popupColour, 1};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, p, screen->root, (int16_t)popupX, (int16_t)popupY, 150, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT,
                          popupValues);
        char popupClass[512];
        const int n = snprintf(popupClass, sizeof popupClass, "menu%c%s", 0, popupClassName);
        setString(c, p, "WM_CLASS", "STRING", popupClass, (uint32_t)n + 1);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, p, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_map_window(c, p);
    }
    xcb_map_window(c, w);
    xcb_flush(c);

    /* On screen once the first Expose arrives (after the window manager has framed it). */
    xcb_generic_event_t* event;
    while ((event = xcb_wait_for_event(c))) {
        const int kind = event->response_type & ~0x80;
        free(event);
        if (kind == XCB_EXPOSE) break;
    }
    if (claimHidden) {
        const xcb_atom_t hidden = atom(c, "_NET_WM_STATE_HIDDEN");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 1, &hidden);
    }
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
    printf("0x%x\n", w);
    fflush(stdout);
    if (retain) {
        xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
        xcb_disconnect(c);
        return 0;
    }
    if (slowRepaint >= 0) {
        usleep((useconds_t)slowRepaint * 1000);
        xcb_poly_fill_rectangle(c, w, gc, 1, &all);
        xcb_flush(c);
    }

    struct pollfd fds[2] = {{0, POLLIN, 0}, {xcb_get_file_descriptor(c), POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) break;
        if (fds[0].revents) {
            char buffer[64];
            if (read(0, buffer, sizeof buffer) <= 0) break;
        }
        int exposed = 0;
        while ((event = xcb_poll_for_event(c))) {
            exposed |= (event->response_type & ~0x80) == XCB_EXPOSE;
            free(event);
        }
        if (exposed && slowRepaint >= 0) {
            usleep((useconds_t)slowRepaint * 1000);
            xcb_poly_fill_rectangle(c, w, gc, 1, &all);
            xcb_flush(c);
        }
        if (xcb_connection_has_error(c)) break;
    }
    xcb_disconnect(c);
    return 0;
}
