#pragma once

#include "BrindlecastApp/Design/WalkthroughClock.h"

#include <functional>
#include <memory>

namespace BrindlecastApp {

// What the walkthrough asks of the platform. live() is the real one; tests swap in fakes.
struct WalkthroughEnvironment {
    // Whether capture is allowed now (asks, never prompts).
    std::function<bool()> accessGranted;
    // Asks the capture layer for access. On X11 there is no one to ask: it only notes the state.
    std::function<void()> requestAccess;
    // Opens what the desktop offers for the user to act on (its settings program).
    std::function<void()> openSettings;
    std::shared_ptr<WalkthroughClock> clock;

    static WalkthroughEnvironment live();
};

} // namespace BrindlecastApp
