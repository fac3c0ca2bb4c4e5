// What a user waits for when an editor closes (save or embed) and when a capture reopens (load):
// documents of 10 to 1000 annotations, and a 4K screenshot as the PNG working copy.
#include "SidecarKit/PNGText.h"
#include "SidecarKit/SidecarStore.h"
#include "Support/Base64.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace SidecarKit;

namespace {

SidecarDocument documentWith(std::int64_t count) {
    const Annotation::Style style{"#FF3B30", 4, 0.9, true, QString("#FFFFFF"), true};
    std::vector<Annotation> annotations;
    for (std::int64_t i = 0; i < count; ++i) {
        const double x = static_cast<double>(i % 97) * 13.5;
        const double y = static_cast<double>(i % 89) * 7.25;
        switch (i % 4) {
        case 0: annotations.emplace_back(QUuid::createUuid(), i, Annotation::Box{{x, y, 120, 80}, style, std::nullopt, 0.1}); break;
        case 1: annotations.emplace_back(QUuid::createUuid(), i, Annotation::Arrow{{x, y}, {x + 40, y + 30}, style, std::nullopt}); break;
        case 2:
            annotations.emplace_back(QUuid::createUuid(), i,
                                     Annotation::Text{{x, y}, "Look here, please", style, QString("Helvetica"),
                                                      Annotation::TextAlignment::center, 0});
            break;
        default: {
            std::vector<Annotation::Point> points;
            for (int p = 0; p < 40; ++p) points.push_back({x + p * 1.5, y + (p % 7) * 0.75});
            annotations.emplace_back(QUuid::createUuid(), i, Annotation::Freeform{std::move(points), style, false});
        }
        }
    }
    return SidecarDocument(1, {"shot.png", 3840, 2160, 1.0}, {"display", false}, std::move(annotations));
}

// A 4K "screenshot": flat panels, text and gradients compress the way real screens do.
const QByteArray& screenshotPng() {
    static const QByteArray bytes = [] {
        QImage image(3840, 2160, QImage::Format_ARGB32);
        image.fill(QColor(236, 236, 240));
        QPainter painter(&image);
        for (int row = 0; row < 40; ++row) {
            painter.fillRect(200, 60 + row * 50, 3400, 40, QColor(255, 255, 255));
            painter.drawText(220, 88 + row * 50, QStringLiteral("Row %1 of a long list with some text in it").arg(row));
        }
        QLinearGradient gradient(0, 0, 3840, 0);
        gradient.setColorAt(0, Qt::darkBlue);
        gradient.setColorAt(1, Qt::darkCyan);
        painter.fillRect(0, 0, 3840, 48, gradient);
        painter.end();
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return out;
    }();
    return bytes;
}

void BM_EncodeDocument(benchmark::State& state) {
    const SidecarDocument document = documentWith(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(document.encoded());
    state.SetBytesProcessed(state.iterations() * document.encoded().size());
}
BENCHMARK(BM_EncodeDocument)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_DecodeDocument(benchmark::State& state) {
    const QByteArray json = documentWith(state.range(0)).encoded();
    for (auto _ : state) benchmark::DoNotOptimize(SidecarStore::decodeDocument(json));
    state.SetBytesProcessed(state.iterations() * json.size());
}
BENCHMARK(BM_DecodeDocument)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_WriteChunkInto4KPng(benchmark::State& state) {
    const QByteArray& png = screenshotPng();
    const QString text = QString::fromLatin1(Support::Base64::encode(documentWith(100).encoded()));
    for (auto _ : state) benchmark::DoNotOptimize(PNGText::write(text, png));
    state.counters["png_bytes"] = static_cast<double>(png.size());
}
BENCHMARK(BM_WriteChunkInto4KPng)->Unit(benchmark::kMicrosecond);

void BM_ReadChunkFrom4KPng(benchmark::State& state) {
    const QByteArray png = PNGText::write(QString::fromLatin1(Support::Base64::encode(documentWith(100).encoded())),
                                          screenshotPng());
    for (auto _ : state) benchmark::DoNotOptimize(PNGText::read(png));
}
BENCHMARK(BM_ReadChunkFrom4KPng)->Unit(benchmark::kMicrosecond);

// Whole operations on disk, fsync included: the figure depends on the file system.
void BM_EmbedThenLoad4K(benchmark::State& state) {
    QTemporaryDir folder;
    const QString image = folder.filePath("shot.png");
    QFile file(image);
    file.open(QIODevice::WriteOnly);
    file.write(screenshotPng());
    file.close();
    const SidecarDocument document = documentWith(100);
    for (auto _ : state) {
        SidecarStore::embed(document, image);
        benchmark::DoNotOptimize(SidecarStore::load(image));
    }
}
BENCHMARK(BM_EmbedThenLoad4K)->Unit(benchmark::kMillisecond);

void BM_SaveThenLoadSidecar(benchmark::State& state) {
    QTemporaryDir folder;
    const QString image = folder.filePath("shot.png");
    const SidecarDocument document = documentWith(100);
    for (auto _ : state) {
        SidecarStore::save(document, image);
        benchmark::DoNotOptimize(SidecarStore::load(image));
    }
}
BENCHMARK(BM_SaveThenLoadSidecar)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // text drawing in the sample screenshot needs fonts
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
