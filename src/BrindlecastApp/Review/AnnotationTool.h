#pragma once

#include <QString>

#include <array>
#include <optional>

namespace BrindlecastApp {

// The tools of the review canvas, in toolbar order.
enum class AnnotationTool {
    select,
    arrow,
    rectSelect,
    box,
    freeform,
    line,
    ellipse,
    text,
    badge,
    highlighter,
    blur,
    detectPII,
    copyText,
    crop,
};

namespace AnnotationTools {
inline constexpr std::array<AnnotationTool, 14> allCases{
    AnnotationTool::select,    AnnotationTool::arrow,     AnnotationTool::rectSelect, AnnotationTool::box,
    AnnotationTool::freeform,  AnnotationTool::line,      AnnotationTool::ellipse,    AnnotationTool::text,
    AnnotationTool::badge,     AnnotationTool::highlighter, AnnotationTool::blur,     AnnotationTool::detectPII,
    AnnotationTool::copyText,  AnnotationTool::crop,
};

// "Select", "RectSelect", "DetectPII", ...: the name a tool goes by on the command line.
QString rawValue(AnnotationTool tool);
// Exact and case-sensitive: "Blur" is a tool, "blur" and "Pixelate" are not.
std::optional<AnnotationTool> fromRawValue(const QString& raw);
// The display name, shown as the toolbar button's help text ("Pixelate" for blur).
QString label(AnnotationTool tool);
// The tool's glyph in the icon set; tools without a glyph of their own show "cursor".
QString iconName(AnnotationTool tool);
} // namespace AnnotationTools

} // namespace BrindlecastApp
