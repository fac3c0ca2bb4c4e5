#pragma once

#include "DetectionKit/Recognition.h"

#include <memory>

namespace DetectionKit {

// The process's recognition services, made on first use and kept: engines are expensive to
// create, so every detection and text extraction shares these.
std::shared_ptr<TextRecognizer> sharedTextRecognizer();
std::shared_ptr<FaceDetector> sharedFaceDetector();

} // namespace DetectionKit
