// Wall time of detect() on the preview screenshot and on text-dense screens, with the shared
// engines already made (the first call of a process pays for them once); and of its two halves
// alone, reading the text and searching for faces, which detect() runs side by side. Every line is
// read each time; "again/" is detect() as the app runs it, where the lines of a screen read before
// are remembered.
#include "ScreenRenderer.h"

#include "DetectionKit/NeuralFaceDetector.h"
#include "DetectionKit/PIIDetector.h"
#include "DetectionKit/TesseractRecognizer.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

namespace {

DetectionKit::TesseractRecognizer::Options everyLine() {
    DetectionKit::TesseractRecognizer::Options options;
    options.rememberLines = false;
    return options;
}

void detectWith(benchmark::State& state, const DetectionBench::RenderedScreen& screen, DetectionKit::PIIDetector& detector) {
    detector.detect(screen.image, {}); // warm the engine pool
    size_t found = 0;
    for (auto _ : state) {
        const DetectionKit::DetectionResult result = detector.detect(screen.image, {});
        found = result.detections.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["detections"] = double(found);
    state.counters["planted"] = double(screen.planted.size());
}

void detectOn(benchmark::State& state, const DetectionBench::RenderedScreen& screen) {
    static const auto text = std::make_shared<DetectionKit::TesseractRecognizer>(everyLine());
    DetectionKit::PIIDetector detector(text, std::make_shared<DetectionKit::NeuralFaceDetector>());
    detectWith(state, screen, detector);
}

void againOn(benchmark::State& state, const DetectionBench::RenderedScreen& screen) {
    DetectionKit::PIIDetector detector;
    detectWith(state, screen, detector);
}

void textOn(benchmark::State& state, const DetectionBench::RenderedScreen& screen) {
    static DetectionKit::TesseractRecognizer recognizer(everyLine());
    recognizer.recognize(screen.image); // start the engines
    for (auto _ : state) benchmark::DoNotOptimize(recognizer.recognize(screen.image).size());
}

void facesOn(benchmark::State& state, const DetectionBench::RenderedScreen& screen) {
    DetectionKit::NeuralFaceDetector faces;
    for (auto _ : state) benchmark::DoNotOptimize(faces.detectFaces(screen.image).size());
}

} // namespace

int main(int argc, char** argv) {
    // These tools only draw into images: they need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    static const std::vector<DetectionBench::RenderedScreen> screens = DetectionBench::allScreens();
    for (const DetectionBench::RenderedScreen& screen : screens) {
        const std::pair<const char*, void (*)(benchmark::State&, const DetectionBench::RenderedScreen&)> kinds[] = {
            {"detect/", detectOn}, {"text/", textOn}, {"faces/", facesOn}, {"again/", againOn}};
        for (const auto& [prefix, run] : kinds)
            benchmark::RegisterBenchmark((prefix + screen.name).toStdString().c_str(),
                                         [&screen, run](benchmark::State& state) { run(state, screen); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MinTime(2.0);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
