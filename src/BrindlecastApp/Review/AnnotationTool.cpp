#include "BrindlecastApp/Review/AnnotationTool.h"

namespace BrindlecastApp::AnnotationTools {

namespace {

struct ToolNames {
    const char* raw;
    const char* label;
    const char* icon;
};

ToolNames names(AnnotationTool tool) {
    switch (tool) {
    case AnnotationTool::select: return {"Select", "Select", "cursor"};
    case AnnotationTool::arrow: return {"Arrow", "Arrow", "cursor"};
    case AnnotationTool::rectSelect: return {"RectSelect", "Rectangular Select", "rect-select"};
    case AnnotationTool::box: return {"Box", "Rectangle", "rectangle"};
    case AnnotationTool::freeform: return {"Freeform", "Freeform", "freeform"};
    case AnnotationTool::line: return {"Line", "Line", "cursor"};
    case AnnotationTool::ellipse: return {"Ellipse", "Ellipse", "cursor"};
    case AnnotationTool::text: return {"Text", "Text", "text"};
    case AnnotationTool::badge: return {"Badge", "Number Badge", "cursor"};
    case AnnotationTool::highlighter: return {"Highlighter", "Highlighter", "cursor"};
    case AnnotationTool::blur: return {"Blur", "Pixelate", "pixelate"};
    case AnnotationTool::detectPII: return {"DetectPII", "Detect PII", "detect-pii"};
    case AnnotationTool::copyText: return {"CopyText", "Copy Text (OCR)", "text-select"};
    case AnnotationTool::crop: break;
    }
    return {"Crop", "Crop", "crop"};
}

} // namespace

QString rawValue(AnnotationTool tool) { return QString::fromLatin1(names(tool).raw); }

std::optional<AnnotationTool> fromRawValue(const QString& raw) {
    for (AnnotationTool tool : allCases) {
        if (rawValue(tool) == raw) return tool;
    }
    return std::nullopt;
}

QString label(AnnotationTool tool) { return QString::fromLatin1(names(tool).label); }

QString iconName(AnnotationTool tool) { return QString::fromLatin1(names(tool).icon); }

} // namespace BrindlecastApp::AnnotationTools
