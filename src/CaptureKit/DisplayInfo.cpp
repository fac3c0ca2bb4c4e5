#include "CaptureKit/DisplayInfo.h"

namespace CaptureKit {

double DisplayInfo::scale() const {
    const double width = frame.width();
    // The comparison is false for NaN as well, which keeps a broken frame at scale 1.
    if (width > 0) return static_cast<double>(pixelWidth) / width;
    return 1.0;
}

} // namespace CaptureKit
