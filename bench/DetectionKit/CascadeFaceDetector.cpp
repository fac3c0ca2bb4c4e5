#include "CascadeFaceDetector.h"

#include "DetectionKit/ImageBoxes.h"

#include <QFile>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace DetectionKit {

namespace {

// Faces smaller than this, in pixels, are too small to identify anyone and too easily confused
// with interface glyphs.
constexpr int kMinFaceSize = 24;
// Candidate windows a face needs around it, and the step between the scales searched: with 3 and
// 1.15, avatars of 32-48 px are found and screens without people give none; a finer step finds no
// more faces in our set at half again the time (bench/DetectionKit/face-bench).
constexpr int kMinNeighbours = 3;
constexpr double kScaleStep = 1.15;

// The search runs one octave of face sizes at a time, kMinFaceSize to twice that, on the screen
// halved as often as needed: the cascade keeps buffers for every scale it searches at once, which
// for a whole 1920x1080 screen in one call came to some 85 MB. Octaves overlap a little so a face
// at the seam has its neighbours in one of them.
constexpr double kOctaveTop = 2.2;
// Within an octave the screen is searched in tiles of at most this many pixels a side, overlapping
// by the largest face of the octave, for the same reason.
constexpr int kTileSide = 960;

// Two boxes for the same face, found in neighbouring octaves or tiles.
bool sameFace(const cv::Rect& a, const cv::Rect& b) {
    const double overlap = (a & b).area();
    return overlap > 0.5 * std::min(a.area(), b.area());
}

// Faces in one octave of sizes, in tiles; boxes in `grey`'s pixels.
std::vector<cv::Rect> searchOctave(cv::CascadeClassifier& cascade, const cv::Mat& grey, bool lastOctave) {
    const int largest = int(std::ceil(kMinFaceSize * kOctaveTop));
    const cv::Size maxSize = lastOctave ? cv::Size() : cv::Size(largest, largest);
    const int overlap = lastOctave ? 0 : largest;
    const int tile = lastOctave ? std::max(grey.cols, grey.rows) : kTileSide;
    std::vector<cv::Rect> found;
    for (int y = 0; y < grey.rows; y += tile - overlap) {
        for (int x = 0; x < grey.cols; x += tile - overlap) {
            const cv::Rect area = cv::Rect(x, y, tile, tile) & cv::Rect(0, 0, grey.cols, grey.rows);
            std::vector<cv::Rect> faces;
            if (area.width >= kMinFaceSize && area.height >= kMinFaceSize)
                cascade.detectMultiScale(grey(area), faces, kScaleStep, kMinNeighbours, 0,
                                         cv::Size(kMinFaceSize, kMinFaceSize), maxSize);
            for (const cv::Rect& f : faces) found.push_back(f + area.tl());
            if (area.x + area.width >= grey.cols) break;
        }
        if (y + std::min(tile, grey.rows) >= grey.rows) break;
    }
    return found;
}

// A face is part of a photograph: its box has many shades. A box that is nearly all two shades
// (a large glyph, an icon) is a shape the cascade took for a face.
bool looksLikeAPhotograph(const cv::Mat& grey, const cv::Rect& box) {
    constexpr int kNear = 8;
    constexpr double kMaxTwoShadeShare = 0.85;
    int histogram[256] = {};
    const cv::Mat area = grey(box & cv::Rect(0, 0, grey.cols, grey.rows));
    for (int y = 0; y < area.rows; ++y)
        for (int x = 0; x < area.cols; ++x) ++histogram[area.at<uchar>(y, x)];
    auto near = [&](int centre) {
        int count = 0;
        for (int v = std::max(0, centre - kNear); v <= std::min(255, centre + kNear); ++v) count += histogram[v];
        return count;
    };
    const int first = int(std::max_element(histogram, histogram + 256) - histogram);
    int second = -1;
    for (int v = 0; v < 256; ++v)
        if (std::abs(v - first) > 2 * kNear && (second < 0 || histogram[v] > histogram[second])) second = v;
    const int twoShades = near(first) + (second >= 0 ? near(second) : 0);
    return twoShades < kMaxTwoShadeShare * double(area.total());
}

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
    // The grey values as they are: equalising the histogram of a whole screen, mostly white or
    // dark interface, flattens the photographs in it until the cascade no longer sees their faces.
    const QImage grey8 = image.convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat grey(grey8.height(), grey8.width(), CV_8UC1, const_cast<uchar*>(grey8.constBits()),
                       size_t(grey8.bytesPerLine()));

    std::unique_ptr<cv::CascadeClassifier> classifier = pool_->borrow();
    std::vector<cv::Rect> faces;
    try {
        cv::Mat octave = grey;
        for (int shrink = 1;; shrink *= 2) {
            const bool last = std::min(octave.cols, octave.rows) < 2 * kOctaveTop * kMinFaceSize;
            for (const cv::Rect& f : searchOctave(*classifier, octave, last)) {
                const cv::Rect box(f.x * shrink, f.y * shrink, f.width * shrink, f.height * shrink);
                // The same face seen in two octaves or tiles: one box around both.
                const auto known = std::find_if(faces.begin(), faces.end(), [&](const cv::Rect& k) { return sameFace(k, box); });
                if (known == faces.end())
                    faces.push_back(box);
                else
                    *known |= box;
            }
            if (last) break;
            cv::Mat half;
            cv::resize(octave, half, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
            octave = half;
        }
    } catch (const cv::Exception& e) {
        pool_->giveBack(std::move(classifier));
        throw RecognitionError(std::string("face detection failed: ") + e.what());
    }
    pool_->giveBack(std::move(classifier));

    std::vector<Support::Rect> boxes;
    for (const cv::Rect& f : faces)
        if (looksLikeAPhotograph(grey, f))
            boxes.push_back(ImageBoxes::normalized(Support::Rect(f.x, f.y, f.width, f.height), image.width(), image.height()));
    return boxes;
}

} // namespace DetectionKit
