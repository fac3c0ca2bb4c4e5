// The windows on a screen shown at twice its scale, as a 2560 x 1440 screen at 2x (1280 x 720
// points) and a 1920 x 1080 one (960 x 540 points, less than the editor's designed size): the
// offscreen platform over a screen of that size, built once for each. Grabs are kept in
// artefacts/ for a person to look at.
#include "Onboarding/OnboardingTestSupport.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Design/DesignGallery.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/Window/ScreenPlacement.h"
#include "BrindlecastApp/Editor/EditorCanvasStage.h"
#include "BrindlecastApp/Editor/EditorToolbar.h"
#include "BrindlecastApp/Editor/EditorView.h"
#include "BrindlecastApp/Editor/EditorWindowController.h"
#include "BrindlecastApp/Editor/FloatingThumbnailCard.h"
#include "BrindlecastApp/Editor/FloatingThumbnailController.h"
#include "BrindlecastApp/Onboarding/PermissionOnboardingController.h"
#include "BrindlecastApp/Overlay/OverlayController.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Review/ReviewWindowController.h"
#include "BrindlecastApp/Shell/AboutWindow.h"
#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QScreen>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using OnboardingTests::FakeClock;
using OnboardingTests::ThemeFixture;
using TestSupport::waitUntil;

namespace {

// The screen's size in points, as the build of this test gives it.
constexpr QSize kScreenPoints(BRINDLECAST_SCREEN_POINTS);

QString screenName() { return QString("%1x%2").arg(kScreenPoints.width()).arg(kScreenPoints.height()); }

void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

QRect workArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

std::string describe(QColor c) {
    return "(" + std::to_string(c.red()) + ", " + std::to_string(c.green()) + ", " + std::to_string(c.blue()) + ")";
}

// The colour a grab at the screen's scale shows at a place given in points.
QColor at(const QImage& grab, QPointF points) {
    return grab.pixelColor((points * grab.devicePixelRatio()).toPoint());
}

} // namespace

TEST(HiDpi, TheScreenIsShownAtTwiceItsScale) {
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->devicePixelRatio(), 2);
    EXPECT_EQ(screen->geometry().size(), kScreenPoints);
}

TEST(HiDpi, TheThumbnailsPictureAndCaptionFillItsCard) {
    ThemeFixture theme;
    FloatingThumbnailEnvironment env;
    env.clock = std::make_shared<FakeClock>();
    env.now = [] { return QDateTime::currentDateTime(); };
    env.focusScreen = [] { return QGuiApplication::primaryScreen(); };
    FloatingThumbnailController thumbnails(theme.theme, env);
    const QImage shot = FloatingThumbnailController::syntheticShot();
    thumbnails.show(shot, QDateTime::currentDateTime(), [] {});
    FloatingThumbnailCard* card = thumbnails.currentCard();
    ASSERT_TRUE(card);
    ASSERT_TRUE(waitUntil([&] { return std::abs(card->slideOffset()) < 0.01; }, 10000));
    const QImage grab = card->grab().toImage();
    grab.save(OnboardingTests::artefactsFolder() + "/hidpi-thumbnail.png");
    ASSERT_EQ(grab.devicePixelRatio(), 2);
    ASSERT_EQ(grab.size(), card->size() * 2);

    // The picture is fitted into the frame, its aspect kept: each place of the frame shows the
    // picture's own colour there, to the frame's far corner.
    const QRectF bounds = card->cardRect();
    const QRectF frame(bounds.topLeft(), QSizeF(card->thumbSize()));
    const double scale = std::min(frame.width() / shot.width(), frame.height() / shot.height());
    const QRectF picture(frame.center() - QPointF(shot.width(), shot.height()) * scale / 2, QSizeF(shot.size()) * scale);
    for (const QPointF& relative : {QPointF(0.5, 0.5), QPointF(0.9, 0.9), QPointF(0.2, 0.85), QPointF(0.85, 0.15)}) {
        const QPointF place = picture.topLeft() + QPointF(relative.x() * picture.width(), relative.y() * picture.height());
        const QColor expected = shot.pixelColor(QPointF(relative.x() * shot.width(), relative.y() * shot.height()).toPoint());
        const QColor seen = at(grab, place);
        EXPECT_TRUE(near(seen, expected, 24)) << "picture at " << relative.x() << "," << relative.y() << ": "
                                              << describe(seen) << ", drawn " << describe(expected);
    }
    // The caption bar spans the card's width under the frame: dark to its far end.
    for (const double x : {bounds.left() + 20, bounds.right() - 50}) {
        const QColor seen = at(grab, QPointF(x, frame.bottom() + 31));
        EXPECT_LT(seen.red() + seen.green() + seen.blue(), 3 * 100) << "caption bar at " << x << ": " << describe(seen);
    }
    // Its title is drawn at the bar's left, white on the dark bar.
    int bright = 0;
    for (double x = bounds.left() + 11; x < bounds.left() + 80; x += 0.5)
        for (double y = frame.bottom() + 6; y < frame.bottom() + 20; y += 0.5)
            bright += at(grab, QPointF(x, y)).lightness() > 200;
    EXPECT_GT(bright, 40) << "no caption";
}

// An editor window on a capture, its toolbar the app's own.
std::unique_ptr<EditorWindowController> openEditor(std::shared_ptr<ReviewViewModel>& model) {
    QImage capture(400, 300, QImage::Format_ARGB32_Premultiplied);
    capture.fill(QColor(90, 120, 160));
    model = std::make_shared<ReviewViewModel>(capture, std::vector<ReviewViewModel::Detection>{},
                                              PolicyKit::EffectivePolicy::safeDefaults(), std::nullopt, [] {});
    EditorContent content;
    content.viewModel = model.get();
    content.owner = model;
    content.filename = "Screenshot hidpi.png";
    EditorWindowController::Options options;
    options.makeToolbar = [](ReviewViewModel& shown, const EditorToolbarActions& actions) -> QWidget* {
        return new EditorToolbar(shown, actions);
    };
    auto controller = EditorWindowController::present(content, nullptr, options);
    settle();
    return controller;
}

QRect onScreen(const QWidget* widget) { return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()); }

TEST(HiDpi, TheEditorWindowStaysInsideTheScreenThatShowsIt) {
    std::shared_ptr<ReviewViewModel> model;
    auto controller = openEditor(model);
    EditorWindowChrome* window = controller->window();
    // 1180 x 760 points do not fit 720 (nor 960 x 540): the window takes what the work area holds
    // of its designed size, and lies wholly on the screen, its buttons included.
    const QSize shown = ScreenPlacement::fitted(EditorWindowController::kInitialContentSize, workArea());
    EXPECT_TRUE(workArea().contains(window->geometry())) << window->geometry().y() << " " << window->geometry().height();
    EXPECT_EQ(window->size(), shown);
    const QSize floor = ScreenPlacement::fitted(EditorWindowController::kContentFloor, workArea());
    EXPECT_EQ(window->minimumSize(), floor) << "the designed floor, where it fits";
    window->resize(shown.width(), 300);
    EXPECT_EQ(window->height(), floor.height());
    for (QWidget* button : window->trafficLightButtons())
        EXPECT_TRUE(workArea().contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())));
    window->grab().toImage().save(OnboardingTests::artefactsFolder() + "/hidpi-editor-" + screenName() + ".png");
}

TEST(HiDpi, TheEditorsToolbarLiesWhollyOverItsCanvas) {
    std::shared_ptr<ReviewViewModel> model;
    auto controller = openEditor(model);
    auto* toolbar = qobject_cast<EditorToolbar*>(controller->view()->stage()->toolbar());
    ASSERT_TRUE(toolbar);
    const QRect stage = onScreen(controller->view()->stage());
    // Too narrow a canvas for the compact pill (a 960-point screen) shrinks it; every control
    // of it lies on the canvas, none cut by its edges.
    const QRect pill = onScreen(toolbar->pill());
    EXPECT_TRUE(stage.contains(pill)) << pill.x() << "+" << pill.width() << " in " << stage.x() << "+" << stage.width();
    EXPECT_EQ(toolbar->pillScale() < 1, toolbar->minimumSizeHint().width() > stage.width() - 24);
    const QList<QAbstractButton*> controls = toolbar->pill()->findChildren<QAbstractButton*>();
    EXPECT_EQ(controls.size(), 18);
    for (const QAbstractButton* control : controls)
        EXPECT_TRUE(pill.contains(onScreen(control))) << control->toolTip().toStdString();
    if (QWidget* strip = controller->view()->stage()->styleStrip()) {
        EXPECT_TRUE(stage.contains(onScreen(strip))) << "the style strip";
    }
}

TEST(HiDpi, TheWindowPickPointerIsDrawnAtTheScreensPixels) {
    // The camera is 24 points across at every scale: 24, 30 and 48 pixels drawn at that
    // resolution (not 24 enlarged by the screen), its hot spot in its middle.
    for (const auto& [ratio, pixels] : {std::pair{1.0, 24}, std::pair{1.25, 30}, std::pair{2.0, 48}}) {
        SCOPED_TRACE(ratio);
        const QCursor cursor = OverlayController::windowPickCursor(ratio);
        const QPixmap picture = cursor.pixmap();
        EXPECT_EQ(picture.size(), QSize(pixels, pixels));
        EXPECT_EQ(picture.devicePixelRatio(), ratio);
        // In the picture's pixels, as the X server takes it.
        EXPECT_EQ(cursor.hotSpot(), QPoint(pixels / 2, pixels / 2));
    }
}

TEST(HiDpi, TheSmallerWindowsOpenCentredOnTheScreen) {
    ThemeFixture theme;
    OnboardingTests::FakePlatform platform;
    AboutWindow about(&theme.theme);
    PermissionOnboardingController walkthrough(theme.theme, platform.environment());
    // The gallery (720 x 720 points) and a review of a large capture (1000 x 700) are taller
    // than a 540-point screen: shrunk to it, not centred above its top.
    Support::UserDefaults defaults(TestSupport::makeTemporaryFolder("gallery") + "/preferences.json");
    std::unique_ptr<QWidget> gallery(DesignGallery::show(false, &defaults));
    QImage capture(2400, 1800, QImage::Format_RGB32);
    capture.fill(Qt::white);
    QPointer<ReviewWindowController> review = ReviewWindowController::present(
        capture, {}, PolicyKit::EffectivePolicy::safeDefaults(), {}, [] {}, [](const ReviewDecision&) {});
    settle();
    for (QWidget* window : {static_cast<QWidget*>(&about), static_cast<QWidget*>(walkthrough.window()), gallery.get(),
                            static_cast<QWidget*>(review->window())}) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        // A window with the platform's frame (the gallery) may not fit its frame as well: its
        // frame starts on the screen and its own area is no larger than the screen's.
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(workArea().contains(frame.topLeft())) << frame.x() << "," << frame.y();
        EXPECT_TRUE(workArea().size().expandedTo(window->size()) == workArea().size())
            << window->width() << "x" << window->height() << " in " << workArea().width() << "x" << workArea().height();
        EXPECT_LE((frame.center() - workArea().center()).manhattanLength(), 2);
    }
    review->window()->close();
    settle();
}
