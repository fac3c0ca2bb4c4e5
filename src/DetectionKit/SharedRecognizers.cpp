#include "DetectionKit/SharedRecognizers.h"

#include "DetectionKit/CascadeFaceDetector.h"
#include "DetectionKit/TesseractRecognizer.h"

namespace DetectionKit {

std::shared_ptr<TextRecognizer> sharedTextRecognizer() {
    static const std::shared_ptr<TextRecognizer> shared = std::make_shared<TesseractRecognizer>();
    return shared;
}

std::shared_ptr<FaceDetector> sharedFaceDetector() {
    static const std::shared_ptr<FaceDetector> shared = std::make_shared<CascadeFaceDetector>();
    return shared;
}

} // namespace DetectionKit
