// The entry point of the engine module (see SharedRecognizers.cpp for why the engines live apart).

#include "DetectionKit/EngineModule.h"

#include "DetectionKit/NeuralFaceDetector.h"
#include "DetectionKit/TesseractRecognizer.h"

extern "C" __attribute__((visibility("default"))) const DetectionKit::EngineModule* brindlecastDetectionEngines() {
    static const DetectionKit::EngineModule module{
        DetectionKit::EngineModule::kVersion,
        [] { return std::shared_ptr<DetectionKit::TextRecognizer>(std::make_shared<DetectionKit::TesseractRecognizer>()); },
        [] { return std::shared_ptr<DetectionKit::FaceDetector>(std::make_shared<DetectionKit::NeuralFaceDetector>()); },
    };
    return &module;
}
