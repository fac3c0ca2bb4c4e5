#pragma once

#include "DetectionKit/Recognition.h"

#include <memory>

namespace DetectionKit {

// What the engine module hands to the library: makers of its text recogniser and face detector.
// The module is loaded once and never unloaded, so what it makes may live until exit.
struct EngineModule {
    static constexpr int kVersion = 1;
    static constexpr const char* kEntryPoint = "brindlecastDetectionEngines";
    using Entry = const EngineModule* (*)();

    int version = kVersion;
    std::shared_ptr<TextRecognizer> (*makeTextRecognizer)() = nullptr;
    std::shared_ptr<FaceDetector> (*makeFaceDetector)() = nullptr;
};

} // namespace DetectionKit
