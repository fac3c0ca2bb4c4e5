#include "BrindlecastApp/Onboarding/WalkthroughEnvironment.h"

#include "BrindlecastApp/Onboarding/DesktopSettingsProgram.h"
#include "CaptureKit/CaptureAuthorization.h"
#include "Support/Log.h"

namespace BrindlecastApp {

WalkthroughEnvironment WalkthroughEnvironment::live() {
    WalkthroughEnvironment environment;
    environment.accessGranted = [] {
        return CaptureKit::CaptureAuthorization::current() == CaptureKit::CaptureAuthorization::authorized;
    };
    environment.requestAccess = [] {
        // An X server with Composite allows capture outright; there is no prompt to raise.
        const bool granted = CaptureKit::CaptureAuthorization::current() == CaptureKit::CaptureAuthorization::authorized;
        Support::Logger("app.brindlecast", "onboarding")
            .info(granted ? "screen capture is allowed"
                          : "screen capture needs an X11 session with the Composite extension");
    };
    environment.openSettings = [] { DesktopSettingsProgram::open(); };
    environment.clock = WalkthroughClock::real();
    return environment;
}

} // namespace BrindlecastApp
