#pragma once

namespace CaptureKit {

// Whether this session may capture the screen.
struct CaptureAuthorization {
    enum Value { authorized, denied };

    // Authorised when an X display answers ($DISPLAY) and has Composite 0.2 or later, which the
    // capture needs to leave windows out. Denied without a display (a Wayland session without X
    // access among them). Never prompts.
    static Value current();
};

} // namespace CaptureKit
