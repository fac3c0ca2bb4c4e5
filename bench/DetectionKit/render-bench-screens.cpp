// render-bench-screens FOLDER: writes every benchmark screen as NAME.png, with NAME.planted.tsv
// listing the planted items (detector, text, x, y, width, height).
#include "ScreenRenderer.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    // These tools only draw into images: they need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render-bench-screens FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(".")) {
        std::fprintf(stderr, "render-bench-screens: cannot create %s\n", argv[1]);
        return 1;
    }
    for (const DetectionBench::RenderedScreen& screen : DetectionBench::allScreens()) {
        if (!screen.image.save(folder.filePath(screen.name + ".png"))) {
            std::fprintf(stderr, "render-bench-screens: cannot write %s.png\n", qPrintable(screen.name));
            return 1;
        }
        QFile list(folder.filePath(screen.name + ".planted.tsv"));
        if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
        QTextStream out(&list);
        for (const auto& item : screen.planted)
            out << item.detector << '\t' << item.text << '\t' << item.bounds.x() << '\t' << item.bounds.y() << '\t'
                << item.bounds.width() << '\t' << item.bounds.height() << '\n';
        std::printf("%s\n", qPrintable(folder.filePath(screen.name + ".png")));
    }
    return 0;
}
