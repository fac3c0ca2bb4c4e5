#include "BrindlecastApp/Review/CanvasColor.h"

#include "ExportKit/Exporter.h"
#include "Support/HexColor.h"

#include <algorithm>
#include <cmath>

namespace BrindlecastApp::CanvasColor {

QColor systemRed() { return QColor::fromRgb(255, 59, 48); }

QColor nsColor(QStringView hex, double alpha) {
    std::optional<QColor> parsed = Support::HexColor::parse(hex);
    if (!parsed) return systemRed();
    const double scaled = std::isnan(alpha) ? 0.0 : std::clamp(alpha * parsed->alphaF(), 0.0, 1.0);
    parsed->setAlphaF(float(scaled));
    return *parsed;
}

QColor haloColor(const SidecarKit::Annotation::Style& style) {
    if (style.outlineColorHex) return nsColor(*style.outlineColorHex, 1);
    // The export picks the same contrast colour, so the file shows what the canvas showed.
    return ExportKit::Exporter::contrastColorForHex(style.colorHex);
}

} // namespace BrindlecastApp::CanvasColor
