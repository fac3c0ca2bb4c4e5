#pragma once

#include "DetectionKit/Detection.h"

namespace DetectionKit {

// Builds detections directly, for tests of the modules that consume them (redaction, review).
// Production code gets detections only from PIIDetector.
struct DetectionTesting {
    static Detection make(QString detectorName, PatternAction action, Support::Rect boundingBox,
                          QString matchedText = {}) {
        return Detection(std::move(detectorName), action, boundingBox, std::move(matchedText));
    }
};

} // namespace DetectionKit
