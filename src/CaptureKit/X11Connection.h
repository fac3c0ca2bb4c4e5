#pragma once

#include <xcb/xcb.h>

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace CaptureKit {

// A failure of the X server or of talking to it: the live provider's own error type.
class X11Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Frees an xcb reply (or any malloc'ed block) when it goes out of scope.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

// One xcb connection with the helpers the capture code needs: interned atoms, typed property
// reads and checked requests. Safe to use from one thread at a time.
class X11Connection {
public:
    // Connects to `displayName`, or to $DISPLAY when it is null. Throws X11Error when no server
    // answers.
    explicit X11Connection(const char* displayName = nullptr);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_screen_t* screen() const { return screen_; }
    int screenNumber() const { return screenNumber_; }
    xcb_window_t root() const { return screen_->root; }

    xcb_atom_t atom(const char* name);

    // Properties; nothing when absent or of another format.
    std::optional<QByteArray> bytesProperty(xcb_window_t window, xcb_atom_t property);
    std::optional<QString> stringProperty(xcb_window_t window, const char* property);
    std::vector<std::uint32_t> cardinalsProperty(xcb_window_t window, const char* property);
    std::optional<std::uint32_t> cardinalProperty(xcb_window_t window, const char* property);
    std::vector<xcb_atom_t> atomsProperty(xcb_window_t window, const char* property);
    // WM_CLASS's second string (the class).
    std::optional<QString> windowClass(xcb_window_t window);

    // Waits for a checked request and throws X11Error naming `what` when the server refused it.
    void check(xcb_void_cookie_t cookie, const char* what);
    // True when the server accepted the request.
    bool succeeded(xcb_void_cookie_t cookie);

    bool hasExtension(xcb_extension_t* extension);

    // Whether the server names the process of a local client (the X-Resource extension, 1.2 or later).
    bool tellsClientProcesses();
    // The process owning each window, as the server knows it from the client's local socket, in
    // one round trip; nothing for a client the server cannot say it of (a remote one, one gone, a
    // window gone) or when it does not tell at all. Unlike _NET_WM_PID, it is no client's own claim.
    std::vector<std::optional<std::uint32_t>> clientProcesses(const std::vector<xcb_window_t>& windows);

private:
    friend class PendingProperty;
    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    int screenNumber_ = 0;
    QHash<QByteArray, xcb_atom_t> atoms_;
    std::optional<bool> tellsClientProcesses_;
};

// One property read, asked for on construction and answered on first use, so that many reads
// asked for before the first use share one round trip.
class PendingProperty {
public:
    PendingProperty(X11Connection& x, xcb_window_t window, const char* property);
    PendingProperty(X11Connection& x, xcb_window_t window, xcb_atom_t property);
    ~PendingProperty();
    PendingProperty(const PendingProperty&) = delete;
    PendingProperty& operator=(const PendingProperty&) = delete;

    // Nothing (or empty) when the property is absent or of another format.
    std::optional<QByteArray> bytes();        // 8-bit data
    std::optional<QString> text();            // 8-bit data as UTF-8, trailing zeros dropped
    std::vector<std::uint32_t> values();      // 32-bit data
    std::optional<std::uint32_t> value();     // the first 32-bit value
    std::optional<QString> windowClass();     // the class half of WM_CLASS ("instance\0class\0")
    std::optional<QString> windowInstance();  // the instance half of WM_CLASS

private:
    const xcb_get_property_reply_t* reply();

    xcb_connection_t* connection_;
    std::optional<xcb_get_property_cookie_t> cookie_;
    XcbReply<xcb_get_property_reply_t> reply_;
};

} // namespace CaptureKit
