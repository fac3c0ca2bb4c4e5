// A window for the pipeline's end-to-end tests: shows one image at its own size at the place the
// test asks for, prints its window ID (hexadecimal) once it is on screen, and lives until its
// standard input closes. Another process than the test, so that captures may show it.
//
//   pipeline-test-window IMAGE X Y
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPixmap>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <utility>
#include <unistd.h>

namespace {

// Calls `then` once, when the event loop turns after the window's first paint (the backing store
// has been flushed to the server by then).
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<void()> then) : then_(std::move(then)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && then_) QTimer::singleShot(0, this, std::exchange(then_, nullptr));
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> then_;
};

} // namespace

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
    // Reported once the first paint has reached the server.
    FirstPaint firstPaint([&window] {
        QGuiApplication::sync(); // the server has drawn what the paint sent
        std::printf("%llx\n", static_cast<unsigned long long>(window.winId()));
        std::fflush(stdout);
    });
    window.installEventFilter(&firstPaint);
    window.show();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) QCoreApplication::quit();
    });
    return app.exec();
}
