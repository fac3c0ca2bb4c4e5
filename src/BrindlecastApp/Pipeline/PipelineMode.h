#pragma once

#include "Support/Geometry.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>

namespace BrindlecastApp::Pipeline {

// What one capture takes: a rectangle of the screen, one window, the whole display, or the
// frontmost application's first window.
struct Mode {
    // Global screen points, top-left origin, as the selection overlay reports it.
    struct Region {
        Support::Rect rect;
    };
    // A window by its ID; the owner's application ID when the caller knows it.
    struct Window {
        std::uint32_t windowID = 0;
        std::optional<QString> bundleID;
    };
    struct Display {};
    struct FrontmostWindow {};

    std::variant<Region, Window, Display, FrontmostWindow> value;

    static Mode region(const Support::Rect& rect) { return {Region{rect}}; }
    static Mode window(std::uint32_t windowID, std::optional<QString> bundleID = std::nullopt) {
        return {Window{windowID, std::move(bundleID)}};
    }
    static Mode display() { return {Display{}}; }
    static Mode frontmostWindow() { return {FrontmostWindow{}}; }

    // "region", "window" (also for the frontmost window) or "display": the name the audit trail,
    // the editor and the stored annotations carry.
    QString name() const;
    // Region and display captures also take the screen without the desktop, for backdrops.
    bool takesDesktopLessImage() const;
};

// The mode name of a capture opened again from the library.
inline constexpr const char* kReopenModeName = "reopen";

} // namespace BrindlecastApp::Pipeline
