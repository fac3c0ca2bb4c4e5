#pragma once

#include "DetectionKit/Recognition.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace DetectionKit {

// Face detection with a small neural face model (BlazeFace) run by OpenCV's dnn module. Only the
// photographic parts of the screen are searched (flat fills, text and drawings hold no face): at
// full size in overlapping tiles, for small faces, and whole at a quarter and an eighth of their
// size, for large ones. Each call starts its workers with a net of their own and lets them go when
// it is done: the nets' layer outputs are large and nothing is kept between detections.
class NeuralFaceDetector final : public FaceDetector {
public:
    struct Options {
        int workers = 0;                      // 0: one per core, at most kMaxWorkers
        double threshold = 0.75;              // the least score a face needs
        const unsigned char* model = nullptr; // null: the model the engines carry
        std::size_t modelSize = 0;
    };
    // Each worker's net holds some 75 MB while it runs. Two finish a 1920x1080 screen well within
    // the time its text takes to read, which runs beside them (bench/DetectionKit/face-bench).
    static constexpr int kMaxWorkers = 2;

    NeuralFaceDetector();
    explicit NeuralFaceDetector(Options options);

    // Throws RecognitionError when the model cannot be read or run.
    std::vector<Support::Rect> detectFaces(const QImage& image) override;

private:
    Options options_;
    // The model is read once even where nothing is searched, so that a screen without
    // photographs never passes for one searched when the model cannot be read.
    std::once_flag modelChecked_;
    std::string modelError_;
};

} // namespace DetectionKit
