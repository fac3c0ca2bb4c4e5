// The hot keys and the selection overlay against the test session's X display (Qt's xcb
// platform); every test skips without one.
#include "BrindlecastApp/Overlay/OverlayController.h"
#include "BrindlecastApp/Overlay/OverlayView.h"
#include "BrindlecastApp/Shell/GlobalHotKeys.h"
#include "CaptureKit/X11ScreenContentProvider.h"

#include "Support/Log.h"
#include "support/TestEnvironment.h"
#include "support/XcbPlatform.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>

using namespace BrindlecastApp;

namespace {

#define REQUIRE_XCB()          \
    do {                       \
        REQUIRE_XCB_PLATFORM(); \
        REQUIRE_PROGRAM("xdotool"); \
    } while (0)

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

// Another X client of the same display.
struct OtherClient {
    OtherClient() : c(xcb_connect(nullptr, nullptr)) { root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }
    ~OtherClient() { xcb_disconnect(c); }

    bool canGrabPointer() {
        Reply<xcb_grab_pointer_reply_t> reply(
            xcb_grab_pointer_reply(c, xcb_grab_pointer(c, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                                       XCB_NONE, XCB_NONE, XCB_CURRENT_TIME), nullptr),
            &std::free);
        const bool granted = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        if (granted) xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
        xcb_flush(c);
        return granted;
    }
    bool canGrabKeyboard() {
        Reply<xcb_grab_keyboard_reply_t> reply(
            xcb_grab_keyboard_reply(c, xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                                         XCB_GRAB_MODE_ASYNC), nullptr),
            &std::free);
        const bool granted = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        if (granted) xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_flush(c);
        return granted;
    }
    // Map state and override-redirect flag of a window.
    std::pair<std::uint8_t, bool> attributes(xcb_window_t window) {
        Reply<xcb_get_window_attributes_reply_t> reply(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr), &std::free);
        if (!reply) return {XCB_MAP_STATE_UNMAPPED, false};
        return {reply->map_state, reply->override_redirect != 0};
    }

    xcb_connection_t* c;
    xcb_window_t root;
};

void xdotool(const QStringList& arguments) {
    const auto result = TestSupport::runProgram("xdotool", arguments);
    ASSERT_TRUE(result && result->exitCode == 0) << arguments.join(' ').toStdString();
}

using TestSupport::waitUntil;

class RecordingSink : public Support::LogSink {
public:
    void write(const Support::LogEntry& entry) override {
        std::lock_guard lock(mutex);
        lines << entry.message;
    }
    QStringList taken() {
        std::lock_guard lock(mutex);
        return lines.filter("is taken by another application");
    }
    std::mutex mutex;
    QStringList lines;
};

QString artefactsFolder() {
    QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS", BRINDLECAST_ARTEFACTS_DIR);
    QDir().mkpath(folder);
    return folder;
}

} // namespace

TEST(GlobalHotKeys, GrabMasksCoverEveryLockCombination) {
    GlobalHotKeys::Modifiers modifiers;
    modifiers.super = 0x40;
    modifiers.numLock = 0x10;
    modifiers.scrollLock = 0x20;
    const std::uint16_t base = 0x41; // Shift + Mod4
    EXPECT_EQ(GlobalHotKeys::grabMasks(base, modifiers),
              (std::vector<std::uint16_t>{0x41, 0x43, 0x51, 0x53, 0x61, 0x63, 0x71, 0x73}));
    modifiers.scrollLock = 0;
    EXPECT_EQ(GlobalHotKeys::grabMasks(base, modifiers), (std::vector<std::uint16_t>{0x41, 0x43, 0x51, 0x53}));
    modifiers.numLock = 0x40; // a keymap that puts NumLock with Super: it cannot be told apart
    EXPECT_EQ(GlobalHotKeys::grabMasks(base, modifiers), (std::vector<std::uint16_t>{0x41, 0x43}));
}

TEST(GlobalHotKeys, SuperShiftDigitsReachTheAppWhateverLocksAreOn) {
    REQUIRE_XCB();
    GlobalHotKeys keys;
    const std::vector<GlobalHotKeys::Id> registered = keys.registerKeys();
    EXPECT_EQ(registered, (std::vector<GlobalHotKeys::Id>{GlobalHotKeys::region, GlobalHotKeys::windowPick,
                                                          GlobalHotKeys::display}));
    QSignalSpy pressed(&keys, &GlobalHotKeys::pressed);
    struct Case {
        QStringList locks;
        const char* key;
        int id;
    };
    const Case cases[] = {
        {{}, "super+shift+7", GlobalHotKeys::region},
        {{"Num_Lock"}, "super+shift+8", GlobalHotKeys::windowPick},
        {{"Caps_Lock", "Num_Lock"}, "super+shift+9", GlobalHotKeys::display},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        for (const QString& lock : c.locks) xdotool({"key", lock});
        pressed.clear();
        xdotool({"key", c.key});
        EXPECT_TRUE(waitUntil([&] { return !pressed.isEmpty(); }));
        for (const QString& lock : c.locks) xdotool({"key", lock});
        ASSERT_EQ(pressed.size(), 1);
        EXPECT_EQ(pressed.at(0).at(0).toInt(), c.id);
    }
    pressed.clear();
    xdotool({"key", "super+7"});
    xdotool({"key", "ctrl+shift+7"});
    // Key events arrive in order: once a hot key pressed after them is in, those two are too.
    xdotool({"key", "super+shift+8"});
    ASSERT_TRUE(waitUntil([&] { return !pressed.isEmpty() && pressed.last().at(0).toInt() == GlobalHotKeys::windowPick; }));
    EXPECT_EQ(pressed.size(), 1) << "other modifiers are not the hot keys";
}

TEST(GlobalHotKeys, AKeyHeldByAnotherApplicationIsReportedOnceAndTheOthersWork) {
    REQUIRE_XCB();
    OtherClient other;
    // The other client holds Super+Shift+9 (Mod4 + Shift) on the keyboard's key for "9".
    Reply<xcb_get_keyboard_mapping_reply_t> mapping(nullptr, &std::free);
    xcb_keycode_t nine = 0;
    {
        const xcb_setup_t* setup = xcb_get_setup(other.c);
        mapping.reset(xcb_get_keyboard_mapping_reply(
            other.c, xcb_get_keyboard_mapping(other.c, setup->min_keycode, setup->max_keycode - setup->min_keycode + 1),
            nullptr));
        ASSERT_TRUE(mapping);
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
        for (int i = 0; i < length && !nine; ++i)
            if (syms[i] == '9') nine = static_cast<xcb_keycode_t>(setup->min_keycode + i / mapping->keysyms_per_keycode);
    }
    ASSERT_NE(nine, 0);
    xcb_grab_key(other.c, 0, other.root, XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4, nine, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    std::free(xcb_get_input_focus_reply(other.c, xcb_get_input_focus(other.c), nullptr));

    auto sink = std::make_shared<RecordingSink>();
    const auto previous = Support::Log::sink();
    Support::Log::setSink(sink);
    GlobalHotKeys keys;
    const std::vector<GlobalHotKeys::Id> registered = keys.registerKeys();
    Support::Log::setSink(previous);
    EXPECT_EQ(registered, (std::vector<GlobalHotKeys::Id>{GlobalHotKeys::region, GlobalHotKeys::windowPick}));
    EXPECT_EQ(sink->taken(), QStringList("global hot key Super+Shift+9 (capture display) is taken by another "
                                         "application; the tray menu still offers the command"));

    QSignalSpy pressed(&keys, &GlobalHotKeys::pressed);
    xdotool({"key", "super+shift+7"});
    EXPECT_TRUE(waitUntil([&] { return !pressed.isEmpty(); }));
    xcb_ungrab_key(other.c, nine, other.root, XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4);
    xcb_flush(other.c);
}

// The overlay holds pointer and keyboard while shown; ordered out it is unmapped, and the grabs
// released, by the time orderOut() returns, so a capture started next sees neither.
TEST(SelectionOverlay, HoldsTheInputWhileShownAndLeavesTheScreenBeforeACapture) {
    REQUIRE_XCB();
    OtherClient other;
    std::vector<Support::Rect> regions;
    int cancels = 0;
    CaptureKit::WindowInfo window;
    window.windowID = 77;
    window.frame = Support::Rect(600, 300, 400, 300);
    window.isOnScreen = true;
    window.zIndex = 0;
    OverlayController overlay([window] { return std::vector<CaptureKit::WindowInfo>{window}; }, nullptr,
                              QColor(0, 122, 255));
    overlay.onRegion = [&](const Support::Rect& rect) { regions.push_back(rect); };
    overlay.onCancel = [&] { ++cancels; };
    xdotool({"mousemove", "200", "150"});
    overlay.begin();
    ASSERT_EQ(overlay.views().size(), QGuiApplication::screens().size());
    const xcb_window_t panel = static_cast<xcb_window_t>(overlay.views().first()->winId());
    EXPECT_TRUE(waitUntil([&] { return !other.canGrabPointer() && !other.canGrabKeyboard(); }));
    EXPECT_EQ(other.attributes(panel), std::make_pair(std::uint8_t(XCB_MAP_STATE_VIEWABLE), true));

    xdotool({"mousedown", "1"});
    xdotool({"mousemove", "260", "190"});
    xdotool({"mousemove", "520", "430"});
    xdotool({"mouseup", "1"});
    ASSERT_TRUE(waitUntil([&] { return !regions.empty(); }));
    EXPECT_TRUE(regions[0].equalTo(Support::Rect(200, 150, 320, 280)));

    const QImage shown = overlay.views().first()->grab().toImage();
    EXPECT_TRUE(shown.save(artefactsFolder() + "/selection-overlay-area.png"));

    overlay.orderOut();
    EXPECT_EQ(other.attributes(panel).first, XCB_MAP_STATE_UNMAPPED);
    EXPECT_TRUE(other.canGrabPointer());
    EXPECT_TRUE(other.canGrabKeyboard());

    overlay.orderIn();
    EXPECT_TRUE(waitUntil([&] { return !other.canGrabKeyboard(); }));
    xdotool({"key", "space"});
    xdotool({"mousemove", "700", "400"});
    ASSERT_TRUE(waitUntil([&] { return overlay.views().first()->pickTarget().has_value(); }));
    EXPECT_TRUE(overlay.views().first()->grab().toImage().save(artefactsFolder() + "/selection-overlay-window.png"));
    xdotool({"key", "Escape"});
    EXPECT_TRUE(waitUntil([&] { return cancels == 1; }));
    EXPECT_TRUE(overlay.isClosed());
    EXPECT_TRUE(waitUntil([&] { return other.canGrabPointer(); }));
}

// While the overlay holds the keyboard, the server hands the hot keys to its panel instead of the
// root: they still arrive, and the overlay sees none of them.
TEST(SelectionOverlay, LeavesTheHotKeysWorkingWhileItHoldsTheKeyboard) {
    REQUIRE_XCB();
    OtherClient other;
    GlobalHotKeys keys;
    ASSERT_EQ(keys.registerKeys().size(), 3u);
    QSignalSpy pressed(&keys, &GlobalHotKeys::pressed);
    int cancels = 0;
    OverlayController overlay([] { return std::vector<CaptureKit::WindowInfo>{}; }, nullptr, QColor(0, 122, 255));
    overlay.onCancel = [&] { ++cancels; };
    overlay.begin();
    ASSERT_TRUE(waitUntil([&] { return !other.canGrabKeyboard(); })) << "the overlay holds the keyboard";
    for (const auto& [key, id] : {std::pair{"super+shift+9", GlobalHotKeys::display}, {"super+shift+7", GlobalHotKeys::region}}) {
        SCOPED_TRACE(key);
        pressed.clear();
        xdotool({"key", key});
        ASSERT_TRUE(waitUntil([&] { return !pressed.isEmpty(); }));
        EXPECT_EQ(pressed.first().at(0).toInt(), id);
    }
    EXPECT_FALSE(overlay.isWindowPickMode());
    xdotool({"key", "Escape"});
    EXPECT_TRUE(waitUntil([&] { return cancels == 1; }));
    EXPECT_EQ(pressed.size(), 1);
}

// Two RandR monitors side by side: a panel on each, a drag that runs on into the next monitor
// selects up to its own monitor's edge, and a window across both is highlighted on each.
TEST(SelectionOverlay, CoversEachMonitorWithAPanelOfItsOwn) {
    REQUIRE_XCB();
    REQUIRE_PROGRAM("xrandr");
    QScreen* primary = QGuiApplication::primaryScreen();
    const int width = primary->geometry().width(), height = primary->geometry().height();
    const QString half = QString("%1/254x%2/286").arg(width / 2).arg(height);
    xdotool({"mousemove", "100", "100"});
    // The left monitor takes over the output, so the output's own monitor goes away meanwhile.
    const auto listing = TestSupport::runProgram("xrandr", {"--listmonitors"});
    ASSERT_TRUE(listing);
    const QString output = QString::fromUtf8(listing->standardOutput).split('\n').value(1).section(' ', -1).trimmed();
    ASSERT_FALSE(output.isEmpty());
    ASSERT_EQ(TestSupport::runProgram("xrandr", {"--setmonitor", "OverlayLeft", half + "+0+0", output})->exitCode, 0);
    ASSERT_EQ(TestSupport::runProgram("xrandr", {"--setmonitor", "OverlayRight", half + QString("+%1+0").arg(width / 2), "none"})
                  ->exitCode,
              0);
    OtherClient other;
    std::vector<Support::Rect> regions;
    {
        CaptureKit::WindowInfo window;
        window.windowID = 5;
        window.frame = Support::Rect(width / 2 - 100, 200, 200, 100);
        window.isOnScreen = true;
        window.zIndex = 0;
        // The monitors as the capture lists them: the RandR monitors, whatever Qt makes of them.
        const auto monitors = [] {
            std::vector<Support::Rect> frames;
            for (const CaptureKit::DisplayInfo& display : CaptureKit::X11ScreenContentProvider().shareableContent().displays)
                frames.push_back(display.frame);
            return frames;
        };
        OverlayController overlay([window] { return std::vector<CaptureKit::WindowInfo>{window}; }, monitors, Qt::blue);
        overlay.onRegion = [&](const Support::Rect& rect) { regions.push_back(rect); };
        {
            overlay.begin();
            ASSERT_EQ(overlay.views().size(), 2);
            EXPECT_EQ(overlay.views()[0]->geometry(), QRect(0, 0, width / 2, height));
            EXPECT_EQ(overlay.views()[1]->geometry(), QRect(width / 2, 0, width / 2, height));
            EXPECT_TRUE(waitUntil([&] { return !other.canGrabPointer(); })) << "the overlay holds the pointer";
            xdotool({"mousemove", QString::number(width / 2 - 300), "300"});
            xdotool({"mousedown", "1"});
            xdotool({"mousemove", QString::number(width / 2 + 200), "450"});
            xdotool({"mouseup", "1"});
            EXPECT_TRUE(waitUntil([&] { return !regions.empty(); }));
            overlay.toggleMode();
            xdotool({"mousemove", QString::number(width / 2 + 20), "250"});
            EXPECT_TRUE(waitUntil([&] { return overlay.views()[1]->pickTarget().has_value(); }));
            EXPECT_EQ(overlay.views()[0]->layout().highlight, QRectF(width / 2 - 100, 200, 100, 100));
            EXPECT_EQ(overlay.views()[1]->layout().highlight, QRectF(0, 200, 100, 100));
            overlay.close();
        }
    }
    TestSupport::runProgram("xrandr", {"--delmonitor", "OverlayLeft"});
    TestSupport::runProgram("xrandr", {"--delmonitor", "OverlayRight"});
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_TRUE(regions[0].equalTo(Support::Rect(width / 2 - 300, 300, 300, 150)));
}
