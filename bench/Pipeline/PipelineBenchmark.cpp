// From the capture request to the working copy saved in the library, with the real capture,
// detection, redaction and PNG encoding, on the current X display (the figures are taken on a
// 1920x1080 Xvfb with openbox). Text-dense windows of another process fill the screen.
//
//   pipeline-bench                  shows the windows, then prints the first capture after start
//                                   (a fresh process each, median of 10) and warm captures (one
//                                   process, median of 10 after one capture to warm up)
//   pipeline-bench --memory         resident memory of a process wired like the app: idle, with
//                                   warm recognisers only, and at start, after one capture, after
//                                   forty, and a minute after the last (the detection engines let
//                                   go), with the first capture after that
//   pipeline-bench --memory-quick   the same without the minute's wait (the engines stay warm)
//   pipeline-bench --wait-hot-key   waits (a minute at most) until another client, the app, holds
//                                   the Super+Shift+9 hot key; capture-road.py uses it
//
// Each capture is a display capture; the time ends when the working copy is written and listed.
#include "../DetectionKit/ScreenRenderer.h"
#include "BrindlecastApp/Pipeline/CaptureRun.h"
#include "BrindlecastApp/Pipeline/LiveEnvironment.h"
#include "CaptureKit/X11Connection.h"
#include "support/AppProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <map>
#include <cstdio>
#include <optional>
#include <vector>

using namespace BrindlecastApp::Pipeline;

namespace {

class SilentLog final : public Support::LogSink {
public:
    void write(const Support::LogEntry&) override {}
};

// Notes when the working copy is written and listed; shows nothing.
class TimingHost final : public PipelineHost {
public:
    explicit TimingHost(QString folder) { values.libraryLocation = std::move(folder); values.showFloatingThumbnail = false; values.openEditorAfterCapture = false; }
    PipelineSettings settings() const override { return values; }
    QStringList libraryPaths() const override { return paths; }
    void addToLibrary(const QString& path) override {
        paths.prepend(path);
        savedAt = timer.nsecsElapsed();
    }
    void reloadLibrary() override {}
    void showFloatingThumbnail(const QImage&, const QDateTime&, std::function<void()>) override {}
    void showScreenRecordingOnboarding() override {}
    void showSettings() override {}
    void openRecentInEditor(const QString&) override {}

    PipelineSettings values;
    QStringList paths;
    QElapsedTimer timer;
    qint64 savedAt = -1;
};

class ReportingAlerts final : public AlertPresenter {
public:
    void show(const QString& message, const QString& text) override {
        std::fprintf(stderr, "alert: %s: %s\n", qPrintable(message), qPrintable(text));
    }
    bool confirm(const Confirmation&) override { return false; }
};

struct Wired {
    QTemporaryDir folder;
    std::shared_ptr<TimingHost> host;
    Environment env;
};

std::unique_ptr<Wired> wire() {
    auto wired = std::make_unique<Wired>();
    wired->host = std::make_shared<TimingHost>(wired->folder.path() + "/Brindlecast");
    LiveWiring wiring;
    wiring.host = wired->host;
    wiring.arguments = QStringList{"brindlecast"};
    auto env = std::make_shared<PipelineEnvironment>(*makeLiveEnvironment(wiring));
    env->alerts = std::make_shared<ReportingAlerts>();
    wired->env = env;
    return wired;
}

// Milliseconds from the request to the working copy listed; nothing when the capture failed.
std::optional<double> captureOnce(Wired& wired) {
    std::optional<bool> finished;
    wired.host->savedAt = -1;
    wired.host->timer.start();
    run(wired.env, Mode::display(), [&](bool ok) { finished = ok; });
    while (!finished) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    if (!*finished || wired.host->savedAt < 0) return std::nullopt;
    return double(wired.host->savedAt) / 1e6;
}

double residentMegabytes() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// What the resident memory is made of: the heap and other anonymous memory, and mapped files
// (the program's and its libraries' code and data).
QByteArray residentParts() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return {};
    QByteArray parts;
    for (const QByteArray& line : status.readAll().split('\n')) {
        for (const char* key : {"RssAnon:", "RssFile:"})
            if (line.startsWith(key)) {
                const double mb = line.mid(int(qstrlen(key))).trimmed().split(' ').first().toDouble() / 1024.0;
                parts += QByteArray(key).chopped(1).mid(3).toLower() + " " + QByteArray::number(mb, 'f', 1) + " MB ";
            }
    }
    return parts.trimmed();
}

// The mapped files holding the most resident memory, largest first.
QByteArray largestMappedFiles(int count) {
    QFile smaps("/proc/self/smaps");
    if (!smaps.open(QIODevice::ReadOnly)) return {};
    std::map<QByteArray, double> byFile;
    QByteArray current;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 5 && fields[0].contains('-') && !fields[0].endsWith(':')) {
            current = fields.size() >= 6 ? fields[5] : QByteArray("[anonymous]");
        } else if (line.startsWith("Rss:")) {
            byFile[current] += line.mid(4).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    std::vector<std::pair<double, QByteArray>> sorted;
    for (const auto& [file, mb] : byFile) sorted.push_back({mb, file});
    std::sort(sorted.rbegin(), sorted.rend());
    QByteArray out;
    for (int i = 0; i < count && i < int(sorted.size()); ++i)
        out += "    " + QByteArray::number(sorted[size_t(i)].first, 'f', 1) + " MB " + sorted[size_t(i)].second + "\n";
    return out;
}

int threadCount() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("Threads:")) return line.mid(8).trimmed().toInt();
    }
    return -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

// A text-dense screen in a window of its own, in this (child) process. With "--changing FILE" it
// shows the variant FILE names (a number; 0 is the screen as always) whenever that changes, and
// once it is on screen writes the number to FILE.light or FILE.dark.
int showWindow(const QStringList& arguments) {
    const bool dark = arguments.value(0) == "dark";
    const QRect place(arguments.value(1).toInt(), arguments.value(2).toInt(), arguments.value(3).toInt(), arguments.value(4).toInt());
    const QString changing = arguments.value(5) == "--changing" ? arguments.value(6) : QString();
    QLabel window;
    quint32 shown = 0;
    window.setPixmap(QPixmap::fromImage(DetectionBench::renderTextDense(place.width(), place.height(), dark).image));
    window.setFixedSize(place.size());
    window.move(place.topLeft());
    window.show();
    QTimer::singleShot(500, [] {
        std::printf("shown\n");
        std::fflush(stdout);
    });
    QTimer poll;
    if (!changing.isEmpty()) {
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QFile file(changing);
            if (!file.open(QIODevice::ReadOnly)) return;
            bool ok = false;
            const quint32 wanted = file.readAll().trimmed().toUInt(&ok);
            if (!ok || wanted == shown) return;
            shown = wanted;
            window.setPixmap(QPixmap::fromImage(DetectionBench::renderTextDense(place.width(), place.height(), dark, wanted).image));
            window.repaint();
            // The X server has it drawn well before this.
            QTimer::singleShot(150, [&changing, dark, wanted] {
                QFile done(changing + (dark ? ".dark" : ".light"));
                if (done.open(QIODevice::WriteOnly | QIODevice::Truncate)) done.write(QByteArray::number(wanted));
            });
        });
        poll.start(20);
    }
    return QApplication::exec();
}

int measureFirst() {
    auto wired = wire();
    const auto ms = captureOnce(*wired);
    if (!ms) return 1;
    std::printf("%.1f\n", *ms);
    return 0;
}

// Warm captures, then as reference detection alone over the same screen, one line each:
// "capture MS" or "detect MS".
int measureWarm(int count) {
    auto wired = wire();
    if (!captureOnce(*wired)) return 1;
    for (int i = 0; i < count; ++i) {
        const auto ms = captureOnce(*wired);
        if (!ms) return 1;
        std::printf("capture %.1f\n", *ms);
    }
    const QImage screen(wired->host->paths.first());
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        wired->env->detect(screen, {});
        std::printf("detect %.1f\n", double(timer.nsecsElapsed()) / 1e6);
    }
    return 0;
}

int measureMemory(bool recognisersOnly, bool waitForRelease) {
    QCoreApplication::processEvents();
    const double bare = residentMegabytes();
    auto wired = wire();
    QCoreApplication::processEvents();
    const double idle = residentMegabytes();
    std::printf("application alone %.1f MB, with the pipeline wired %.1f MB\n", bare, idle);
    if (recognisersOnly) {
        const DetectionBench::RenderedScreen screen = DetectionBench::renderTextDense(1920, 1080, false);
        wired->env->detect(screen.image, {});
        std::printf("idle %.1f MB, recognisers warm %.1f MB\n", idle, residentMegabytes());
        return 0;
    }
    const auto first = captureOnce(*wired);
    if (!first) return 1;
    const double afterOne = residentMegabytes();
    std::vector<double> warm;
    for (int i = 1; i < 40; ++i) {
        const auto ms = captureOnce(*wired);
        if (!ms) return 1;
        warm.push_back(*ms);
    }
    QThread::msleep(500);
    QCoreApplication::processEvents();
    const double afterForty = residentMegabytes();
    std::printf("start %.1f MB, after one capture %.1f MB, after forty %.1f MB (%d threads; %s)\n", idle, afterOne,
                afterForty, threadCount(), residentParts().constData());
    std::printf("first capture %.0f ms, warm captures median %.0f ms\n", *first, median(warm));
    if (!waitForRelease) return 0;
    // The engines are let go a minute after the last detection.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 65000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        QThread::msleep(100);
    }
    std::printf("a minute after the last capture %.1f MB (%d threads; %s), the most of it in\n%s",
                residentMegabytes(), threadCount(), residentParts().constData(), largestMappedFiles(8).constData());
    const auto again = captureOnce(*wired);
    if (!again) return 1;
    std::printf("first capture after the engines were let go %.0f ms, then %.1f MB\n", *again, residentMegabytes());
    return 0;
}

// Runs this program again with `arguments` and returns its standard output.
QByteArray runSelf(const QStringList& arguments) {
    QProcess self;
    self.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    self.start(QCoreApplication::applicationFilePath(), arguments);
    self.waitForFinished(-1);
    return self.readAllStandardOutput();
}

// The numbers of the lines that begin with `label` (every line when it is empty).
std::vector<double> numbers(const QByteArray& output, const QByteArray& label = {}) {
    std::vector<double> values;
    for (const QByteArray& line : output.split('\n')) {
        if (line.trimmed().isEmpty() || !line.startsWith(label)) continue;
        values.push_back(line.mid(label.size()).trimmed().toDouble());
    }
    return values;
}

void report(const char* what, const std::vector<double>& values) {
    std::printf("%s median %.0f ms (min %.0f, max %.0f)\n", what, median(values),
                *std::min_element(values.begin(), values.end()), *std::max_element(values.begin(), values.end()));
}

int orchestrate(const QString& mode) {
    const bool memory = mode.startsWith("--memory");
    // Two windows of another process: a light screen and a dark one over it.
    std::vector<std::unique_ptr<QProcess>> windows;
    for (const QStringList& place : {QStringList{"light", "0", "0", "1920", "1080"}, QStringList{"dark", "560", "260", "1200", "720"}}) {
        auto window = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "xcb");
        window->setProcessEnvironment(environment);
        window->start(QCoreApplication::applicationFilePath(), QStringList{"--window"} + place);
        if (!window->waitForReadyRead(30000)) {
            std::fprintf(stderr, "the text-dense window did not show\n");
            return 1;
        }
        windows.push_back(std::move(window));
    }

    if (memory) {
        std::printf("recognisers only: %s", runSelf({"--memory-recognisers"}).constData());
        std::printf("captures:\n%s", runSelf({mode == "--memory-quick" ? "--memory-captures-quick" : "--memory-captures"}).constData());
    } else {
        std::vector<double> first;
        for (int i = 0; i < 10; ++i) {
            const std::vector<double> one = numbers(runSelf({"--first"}));
            if (one.size() != 1) return 1;
            first.push_back(one[0]);
        }
        const QByteArray warmOutput = runSelf({"--warm", "10"});
        const std::vector<double> warm = numbers(warmOutput, "capture");
        const std::vector<double> detection = numbers(warmOutput, "detect");
        if (warm.size() != 10 || detection.size() != 10) return 1;
        std::printf("capture request -> working copy saved (display capture, %d cores)\n", QThread::idealThreadCount());
        report("first capture after start:       ", first);
        report("warm capture:                    ", warm);
        report("reference, warm detection alone: ", detection);
    }
    for (auto& window : windows) {
        window->kill();
        window->waitForFinished();
    }
    return 0;
}

int waitForHotKey() {
    CaptureKit::X11Connection x;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 60000) {
        if (TestSupport::keyGrabbedElsewhere(x.get(), x.root(), '9', XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4)) return 0;
        QThread::msleep(20);
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const bool showsWindow = arguments.value(0) == "--window";
    if (arguments.value(0) == "--wait-hot-key") return waitForHotKey();
    QApplication app(argc, argv);
    if (showsWindow) return showWindow(arguments.mid(1));
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "pipeline-bench needs an X display ($DISPLAY)\n");
        return 2;
    }
    Support::Log::setSink(std::make_shared<SilentLog>());
    const QString mode = arguments.value(0);
    if (mode == "--first") return measureFirst();
    if (mode == "--warm") return measureWarm(arguments.value(1).toInt());
    if (mode == "--memory-recognisers") return measureMemory(true, false);
    if (mode == "--memory-captures") return measureMemory(false, true);
    if (mode == "--memory-captures-quick") return measureMemory(false, false);
    return orchestrate(mode);
}
