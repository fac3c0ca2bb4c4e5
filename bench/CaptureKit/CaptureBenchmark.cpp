// Display captures with 12 and with 70 windows on screen, with nothing left out and with one
// application left out, against ImageMagick's `import -window root` of the same screen in the same
// run; and the first capture of a session (a new process: connecting, redirecting every window,
// settling every window image). Needs $DISPLAY (an Xvfb of 1920x1080 with a window manager is
// what the figures are taken on). The windows belong to a child process, so they count as
// another application's windows, as they would for the app.
#include "CaptureKit/X11Connection.h"
#include "CaptureKit/X11ScreenContentProvider.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace CaptureKit;

namespace {

const char* const blockedClass = "BenchBlocked";
const char* const firstCaptureFlag = "--first-capture";

// `count` overlapping windows of different colours in a child process, spread over the screen;
// every seventh belongs to the application the "one app left out" cases leave out. Returns the
// child's pid once the windows are mapped.
pid_t startWindows(int count) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t child = fork();
    if (child != 0) {
        close(ready[1]);
        char byte = 0;
        if (read(ready[0], &byte, 1) != 1) return -1;
        close(ready[0]);
        return child;
    }
    close(ready[0]);
    X11Connection x;
    for (int i = 0; i < count; ++i) {
        const xcb_window_t w = xcb_generate_id(x.get());
        const std::uint32_t values[] = {0x203040u + std::uint32_t(i % 10) * 0x151515u};
        const std::int16_t left = std::int16_t(40 + (i * 97) % 1400), top = std::int16_t(30 + (i * 53) % 700);
        xcb_create_window(x.get(), XCB_COPY_FROM_PARENT, w, x.root(), left, top, 420, 320, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          x.screen()->root_visual, XCB_CW_BACK_PIXEL, values);
        const std::string name = i % 7 == 0 ? blockedClass : "BenchWindow" + std::to_string(i);
        const std::string wmClass = name + '\0' + name + '\0';
        xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            std::uint32_t(wmClass.size()), wmClass.data());
        std::uint32_t hints[18] = {1 | 2, std::uint32_t(left), std::uint32_t(top), 420, 320}; // USPosition | USSize
        xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
        xcb_map_window(x.get(), w);
    }
    free(xcb_get_input_focus_reply(x.get(), xcb_get_input_focus(x.get()), nullptr));
    usleep(800 * 1000); // let a window manager frame them
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    pause();
    _exit(0);
}

// The windows of the current benchmark's size, started when the size changes.
void showWindows(int count) {
    static int shown = 0;
    static pid_t child = -1;
    if (shown == count) return;
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }
    child = count > 0 ? startWindows(count) : -1;
    shown = count;
}

DisplayInfo firstDisplay() { return X11ScreenContentProvider().shareableContent().displays.at(0); }

QStringList leftOut(bool oneApp) { return oneApp ? QStringList{blockedClass} : QStringList{}; }

// range(0): windows on screen; range(1): 1 when one application is left out.
void BM_CaptureDisplay(benchmark::State& state) {
    showWindows(int(state.range(0)));
    X11ScreenContentProvider provider;
    const DisplayInfo display = firstDisplay();
    const QStringList excluded = leftOut(state.range(1));
    provider.captureDisplay(display, excluded); // settles the window images once
    for (auto _ : state) benchmark::DoNotOptimize(provider.captureDisplay(display, excluded));
}

// A new process each time, which takes the display's first capture and reports how long it took
// from its first call to the image.
void BM_FirstCaptureOfASession(benchmark::State& state) {
    showWindows(int(state.range(0)));
    const QString self = QCoreApplication::applicationFilePath();
    for (auto _ : state) {
        QProcess child;
        child.start(self, {firstCaptureFlag, state.range(1) ? "one" : "none"});
        if (!child.waitForFinished(30000) || child.exitCode() != 0) {
            state.SkipWithError("the first-capture process failed");
            break;
        }
        state.SetIterationTime(child.readAllStandardOutput().trimmed().toDouble() / 1000.0);
    }
}

void BM_ImportWindowRoot(benchmark::State& state) {
    showWindows(int(state.range(0)));
    QTemporaryDir folder;
    // BMP: the cheapest file import writes, so the comparison is not weighed down by PNG encoding.
    const QString file = folder.path() + "/root.bmp";
    for (auto _ : state) {
        const int status = QProcess::execute("import", {"-window", "root", file});
        if (status != 0) {
            state.SkipWithError("import -window root failed (is ImageMagick installed?)");
            break;
        }
    }
}

int firstCapture(bool oneApp) {
    QElapsedTimer timer;
    timer.start();
    X11ScreenContentProvider provider;
    const QImage image = provider.captureDisplay(provider.shareableContent().displays.at(0), leftOut(oneApp));
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (image.isNull()) return 1;
    std::printf("%.3f\n", ms);
    return 0;
}

} // namespace

BENCHMARK(BM_CaptureDisplay)->ArgNames({"windows", "leftOut"})->ArgsProduct({{12, 70}, {0, 1}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FirstCaptureOfASession)->ArgNames({"windows", "leftOut"})->ArgsProduct({{12, 70}, {0, 1}})
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ImportWindowRoot)->ArgNames({"windows"})->Arg(12)->Arg(70)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "capture-benchmark needs an X display ($DISPLAY)\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], firstCaptureFlag) == 0) return firstCapture(std::strcmp(argv[2], "one") == 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    showWindows(0);
    benchmark::Shutdown();
    return 0;
}
