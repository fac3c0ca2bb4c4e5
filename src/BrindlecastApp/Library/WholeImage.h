#pragma once

#include <QString>

namespace BrindlecastApp {

// A PNG file whose writing never finished: it starts as a PNG but its chunks run out before the
// end chunk, so its header reads while its pixels do not decode. Files of other formats, and
// files that cannot be opened, are not judged here.
bool isCutShortPNG(const QString& path);

} // namespace BrindlecastApp
