// The post-capture thumbnail on the test session's display (Qt's xcb platform under openbox) with
// a clock the test drives: where it shows, that it leaves the focus alone, its wait, hover,
// replacement, close button and tap. Every test skips without a display.
#include "../Onboarding/OnboardingTestSupport.h"
#include "BrindlecastApp/Editor/FloatingThumbnailCard.h"
#include "BrindlecastApp/Editor/FloatingThumbnailController.h"
#include "support/TestEnvironment.h"
#include "support/XcbPlatform.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace BrindlecastApp;
using TestSupport::waitUntil;

namespace {

QImage filled(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

class FloatingThumbnail : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_XCB_PLATFORM();
        QCursor::setPos(0, 0);
    }

    FloatingThumbnailEnvironment environment() {
        FloatingThumbnailEnvironment env;
        env.clock = clock;
        env.now = [this] { return now; };
        env.focusScreen = [] { return QGuiApplication::primaryScreen(); };
        return env;
    }

    // Shows a card and waits until the server has it on screen and its slide-in has ended: the
    // spring's last step lands exactly on its target. (Close to it is not enough: the card fades
    // in with its slide, and a picture taken a frame early is a grey level darker.)
    FloatingThumbnailCard* showCard(FloatingThumbnailController& controller, QImage image = filled({400, 300}, Qt::red)) {
        controller.show(image, now, [this] { ++taps; });
        FloatingThumbnailCard* card = controller.currentCard();
        EXPECT_TRUE(card);
        if (!card) return nullptr;
        EXPECT_TRUE(waitUntil([&] { return card->windowHandle() && card->windowHandle()->isExposed(); }, 20000));
        EXPECT_TRUE(waitUntil([&] { return card->slideOffset() == 0; }, 20000));
        return card;
    }

    void hover(FloatingThumbnailCard* card, bool inside) {
        QCursor::setPos(inside ? card->mapToGlobal(card->cardRect().center().toPoint()) : QPoint(0, 0));
        ASSERT_TRUE(waitUntil([&] { return card->isHovering() == inside; }, 20000));
    }

    std::shared_ptr<OnboardingTests::FakeClock> clock = std::make_shared<OnboardingTests::FakeClock>();
    QDateTime now = QDateTime(QDate(2026, 7, 5), QTime(14, 14, 9));
    OnboardingTests::ThemeFixture theme;
    int taps = 0;
};

} // namespace

TEST(FloatingThumbnailGeometry, TheFrameKeepsTheScreensAspectAndThePanelSits26In) {
    struct Case {
        std::optional<QSize> screen;
        int height;
    };
    for (const Case& c : {Case{QSize(1440, 900), 144}, Case{QSize(2560, 1600), 144}, Case{QSize(1920, 1080), 129},
                          Case{QSize(1280, 1024), 184}, Case{std::nullopt, 144}})
        EXPECT_EQ(FloatingThumbnailController::thumbnailHeight(c.screen), c.height);
    EXPECT_EQ(FloatingThumbnailCard::panelSize({230, 129}), QSize(258, 195));
    EXPECT_EQ(FloatingThumbnailController::panelOrigin(QRect(0, 30, 1920, 1050), {258, 195}),
              QPoint(1920 - 258 - 26, 1080 - 195 - 26));
}

TEST_F(FloatingThumbnail, ShowsInTheWorkAreasCornerOnEveryDesktopWithoutTakingTheFocus) {
    QWidget holder;
    holder.setWindowTitle("Brindlecast focus holder");
    holder.resize(300, 200);
    holder.show();
    holder.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &holder; }, 20000)) << "no window manager focus";

    FloatingThumbnailController controller(theme.theme, environment());
    FloatingThumbnailCard* card = showCard(controller);
    ASSERT_TRUE(card);
    QScreen* screen = QGuiApplication::primaryScreen();
    const int height = FloatingThumbnailController::thumbnailHeight(screen->geometry().size());
    EXPECT_EQ(card->thumbSize(), QSize(230, height));
    const QRect expected(FloatingThumbnailController::panelOrigin(screen->availableGeometry(), card->size()), card->size());
    EXPECT_TRUE(waitUntil([&] { return card->geometry() == expected; }, 20000))
        << "at " << card->geometry().x() << "," << card->geometry().y() << " instead of " << expected.x() << ","
        << expected.y();
    EXPECT_EQ(QApplication::activeWindow(), &holder);
    const auto active = TestSupport::runProgram("xdotool", {"getactivewindow"});
    if (active && active->exitCode == 0) {
        EXPECT_EQ(QString::fromUtf8(active->standardOutput).trimmed().toULongLong(), holder.winId());
    }
    const auto desktop = TestSupport::runProgram("xprop", {"-id", QString::number(card->winId()), "_NET_WM_DESKTOP"});
    ASSERT_TRUE(desktop);
    EXPECT_TRUE(desktop->standardOutput.contains("4294967295")) << desktop->standardOutput.toStdString();

    QDir().mkpath(BRINDLECAST_ARTEFACTS_DIR);
    card->grab().save(QString(BRINDLECAST_ARTEFACTS_DIR) + "/floating-thumbnail.png");
    theme.theme.setMode(ThemeMode::dark);
    card->grab().save(QString(BRINDLECAST_ARTEFACTS_DIR) + "/floating-thumbnail-dark.png");
}

TEST_F(FloatingThumbnail, GoesAfterItsWaitAndLeavesTheScreen034sLater) {
    FloatingThumbnailController controller(theme.theme, environment());
    QPointer<FloatingThumbnailCard> card = showCard(controller);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->caption(), QString::fromUtf8("Tap to edit \u00B7 just now"));
    clock->advance(5.9);
    EXPECT_FALSE(card->isSlidingOut());
    clock->advance(0.1);
    EXPECT_TRUE(card->isSlidingOut());
    clock->advance(0.33);
    EXPECT_EQ(controller.currentCard(), card.data());
    EXPECT_TRUE(card->isVisible());
    clock->advance(0.01);
    EXPECT_EQ(controller.currentCard(), nullptr);
    EXPECT_TRUE(waitUntil([&] { return card.isNull(); }, 20000)) << "the panel was not let go";
    // Nothing left to dismiss: no second slide, no error.
    controller.dismiss();
}

TEST_F(FloatingThumbnail, StaysWhileHoveredAndWaitsInFullAfterThePointerLeaves) {
    FloatingThumbnailController controller(theme.theme, environment());
    FloatingThumbnailCard* card = showCard(controller);
    ASSERT_TRUE(card);
    clock->advance(4);
    hover(card, true);
    clock->advance(60);
    EXPECT_FALSE(card->isSlidingOut()) << "went while hovered";
    hover(card, false);
    clock->advance(5.9);
    EXPECT_FALSE(card->isSlidingOut()) << "the wait resumed instead of starting again";
    clock->advance(0.1);
    EXPECT_TRUE(card->isSlidingOut());
    // A card on its way out does not wait again when the pointer passes over it and leaves.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(card, &leave);
    EXPECT_FALSE(card->isDismissalPending());
}

TEST_F(FloatingThumbnail, ASecondShowReplacesTheFirstWithoutTheFirstsWaitClosingIt) {
    FloatingThumbnailController controller(theme.theme, environment());
    QPointer<FloatingThumbnailCard> first = showCard(controller);
    ASSERT_TRUE(first);
    clock->advance(3);
    FloatingThumbnailCard* second = showCard(controller, filled({300, 300}, Qt::blue));
    ASSERT_TRUE(second);
    EXPECT_TRUE(first.isNull() || !first->isVisible()) << "the first stays on screen";
    clock->advance(3.5); // the first card's wait would have ended here
    EXPECT_FALSE(second->isSlidingOut()) << "the replaced card's wait dismissed the new one";
    clock->advance(2.5);
    EXPECT_TRUE(second->isSlidingOut());

    // A show within the 0.34 s after a dismissal keeps the new card.
    FloatingThumbnailCard* third = showCard(controller);
    ASSERT_TRUE(third);
    clock->advance(1);
    EXPECT_EQ(controller.currentCard(), third);
    EXPECT_TRUE(third->isVisible());
}

TEST_F(FloatingThumbnail, EachControllerDismissesOnlyItsOwnCard) {
    FloatingThumbnailController app(theme.theme, environment());
    FloatingThumbnailController preview(theme.theme, environment());
    FloatingThumbnailCard* appCard = showCard(app);
    FloatingThumbnailCard* previewCard = showCard(preview);
    ASSERT_TRUE(appCard && previewCard);
    preview.dismiss();
    EXPECT_TRUE(previewCard->isSlidingOut());
    EXPECT_FALSE(appCard->isSlidingOut());
    clock->advance(0.34);
    EXPECT_EQ(preview.currentCard(), nullptr);
    EXPECT_EQ(app.currentCard(), appCard);
    EXPECT_TRUE(appCard->isVisible());
}

TEST_F(FloatingThumbnail, TheCloseButtonDismissesWithoutOpeningAndATapOpensThenDismisses) {
    FloatingThumbnailController controller(theme.theme, environment());
    FloatingThumbnailCard* card = showCard(controller);
    ASSERT_TRUE(card);
    QTest::mouseClick(card, Qt::LeftButton, {}, card->closeButtonRect().center().toPoint());
    EXPECT_EQ(taps, 0);
    EXPECT_TRUE(card->isSlidingOut());

    card = showCard(controller);
    ASSERT_TRUE(card);
    // The margin around the card takes no clicks: not beside it, nor in its rounded corner.
    for (const QPoint beside : {QPoint(4, 4), QPoint(card->width() - 5, card->height() / 2),
                                card->cardRect().topLeft().toPoint() + QPoint(1, 1)}) {
        QTest::mouseClick(card, Qt::LeftButton, {}, beside);
        EXPECT_EQ(taps, 0) << "a click at " << beside.x() << "," << beside.y() << " opened the editor";
        EXPECT_FALSE(card->isSlidingOut());
    }
    // The black band and the caption bar are the card too.
    QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(taps, 1);
    EXPECT_TRUE(card->isSlidingOut());
    clock->advance(0.34);
    EXPECT_EQ(controller.currentCard(), nullptr);
}

TEST_F(FloatingThumbnail, APortraitCaptureIsFittedBetweenBlackBands) {
    FloatingThumbnailController controller(theme.theme, environment());
    FloatingThumbnailCard* card = showCard(controller, filled({300, 900}, QColor(0x20, 0xC0, 0x40)));
    ASSERT_TRUE(card);
    const QImage shot = card->grab().toImage().scaled(card->size());
    const QRectF frame(card->cardRect().topLeft(), QSizeF(card->thumbSize()));
    const QPoint middle = frame.center().toPoint();
    EXPECT_EQ(QColor(shot.pixel(middle)).green(), 0xC0);
    const QColor band = shot.pixel(int(frame.left()) + 12, middle.y());
    EXPECT_LT(band.red() + band.green() + band.blue(), 30) << "no black band on the left";
    const QColor rightBand = shot.pixel(int(frame.right()) - 12, middle.y());
    EXPECT_LT(rightBand.red() + rightBand.green() + rightBand.blue(), 30) << "no black band on the right";
}

TEST_F(FloatingThumbnail, AnOlderCaptureSaysHowLongAgoInShort) {
    FloatingThumbnailController controller(theme.theme, environment());
    controller.show(filled({400, 300}, Qt::red), now.addSecs(-5 * 60), [] {});
    ASSERT_TRUE(controller.currentCard());
    const QString caption = controller.currentCard()->caption();
    EXPECT_TRUE(caption.startsWith(QString::fromUtf8("Tap to edit \u00B7 5"))) << caption.toStdString();
    EXPECT_TRUE(caption.contains("ago")) << caption.toStdString();
}
