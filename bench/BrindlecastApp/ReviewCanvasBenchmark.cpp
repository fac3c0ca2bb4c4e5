// Frame times of the review canvas on a 2560x1440 capture with 20 redactions and 50 annotations,
// on the offscreen platform: a whole repaint at zoom 1 and 2, and one frame of dragging a
// selected arrow. The reference is the same frame with nothing kept between frames (the scaled
// capture, the card's shadow, the redaction textures and the annotations made again every time).
//
//   review-canvas-benchmark --benchmark_repetitions=9 --benchmark_report_aggregates_only=true
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "DetectionKit/DetectionTesting.h"
#include "PolicyKit/EffectivePolicy.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

using BrindlecastApp::ReviewCanvasView;
using BrindlecastApp::ReviewViewModel;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;

constexpr int kWidth = 2560;
constexpr int kHeight = 1440;
const QSize kCanvas(1600, 1000);

// A desktop-like capture: a wallpaper of soft noise under six pale windows of text lines.
QImage makeCapture() {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) line[x] = qRgb(30 + (x * 7 + y * 3) % 40, 60 + (x + y) % 50, 114 + (y * 5) % 40);
    }
    QPainter painter(&image);
    for (int w = 0; w < 6; ++w) {
        const QRect frame(80 + w * 390, 60 + (w % 3) * 420, 900, 620);
        painter.fillRect(frame, QColor(245, 245, 247));
        for (int row = 0; row < 24; ++row) {
            painter.fillRect(QRect(frame.x() + 24, frame.y() + 60 + row * 22, 300 + (row * 37) % 500, 10), QColor(60, 60, 70));
        }
    }
    return image;
}

std::vector<DetectionKit::Detection> makeDetections() {
    std::vector<DetectionKit::Detection> detections;
    for (int i = 0; i < 20; ++i) {
        const Rect box(120 + (i % 5) * 480, 140 + (i / 5) * 320, 260 + (i % 3) * 40, 24 + (i % 4) * 8);
        const auto action = i % 3 == 0 ? DetectionKit::PatternAction::blurMandatory : DetectionKit::PatternAction::blurSuggested;
        detections.push_back(DetectionKit::DetectionTesting::make("email", action, box, "someone@example.org"));
    }
    return detections;
}

std::vector<Annotation> makeAnnotations() {
    std::vector<Annotation> annotations;
    const char* colours[] = {"#FF3B30", "#FFD60A", "#34C759", "#007AFF", "#AF52DE"};
    for (int i = 0; i < 50; ++i) {
        const Annotation::Style style(colours[i % 5], 6, 1, i % 4 == 0, std::nullopt, false);
        const double x = 100 + (i % 10) * 240, y = 100 + (i / 10) * 260;
        Annotation::Kind kind;
        switch (i % 8) {
        case 0: kind = Annotation::Arrow{{x, y}, {x + 180, y + 120}, style, std::nullopt}; break;
        case 1: kind = Annotation::Box{Rect(x, y, 160, 90), style, std::nullopt, i % 3 * 0.2}; break;
        case 2: kind = Annotation::Ellipse{Rect(x, y, 150, 100), style, Annotation::Fill(colours[i % 5], 0.2), 0}; break;
        case 3:
            kind = Annotation::Text{{x, y}, "Check this value", Annotation::Style(colours[i % 5], 40, 1, true, std::nullopt, false),
                                    std::nullopt, Annotation::TextAlignment::left, 0};
            break;
        case 4: kind = Annotation::Blur{Rect(x, y, 180, 60), Annotation::RedactionStyle(i % 3), i % 2 * 0.3}; break;
        case 5: {
            std::vector<Point> points;
            for (int k = 0; k < 40; ++k) points.push_back({x + k * 5, y + 20 * std::sin(k / 4.0)});
            kind = Annotation::Freeform{points, style, false};
            break;
        }
        case 6: kind = Annotation::Line{{x, y}, {x + 200, y + 40}, style, i % 2 == 0}; break;
        default: kind = Annotation::Badge{{x, y}, i, 34, style}; break;
        }
        annotations.emplace_back(QUuid::createUuid(), i, kind);
    }
    return annotations;
}

struct Scene {
    Scene()
        : model(makeCapture(), makeDetections(), PolicyKit::EffectivePolicy::safeDefaults(), std::nullopt, [] {},
                ReviewViewModel::Environment{1.0, [](const QImage&, const std::vector<DetectionKit::PatternInput>&) {
                                                 return std::vector<DetectionKit::Detection>{};
                                             }}),
          canvas(model) {
        model.setAnnotations(makeAnnotations());
        canvas.setOpensTextEditorWhenShown(false);
        canvas.resize(kCanvas);
        canvas.show();
        QApplication::processEvents();
    }
    ReviewViewModel model;
    ReviewCanvasView canvas;
};

void repaint(benchmark::State& state, bool keepCaches) {
    Scene scene;
    scene.model.setZoom(double(state.range(0)));
    QApplication::processEvents();
    scene.canvas.repaint(); // the first frame makes what later ones reuse
    for (auto _ : state) {
        if (!keepCaches) scene.canvas.renderer().clearCaches();
        scene.canvas.repaint();
    }
}

void BM_Repaint(benchmark::State& state) { repaint(state, true); }
void BM_RepaintReference(benchmark::State& state) { repaint(state, false); }

// One frame of a drag: the arrow moves by a mouse step and the canvas paints it; a run is a drag
// of 100 moves.
void BM_DragArrow(benchmark::State& state) {
    Scene scene;
    const QUuid arrow = scene.model.annotations().front().id;
    scene.model.setSelectedAnnotationID(arrow);
    const Point start = scene.canvas.toView(Point{190, 160}); // on the arrow's shaft
    QMouseEvent press(QEvent::MouseButtonPress, start.toQPointF(), start.toQPointF(), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(&scene.canvas, &press);
    scene.canvas.repaint();
    int step = 0;
    for (auto _ : state) {
        ++step;
        const QPointF at = start.toQPointF() + QPointF(step % 50, (step * 3) % 40);
        QMouseEvent move(QEvent::MouseMove, at, at, Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&scene.canvas, &move);
        scene.canvas.repaint();
    }
}

BENCHMARK(BM_Repaint)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintReference)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DragArrow)->Iterations(100)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
