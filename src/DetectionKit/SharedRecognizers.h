#pragma once

#include "DetectionKit/Recognition.h"

#include <memory>

namespace DetectionKit {

// The process's recognition services, made on first use: engines are expensive to create, so every
// detection and text extraction shares these. An engine unused for a minute is let go (an idle app
// gives its memory back) and made again by the next use.
std::shared_ptr<TextRecognizer> sharedTextRecognizer();
std::shared_ptr<FaceDetector> sharedFaceDetector();

} // namespace DetectionKit
