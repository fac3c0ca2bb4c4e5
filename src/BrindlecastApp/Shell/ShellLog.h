#pragma once

#include "Support/Log.h"

namespace BrindlecastApp {

// The application shell logs beside the capture pipeline: subsystem "app.brindlecast", category
// "pipeline".
inline const Support::Logger& shellLog() {
    static const Support::Logger logger("app.brindlecast", "pipeline");
    return logger;
}

} // namespace BrindlecastApp
