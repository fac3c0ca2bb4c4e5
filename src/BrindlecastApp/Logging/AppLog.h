#pragma once

#include "Support/Log.h"

namespace BrindlecastApp {

// The app's own log for the shell, the overlay and the windows, beside the capture pipeline:
// subsystem "app.brindlecast", category
// "pipeline".
inline const Support::Logger& appLog() {
    static const Support::Logger logger("app.brindlecast", "pipeline");
    return logger;
}

} // namespace BrindlecastApp
