// The whole export of one capture: crop, redact, flatten, backdrop, watermark, PNG encode; and
// flattening single annotations, and whole documents of them, whose sizes came from a damaged
// document.
//
//   ExportKitBench [benchmark flags]          measure
//   ExportKitBench --write-final-pixels FILE  write the export's final pixels as raw RGBA and
//                                             print "WIDTHxHEIGHT OUR_PNG_BYTES", for the reference
#include "ExportKit/Exporter.h"

#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

using ExportKit::Backdrop;
using ExportKit::ImageFormat;
using ExportKit::Watermark;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;
namespace Exporter = ExportKit::Exporter;

constexpr int kWidth = 2560;
constexpr int kHeight = 1440;

// Something shaped like a desktop: a gradient wallpaper, windows with title bars, lines of text.
QImage makeCapture() {
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QLinearGradient wallpaper(0, 0, kWidth, kHeight);
    wallpaper.setColorAt(0, QColor("#1E3C72"));
    wallpaper.setColorAt(1, QColor("#2A5298"));
    painter.fillRect(image.rect(), wallpaper);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int w = 0; w < 6; ++w) {
        const QRect window(80 + w * 390, 60 + (w % 3) * 420, 900, 620);
        painter.fillRect(window, QColor(245, 245, 247));
        painter.fillRect(QRect(window.topLeft(), QSize(window.width(), 36)), QColor(225, 225, 230));
        painter.setPen(QColor(30, 30, 30));
        QFont font("DejaVu Sans");
        font.setPixelSize(15);
        painter.setFont(font);
        for (int line = 0; line < 24; ++line) {
            painter.drawText(window.left() + 24, window.top() + 70 + line * 22,
                             QString("Invoice %1 for jane.doe%2@example.com, card 4111 1111 1111 %3")
                                 .arg(line * 37 + w)
                                 .arg(line)
                                 .arg(1000 + line * 7));
        }
    }
    return image;
}

std::vector<Rect> makeRedactions() {
    std::vector<Rect> regions;
    for (int i = 0; i < 20; ++i) regions.emplace_back(100 + (i % 5) * 480, 120 + (i / 5) * 300, 180 + i * 7, 26 + (i % 3) * 10);
    return regions;
}

std::vector<Annotation> makeAnnotations() {
    std::vector<Annotation> annotations;
    auto style = [](const char* color, double width, bool outline, bool shadow) {
        return Annotation::Style(color, width, 1.0, outline, std::nullopt, shadow);
    };
    for (int i = 0; i < 50; ++i) {
        const double x = 60 + (i % 10) * 240;
        const double y = 80 + (i / 10) * 260;
        const bool outline = i % 2 == 0;
        const bool shadow = i % 3 == 0;
        Annotation::Kind kind;
        switch (i % 8) {
        case 0:
            kind = Annotation::Arrow{{x, y}, {x + 160, y + 90}, style("#FF3B30", 4, outline, shadow),
                                     i % 16 == 0 ? std::optional<Point>(Point{x + 120, y}) : std::nullopt};
            break;
        case 1:
            kind = Annotation::Box{Rect(x, y, 180, 110), style("#007AFF", 3, outline, shadow),
                                   Annotation::Fill("#007AFF", 0.2), i % 5 == 0 ? 0.3 : 0};
            break;
        case 2:
            kind = Annotation::Ellipse{Rect(x, y, 170, 100), style("#34C759", 3, outline, shadow), std::nullopt, 0};
            break;
        case 3:
            kind = Annotation::Text{{x, y}, "Look here\nand here", style("#FFD60A", 22, outline, shadow),
                                    std::nullopt, Annotation::TextAlignment::center, i % 5 == 0 ? 0.2 : 0};
            break;
        case 4:
            kind = Annotation::Blur{Rect(x, y, 200, 40), Annotation::allRedactionStyles[std::size_t(i / 8) % 3], 0};
            break;
        case 5: {
            std::vector<Point> points;
            for (int k = 0; k < 40; ++k) points.push_back({x + k * 4, y + 30 * std::sin(k / 4.0)});
            kind = Annotation::Freeform{points, style("#AF52DE", 5, outline, shadow), false};
            break;
        }
        case 6:
            kind = Annotation::Line{{x, y}, {x + 200, y + 40}, style("#FF9500", 4, outline, shadow), i % 4 == 2};
            break;
        default:
            kind = Annotation::Badge{{x + 20, y + 20}, i, 18, style("#FF3B30", 9, false, false)};
            break;
        }
        annotations.emplace_back(QUuid::createUuid(), i % 7, std::move(kind));
    }
    return annotations;
}

struct Scene {
    QImage capture = makeCapture();
    std::vector<Rect> redactions = makeRedactions();
    std::vector<Annotation> annotations = makeAnnotations();
    Backdrop backdrop{Backdrop::Gradient{"#FF2D55", "#5856D6", 0.6}, 48, 14};
    Watermark watermark{"jane.doe", "workstation-17", QDateTime::fromSecsSinceEpoch(1780000000)};
    Rect crop{4, 4, kWidth - 8, kHeight - 8};
};

QImage finalPixels(const Scene& scene) {
    QImage image = Exporter::crop(scene.capture, scene.crop);
    std::vector<Rect> regions;
    for (const Rect& r : scene.redactions) regions.push_back(r.offsetBy(-scene.crop.x(), -scene.crop.y()));
    image = Exporter::redact(image, regions, Exporter::RedactionStyle::scramble);
    image = Exporter::flatten(image, scene.annotations);
    image = Exporter::applyBackdrop(image, scene.backdrop);
    return Exporter::watermark(image, scene.watermark);
}

void BM_WholeExport(benchmark::State& state) {
    const Scene scene;
    for (auto _ : state) {
        const auto exported = Exporter::encode(finalPixels(scene), ImageFormat::png());
        benchmark::DoNotOptimize(exported.sha256Hex());
    }
}
BENCHMARK(BM_WholeExport)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_RenderOnly(benchmark::State& state) {
    const Scene scene;
    for (auto _ : state) benchmark::DoNotOptimize(finalPixels(scene).constBits());
}
BENCHMARK(BM_RenderOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_EncodeOnly(benchmark::State& state) {
    const Scene scene;
    const QImage pixels = finalPixels(scene);
    for (auto _ : state) benchmark::DoNotOptimize(Exporter::encode(pixels, ImageFormat::png()).sha256Hex());
}
BENCHMARK(BM_EncodeOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int writeFinalPixels(const char* path) {
    const Scene scene;
    const QImage pixels = finalPixels(scene);
    const QImage rgba = pixels.convertToFormat(QImage::Format_RGBA8888);
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly)) return 1;
    for (int y = 0; y < rgba.height(); ++y) {
        file.write(reinterpret_cast<const char*>(rgba.constScanLine(y)), qint64(rgba.width()) * 4);
    }
    std::cout << rgba.width() << "x" << rgba.height() << " "
              << Exporter::encode(pixels, ImageFormat::png()).data().size() << std::endl;
    return 0;
}

// Annotations as a damaged sidecar can hold them: every size far beyond the image.
struct HostileCase {
    const char* name;
    Annotation::Kind kind;
};

std::vector<HostileCase> hostileCases() {
    const auto style = [](double width) { return Annotation::Style("#FF3B30", width, 1.0, true, std::nullopt, true); };
    return {
        {"text size 1e7", Annotation::Text{{100, 100}, "Look here", style(1e7), std::nullopt, Annotation::TextAlignment::left, 0}},
        {"text size 6e7", Annotation::Text{{100, 100}, "Look here\nand here", style(6e7), std::nullopt, Annotation::TextAlignment::center, 0.3}},
        {"text size 2e4", Annotation::Text{{-9000, -9000}, "Wg", style(2e4), std::nullopt, Annotation::TextAlignment::left, 0}},
        {"box width 1e7", Annotation::Box{Rect(100, 100, 600, 400), style(1e7), Annotation::Fill("#007AFF", 0.5), 0.2}},
        {"ellipse width 1e7", Annotation::Ellipse{Rect(100, 100, 600, 400), style(1e7), std::nullopt, 0}},
        {"arrow width 1e7", Annotation::Arrow{{100, 100}, {900, 500}, style(1e7), Point{400, 50}}},
        {"dashed line width 1e7", Annotation::Line{{100, 100}, {900, 500}, style(1e7), true}},
        {"freeform width 1e7", Annotation::Freeform{{{100, 100}, {300, 400}, {900, 200}}, style(1e7), true}},
        {"badge radius 1e7", Annotation::Badge{{500, 500}, 12, 1e7, style(2)}},
    };
}

void BM_HostileAnnotation(benchmark::State& state) {
    static const QImage capture = makeCapture();
    const HostileCase hostile = hostileCases()[std::size_t(state.range(0))];
    state.SetLabel(hostile.name);
    const std::vector<Annotation> annotations{Annotation(QUuid::createUuid(), 0, hostile.kind)};
    for (auto _ : state) benchmark::DoNotOptimize(Exporter::flatten(capture, annotations));
}
BENCHMARK(BM_HostileAnnotation)->DenseRange(0, 8)->Iterations(1)->Unit(benchmark::kMillisecond);

// How a damaged document's marks lie: `mixed` scatters them over and around the image in opaque
// and translucent colours; `translucent` makes every colour see-through, so that no mark hides
// the ones beneath it; `edge` also puts every mark just off the image, so that each covers only
// part of it.
enum class Damage { mixed, translucent, edge };

// A whole damaged document: every hostile kind again and again, at sizes from just past the
// image to far beyond it, some turned.
std::vector<Annotation> hostileDocument(int count, Damage damage) {
    const double sizes[] = {1e7, 6e7, 2e4, 4000, 9000, 3e5};
    std::vector<Annotation> annotations;
    for (int i = 0; i < count; ++i) {
        const double size = sizes[std::size_t(i) % std::size(sizes)];
        double x = (i * 397) % (kWidth + 800) - 400;
        double y = (i * 211) % (kHeight + 600) - 300;
        if (damage == Damage::edge) {
            const double around = 0.7 * i; // on a ring the strokes, bounded to the image's size, only partly reach across
            x = kWidth / 2.0 + 1.4 * kWidth * std::cos(around);
            y = kHeight / 2.0 + 1.8 * kHeight * std::sin(around);
        }
        const double turn = (i % 3) * 0.4;
        const auto style = [&](bool outline, bool shadow) {
            if (damage != Damage::mixed) return Annotation::Style("#FF3B30", size, 0.6, outline, "#FFFFFF80", shadow);
            return Annotation::Style(i % 2 ? "#FF3B30" : "#34C75980", size, 1.0, outline, std::nullopt, shadow);
        };
        const bool outline = i % 4 != 1;
        const bool shadow = i % 5 != 2;
        Annotation::Kind kind;
        switch (i % 8) {
        case 0:
            kind = Annotation::Text{{x, y}, "Look here\nand here", style(outline, shadow), std::nullopt,
                                    Annotation::TextAlignment::center, turn};
            break;
        case 1:
            kind = Annotation::Box{Rect(x, y, 600, 400), style(outline, shadow), Annotation::Fill("#007AFF", 0.3), turn};
            break;
        case 2:
            kind = Annotation::Ellipse{Rect(x, y, 500, 300), style(outline, shadow), std::nullopt, turn};
            break;
        case 3:
            kind = Annotation::Arrow{{x, y}, {x + 800, y + 400}, style(outline, shadow), Point{x + 300, y - 50}};
            break;
        case 4:
            kind = Annotation::Line{{x, y}, {x + 900, y + 300}, style(outline, shadow), i % 16 == 4};
            break;
        case 5: {
            std::vector<Point> points;
            for (int k = 0; k < 60; ++k) points.push_back({x + k * 12, y + 80 * std::sin(k / 5.0)});
            kind = Annotation::Freeform{points, style(outline, shadow), i % 3 == 0};
            break;
        }
        case 6:
            kind = Annotation::Badge{{x, y}, i, size, style(false, false)};
            break;
        default:
            kind = Annotation::Text{{x, y}, "W", style(outline, shadow), std::nullopt, Annotation::TextAlignment::left, 0};
            break;
        }
        annotations.emplace_back(QUuid::createUuid(), i % 5, std::move(kind));
    }
    return annotations;
}

void BM_HostileDocument(benchmark::State& state) {
    static const QImage capture = makeCapture();
    const auto damage = Damage(state.range(1));
    state.SetLabel(damage == Damage::mixed ? "mixed" : damage == Damage::translucent ? "translucent" : "edge");
    const std::vector<Annotation> annotations = hostileDocument(int(state.range(0)), damage);
    for (auto _ : state) benchmark::DoNotOptimize(Exporter::flatten(capture, annotations));
}
BENCHMARK(BM_HostileDocument)
    ->ArgsProduct({{20, 200}, {int(Damage::mixed), int(Damage::translucent), int(Damage::edge)}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--write-final-pixels") == 0) return writeFinalPixels(argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
