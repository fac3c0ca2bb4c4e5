#include "DetectionKit/NeuralFaceDetector.h"

#include "DetectionKit/FaceCandidates.h"
#include "DetectionKit/FaceModel.h"
#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/PixelContentCache.h"

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>


#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

namespace DetectionKit {

namespace {

// Small faces are searched at full size in tiles of this side, overlapping by more than the
// largest face found at that size; larger ones on the whole area at a quarter size, and faces
// close to a camera, filling much of the screen, at an eighth (the model sees faces up to about
// 100 of its pixels).
constexpr int kTileSide = 576;
constexpr int kTileOverlap = 128;
constexpr double kAreaScales[] = {0.25, 0.125};
// The net takes sides that are multiples of this; a pass's input is padded up to one.
constexpr int kSideMultiple = 16;

const std::vector<cv::String> kOutputs = {"scores8", "boxes8", "scores16", "boxes16"};

// One run of the net: a part of the screen, scaled.
struct Pass {
    cv::Rect area;  // in image pixels
    double scale = 1;
};

int roundedUp(int value) { return (value + kSideMultiple - 1) / kSideMultiple * kSideMultiple; }

// The net's input for a pass: RGB scaled to -1..1, padded with mid-grey (0) to a multiple of 16.
cv::Mat inputOf(const cv::Mat& rgb, const Pass& pass) {
    cv::Mat part = rgb(pass.area);
    if (pass.scale != 1) {
        cv::Mat scaled;
        const cv::Size size(std::max(1, int(std::lround(part.cols * pass.scale))),
                            std::max(1, int(std::lround(part.rows * pass.scale))));
        cv::resize(part, scaled, size, 0, 0, cv::INTER_AREA);
        part = scaled;
    }
    cv::Mat padded;
    cv::copyMakeBorder(part, padded, 0, roundedUp(part.rows) - part.rows, 0, roundedUp(part.cols) - part.cols,
                       cv::BORDER_CONSTANT, cv::Scalar::all(127.5));
    return cv::dnn::blobFromImage(padded, 1 / 127.5, cv::Size(), cv::Scalar::all(127.5), false, false, CV_32F);
}

FaceCandidates::Head headOf(const cv::Mat& scores, const cv::Mat& boxes, int stride) {
    if (scores.dims != 4 || boxes.dims != 4 || boxes.size[1] != 16 * scores.size[1] || scores.size[2] != boxes.size[2] ||
        scores.size[3] != boxes.size[3])
        throw RecognitionError("the face model gave head maps of an unexpected shape");
    return {scores.ptr<float>(), boxes.ptr<float>(), scores.size[1], stride, scores.size[2], scores.size[3]};
}

std::vector<FaceCandidates::Candidate> runOn(cv::dnn::Net& net, const cv::Mat& input, const FaceCandidates::Placement& placement,
                                             double threshold) {
    net.setInput(input);
    std::vector<cv::Mat> outputs;
    net.forward(outputs, kOutputs);
    std::vector<FaceCandidates::Candidate> found = FaceCandidates::decode(headOf(outputs[0], outputs[1], 8), placement, threshold);
    const auto large = FaceCandidates::decode(headOf(outputs[2], outputs[3], 16), placement, threshold);
    found.insert(found.end(), large.begin(), large.end());
    return found;
}

std::vector<FaceCandidates::Candidate> run(cv::dnn::Net& net, const cv::Mat& rgb, const Pass& pass, double threshold) {
    return runOn(net, inputOf(rgb, pass), {double(pass.area.x), double(pass.area.y), pass.scale}, threshold);
}

// Candidates from this score up to the detector's threshold get a second look: a face masked, lit
// from behind or turned three-quarter away is seen, but less surely than one in plain view.
constexpr double kSecondLookFrom = 0.5;
// The second look sees the candidate alone, its box a little under half of the net's input, with
// its brightness stretched to the full range (a backlit face is dark and flat).
constexpr int kLookSide = 128;
constexpr double kLookContext = 2.2;
// At most this many second looks per image (each is one run of the net at its smallest input).
constexpr int kMostSecondLooks = 48;
// A face a second look finds that overlaps the candidate's box by less than this (intersection over
// union) is a face of another size than the candidate: it, not the candidate, is the face.
constexpr double kSameFace = 0.5;

// The part of the image a second look at `box` sees.
cv::Rect lookArea(const cv::Mat& rgb, const Support::Rect& box) {
    const double side = kLookContext * std::max(box.width(), box.height());
    const double left = box.midX() - side / 2, top = box.midY() - side / 2;
    return cv::Rect(int(std::floor(left)), int(std::floor(top)), int(std::ceil(side)), int(std::ceil(side))) &
           cv::Rect(0, 0, rgb.cols, rgb.rows);
}

// The face a second look saw at the candidate's place, the strongest; a score of 0 when none.
FaceCandidates::Candidate secondLook(cv::dnn::Net& net, const cv::Mat& rgb, const FaceCandidates::Candidate& candidate,
                                     double threshold) {
    const Support::Rect& box = candidate.box;
    const double side = kLookContext * std::max(box.width(), box.height());
    const double left = box.midX() - side / 2, top = box.midY() - side / 2;
    const double scale = kLookSide / side;
    // The square around the candidate, mid-grey where it leaves the image.
    cv::Mat look(kLookSide, kLookSide, CV_8UC3, cv::Scalar::all(127));
    const cv::Rect inImage = lookArea(rgb, box);
    if (inImage.width < 2 || inImage.height < 2) return {};
    cv::Mat part;
    const cv::Size scaled(std::max(1, int(std::lround(inImage.width * scale))), std::max(1, int(std::lround(inImage.height * scale))));
    cv::resize(rgb(inImage), part, scaled, 0, 0, scale < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
    const cv::Rect at = cv::Rect(int(std::lround((inImage.x - left) * scale)), int(std::lround((inImage.y - top) * scale)),
                                 part.cols, part.rows) & cv::Rect(0, 0, kLookSide, kLookSide);
    part(cv::Rect(0, 0, at.width, at.height)).copyTo(look(at));
    // Brightness stretched so that the face's own darkest and brightest pixels span the range.
    cv::Mat grey;
    cv::cvtColor(look, grey, cv::COLOR_RGB2GRAY);
    double lowest = 0, highest = 0;
    const int inner = kLookSide / 4;
    cv::minMaxLoc(grey(cv::Rect(inner, inner, kLookSide - 2 * inner, kLookSide - 2 * inner)), &lowest, &highest);
    if (highest - lowest >= 8) look.convertTo(look, CV_8UC3, 255.0 / (highest - lowest), -lowest * 255.0 / (highest - lowest));
    const cv::Mat input = cv::dnn::blobFromImage(look, 1 / 127.5, cv::Size(), cv::Scalar::all(127.5), false, false, CV_32F);
    FaceCandidates::Candidate best;
    for (const FaceCandidates::Candidate& c : runOn(net, input, {left, top, scale}, threshold))
        if (c.box.contains({box.midX(), box.midY()}) && c.box.width() > 0.5 * box.width() && c.box.width() < 2 * box.width() &&
            c.score > best.score)
            best = c;
    return best;
}

// The net is run only where a face can be: on the photographic parts of the screen, each grown by
// a margin that holds the head and hair around a face. Faces from 24 px are looked for; a face is
// seen at each scale once its area is this large there.
constexpr int kCell = 8;
constexpr int kSmallestFace = 16;
constexpr int kAreaMargin = 32;
// Small areas (the camera tiles of a filmstrip, avatars) are also searched at twice their size,
// where faces of 16-30 px, which the net sees only unsurely at their own size, are clear.
constexpr int kLargestUpscaledArea = 192;
constexpr double kUpscale = 2;

std::vector<Pass> passesFor(const QImage& image) {
    const int width = image.width(), height = image.height();
    const std::vector<FaceCandidates::Tile> areas =
        FaceCandidates::faceAreas(FaceCandidates::photographicCells(image, kCell), width, height, kSmallestFace, kAreaMargin);
    std::vector<Pass> passes;
    for (const FaceCandidates::Tile& area : areas) {
        for (const FaceCandidates::Tile& t : FaceCandidates::tiles(area.width, area.height, kTileSide, kTileOverlap))
            passes.push_back({cv::Rect(area.x + t.x, area.y + t.y, t.width, t.height), 1});
        // Larger faces, at a quarter and an eighth: only where the area is larger than a tile's
        // largest face, and the net still sees the smallest face it can find.
        if (std::max(area.width, area.height) <= kLargestUpscaledArea)
            passes.push_back({cv::Rect(area.x, area.y, area.width, area.height), kUpscale});
        for (const double scale : kAreaScales)
            if (std::min(area.width, area.height) * scale >= kSmallestFace && std::max(area.width, area.height) > kTileOverlap)
                passes.push_back({cv::Rect(area.x, area.y, area.width, area.height), scale});
    }
    return passes;
}

cv::dnn::Net readNet(const unsigned char* model, std::size_t size) {
    cv::dnn::Net net = cv::dnn::readNetFromONNX(reinterpret_cast<const char*>(model), size);
    if (net.empty()) throw RecognitionError("the face model could not be read");
    return net;
}

} // namespace

// What the net saw before: each pass's candidates, by the pixels of its part and where and at what
// scale it lay, and each second look's score, by the pixels it saw and the candidate's box.
struct NeuralFaceDetector::Seen {
    explicit Seen(std::size_t bytes) : passes(bytes * 7 / 8), looks(bytes / 8) {}
    PixelContentCache<std::vector<FaceCandidates::Candidate>> passes;
    PixelContentCache<FaceCandidates::Candidate> looks;
};

// The nets read so far that no call is using: a net serves one worker at a time.
struct NeuralFaceDetector::Nets {
    std::mutex mutex;
    std::vector<cv::dnn::Net> idle;
    std::size_t made = 0;

    cv::dnn::Net take(const Options& options) {
        {
            std::lock_guard lock(mutex);
            if (!idle.empty()) {
                cv::dnn::Net net = std::move(idle.back());
                idle.pop_back();
                return net;
            }
        }
        cv::dnn::Net net = readNet(options.model, options.modelSize);
        std::lock_guard lock(mutex);
        ++made;
        return net;
    }
    void giveBack(cv::dnn::Net net) {
        std::lock_guard lock(mutex);
        idle.push_back(std::move(net));
    }
};

NeuralFaceDetector::NeuralFaceDetector() : NeuralFaceDetector(Options{}) {}

NeuralFaceDetector::~NeuralFaceDetector() = default;

int NeuralFaceDetector::workersFor(int passes) const {
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    const int wanted = options_.workers > 0 ? options_.workers : std::min(cores, kMaxWorkers);
    return std::clamp(wanted, 1, std::max(1, passes));
}

void NeuralFaceDetector::prepare() {
    // As many nets as a whole screen's workers use, read side by side.
    const int wanted = workersFor(std::numeric_limits<int>::max());
    std::size_t missing = 0;
    {
        std::lock_guard lock(nets_->mutex);
        missing = std::size_t(wanted) > nets_->made ? std::size_t(wanted) - nets_->made : 0;
    }
    std::vector<std::thread> readers;
    for (std::size_t i = 0; i < missing; ++i)
        readers.emplace_back([this] {
            try {
                nets_->giveBack(nets_->take(options_));
            } catch (const std::exception&) {
                // The detection that follows reads it again and reports the failure.
            }
        });
    for (std::thread& reader : readers) reader.join();
}

NeuralFaceDetector::NeuralFaceDetector(Options options)
    : options_(options), nets_(std::make_unique<Nets>()), seen_(std::make_unique<Seen>(options.rememberBytes)) {
    if (!options_.model) {
        options_.model = FaceModel::bytes();
        options_.modelSize = FaceModel::size();
    }
}

std::vector<Support::Rect> NeuralFaceDetector::detectFaces(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) throw RecognitionError("the image is empty");
    const std::vector<Pass> passes = passesFor(image);
    if (passes.empty()) {
        // Nothing to search, but a screen without photographs never passes for one searched when
        // the model cannot be read: a net is at hand (kept from before, or read now and kept).
        try {
            nets_->giveBack(nets_->take(options_));
        } catch (const cv::Exception& e) {
            throw RecognitionError(std::string("face detection failed: ") + e.what());
        } catch (const RecognitionError& e) {
            throw RecognitionError(std::string("face detection failed: ") + e.what());
        }
        return {};
    }
    const QImage rgb888 = image.convertToFormat(QImage::Format_RGB888);
    const cv::Mat rgb(rgb888.height(), rgb888.width(), CV_8UC3, const_cast<uchar*>(rgb888.constBits()),
                      size_t(rgb888.bytesPerLine()));

    const int workers = workersFor(int(passes.size()));

    std::mutex mutex;
    // Per pass, so that the candidates meet in the same order whichever worker ran which pass.
    std::vector<std::vector<FaceCandidates::Candidate>> found(passes.size());
    std::string failure;
    std::atomic<size_t> next{0};
    // Each worker has a net of its own (they are not safe to share), taken once a pass is not known
    // from before, and hands it back, with the layer outputs it holds, for the next detection; a
    // net whose run failed is dropped.
    auto work = [&] {
        try {
            std::optional<cv::dnn::Net> net;
            for (size_t i = next++; i < passes.size(); i = next++) {
                const Pass& pass = passes[i];
                const cv::Mat part = rgb(pass.area);
                const PixelContentCache<std::vector<FaceCandidates::Candidate>>::Tag where{
                    double(pass.area.x), double(pass.area.y), pass.scale};
                if (std::optional<std::vector<FaceCandidates::Candidate>> known = seen_->passes.find(part, where)) {
                    found[i] = std::move(*known);
                    continue;
                }
                if (!net) net = nets_->take(options_);
                found[i] = run(*net, rgb, pass, std::min(options_.threshold, kSecondLookFrom));
                seen_->passes.remember(part, where, found[i]);
            }
            if (net) nets_->giveBack(std::move(*net));
        } catch (const cv::Exception& e) {
            std::lock_guard lock(mutex);
            if (failure.empty()) failure = std::string("face detection failed: ") + e.what();
        } catch (const std::exception& e) {
            std::lock_guard lock(mutex);
            if (failure.empty()) failure = std::string("face detection failed: ") + e.what();
        }
        next = passes.size(); // a failed worker stops the others at their next pass
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < workers; ++i) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    if (!failure.empty()) throw RecognitionError(failure);
    std::vector<FaceCandidates::Candidate> candidates;
    for (const std::vector<FaceCandidates::Candidate>& pass : found) candidates.insert(candidates.end(), pass.begin(), pass.end());

    std::vector<Support::Rect> boxes;
    const Support::Rect bounds(0, 0, image.width(), image.height());
    std::optional<cv::dnn::Net> lookingNet;
    int looks = 0;
    for (FaceCandidates::Candidate c : FaceCandidates::merge(std::move(candidates))) {
        // Animals and drawings (cartoons, stickers, anime, initials avatars) have the shape of a
        // face but are nobody's.
        if (!FaceCandidates::humanLayout(c) || FaceCandidates::drawing(image, c.box)) continue;
        if (c.score < options_.threshold) {
            if (looks++ >= kMostSecondLooks) continue;
            try {
                const cv::Rect area = lookArea(rgb, c.box);
                if (area.width < 2 || area.height < 2) continue; // nothing to look at
                const cv::Mat seen = rgb(area);
                const PixelContentCache<FaceCandidates::Candidate>::Tag look{c.box.minX(), c.box.minY(), c.box.width(),
                                                                             c.box.height()};
                std::optional<FaceCandidates::Candidate> face = seen_->looks.find(seen, look);
                if (!face) {
                    if (!lookingNet) lookingNet = nets_->take(options_);
                    face = secondLook(*lookingNet, rgb, c, options_.threshold);
                    seen_->looks.remember(seen, look, *face);
                }
                if (face->score < options_.threshold) continue;
                // The look can confirm a face of another size at the candidate's place: inside a
                // candidate that is a whole small photograph or a head and shoulders, or around one
                // that is a part of a face. The face is where the look saw it.
                if (FaceCandidates::overlap(face->box, c.box) < kSameFace) {
                    if (!FaceCandidates::humanLayout(*face) || FaceCandidates::drawing(image, face->box)) continue;
                    c = *face;
                }
            } catch (const cv::Exception& e) {
                throw RecognitionError(std::string("face detection failed: ") + e.what());
            }
        }
        const Support::Rect box = FaceCandidates::faceBox(c.box).intersection(bounds);
        if (!box.isNull() && !box.isEmpty()) boxes.push_back(box);
    }
    std::vector<Support::Rect> faces;
    for (const Support::Rect& box : FaceCandidates::oneBoxPerFace(std::move(boxes)))
        faces.push_back(ImageBoxes::normalized(box, image.width(), image.height()));
    if (lookingNet) nets_->giveBack(std::move(*lookingNet));
    return faces;
}

} // namespace DetectionKit
