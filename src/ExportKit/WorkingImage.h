#pragma once

#include <QImage>

namespace ExportKit::WorkingImage {

// A detached copy of `image` in the working format (ARGB32 premultiplied, 72 dpi), with the same
// pixels as drawing it into a fresh transparent bitmap would give and none of its text keys.
// Throws ExportError::bitmapContextFailed when it cannot be made.
QImage copyOf(const QImage& image);

} // namespace ExportKit::WorkingImage
