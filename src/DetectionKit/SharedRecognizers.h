#pragma once

#include "DetectionKit/Recognition.h"

#include <memory>

namespace DetectionKit {

// The process's recognition services, made on first use: engines are expensive to create, so every
// detection and text extraction shares these. An engine unused for a minute is let go (an idle app
// gives its memory back) and made again by the next use; so is one whose use failed, so that
// recognition works again as soon as what it missed (its data) is back.
std::shared_ptr<TextRecognizer> sharedTextRecognizer();
std::shared_ptr<FaceDetector> sharedFaceDetector();

// Starts making both engines on threads of their own and returns at once: called as a capture
// begins, the engines load while the screen is read (or the selection is made) rather than after.
// Engines already warm are only kept warm. Failures show at the next detection.
void prepareSharedRecognizers();

// For the end of the process, once nothing is left to detect (the application's workers are done):
// waits for the preparations and recognitions under way, lets both engines go and stops their
// threads. Afterwards every recognition fails at once and nothing is prepared, so the engines'
// libraries are never used, or loaded, while the process finalises them. Call it before main returns.
void closeSharedRecognizers();

} // namespace DetectionKit
