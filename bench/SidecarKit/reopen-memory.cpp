// The memory a reopen takes to read back the largest annotation document the store accepts:
// a document of mixed annotations grown to just under the bound, kept once as a sidecar file and
// once embedded in a 4K PNG (and that PNG again followed by a gigabyte hole after its end chunk),
// each loaded in a fresh process that reports its resident memory before the load and its peak
// after it.
//   reopen-memory            writes both cases into a temporary folder and measures them
#include "SidecarKit/SidecarStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>

using namespace SidecarKit;

namespace {

// VmRSS or VmHWM of this process in MiB.
double residentMiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::string(field).size() + 1)) / 1024.0;
    }
    return -1;
}

Annotation annotationNumber(std::int64_t i) {
    const Annotation::Style style{"#FF3B30", 4, 0.9, true, QString("#FFFFFF"), true};
    const double x = double(i % 97) * 13.5, y = double(i % 89) * 7.25;
    if (i % 3 == 0) return Annotation(QUuid::createUuid(), i, Annotation::Box{{x, y, 120, 80}, style, std::nullopt, 0.1});
    if (i % 3 == 1) {
        return Annotation(QUuid::createUuid(), i,
                          Annotation::Text{{x, y}, "Look here, please", style, QString("Helvetica"),
                                           Annotation::TextAlignment::center, 0});
    }
    std::vector<Annotation::Point> points;
    for (int p = 0; p < 24; ++p) points.push_back({x + p * 1.5, y + (p % 7) * 0.75});
    return Annotation(QUuid::createUuid(), i, Annotation::Freeform{std::move(points), style, false});
}

// Grows the document in steps until one more step would pass the bound.
SidecarDocument largestDocument() {
    std::vector<Annotation> annotations;
    const auto make = [&] { return SidecarDocument(1, {"shot.png", 3840, 2160, 1.0}, {"display", false}, annotations); };
    for (std::int64_t step = 1024; step > 0; step /= 2) {
        while (true) {
            const std::size_t before = annotations.size();
            for (std::int64_t i = 0; i < step; ++i) annotations.push_back(annotationNumber(std::int64_t(annotations.size())));
            if (make().encoded().size() <= SidecarStore::maximumDocumentBytes) continue;
            annotations.resize(before, annotations.front());
            break;
        }
    }
    return make();
}

int load(const QString& image) {
    const double before = residentMiB("VmRSS:");
    const SidecarLoadResult loaded = SidecarStore::load(image);
    const std::size_t count = loaded.found ? loaded.found->document.annotations.size() : 0;
    std::printf("%zu annotations, resident %.1f MiB before the load, peak %.1f MiB\n", count, before,
                residentMiB("VmHWM:"));
    return loaded.found ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "load") return load(QString::fromLocal8Bit(argv[2]));

    QTemporaryDir folder;
    const SidecarDocument document = largestDocument();
    const QByteArray json = document.encoded();
    QImage screenshot(3840, 2160, QImage::Format_RGB32);
    screenshot.fill(QColor(236, 236, 240));
    std::printf("bound %lld bytes; document of %zu annotations, %lld bytes\n",
                static_cast<long long>(SidecarStore::maximumDocumentBytes), document.annotations.size(),
                static_cast<long long>(json.size()));

    const QString file = folder.filePath("file.png"), embedded = folder.filePath("embedded.png");
    for (const QString& path : {file, embedded}) screenshot.save(path, "PNG");
    SidecarStore::save(document, file);
    SidecarStore::embed(document, embedded);
    const QString tail = folder.filePath("tail.png");
    QFile::copy(embedded, tail);
    QFile(tail).resize(QFileInfo(tail).size() + (qint64(1) << 30));
    int status = 0;
    for (const auto& [name, path] : {std::pair{"sidecar file", file}, std::pair{"embedded chunk", embedded},
                                     std::pair{"embedded chunk, a gigabyte after the end", tail}}) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"load", path});
        child.waitForFinished(-1);
        std::printf("%s: %s", name, child.readAllStandardOutput().constData());
        status |= child.exitCode();
    }
    return status;
}
