#include "CaptureKit/X11Connection.h"

#include <xcb/res.h>

#include <cstring>

namespace CaptureKit {

X11Connection::X11Connection(const char* displayName) {
    connection_ = xcb_connect(displayName, &screenNumber_);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        throw X11Error("cannot connect to the X display");
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; it.rem && i < screenNumber_; ++i) xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(connection_);
        throw X11Error("the X display has no screen " + std::to_string(screenNumber_));
    }
    screen_ = it.data;
}

X11Connection::~X11Connection() {
    if (connection_) xcb_disconnect(connection_);
}

xcb_atom_t X11Connection::atom(const char* name) {
    const QByteArray key(name);
    if (auto it = atoms_.constFind(key); it != atoms_.constEnd()) return *it;
    XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 0, uint16_t(std::strlen(name)), name), nullptr));
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    if (atom != XCB_ATOM_NONE) atoms_.insert(key, atom);
    return atom;
}

std::optional<QByteArray> X11Connection::bytesProperty(xcb_window_t window, xcb_atom_t property) {
    return PendingProperty(*this, window, property).bytes();
}

std::optional<QString> X11Connection::stringProperty(xcb_window_t window, const char* property) {
    return PendingProperty(*this, window, property).text();
}

std::vector<std::uint32_t> X11Connection::cardinalsProperty(xcb_window_t window, const char* property) {
    return PendingProperty(*this, window, property).values();
}

std::optional<std::uint32_t> X11Connection::cardinalProperty(xcb_window_t window, const char* property) {
    return PendingProperty(*this, window, property).value();
}

std::vector<xcb_atom_t> X11Connection::atomsProperty(xcb_window_t window, const char* property) {
    return cardinalsProperty(window, property);
}

std::optional<QString> X11Connection::windowClass(xcb_window_t window) {
    return PendingProperty(*this, window, XCB_ATOM_WM_CLASS).windowClass();
}

void X11Connection::check(xcb_void_cookie_t cookie, const char* what) {
    XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
    if (error) throw X11Error(std::string(what) + " failed (X error " + std::to_string(error->error_code) + ")");
}

bool X11Connection::succeeded(xcb_void_cookie_t cookie) {
    XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
    return !error;
}

bool X11Connection::hasExtension(xcb_extension_t* extension) {
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection_, extension);
    return data && data->present;
}

bool X11Connection::tellsClientProcesses() {
    if (!tellsClientProcesses_) {
        bool tells = false;
        if (hasExtension(&xcb_res_id)) {
            XcbReply<xcb_res_query_version_reply_t> version(
                xcb_res_query_version_reply(connection_, xcb_res_query_version(connection_, 1, 2), nullptr));
            tells = version && (version->server_major > 1 || (version->server_major == 1 && version->server_minor >= 2));
        }
        tellsClientProcesses_ = tells;
    }
    return *tellsClientProcesses_;
}

std::vector<std::optional<std::uint32_t>> X11Connection::clientProcesses(const std::vector<xcb_window_t>& windows) {
    std::vector<std::optional<std::uint32_t>> processes(windows.size());
    if (windows.empty() || !tellsClientProcesses()) return processes;
    // One request per window, all asked first: the reply names the client by its resource base,
    // not by the window asked about.
    std::vector<xcb_res_query_client_ids_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t window : windows) {
        const xcb_res_client_id_spec_t pidOfOwner{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        cookies.push_back(xcb_res_query_client_ids(connection_, 1, &pidOfOwner));
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
        XcbReply<xcb_res_query_client_ids_reply_t> reply(xcb_res_query_client_ids_reply(connection_, cookies[i], nullptr));
        if (!reply) continue;
        // Only the process ID was asked for, so every value the server gives back is one.
        for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem; xcb_res_client_id_value_next(&it)) {
            if (xcb_res_client_id_value_value_length(it.data) < 1) continue;
            const std::uint32_t pid = xcb_res_client_id_value_value(it.data)[0];
            if (pid != 0) processes[i] = pid;
        }
    }
    return processes;
}

} // namespace CaptureKit

namespace CaptureKit {

PendingProperty::PendingProperty(X11Connection& x, xcb_window_t window, const char* property)
    : PendingProperty(x, window, x.atom(property)) {}

PendingProperty::PendingProperty(X11Connection& x, xcb_window_t window, xcb_atom_t property) : connection_(x.get()) {
    // A long length: the properties read here are short, and one read keeps them consistent.
    if (property != XCB_ATOM_NONE)
        cookie_ = xcb_get_property(connection_, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16);
}

PendingProperty::~PendingProperty() {
    if (cookie_) xcb_discard_reply(connection_, cookie_->sequence);
}

const xcb_get_property_reply_t* PendingProperty::reply() {
    if (cookie_) {
        reply_.reset(xcb_get_property_reply(connection_, *cookie_, nullptr));
        cookie_.reset();
    }
    if (!reply_ || reply_->type == XCB_ATOM_NONE) return nullptr;
    return reply_.get();
}

std::optional<QByteArray> PendingProperty::bytes() {
    const xcb_get_property_reply_t* r = reply();
    if (!r || r->format != 8) return std::nullopt;
    return QByteArray(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
}

std::optional<QString> PendingProperty::text() {
    std::optional<QByteArray> data = bytes();
    if (!data) return std::nullopt;
    // Some clients count the terminating zero into the value.
    while (data->endsWith('\0')) data->chop(1);
    return QString::fromUtf8(*data);
}

std::vector<std::uint32_t> PendingProperty::values() {
    const xcb_get_property_reply_t* r = reply();
    if (!r || r->format != 32) return {};
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(r));
    return {data, data + xcb_get_property_value_length(r) / 4};
}

std::optional<std::uint32_t> PendingProperty::value() {
    const std::vector<std::uint32_t> all = values();
    if (all.empty()) return std::nullopt;
    return all.front();
}

namespace {

std::optional<QString> classHintPart(const std::optional<QByteArray>& data, qsizetype part) {
    if (!data) return std::nullopt;
    const QList<QByteArray> parts = data->split('\0');
    if (parts.size() <= part || parts[part].isEmpty()) return std::nullopt;
    return QString::fromUtf8(parts[part]);
}

} // namespace

std::optional<QString> PendingProperty::windowClass() { return classHintPart(bytes(), 1); }

std::optional<QString> PendingProperty::windowInstance() { return classHintPart(bytes(), 0); }

} // namespace CaptureKit
