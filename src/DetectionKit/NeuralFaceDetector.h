#pragma once

#include "DetectionKit/Recognition.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace DetectionKit {

// Face detection with a small neural face model (BlazeFace) run by OpenCV's dnn module. Only the
// photographic parts of the screen are searched (flat fills, text and drawings hold no face): at
// full size in overlapping tiles, for small faces, and whole at a quarter and an eighth of their
// size, for large ones; small areas (camera tiles, avatars) at twice their size too. Candidates
// the net is unsure of get a second look on their own, brightness stretched, and a face the look
// sees at another size takes their place; those whose key points do not lie as on a person's face (animals) or whose
// skin is a drawing's are left out. A face gets one box: boxes that lie largely over one another
// become one box around both. Each
// worker of a call runs a net of its own; the nets (with their layer outputs) are kept for the next
// call, and go with the detector, which the process lets go once detection has been idle a while.
// What the net saw in a part of the screen is kept with them, for the same pixels in the same place
// in a later call (the same screen captured again, the unchanged parts of one that changed).
class NeuralFaceDetector final : public FaceDetector {
public:
    struct Options {
        int workers = 0;                      // 0: one per core, at most kMaxWorkers
        double threshold = 0.75;              // the least score a face needs
        const unsigned char* model = nullptr; // null: the model the engines carry
        std::size_t modelSize = 0;
        std::size_t rememberBytes = kRememberBytes; // the pixels of the parts kept; 0 keeps nothing
    };
    // Each worker's net holds some 75 MB while it runs. Two finish a 1920x1080 screen well within
    // the time its text takes to read, which runs beside them (bench/DetectionKit/face-bench).
    static constexpr int kMaxWorkers = 2;
    // A 1920x1080 screen's searched parts with room to spare, so the screen before and the one
    // after it both fit.
    static constexpr std::size_t kRememberBytes = 32 * 1024 * 1024;

    NeuralFaceDetector();
    explicit NeuralFaceDetector(Options options);

    // Throws RecognitionError when the model cannot be read or run.
    std::vector<Support::Rect> detectFaces(const QImage& image) override;
    // Reads the nets of a call's workers ahead of it.
    void prepare() override;
    ~NeuralFaceDetector() override;

private:
    struct Nets;
    struct Seen;
    int workersFor(int passes) const;

    Options options_;
    std::unique_ptr<Nets> nets_;
    std::unique_ptr<Seen> seen_;
};

} // namespace DetectionKit
