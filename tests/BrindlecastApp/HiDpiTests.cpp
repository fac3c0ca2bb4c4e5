// The windows on a screen shown at twice its scale, as a 2560 x 1440 screen at 2x: the offscreen
// platform with QT_SCALE_FACTOR=2 over a screen of that size, 1280 x 720 points. Grabs are kept
// in artefacts/ for a person to look at.
#include "Onboarding/OnboardingTestSupport.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Editor/EditorWindowController.h"
#include "BrindlecastApp/Editor/FloatingThumbnailCard.h"
#include "BrindlecastApp/Editor/FloatingThumbnailController.h"
#include "BrindlecastApp/Onboarding/PermissionOnboardingController.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Shell/AboutWindow.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QScreen>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using OnboardingTests::FakeClock;
using OnboardingTests::ThemeFixture;
using TestSupport::waitUntil;

namespace {

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
    EXPECT_EQ(screen->geometry().size(), QSize(1280, 720));
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

TEST(HiDpi, TheEditorWindowStaysInsideTheScreenThatShowsIt) {
    QImage capture(400, 300, QImage::Format_ARGB32_Premultiplied);
    capture.fill(QColor(90, 120, 160));
    auto model = std::make_shared<ReviewViewModel>(capture, std::vector<ReviewViewModel::Detection>{},
                                                   PolicyKit::EffectivePolicy::safeDefaults(), std::nullopt, [] {});
    EditorContent content;
    content.viewModel = model.get();
    content.owner = model;
    content.filename = "Screenshot hidpi.png";
    auto controller = EditorWindowController::present(content, nullptr);
    settle();
    EditorWindowChrome* window = controller->window();
    // 1180 x 760 points do not fit 720: the window takes the work area's height, its full
    // designed width, and lies wholly on the screen, its buttons included.
    EXPECT_TRUE(workArea().contains(window->geometry())) << window->geometry().y() << " " << window->geometry().height();
    EXPECT_EQ(window->size(), QSize(1180, 720));
    EXPECT_EQ(window->minimumSize(), EditorWindowController::kContentFloor) << "the designed floor fits";
    window->resize(1180, 600);
    EXPECT_EQ(window->height(), 700);
    for (QWidget* button : window->trafficLightButtons())
        EXPECT_TRUE(workArea().contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size())));
    window->grab().toImage().save(OnboardingTests::artefactsFolder() + "/hidpi-editor.png");
}

TEST(HiDpi, TheSmallerWindowsOpenCentredOnTheScreen) {
    ThemeFixture theme;
    OnboardingTests::FakePlatform platform;
    AboutWindow about(&theme.theme);
    PermissionOnboardingController walkthrough(theme.theme, platform.environment());
    for (QWidget* window : {static_cast<QWidget*>(&about), static_cast<QWidget*>(walkthrough.window())}) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        EXPECT_TRUE(workArea().contains(window->geometry()));
        EXPECT_LE((window->geometry().center() - workArea().center()).manhattanLength(), 2);
    }
}
