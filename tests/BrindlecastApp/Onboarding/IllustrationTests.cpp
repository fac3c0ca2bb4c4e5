// The walkthrough's pictures: the switch's states at chosen moments on a driven clock, its timer's
// life, the shared palette in both schemes, and how the pictures take a narrow column.
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Onboarding/BreadcrumbIllustration.h"
#include "BrindlecastApp/Onboarding/DesktopSettingsProgram.h"
#include "BrindlecastApp/Onboarding/KnobTimeline.h"
#include "BrindlecastApp/Onboarding/OnboardingStyle.h"
#include "BrindlecastApp/Onboarding/RelaunchIllustration.h"
#include "BrindlecastApp/Onboarding/ToggleRowIllustration.h"
#include "BrindlecastApp/Onboarding/WrappedText.h"

#include "OnboardingTestSupport.h"

#include <QApplication>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <limits>

using namespace BrindlecastApp;
using namespace OnboardingTests;

namespace {

// A themed window holding one picture at a chosen width.
struct Host {
    explicit Host(QWidget* picture, int width = 380, bool dark = false) : theme(dark) {
        ThemedRoot::install(&window, &theme.theme);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(picture);
        window.resize(width, std::max(40, picture->sizeHint().height()));
    }
    ThemeFixture theme;
    QWidget window;
};

struct Moment {
    double seconds; // after the row came on screen
    double knob;    // 0 off .. 1 on
};

void expectKnob(ToggleRowIllustration& row, FakeClock& clock, double shownAt, const std::vector<Moment>& moments) {
    for (const Moment& m : moments) {
        const double delta = shownAt + m.seconds - clock.now();
        if (delta > 0) clock.advance(delta);
        if (std::abs(clock.now() - (shownAt + 4.0)) < 1e-9 || std::abs(clock.now() - (shownAt + 8.0)) < 1e-9) row.replay();
        EXPECT_NEAR(row.knobPosition(), m.knob, 0.02) << "at " << m.seconds << " s";
    }
}

} // namespace

TEST(ToggleRowIllustration, TheSwitchTurnsOnThenReplaysEveryFourSeconds) {
    auto clock = std::make_shared<FakeClock>();
    auto* row = new ToggleRowIllustration(clock);
    Host host(row);
    EXPECT_FALSE(row->isOn());
    EXPECT_EQ(row->knobPosition(), 0) << "the first frame shows it off";
    const double shownAt = clock->now();
    host.window.show();
    EXPECT_TRUE(row->isOn());
    // The 4 s ticks (at 4 and 8) are the timer's; the test runs them when the clock gets there.
    expectKnob(*row, *clock, shownAt,
               {{0.0, 0}, {0.79, 0}, {1.05, 0.5}, {1.3, 1}, {3.99, 1}, {4.0, 1}, {4.2, 0.5}, {4.4, 0}, {4.9, 0},
                {5.15, 0.5}, {5.4, 1}, {7.9, 1}, {8.0, 1}, {8.4, 0}, {9.4, 1}});
}

TEST(ToggleRowIllustration, WithReduceMotionTheSwitchNeverSlides) {
    ReducedMotion reduced;
    auto clock = std::make_shared<FakeClock>();
    auto* row = new ToggleRowIllustration(clock);
    Host host(row);
    const double shownAt = clock->now();
    host.window.show();
    expectKnob(*row, *clock, shownAt, {{0.01, 1}, {1.0, 1}, {4.0, 1}, {4.005, 1}, {4.5, 1}, {5.0, 1}, {8.0, 1}, {9.0, 1}});
}

// One timer, the row's own: it runs while the row is on screen and stops when it leaves, so no
// tick reaches a row that is hidden or gone.
TEST(ToggleRowIllustration, ItsTimerRunsOnlyWhileShownAndIsNeverDoubled) {
    auto clock = std::make_shared<FakeClock>();
    auto* row = new ToggleRowIllustration(clock);
    Host host(row);
    const QTimer& cycle = row->cycleTimer();
    EXPECT_FALSE(cycle.isActive());
    host.window.show();
    EXPECT_TRUE(cycle.isActive());
    EXPECT_EQ(cycle.interval(), 4000);
    const qsizetype timers = row->findChildren<QTimer*>().size();
    host.window.hide();
    EXPECT_FALSE(cycle.isActive());
    host.window.show();
    host.window.hide();
    host.window.show();
    EXPECT_TRUE(cycle.isActive());
    EXPECT_EQ(row->findChildren<QTimer*>().size(), timers);
    EXPECT_EQ(cycle.parent(), row);
    // Shown again while on: it stays on.
    clock->advance(2);
    EXPECT_NEAR(row->knobPosition(), 1, 1e-6);
}

TEST(KnobTimeline, AMoveStartingDuringAnotherTakesOverFromWhereTheKnobIs) {
    KnobTimeline timeline(0);
    timeline.add(0, 1, 1);
    timeline.add(0.5, 0, 1); // reverses half way
    EXPECT_NEAR(timeline.valueAt(0.5), 0.5, 1e-9);
    EXPECT_NEAR(timeline.valueAt(1.5), 0, 1e-9);
    EXPECT_DOUBLE_EQ(timeline.restsFrom(), 1.5);
    timeline.add(2, 0, 0.4);
    timeline.add(2, 1, 0.5); // two moves at one moment: the later one wins
    EXPECT_NEAR(timeline.valueAt(2.5), 1, 1e-9);
    timeline.settle(3);
    EXPECT_NEAR(timeline.valueAt(0), 1, 1e-9) << "settled where it was";
}

// The switch's frames run only while its knob moves: a round of the replay (off over 0.4 s, a
// pause, on over 0.5 s from 0.9 s) asks for none in its pause or after it.
TEST(KnobTimeline, TheKnobMovesOnlyWithinAMove) {
    KnobTimeline timeline(1);
    timeline.add(4, 0, 0.4);
    timeline.add(4.9, 1, 0.5);
    const double rest = std::numeric_limits<double>::infinity();
    const struct {
        double time, movesFrom;
    } moments[] = {{0, 4}, {3.99, 4}, {4, 4}, {4.2, 4.2}, {4.4, 4.4}, {4.41, 4.9}, {4.9, 4.9}, {5.4, 5.4}, {5.41, rest}};
    for (const auto& m : moments) EXPECT_DOUBLE_EQ(timeline.movesFrom(m.time), m.movesFrom) << "at " << m.time << " s";
    timeline.settle(6);
    EXPECT_EQ(timeline.movesFrom(0), rest) << "settled, it never moves again";
    timeline.add(7, 0, 0); // a jump (reduced motion) is a move of its own moment
    EXPECT_DOUBLE_EQ(timeline.movesFrom(6.5), 7);
    EXPECT_DOUBLE_EQ(timeline.movesFrom(7), 7);
    EXPECT_EQ(timeline.movesFrom(7.001), rest);
}

TEST(OnboardingStyle, ThePaletteFollowsTheTokensScheme) {
    const Tokens light(ColorScheme::light, Theme::defaultAccent());
    const Tokens dark(ColorScheme::dark, Theme::defaultAccent());
    struct Case {
        const char* name;
        QColor (*colour)(const Tokens&);
        QColor light, dark;
    };
    const Case cases[] = {
        {"card fill", OnboardingStyle::cardFill, Design::withOpacity(QColor(248, 248, 250), 0.98),
         Design::withOpacity(QColor(14, 14, 18), 0.985)},
        {"card border", OnboardingStyle::cardBorder, Design::black(0.08), Design::white(0.10)},
        {"quiet fill", OnboardingStyle::quietFill, Design::black(0.10), Design::white(0.16)},
        {"step card", OnboardingStyle::stepCardFill, Design::black(0.05), Design::white(0.09)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.colour(light), c.light) << c.name;
        EXPECT_EQ(c.colour(dark), c.dark) << c.name;
    }
}

TEST(RelaunchIllustration, ANarrowColumnWrapsTheMessageToTwoLinesAndCutsTheRest) {
    auto* picture = new RelaunchIllustration;
    WrappedText* message = picture->messageText();
    EXPECT_EQ(message->linesAt(2000), QStringList{RelaunchIllustration::message()});
    const QStringList two = message->linesAt(90);
    ASSERT_EQ(two.size(), 2);
    EXPECT_TRUE(two.last().endsWith(QChar(0x2026))) << two.join('|').toStdString();
    const QStringList wrapped = message->linesAt(200);
    EXPECT_EQ(wrapped.size(), 2);
    EXPECT_EQ(wrapped.join(' '), RelaunchIllustration::message());

    // In a narrow column the buttons keep their size and the message gives way.
    Host host(picture, 260);
    host.window.show();
    QApplication::processEvents();
    const QList<QWidget*> buttons = picture->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_GE(buttons.size(), 3);
    const QWidget* later = buttons[1];
    const QWidget* reopen = buttons[2];
    EXPECT_EQ(later->size(), later->sizeHint());
    EXPECT_EQ(reopen->size(), reopen->sizeHint());
    EXPECT_GE(later->x() - message->geometry().right() - 1, 8 + 8 + 8) << "the gap never shrinks below 8 plus spacing";
    EXPECT_LE(message->height(), message->heightForWidth(message->width()) + 1);
}

TEST(RelaunchIllustration, AnAccentChangeRecoloursQuitAndReopenAtOnce) {
    auto* picture = new RelaunchIllustration;
    Host host(picture);
    host.window.show();
    QApplication::processEvents();
    const QWidget* reopen = picture->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).value(2);
    ASSERT_NE(reopen, nullptr);
    const QPoint probe = reopen->geometry().topLeft() + QPoint(reopen->height() / 2, 2);
    for (const QColor& accent : {Theme::accentSwatches().value(0), Theme::accentSwatches().value(2)}) {
        host.theme.theme.setAccent(accent);
        const QImage image = host.window.grab().toImage();
        EXPECT_EQ(QColor(image.pixel(picture->mapTo(&host.window, probe))), accent) << accent.name().toStdString();
    }
}

TEST(BreadcrumbIllustration, ThreeChipsAtTheirNaturalWidth) {
    auto* picture = new BreadcrumbIllustration;
    QStringList titles;
    for (const auto& chip : BreadcrumbIllustration::chips()) titles << chip.title;
    EXPECT_EQ(titles, (QStringList{"System Settings", "Privacy & Security", "Screen Recording"}));
    Host host(picture, 420);
    host.window.show();
    QApplication::processEvents();
    EXPECT_EQ(picture->size(), picture->sizeHint()) << "it does not stretch with the column";
    EXPECT_EQ(picture->drawingScale(), 1);
    const QList<QRectF> frames = picture->chipFrames();
    ASSERT_EQ(frames.size(), 3);
    EXPECT_LE(frames.last().right(), picture->width());
    for (int i = 1; i < 3; ++i) EXPECT_GT(frames[i].left(), frames[i - 1].right() + 5);

    // A column narrower than the font sets it: drawn a little smaller, never cut.
    host.window.resize(picture->sizeHint().width() - 20, host.window.height());
    QApplication::processEvents();
    EXPECT_LT(picture->drawingScale(), 1);
    EXPECT_LE(picture->chipFrames().last().right(), picture->width() + 0.01);
}

TEST(DesktopSettingsProgram, TheDesktopsOwnProgramFirstThenAnyInstalledOne) {
    const auto installed = [](QStringList names) {
        return [names](const QString& program) { return names.contains(program); };
    };
    struct Case {
        QString desktop;
        QStringList installed;
        std::optional<QString> chosen;
    };
    const Case cases[] = {
        {"KDE", {"gnome-control-center", "systemsettings"}, "systemsettings"},
        {"ubuntu:GNOME", {"gnome-control-center", "systemsettings"}, "gnome-control-center"},
        {"XFCE", {"systemsettings"}, "systemsettings"}, // its own is missing: any installed one
        {"", {"xfce4-settings-manager"}, "xfce4-settings-manager"},
        {"GNOME", {}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DesktopSettingsProgram::choose(c.desktop, installed(c.installed)), c.chosen) << c.desktop.toStdString();
}
