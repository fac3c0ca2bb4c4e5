#pragma once

// Helpers for tests that run the app binary: its environment over a home of the test's own, how
// it ended, and whether another client (the app) holds a global key grab. Header-only: the xcb
// parts are compiled only into the tests that link xcb.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace TestSupport {

// This process's environment with HOME and the XDG folders below `home` (created; the runtime
// folder private), and no platform forced, so the app picks xcb.
inline QProcessEnvironment appEnvironment(const QString& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [variable, sub] : {std::pair{"HOME", ""}, std::pair{"XDG_CONFIG_HOME", "/config"},
                                        std::pair{"XDG_DATA_HOME", "/data"}, std::pair{"XDG_CACHE_HOME", "/cache"},
                                        std::pair{"XDG_RUNTIME_DIR", "/runtime"}}) {
        QDir().mkpath(home + sub);
        environment.insert(variable, home + sub);
    }
    QFile::setPermissions(home + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    environment.remove("QT_QPA_PLATFORM");
    return environment;
}

// Ends the app as a logout or `kill` does (SIGTERM), unless it has ended already, and tells
// whether it ended cleanly: by itself, with status 0, within `timeoutMs` of the signal. An app
// still running then is killed and the failure says so. A crash while quitting, a sanitizer's
// report or an exit handler's abort all show here.
inline testing::AssertionResult endsCleanly(QProcess& app, int timeoutMs = 30000) {
    if (app.state() != QProcess::NotRunning) {
        app.terminate();
        if (!app.waitForFinished(timeoutMs)) {
            app.kill();
            app.waitForFinished();
            return testing::AssertionFailure() << "the app was still running " << timeoutMs << " ms after SIGTERM";
        }
    }
    if (app.exitStatus() != QProcess::NormalExit)
        return testing::AssertionFailure() << "the app crashed (" << app.errorString().toStdString() << ")";
    if (app.exitCode() != 0) return testing::AssertionFailure() << "the app ended with status " << app.exitCode();
    return testing::AssertionSuccess();
}

// The first key code that types `keysym`; 0 when none does.
inline xcb_keycode_t keycodeFor(xcb_connection_t* x, xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(x);
    std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> mapping(
        xcb_get_keyboard_mapping_reply(
            x, xcb_get_keyboard_mapping(x, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1), nullptr),
        &std::free);
    if (!mapping) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
    for (int i = 0; i < length; ++i)
        if (syms[i] == keysym) return static_cast<xcb_keycode_t>(setup->min_keycode + i / mapping->keysyms_per_keycode);
    return 0;
}

// True when another client holds the grab of `keysym` with `modifiers` on `root`: ours then fails.
inline bool keyGrabbedElsewhere(xcb_connection_t* x, xcb_window_t root, xcb_keysym_t keysym, uint16_t modifiers) {
    const xcb_keycode_t key = keycodeFor(x, keysym);
    // The probe takes the key itself for a moment: with the server held, no other client's grab
    // (an app starting up, asked about in a loop) can fall into that moment and fail.
    xcb_grab_server(x);
    const xcb_void_cookie_t cookie =
        xcb_grab_key_checked(x, 0, root, modifiers, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t* error = xcb_request_check(x, cookie);
    if (!error) xcb_ungrab_key(x, key, root, modifiers);
    xcb_ungrab_server(x);
    xcb_flush(x);
    std::free(error);
    return error != nullptr;
}

} // namespace TestSupport
