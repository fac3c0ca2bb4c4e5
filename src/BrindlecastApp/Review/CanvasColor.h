#pragma once

#include "SidecarKit/Annotation.h"

#include <QColor>
#include <QStringView>

namespace BrindlecastApp::CanvasColor {

// The canvas's own colour rule, stricter than Color::fromHex: after one optional "#", exactly six
// hex digits (opaque) or eight (the last two are alpha). The alpha is multiplied by `alpha`,
// kept within 0...1 (not a number counts as 0). Anything else is the system red, opaque.
QColor nsColor(QStringView hex, double alpha);

// The stand-in for the desktop's red, which the canvas shows for a colour it cannot read.
QColor systemRed();

// The outline drawn around a stroke: the style's outline colour when it names one (opaque),
// otherwise black behind light colours (luminance above 0.6) and white behind dark ones.
QColor haloColor(const SidecarKit::Annotation::Style& style);

} // namespace BrindlecastApp::CanvasColor
