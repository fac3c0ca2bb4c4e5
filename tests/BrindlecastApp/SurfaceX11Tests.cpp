// The app's see-through windows on the shared test display (Qt's xcb platform under openbox),
// without and with a compositing manager (picom) started and stopped while they are open: the
// thumbnail, a toolbar popover holding the More menu, and a window chrome holding window glass,
// over a magenta desktop. What shows is read back from the screen, corner pixels first; the grabs
// are kept in artefacts/ for a person to look at. Skips without a display.
#include "Onboarding/OnboardingTestSupport.h"
#include "BrindlecastApp/Design/Compositor.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/WindowSurface.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Editor/EditorWindowController.h"
#include "BrindlecastApp/Editor/FloatingThumbnailCard.h"
#include "BrindlecastApp/Editor/FloatingThumbnailController.h"
#include "BrindlecastApp/Editor/MoreMenu.h"
#include "BrindlecastApp/Editor/ToolbarPopover.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "support/TestEnvironment.h"
#include "support/XcbPlatform.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QProcess>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using TestSupport::waitUntil;

namespace {

const QColor kDesktop(255, 0, 255);

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* x11() { return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection(); }
xcb_window_t rootWindow() { return xcb_setup_roots_iterator(xcb_get_setup(x11())).data->root; }

xcb_atom_t atom(const char* name) {
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(x11(), xcb_intern_atom(x11(), 0, uint16_t(strlen(name)), name), nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The blur region a window asks for; nothing when it carries no such property.
std::optional<std::vector<std::uint32_t>> blurRegion(QWidget* window) {
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(x11(),
                               xcb_get_property(x11(), 0, xcb_window_t(window->winId()),
                                                atom(Compositor::kBlurBehindRegion), XCB_ATOM_CARDINAL, 0, 4096),
                               nullptr),
        &std::free);
    if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return std::vector<std::uint32_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

// Whether the server has cut the window to a shape of its own.
bool isCut(QWidget* window) {
    Reply<xcb_shape_query_extents_reply_t> extents(
        xcb_shape_query_extents_reply(x11(), xcb_shape_query_extents(x11(), xcb_window_t(window->winId())), nullptr),
        &std::free);
    return extents && extents->bounding_shaped;
}

bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

std::string describe(QColor c) {
    return "(" + std::to_string(c.red()) + ", " + std::to_string(c.green()) + ", " + std::to_string(c.blue()) + ")";
}

// The desktop as the display shows it around `window`.
QImage onScreen(QWidget* window) {
    QApplication::processEvents();
    QThread::msleep(150); // the server's (or the compositor's) next frame
    QApplication::processEvents();
    return QGuiApplication::primaryScreen()->grabWindow(0, window->x(), window->y(), window->width(), window->height()).toImage();
}

// A window chrome holding window glass, rounded as the chrome says when it is made.
EditorWindowChrome* makeChrome(Theme& theme, QRect geometry) {
    auto* chrome = new EditorWindowChrome;
    chrome->setWindowTitle("Brindlecast surface chrome");
    ThemedRoot::install(chrome, &theme);
    auto* layout = new QVBoxLayout(chrome);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new GlassPanel(GlassVariant::window, chrome->cornerRadius()));
    chrome->setGeometry(geometry);
    chrome->show();
    return chrome;
}

bool exposed(QWidget* window) { return window->windowHandle() && window->windowHandle()->isExposed(); }

// One of each see-through window, in one scheme.
struct Windows {
    explicit Windows(bool dark) : theme(dark) {
        owner.setWindowTitle("Brindlecast surface owner");
        owner.resize(320, 60);
        owner.move(40, 40);
        ThemedRoot::install(&owner, &theme.theme);
        owner.show();

        chrome = makeChrome(theme.theme, QRect(700, 80, 420, 300));

        FloatingThumbnailEnvironment env;
        env.clock = clock;
        env.now = [] { return QDateTime::currentDateTime(); };
        env.focusScreen = [] { return QGuiApplication::primaryScreen(); };
        thumbnails = std::make_unique<FloatingThumbnailController>(theme.theme, env);
        thumbnails->show(FloatingThumbnailController::syntheticShot(), QDateTime::currentDateTime(), [this] { ++taps; });
        card = thumbnails->currentCard();

        // Last: showing another window closes a popup. Below its owner once the window manager
        // has framed it, not where it asked to be.
        waitUntil([this] { return exposed(&owner); }, 20000);
        QThread::msleep(200);
        QApplication::processEvents();
        MoreMenuPanel::Actions actions;
        actions.closeMenu = [] {};
        popover = new ToolbarPopover(new MoreMenuPanel(actions), &owner);
        popover->openBelow(&owner);
    }
    ~Windows() {
        thumbnails.reset();
        delete chrome;
        delete popover;
    }

    std::string state() const {
        return std::string("card ") + (card && exposed(card) ? "exposed" : "not exposed") + " at " +
               std::to_string(card ? card->slideOffset() : -1) + ", popover " + (popover->isVisible() ? "shown" : "hidden") +
               ", chrome " + (exposed(chrome) ? "exposed" : "not exposed");
    }

    bool onScreenAndSettled() const {
        return card && exposed(card) && std::abs(card->slideOffset()) < 0.5 && popover->isVisible() && exposed(chrome);
    }

    OnboardingTests::ThemeFixture theme;
    std::shared_ptr<OnboardingTests::FakeClock> clock = std::make_shared<OnboardingTests::FakeClock>();
    QWidget owner;
    ToolbarPopover* popover = nullptr;
    EditorWindowChrome* chrome = nullptr;
    std::unique_ptr<FloatingThumbnailController> thumbnails;
    QPointer<FloatingThumbnailCard> card;
    int taps = 0;
};

class Surfaces : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_XCB_PLATFORM();
        if (Compositor::Watch::instance().isActive()) GTEST_SKIP() << "a compositor already runs on this display";
        QCursor::setPos(0, 0);
        paintDesktop(true);
    }

    void TearDown() override {
        stopCompositor();
        setBlurAnnounced(false);
        if (QGuiApplication::platformName() == "xcb") paintDesktop(false);
    }

    // A magenta desktop, as the server tiles it and as a compositor reads it (_XROOTPMAP_ID); or
    // the server's own again.
    void paintDesktop(bool magenta) {
        xcb_connection_t* c = x11();
        const xcb_window_t root = rootWindow();
        if (magenta) {
            tile_ = xcb_generate_id(c);
            xcb_create_pixmap(c, 24, tile_, root, 16, 16);
            const xcb_gcontext_t gc = xcb_generate_id(c);
            const std::uint32_t pixel = 0xFF00FF;
            xcb_create_gc(c, gc, tile_, XCB_GC_FOREGROUND, &pixel);
            const xcb_rectangle_t all{0, 0, 16, 16};
            xcb_poly_fill_rectangle(c, tile_, gc, 1, &all);
            xcb_free_gc(c, gc);
            xcb_change_window_attributes(c, root, XCB_CW_BACK_PIXMAP, &tile_);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom("_XROOTPMAP_ID"), XCB_ATOM_PIXMAP, 32, 1, &tile_);
        } else {
            const std::uint32_t none = XCB_BACK_PIXMAP_NONE;
            xcb_change_window_attributes(c, root, XCB_CW_BACK_PIXMAP, &none);
            xcb_delete_property(c, root, atom("_XROOTPMAP_ID"));
            if (tile_) xcb_free_pixmap(c, tile_);
            tile_ = 0;
        }
        xcb_clear_area(c, 0, root, 0, 0, 0, 0);
        xcb_flush(c);
    }

    // As a compositor that blurs announces it, on the root window.
    void setBlurAnnounced(bool announced) {
        if (QGuiApplication::platformName() != "xcb") return;
        const xcb_atom_t property = atom(Compositor::kBlurBehindRegion);
        if (announced) {
            const std::uint32_t none = 0;
            xcb_change_property(x11(), XCB_PROP_MODE_REPLACE, rootWindow(), property, XCB_ATOM_CARDINAL, 32, 1, &none);
        } else {
            xcb_delete_property(x11(), rootWindow(), property);
        }
        xcb_flush(x11());
    }

    [[nodiscard]] bool startCompositor() {
        if (!TestSupport::hasProgram("picom")) {
            ADD_FAILURE() << "picom is not installed (scripts/deps installs it)";
            return false;
        }
        compositor_ = std::make_unique<QProcess>();
        compositor_->start("picom", {"--backend", "xrender", "--no-fading-openclose"});
        return compositor_->waitForStarted() && waitUntil([] { return Compositor::Watch::instance().isActive(); }, 20000);
    }

    void stopCompositor() {
        if (!compositor_) return;
        compositor_->terminate();
        if (!compositor_->waitForFinished(5000)) {
            compositor_->kill();
            compositor_->waitForFinished(5000);
        }
        compositor_.reset();
        waitUntil([] { return !Compositor::Watch::instance().isActive(); }, 20000);
    }

    static void keep(const QImage& image, const QString& name) {
        QDir().mkpath(BRINDLECAST_ARTEFACTS_DIR);
        image.save(QString(BRINDLECAST_ARTEFACTS_DIR) + "/" + name + ".png");
    }

    // Every window as the display shows it now: no black box, the desktop where each leaves its
    // corners clear (or square and opaque where a window is drawn so).
    void expectCleanCorners(Windows& w, const QString& state) {
        // On a loaded machine the compositor may show a frame from before the change a while longer.
        const bool composited = Compositor::Watch::instance().isActive();
        const QRect card = w.popover->panel()->geometry();
        waitUntil([&] {
            return near(onScreen(w.card).pixelColor(1, 1), kDesktop, composited ? 60 : 0) &&
                   near(onScreen(w.popover).pixelColor(card.topLeft()), kDesktop, composited ? 8 : 0);
        }, 5000);
        const QImage thumbnail = onScreen(w.card), popover = onScreen(w.popover), chrome = onScreen(w.chrome);
        keep(thumbnail, "surface-thumbnail-" + state);
        keep(popover, "surface-more-menu-" + state);
        keep(chrome, "surface-window-" + state);
        // The thumbnail's margin and corner: the desktop (under its faint shadow with a compositor).
        for (const QPoint at : {QPoint(1, 1), QPoint(thumbnail.width() - 2, 1), QPoint(1, thumbnail.height() / 2),
                                QPoint(FloatingThumbnailCard::kPadding + 1, FloatingThumbnailCard::kPadding + 1)}) {
            const QColor seen = thumbnail.pixelColor(at);
            EXPECT_TRUE(near(seen, kDesktop, composited ? 60 : 0))
                << "thumbnail at " << at.x() << "," << at.y() << ": " << describe(seen);
        }
        const QPoint middle = w.card->cardRect().center().toPoint();
        EXPECT_FALSE(near(thumbnail.pixelColor(middle), kDesktop, 60)) << "the card itself shows";
        // The popover's card: its rounded corners the desktop (its upper ones under the faintest
        // edge of the shadow with a compositor, the lower ones in the shadow), its middle the glass.
        for (const QPoint at : {card.topLeft(), card.topRight()}) {
            const QColor seen = popover.pixelColor(at);
            EXPECT_TRUE(near(seen, kDesktop, composited ? 8 : 0)) << "popover corner " << at.x() << "," << at.y() << ": " << describe(seen);
        }
        for (const QPoint at : {card.bottomLeft(), card.bottomRight()}) {
            const QColor seen = popover.pixelColor(at);
            EXPECT_TRUE(near(seen, kDesktop, composited ? 120 : 0)) << "popover corner " << at.x() << "," << at.y() << ": " << describe(seen);
        }
        EXPECT_FALSE(near(popover.pixelColor(card.center()), kDesktop, 60));
        // Its shadow: under a compositor it falls in the window's clear margin below the card, a
        // darker desktop; without one the window is the card alone.
        if (composited) {
            const QPoint below(card.center().x(), card.bottom() + 12);
            ASSERT_LT(below.y(), popover.height()) << "no room for a shadow below the card";
            const QColor shade = popover.pixelColor(below);
            EXPECT_LT(shade.red() + shade.blue(), kDesktop.red() + kDesktop.blue() - 60) << "no shadow: " << describe(shade);
            EXPECT_TRUE(near(shade, QColor(shade.red(), 0, shade.red()), 12)) << "the shadow is a darker desktop: " << describe(shade);
        } else {
            EXPECT_EQ(card, w.popover->rect()) << "cut to its card";
        }
        // The window made before: its glass keeps the corners it was made with, and the chrome
        // paints them opaque whenever no compositor shows them clear; never black.
        expectWindowCorner(chrome, false);
    }

    // A window's top-left corner: the desktop when it is rounded, else its own opaque colour (the
    // dark glass is dark, not black).
    static void expectWindowCorner(const QImage& window, bool rounded) {
        const QColor corner = window.pixelColor(0, 0);
        if (rounded) {
            EXPECT_TRUE(near(corner, kDesktop, 0)) << "window corner " << describe(corner);
        } else {
            EXPECT_FALSE(near(corner, kDesktop, 60)) << "window corner " << describe(corner);
            EXPECT_GT(corner.red() + corner.green() + corner.blue(), 3 * 8) << "window corner " << describe(corner);
        }
    }

private:
    std::unique_ptr<QProcess> compositor_;
    xcb_pixmap_t tile_ = 0;
};

} // namespace

TEST_F(Surfaces, FollowTheCompositorAsItStartsAndStops) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const QString scheme = dark ? "dark" : "light";
        Windows w(dark);
        ASSERT_TRUE(waitUntil([&] { return w.onScreenAndSettled(); }, 20000)) << w.state();

        // No compositor: the thumbnail and the popover are cut to their cards, nothing asks for a blur.
        EXPECT_TRUE(isCut(w.card));
        EXPECT_TRUE(isCut(w.popover));
        EXPECT_FALSE(w.chrome->isTranslucent());
        for (QWidget* window : {static_cast<QWidget*>(w.card), static_cast<QWidget*>(w.popover), static_cast<QWidget*>(w.chrome)})
            EXPECT_FALSE(blurRegion(window)) << window->windowTitle().toStdString();
        expectCleanCorners(w, "plain-" + scheme);

        // A compositor starts: the windows open now become see-through, and glass asks for the
        // blur behind its outline (not the thumbnail, which is no glass).
        ASSERT_TRUE(startCompositor());
        EXPECT_TRUE(waitUntil([&] { return !isCut(w.card) && !isCut(w.popover); }, 20000));
        EXPECT_TRUE(w.chrome->isTranslucent());
        const std::optional<std::vector<std::uint32_t>> popoverBlur = blurRegion(w.popover);
        ASSERT_TRUE(popoverBlur);
        ASSERT_FALSE(popoverBlur->empty());
        EXPECT_EQ(popoverBlur->size() % 4, 0u);
        // Its rows cover the popover's middle but leave its rounded corners out.
        const QRegion asked = [&] {
            QRegion r;
            for (std::size_t i = 0; i + 3 < popoverBlur->size(); i += 4)
                r += QRect(int((*popoverBlur)[i]), int((*popoverBlur)[i + 1]), int((*popoverBlur)[i + 2]), int((*popoverBlur)[i + 3]));
            return r;
        }();
        EXPECT_TRUE(asked.contains(QPoint(w.popover->width() / 2, w.popover->height() / 2)));
        EXPECT_FALSE(asked.contains(QPoint(0, 0)));
        EXPECT_TRUE(blurRegion(w.chrome));
        EXPECT_FALSE(blurRegion(w.card));
        expectCleanCorners(w, "composited-" + scheme);
        // A window made now is rounded, its corners clear.
        std::unique_ptr<EditorWindowChrome> rounded(makeChrome(w.theme.theme, QRect(700, 420, 420, 300)));
        ASSERT_TRUE(waitUntil([&] { return exposed(rounded.get()); }, 20000));
        const QImage roundedGrab = onScreen(rounded.get());
        keep(roundedGrab, "surface-window-rounded-" + scheme);
        expectWindowCorner(roundedGrab, true);
        // The margin takes the hover (with no popup holding the pointer): the card stays while
        // the pointer rests beside it.
        w.popover->hide();
        QCursor::setPos(w.card->mapToGlobal(QPoint(4, 4)));
        EXPECT_TRUE(waitUntil([&] { return w.card->isHovering(); }, 20000)) << "the margin took no hover";
        QCursor::setPos(0, 0);
        w.popover->openBelow(&w.owner);

        // It stops: cut again, the hints gone.
        stopCompositor();
        EXPECT_TRUE(waitUntil([&] { return isCut(w.card) && isCut(w.popover); }, 20000));
        EXPECT_FALSE(blurRegion(w.popover));
        EXPECT_FALSE(blurRegion(w.chrome));
        EXPECT_FALSE(w.chrome->isTranslucent());
        expectCleanCorners(w, "stopped-" + scheme);
        expectWindowCorner(onScreen(rounded.get()), false);
    }
}

TEST_F(Surfaces, GlassShowsItsMaterialOnlyWhereTheCompositorBlurs) {
    Windows w(false);
    ASSERT_TRUE(waitUntil([&] { return w.onScreenAndSettled(); }, 20000)) << w.state();
    GlassPanel* glass = w.popover->panel();
    // Announced without a compositor running, no blur can happen.
    setBlurAnnounced(true);
    QThread::msleep(100);
    QApplication::processEvents();
    EXPECT_EQ(glass->backdrop(), Glass::Backdrop::clear);

    ASSERT_TRUE(startCompositor());
    EXPECT_TRUE(waitUntil([&] { return glass->backdrop() == Glass::Backdrop::blurred; }, 20000));
    EXPECT_FALSE(WindowSurface::of(w.card)->isBlurredBehind()) << "the thumbnail is no glass";
    keep(onScreen(w.popover), "surface-more-menu-blurred-light");
    setBlurAnnounced(false);
    // Nothing blurs the windows behind: the popover's glass is laid on its opaque base, so they
    // cannot be read through it.
    EXPECT_TRUE(waitUntil([&] { return glass->backdrop() == Glass::Backdrop::opaque; }, 20000));
}

namespace {

// The real editor window on a plain capture.
struct Editor {
    Editor(Theme& theme, QPoint at) {
        QImage capture(400, 300, QImage::Format_ARGB32_Premultiplied);
        capture.fill(QColor(90, 120, 160));
        model = std::make_shared<ReviewViewModel>(capture, std::vector<ReviewViewModel::Detection>{},
                                                  PolicyKit::EffectivePolicy::safeDefaults(), std::nullopt, [] {});
        EditorContent content;
        content.viewModel = model.get();
        content.owner = model;
        content.filename = "Screenshot surface.png";
        controller = EditorWindowController::present(content, &theme);
        controller->window()->move(at);
    }
    EditorWindowChrome* window() const { return controller->window(); }
    double contentRadius() const { return controller->view()->panel()->cornerRadius(); }

    std::shared_ptr<ReviewViewModel> model;
    std::unique_ptr<EditorWindowController> controller;
};

} // namespace

TEST_F(Surfaces, TheEditorsContentFollowsTheCompositorAsItStartsAndStops) {
    OnboardingTests::ThemeFixture theme;
    const double rounded = Tokens::defaults().radii.window;
    // Opened without a compositor: square and opaque to its corners.
    Editor before(theme.theme, QPoint(20, 20));
    ASSERT_TRUE(waitUntil([&] { return exposed(before.window()); }, 20000));
    EXPECT_EQ(before.contentRadius(), 0);

    // A compositor starts: its content rounds with the window, the desktop in its corners.
    ASSERT_TRUE(startCompositor());
    EXPECT_TRUE(waitUntil([&] { return before.contentRadius() == rounded; }, 20000));
    EXPECT_TRUE(waitUntil([&] { return near(onScreen(before.window()).pixelColor(0, 0), kDesktop, 0); }, 5000));
    keep(onScreen(before.window()), "surface-editor-rounded-after-start");
    expectWindowCorner(onScreen(before.window()), true);

    // Opened under it, then it stops: square again, the glass reaching into the corners with
    // no rounded border drawn inside a square window.
    Editor under(theme.theme, QPoint(700, 260));
    ASSERT_TRUE(waitUntil([&] { return exposed(under.window()); }, 20000));
    EXPECT_EQ(under.contentRadius(), rounded);
    stopCompositor();
    for (Editor* editor : {&before, &under}) {
        EXPECT_TRUE(waitUntil([&] { return editor->contentRadius() == 0; }, 20000));
        const QImage shown = onScreen(editor->window());
        keep(shown, editor == &under ? "surface-editor-square-after-stop" : "surface-editor-square-again");
        expectWindowCorner(shown, false);
        // Just inside the top-right corner lies the same glass as along the edge below it, in
        // the title strip.
        const int x = shown.width() - 4;
        const QColor corner = shown.pixelColor(x, 3), edge = shown.pixelColor(x, 30);
        EXPECT_TRUE(near(corner, edge, 3)) << "corner " << describe(corner) << ", edge " << describe(edge);
    }
}
