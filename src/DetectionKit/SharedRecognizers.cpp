#include "DetectionKit/SharedRecognizers.h"

#include "DetectionKit/CascadeFaceDetector.h"
#include "DetectionKit/TesseractRecognizer.h"

namespace DetectionKit {

// Made once and never destroyed: the engines hold on to the recognition library's own statics
// (its shared dictionary cache), which are made after these and so would be gone before these
// were torn down at exit.
std::shared_ptr<TextRecognizer> sharedTextRecognizer() {
    static const auto* shared = new std::shared_ptr<TextRecognizer>(std::make_shared<TesseractRecognizer>());
    return *shared;
}

std::shared_ptr<FaceDetector> sharedFaceDetector() {
    static const auto* shared = new std::shared_ptr<FaceDetector>(std::make_shared<CascadeFaceDetector>());
    return *shared;
}

} // namespace DetectionKit
