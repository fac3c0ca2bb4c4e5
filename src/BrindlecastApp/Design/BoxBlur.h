#pragma once

class QImage;

namespace BrindlecastApp {

// Blurs a premultiplied ARGB image in place with three box passes per axis, which approximates a
// Gaussian of standard deviation `sigma` pixels.
void boxBlur(QImage& image, double sigma);

} // namespace BrindlecastApp
