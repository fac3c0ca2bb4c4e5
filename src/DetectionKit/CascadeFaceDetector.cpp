#include "DetectionKit/CascadeFaceDetector.h"

#include "DetectionKit/ImageBoxes.h"

#include <QFile>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <mutex>
#include <vector>

namespace DetectionKit {

namespace {

// Faces smaller than this, in pixels, are too small to identify anyone and too easily confused
// with interface glyphs.
constexpr int kMinFaceSize = 24;
// Candidate windows a face needs around it; lower finds more faces and more false ones.
constexpr int kMinNeighbours = 5;
// Step between the scales searched: 1.1 finds the same faces as 1.15 in our photographs at half
// again the cost, and it runs beside text recognition for the same cores.
constexpr double kScaleStep = 1.15;

} // namespace

class CascadeFaceDetector::Pool {
public:
    explicit Pool(QString path) : path_(std::move(path)) {}

    std::unique_ptr<cv::CascadeClassifier> borrow() {
        {
            std::lock_guard lock(mutex_);
            if (!idle_.empty()) {
                auto classifier = std::move(idle_.back());
                idle_.pop_back();
                return classifier;
            }
        }
        auto classifier = std::make_unique<cv::CascadeClassifier>();
        if (!QFile::exists(path_) || !classifier->load(path_.toStdString()))
            throw RecognitionError("the face detection cascade could not be loaded from " + path_.toStdString());
        return classifier;
    }

    void giveBack(std::unique_ptr<cv::CascadeClassifier> classifier) {
        std::lock_guard lock(mutex_);
        idle_.push_back(std::move(classifier));
    }

private:
    QString path_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<cv::CascadeClassifier>> idle_;
};

CascadeFaceDetector::CascadeFaceDetector(QString cascadePath)
    : pool_(std::make_unique<Pool>(cascadePath.isEmpty() ? defaultCascadePath() : cascadePath)) {}

CascadeFaceDetector::~CascadeFaceDetector() = default;

QString CascadeFaceDetector::defaultCascadePath() {
    return QStringLiteral("/usr/share/opencv4/haarcascades/haarcascade_frontalface_alt2.xml");
}

std::vector<Support::Rect> CascadeFaceDetector::detectFaces(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) throw RecognitionError("the image is empty");
    const QImage grey8 = image.convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat view(grey8.height(), grey8.width(), CV_8UC1, const_cast<uchar*>(grey8.constBits()),
                       size_t(grey8.bytesPerLine()));
    cv::Mat grey;
    cv::equalizeHist(view, grey);

    std::unique_ptr<cv::CascadeClassifier> classifier = pool_->borrow();
    std::vector<cv::Rect> faces;
    try {
        classifier->detectMultiScale(grey, faces, kScaleStep, kMinNeighbours, 0, cv::Size(kMinFaceSize, kMinFaceSize));
    } catch (const cv::Exception& e) {
        pool_->giveBack(std::move(classifier));
        throw RecognitionError(std::string("face detection failed: ") + e.what());
    }
    pool_->giveBack(std::move(classifier));

    std::vector<Support::Rect> boxes;
    for (const cv::Rect& f : faces)
        boxes.push_back(ImageBoxes::normalized(Support::Rect(f.x, f.y, f.width, f.height), image.width(), image.height()));
    return boxes;
}

} // namespace DetectionKit
