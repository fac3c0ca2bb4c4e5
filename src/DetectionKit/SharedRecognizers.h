#pragma once

#include "DetectionKit/Recognition.h"

#include <memory>

namespace DetectionKit {

// The process's recognition services, made on first use: engines are expensive to create, so every
// detection and text extraction shares these. An engine unused for a minute is let go (an idle app
// gives its memory back) and made again by the next use.
std::shared_ptr<TextRecognizer> sharedTextRecognizer();
std::shared_ptr<FaceDetector> sharedFaceDetector();

// Starts making both engines on threads of their own and returns at once: called as a capture
// begins, the engines load while the screen is read (or the selection is made) rather than after.
// Engines already warm are only kept warm. Failures show at the next detection.
void prepareSharedRecognizers();

} // namespace DetectionKit
