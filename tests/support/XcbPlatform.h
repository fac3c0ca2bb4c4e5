#pragma once

// For test programs that run on Qt's xcb platform: without a display that platform cannot start
// at all, so such a program falls back to offscreen and its tests skip.
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>

namespace TestSupport {

// One per test program (internal linkage), set before its QApplication exists.
static const bool xcbPlatformChosen = [] {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return true;
}();

} // namespace TestSupport

#define REQUIRE_XCB_PLATFORM()                                                                              \
    do {                                                                                                    \
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no X display for Qt's xcb platform"; \
    } while (0)
