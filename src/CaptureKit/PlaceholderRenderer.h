#pragma once

#include "Support/Geometry.h"

#include <QImage>
#include <QString>

#include <vector>

namespace CaptureKit {

// Paints the grey plates that stand where blocked windows were visible, each labelled
// "Content excluded by policy".
namespace PlaceholderRenderer {

inline const QString label = QStringLiteral("Content excluded by policy");

// The label's font size for a plate already clipped to the image: a quarter of its height or
// whatever lets the 26 characters fill 1.6 plate widths, whichever is smaller, and never below 11.
double labelFontSize(const Support::Rect& plate);

// A new image with `plates` (image pixels, top-left origin) drawn over `image`; plates outside
// the image are skipped, the rest clipped to it. The input image when no bitmap can be made.
QImage draw(const QImage& image, const std::vector<Support::Rect>& plates);

} // namespace PlaceholderRenderer

} // namespace CaptureKit
