#pragma once

#include "DetectionKit/Recognition.h"

#include <QString>
#include <memory>

namespace DetectionKit {

// Face detection with OpenCV's frontal-face cascade, as the app did before its neural face model:
// kept here as the face bench's reference. A classifier is not safe to share between
// threads, so each concurrent call borrows one from a small pool; they are made once and reused.
class CascadeFaceDetector final : public FaceDetector {
public:
    // Empty: the cascade installed with OpenCV's data.
    explicit CascadeFaceDetector(QString cascadePath = QString());
    ~CascadeFaceDetector() override;

    static QString defaultCascadePath();

    // Throws RecognitionError when the cascade cannot be loaded.
    std::vector<Support::Rect> detectFaces(const QImage& image) override;

private:
    class Pool;
    std::unique_ptr<Pool> pool_;
};

} // namespace DetectionKit
