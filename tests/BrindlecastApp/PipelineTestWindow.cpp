// A window for the pipeline's end-to-end tests: shows one image at its own size at the place the
// test asks for, prints its window ID (hexadecimal) once it is on screen, and lives until its
// standard input closes. Another process than the test, so that captures may show it.
//
//   pipeline-test-window IMAGE X Y
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s IMAGE X Y\n", argv[0]);
        return 2;
    }
    const QPixmap image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    QLabel window;
    window.setWindowTitle("Pipeline test window");
    window.setPixmap(image);
    window.setFixedSize(image.size());
    window.setContentsMargins(0, 0, 0, 0);
    window.move(QString(argv[2]).toInt(), QString(argv[3]).toInt());
    window.show();
    // Reported after the first paint has reached the server.
    QTimer::singleShot(400, &window, [&window] {
        std::printf("%llx\n", static_cast<unsigned long long>(window.winId()));
        std::fflush(stdout);
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) QCoreApplication::quit();
    });
    return app.exec();
}
