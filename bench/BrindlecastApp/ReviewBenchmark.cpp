// What one pointer event costs the review canvas with many annotations: finding the annotation
// under the pointer, a grip test, one drag step of the selection, and an edit that snapshots the
// whole list for undo. A frame at 60 Hz leaves 16.7 ms for all of it and the painting.
#include "BrindlecastApp/Review/AnnotationGeometry.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

namespace {

using BrindlecastApp::ReviewViewModel;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;

const Annotation::Style kStyle{"#FF3B30", 6, 1, false, std::nullopt, false};

// A capture covered with `count` annotations of every kind, a quarter of them texts.
std::unique_ptr<ReviewViewModel> crowdedModel(int count) {
    QImage image(2560, 1440, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    auto model = std::make_unique<ReviewViewModel>(
        image, std::vector<DetectionKit::Detection>{}, PolicyKit::EffectivePolicy::safeDefaults(), std::nullopt, [] {},
        ReviewViewModel::Environment{2.0, [](const QImage&, const auto&) { return std::vector<DetectionKit::Detection>{}; }});
    std::vector<Annotation> annotations;
    for (int i = 0; i < count; ++i) {
        const double x = (i * 97) % 2400, y = (i * 53) % 1300;
        Annotation::Kind kind;
        switch (i % 4) {
        case 0: kind = Annotation::Text{{x, y}, QString("Note %1: check this").arg(i), kStyle, std::nullopt,
                                        Annotation::TextAlignment::left, 0}; break;
        case 1: kind = Annotation::Box{{x, y, 120, 60}, kStyle, std::nullopt, 0.3}; break;
        case 2: kind = Annotation::Arrow{{x, y}, {x + 80, y + 40}, kStyle, Point{x + 40, y - 20}}; break;
        default: {
            std::vector<Point> points;
            for (int p = 0; p < 60; ++p) points.push_back({x + p * 2, y + (p % 7)});
            kind = Annotation::Freeform{points, kStyle, false};
        }
        }
        annotations.emplace_back(QUuid::createUuid(), i, kind);
    }
    model->setAnnotations(annotations);
    return model;
}

void BM_HitAnnotation(benchmark::State& state) {
    auto model = crowdedModel(int(state.range(0)));
    int step = 0;
    for (auto _ : state) {
        const Point p{double((step * 131) % 2560), double((step * 71) % 1440)};
        benchmark::DoNotOptimize(BrindlecastApp::AnnotationGeometry::hitAnnotation(p, model->annotations()));
        ++step;
    }
}
BENCHMARK(BM_HitAnnotation)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

void BM_HandleHitRotatedBox(benchmark::State& state) {
    const Annotation box(QUuid::createUuid(), 0, Annotation::Box{{300, 200, 160, 80}, kStyle, std::nullopt, 0.5});
    const BrindlecastApp::CanvasGeometry::ImageViewMapping mapping(Rect(20, 40, 1280, 720), {2560, 1440});
    for (auto _ : state) {
        benchmark::DoNotOptimize(BrindlecastApp::AnnotationGeometry::handleHit({190, 130}, box, mapping));
    }
}
BENCHMARK(BM_HandleHitRotatedBox)->Unit(benchmark::kNanosecond);

void BM_DragStep(benchmark::State& state) {
    auto model = crowdedModel(int(state.range(0)));
    model->setSelectedAnnotationID(model->annotations()[1].id);
    for (auto _ : state) model->moveSelected(1, 1);
}
BENCHMARK(BM_DragStep)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

void BM_AddWithSnapshot(benchmark::State& state) {
    auto model = crowdedModel(int(state.range(0)));
    for (auto _ : state) {
        model->addAnnotation(Annotation::Box{{10, 10, 50, 50}, kStyle, std::nullopt, 0});
        state.PauseTiming();
        model->undo(); // keep the list at its size
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddWithSnapshot)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
