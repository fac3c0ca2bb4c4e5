// A 1920x1080 display capture with ten windows on screen, against ImageMagick's
// `import -window root` of the same screen. Needs $DISPLAY (an Xvfb of 1920x1080 is what the
// figures are taken on). The windows belong to a child process, so they count as another
// application's windows, as they would for the app.
#include "CaptureKit/X11Connection.h"
#include "CaptureKit/X11ScreenContentProvider.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

using namespace CaptureKit;

namespace {

const char* const blockedClass = "BenchBlocked";

// Ten overlapping windows of different colours in a child process; the first one's class is
// the one the "omit" case leaves out. Returns the child's pid once the windows are mapped.
pid_t startWindows() {
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
    for (int i = 0; i < 10; ++i) {
        const xcb_window_t w = xcb_generate_id(x.get());
        const std::uint32_t values[] = {0x203040u + std::uint32_t(i) * 0x151515u};
        xcb_create_window(x.get(), XCB_COPY_FROM_PARENT, w, x.root(), std::int16_t(60 + 150 * i), std::int16_t(40 + 70 * i),
                          700, 500, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, x.screen()->root_visual, XCB_CW_BACK_PIXEL, values);
        const std::string name = i == 0 ? blockedClass : "BenchWindow";
        const std::string wmClass = name + '\0' + name + '\0';
        xcb_change_property(x.get(), XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            std::uint32_t(wmClass.size()), wmClass.data());
        xcb_map_window(x.get(), w);
    }
    free(xcb_get_input_focus_reply(x.get(), xcb_get_input_focus(x.get()), nullptr));
    usleep(500 * 1000); // let a window manager frame them
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    pause();
    _exit(0);
}

DisplayInfo firstDisplay() {
    static X11ScreenContentProvider provider;
    return provider.shareableContent().displays.at(0);
}

void BM_CaptureDisplay(benchmark::State& state) {
    X11ScreenContentProvider provider;
    const DisplayInfo display = firstDisplay();
    for (auto _ : state) benchmark::DoNotOptimize(provider.captureDisplay(display, {}));
    state.counters["width"] = double(display.pixelWidth);
    state.counters["height"] = double(display.pixelHeight);
}

void BM_CaptureDisplayLeavingOneAppOut(benchmark::State& state) {
    X11ScreenContentProvider provider;
    const DisplayInfo display = firstDisplay();
    for (auto _ : state) benchmark::DoNotOptimize(provider.captureDisplay(display, {blockedClass}));
}

void BM_CaptureDisplayContent(benchmark::State& state) {
    X11ScreenContentProvider provider;
    const DisplayInfo display = firstDisplay();
    for (auto _ : state) benchmark::DoNotOptimize(provider.captureDisplayContent(display, {blockedClass}));
}

void BM_ImportWindowRoot(benchmark::State& state) {
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

} // namespace

BENCHMARK(BM_CaptureDisplay)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CaptureDisplayLeavingOneAppOut)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CaptureDisplayContent)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportWindowRoot)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "capture-benchmark needs an X display ($DISPLAY)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    const pid_t windows = startWindows();
    if (windows < 0) return 1;
    benchmark::RunSpecifiedBenchmarks();
    kill(windows, SIGTERM);
    waitpid(windows, nullptr, 0);
    benchmark::Shutdown();
    return 0;
}
