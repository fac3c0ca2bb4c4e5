// The capture library over a full folder: 200 working copies of a 1920x1080 screen. Reloading
// runs on the GUI thread, so it must stay short; the thumbnails follow on a worker. The resident
// memory before the library and once it holds every thumbnail is reported ("rss_MiB_before",
// "rss_MiB"), since the idle app keeps them.
#include "BrindlecastApp/Library/CaptureLibrary.h"

#include <QGuiApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "ResidentMemory.h"

#include <memory>

using BrindlecastApp::CaptureLibrary;

namespace {

// A folder of 200 screen-sized PNGs with text-like detail, made once.
const QString& fullFolder() {
    static QTemporaryDir folder;
    static const QString path = [] {
        QImage screen(1920, 1080, QImage::Format_RGB32);
        screen.fill(Qt::white);
        QPainter painter(&screen);
        for (int y = 10; y < 1080; y += 18) {
            painter.drawText(10, y, QString("line %1: the quick brown fox jumps over the lazy dog 0123456789").arg(y).repeated(3));
        }
        painter.end();
        for (int i = 0; i < CaptureLibrary::limit; ++i) {
            screen.save(folder.path() + QString("/Screenshot %1.png").arg(i, 3, 10, QChar('0')), "PNG");
        }
        return folder.path();
    }();
    return path;
}

void reloadFullFolder(benchmark::State& state) {
    const QString& folder = fullFolder();
    for (auto _ : state) {
        state.PauseTiming();
        auto library = std::make_unique<CaptureLibrary>(folder);
        state.ResumeTiming();
        library->reload();
        library->waitUntilListed();
        benchmark::DoNotOptimize(library->entries().size());
        state.PauseTiming();
        library.reset(); // drops the thumbnails still queued
        state.ResumeTiming();
    }
}
BENCHMARK(reloadFullFolder)->Unit(benchmark::kMillisecond);

void thumbnailsOfFullFolder(benchmark::State& state) {
    const QString& folder = fullFolder();
    const long before = residentKiB();
    std::unique_ptr<CaptureLibrary> kept;
    for (auto _ : state) {
        kept = std::make_unique<CaptureLibrary>(folder);
        kept->reload();
        kept->waitUntilListed();
        kept->waitForThumbnails();
    }
    state.counters["rss_MiB_before"] = double(before) / 1024.0;
    state.counters["rss_MiB"] = double(residentKiB()) / 1024.0;
}
BENCHMARK(thumbnailsOfFullFolder)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
