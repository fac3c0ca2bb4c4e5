// The real app binary on an X server of the test's own that lacks the Composite extension, so
// capture is not allowed there: the app must open the "Screen Recording" walkthrough at launch,
// and the display hot key must bring that same window forward instead of capturing. Skips when
// Xvfb or xdotool is missing.
#include "support/AppProcess.h"
#include "support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTest>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

bool waitUntil(const std::function<bool()>& condition, int ms) {
    QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired()) QTest::qWait(50);
    return condition();
}

class WalkthroughEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "xdotool"})
            if (!TestSupport::hasProgram(tool)) GTEST_SKIP() << tool << " is not installed";
        home_ = TestSupport::makeTemporaryFolder("home");
        environment_ = TestSupport::appEnvironment(home_);

        // The server picks a free display and writes its number on standard output.
        xvfb_ = start("Xvfb", {"-displayfd", "1", "-extension", "Composite", "-screen", "0", "1280x800x24", "-nolisten",
                               "tcp"});
        QByteArray number;
        ASSERT_TRUE(waitUntil([&] {
            xvfb_->waitForReadyRead(50);
            number += xvfb_->readAllStandardOutput();
            return number.contains('\n') || xvfb_->state() == QProcess::NotRunning;
        }, 30000)) << "Xvfb did not start";
        ASSERT_TRUE(number.contains('\n')) << "Xvfb ended";
        display_ = ":" + QString::fromLatin1(number.trimmed());
        environment_.insert("DISPLAY", display_);
        x_ = xcb_connect(display_.toLatin1().constData(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(x_)) << "the test's X server does not answer";
        root_ = xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root;
        const xcb_query_extension_reply_t* composite = nullptr;
        Reply<xcb_query_extension_reply_t> reply(
            xcb_query_extension_reply(x_, xcb_query_extension(x_, 9, "Composite"), nullptr), &std::free);
        composite = reply.get();
        ASSERT_TRUE(composite && !composite->present) << "the server was to run without Composite";
    }

    void TearDown() override {
        if (x_) xcb_disconnect(x_);
        // The app first, then the server it draws on.
        for (auto it = processes_.rbegin(); it != processes_.rend(); ++it) {
            if ((*it)->program() == BRINDLECAST_BINARY) {
                EXPECT_TRUE(TestSupport::endsCleanly(**it));
                continue;
            }
            (*it)->terminate();
            if (!(*it)->waitForFinished(10000)) {
                (*it)->kill();
                (*it)->waitForFinished();
            }
        }
    }

    QProcess* start(const QString& program, const QStringList& arguments) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment_);
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted(10000)) << program.toStdString();
        processes_.push_back(std::move(process));
        return processes_.back().get();
    }

    QString property(xcb_window_t window, const char* name, xcb_atom_t type) {
        Reply<xcb_intern_atom_reply_t> atom(
            xcb_intern_atom_reply(x_, xcb_intern_atom(x_, 0, static_cast<uint16_t>(strlen(name)), name), nullptr), &std::free);
        if (!atom) return {};
        Reply<xcb_get_property_reply_t> value(
            xcb_get_property_reply(x_, xcb_get_property(x_, 0, window, atom->atom, type, 0, 1024), nullptr), &std::free);
        if (!value || value->format != 8) return {};
        return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(value.get())),
                                 xcb_get_property_value_length(value.get()));
    }

    // The root's mapped children, bottom to top (no window manager reparents them here).
    std::vector<xcb_window_t> stacking() {
        std::vector<xcb_window_t> mapped;
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x_, xcb_query_tree(x_, root_), nullptr), &std::free);
        if (!tree) return mapped;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            Reply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(x_, xcb_get_window_attributes(x_, children[i]), nullptr), &std::free);
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE) mapped.push_back(children[i]);
        }
        return mapped;
    }

    std::vector<xcb_window_t> windowsNamed(const QString& name) {
        std::vector<xcb_window_t> found;
        for (xcb_window_t window : stacking()) {
            Reply<xcb_intern_atom_reply_t> utf8(xcb_intern_atom_reply(x_, xcb_intern_atom(x_, 0, 11, "UTF8_STRING"), nullptr),
                                                &std::free);
            if (utf8 && property(window, "_NET_WM_NAME", utf8->atom) == name) found.push_back(window);
        }
        return found;
    }

    // Where a window is in the stacking order; -1 when it is not mapped.
    int stackIndex(xcb_window_t window) {
        const std::vector<xcb_window_t> order = stacking();
        const auto it = std::find(order.begin(), order.end(), window);
        return it == order.end() ? -1 : static_cast<int>(it - order.begin());
    }

    bool displayHotKeyHeld() { return TestSupport::keyGrabbedElsewhere(x_, root_, '9', XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4); }

    QString home_;
    QString display_;
    QProcessEnvironment environment_;
    QProcess* xvfb_ = nullptr;
    xcb_connection_t* x_ = nullptr;
    xcb_window_t root_ = 0;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

} // namespace

TEST_F(WalkthroughEndToEnd, WithoutCompositeTheAppOpensTheWalkthroughAndTheHotKeyRaisesItWithoutCapturing) {
    QProcess* app = start(BRINDLECAST_BINARY, {});
    ASSERT_TRUE(waitUntil([&] { return windowsNamed("Screen Recording").size() == 1 || app->state() != QProcess::Running; },
                          30000))
        << "no walkthrough at launch";
    ASSERT_EQ(app->state(), QProcess::Running);
    const xcb_window_t walkthrough = windowsNamed("Screen Recording").front();
    ASSERT_TRUE(waitUntil([&] { return displayHotKeyHeld(); }, 30000)) << "the app holds no hot key";

    // A window of the test's own goes over the walkthrough.
    const xcb_window_t cover = xcb_generate_id(x_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
    xcb_create_window(x_, XCB_COPY_FROM_PARENT, cover, root_, 0, 0, 1280, 800, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_map_window(x_, cover);
    xcb_flush(x_);
    ASSERT_TRUE(waitUntil([&] { return stackIndex(cover) > stackIndex(walkthrough); }, 10000));

    QProcess xdotool;
    xdotool.setProcessEnvironment(environment_);
    xdotool.start("xdotool", {"key", "super+shift+9"});
    ASSERT_TRUE(xdotool.waitForFinished(20000));
    ASSERT_EQ(xdotool.exitCode(), 0);

    ASSERT_TRUE(waitUntil([&] { return stackIndex(walkthrough) > stackIndex(cover); }, 20000))
        << "the walkthrough did not come forward";
    EXPECT_EQ(windowsNamed("Screen Recording"), std::vector<xcb_window_t>{walkthrough}) << "still the one window";
    EXPECT_EQ(app->state(), QProcess::Running);
    const QStringList written = QDir(home_ + "/Pictures").entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
    const QStringList library =
        QDir(home_ + "/Pictures/Brindlecast").entryList(QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
    EXPECT_TRUE(written.isEmpty() && library.isEmpty()) << (written + library).join(", ").toStdString();
}
