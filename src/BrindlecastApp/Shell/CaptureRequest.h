#pragma once

#include "Support/Geometry.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace BrindlecastApp {

// One capture a command asks for.
struct CaptureRequest {
    enum class Kind { region, window, display, frontmostWindow };
    Kind kind = Kind::display;
    Support::Rect rect;           // region: root-window coordinates
    std::uint32_t windowID = 0;   // window
    std::optional<QString> bundleID;

    static CaptureRequest region(const Support::Rect& rect) { return {Kind::region, rect, 0, std::nullopt}; }
    static CaptureRequest window(std::uint32_t id, std::optional<QString> bundleID) {
        return {Kind::window, {}, id, std::move(bundleID)};
    }
    static CaptureRequest display() { return {Kind::display, {}, 0, std::nullopt}; }
    static CaptureRequest frontmostWindow() { return {Kind::frontmostWindow, {}, 0, std::nullopt}; }

    friend bool operator==(const CaptureRequest& a, const CaptureRequest& b) {
        return a.kind == b.kind && a.rect.equalTo(b.rect) && a.windowID == b.windowID && a.bundleID == b.bundleID;
    }
};

} // namespace BrindlecastApp
