// Writes working copies and their desktop-less companions into one library folder, as the
// capture road does, until it is killed; the library tests kill it at arbitrary moments and check
// that nothing cut short is ever listed.
#include "BrindlecastApp/Pipeline/LibraryFiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>

#include <cstdio>

using namespace BrindlecastApp::Pipeline;

namespace {

// A PNG of noise, so it does not compress and its write takes a while.
QByteArray noisePng(QSize size, quint32 seed) {
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) line[x] = random.generate();
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QByteArray workingCopy = noisePng(QSize(1600, 1000), 1);
    const QByteArray companion = noisePng(QSize(1600, 1000), 2);
    for (int round = 0;; ++round) {
        const QString path = writeNewFile(folder, "Screenshot 2026-12-05 at 6.25.34 PM.png", workingCopy);
        writeCompanion(path, companion);
        if (round == 0) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
