#include "BrindlecastApp/Pipeline/PipelineMode.h"

namespace BrindlecastApp::Pipeline {

QString Mode::name() const {
    if (std::holds_alternative<Region>(value)) return "region";
    if (std::holds_alternative<Display>(value)) return "display";
    return "window";
}

bool Mode::takesDesktopLessImage() const {
    return std::holds_alternative<Region>(value) || std::holds_alternative<Display>(value);
}

} // namespace BrindlecastApp::Pipeline
