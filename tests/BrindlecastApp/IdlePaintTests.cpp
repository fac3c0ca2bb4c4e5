// The windows at rest paint nothing: once a window has settled, a second without input passes
// without a single paint event in it or any of its children. A widget whose paint asks for
// another paint, or a spring that never comes to rest, keeps a core busy for as long as the
// window is open; here it shows as a count, with the widgets that painted.
#include "BrindlecastApp/Channel/Channel.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/WalkthroughClock.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Editor/FloatingThumbnailController.h"
#include "BrindlecastApp/Onboarding/OnboardingFooter.h"
#include "BrindlecastApp/Onboarding/PermissionOnboardingController.h"
#include "BrindlecastApp/Onboarding/ScreenRecordingOnboardingView.h"
#include "BrindlecastApp/Onboarding/ToggleRowIllustration.h"
#include "BrindlecastApp/Pipeline/EditorWindowPresenter.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Settings/SettingsWindow.h"
#include "BrindlecastApp/Shell/EditorPreview.h"
#include "Onboarding/OnboardingTestSupport.h"
#include "Settings/SettingsTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace BrindlecastApp;

namespace {

// Counts the paint events of a window and everything in it, by widget.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }

    int total() const {
        int sum = 0;
        for (const auto& [name, count] : counts_) sum += count;
        return sum;
    }
    // "SettingsCard x 58, GlassPanel x 58": what painted, for the failure message.
    std::string painted() const {
        QStringList parts;
        for (const auto& [name, count] : counts_) parts << QString("%1 x %2").arg(name).arg(count);
        return parts.join(", ").toStdString();
    }

    // Lets the window come to rest: returns once `quietMs` pass without a paint, or after
    // `timeoutMs` whatever happens.
    void settle(int quietMs = 400, int timeoutMs = 6000) {
        QElapsedTimer overall, quiet;
        overall.start();
        quiet.start();
        counts_.clear();
        while (overall.elapsed() < timeoutMs && quiet.elapsed() < quietMs) {
            QTest::qWait(20);
            if (total() > 0) {
                counts_.clear();
                quiet.restart();
            }
        }
    }

    // The paints over `ms` of waiting.
    int countOver(int ms) {
        counts_.clear();
        byWidget_.clear();
        region_ = {};
        QTest::qWait(ms);
        return total();
    }
    // Since the last count: the paints of one widget, and all that was painted, in the window's
    // coordinates.
    int paintsOf(const QWidget* widget) const {
        const auto found = byWidget_.find(widget);
        return found == byWidget_.end() ? 0 : found->second;
    }
    const QRegion& region() const { return region_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || !watched->isWidgetType() || !window_) return false;
        const auto* widget = static_cast<const QWidget*>(watched);
        if (widget == window_ || window_->isAncestorOf(widget)) {
            ++counts_[QString::fromLatin1(widget->metaObject()->className())];
            ++byWidget_[widget];
            region_ += static_cast<const QPaintEvent*>(event)->region().translated(widget->mapTo(window_.data(), QPoint()));
        }
        return false;
    }

private:
    QPointer<QWidget> window_;
    std::map<QString, int> counts_;
    std::map<const QWidget*, int> byWidget_;
    QRegion region_;
};

constexpr int kIdleMs = 1000;

// Settles `window` and expects an idle second in it to paint nothing. `beforeCount`, when given,
// runs once the window has settled and may wait further.
void expectIdle(QWidget* window, const std::string& what, const std::function<void(PaintCounter&)>& beforeCount = {}) {
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window)) << what;
    PaintCounter counter(window);
    counter.settle();
    if (beforeCount) beforeCount(counter);
    const int paints = counter.countOver(kIdleMs);
    EXPECT_EQ(paints, 0) << what << " painted while idle: " << counter.painted();
    // The count sees the paints of this window's widgets: those asked for show.
    window->update();
    for (QWidget* widget : window->findChildren<QWidget*>()) widget->update();
    EXPECT_GT(counter.countOver(200), 0) << what;
}

class IdlePaint : public testing::Test {
protected:
    void SetUp() override {
        saved_ = Channel::current();
        Channel::current().loginLaunch = std::make_shared<RecordingLoginLaunch>();
    }
    void TearDown() override { Channel::current() = saved_; }

    OnboardingTests::ThemeFixture theme;

private:
    Channel saved_;
};

} // namespace

TEST_F(IdlePaint, EverySettingsPageInEitherSchemeIsStillOnceSettled) {
    struct Case {
        SettingsTab tab;
        ThemeMode mode;
        nlohmann::json managed; // the organisation's policy; none when null
    };
    const nlohmann::json organisation = {{"LockAgent", true}, {"BlockedBundleIDs", {"com.example.Vault"}}};
    std::vector<Case> cases;
    for (SettingsTab tab : SettingsTabs::all()) cases.push_back({tab, ThemeMode::light, nullptr});
    cases.push_back({SettingsTab::general, ThemeMode::dark, nullptr});
    cases.push_back({SettingsTab::managed, ThemeMode::dark, nullptr});
    cases.push_back({SettingsTab::managed, ThemeMode::light, organisation});
    cases.push_back({SettingsTab::general, ThemeMode::light, organisation});

    for (const Case& c : cases) {
        PolicyFolders folders;
        if (!c.managed.is_null()) folders.setManaged(c.managed);
        theme.theme.setMode(c.mode);
        AppSettings settings(&theme.defaults);
        SettingsWindowOptions options;
        options.store = folders.store();
        SettingsWindowController controller(&theme.theme, &settings, c.tab, options);
        controller.present();
        const QString what = QString("the %1 page (%2%3)")
                                 .arg(SettingsTabs::rawValue(c.tab), c.mode == ThemeMode::dark ? "dark" : "light",
                                      c.managed.is_null() ? "" : ", managed");
        expectIdle(controller.window(), what.toStdString());
    }
}

TEST_F(IdlePaint, TheEditorIsStillOnceSettled) {
    for (const ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        theme.theme.setMode(mode);
        Pipeline::EditorWindowPresenter presenter(&theme.theme, [] { return nullptr; });
        auto model = std::make_shared<ReviewViewModel>(EditorPreview::syntheticScreenshot(),
                                                       std::vector<ReviewViewModel::Detection>{},
                                                       PolicyKit::EffectivePolicy{}, std::nullopt, [] {});
        presenter.presentPreview(model, EditorPreview::kFilename, [] {});
        ASSERT_TRUE(presenter.controller());
        expectIdle(presenter.controller()->window(), mode == ThemeMode::dark ? "the editor (dark)"
                                                                             : "the editor (light)");
    }
}

TEST_F(IdlePaint, TheFloatingThumbnailIsStillOnceItHasSlidIn) {
    // The card's wait runs on a clock that stands still, so it stays up for as long as the test
    // looks; its slide-in runs in real time.
    FloatingThumbnailEnvironment environment;
    environment.clock = std::make_shared<OnboardingTests::FakeClock>();
    environment.now = [] { return QDateTime(QDate(2026, 7, 5), QTime(14, 14, 9)); };
    environment.focusScreen = [] { return QGuiApplication::primaryScreen(); };
    FloatingThumbnailController controller(theme.theme, environment);
    controller.show(FloatingThumbnailController::syntheticShot(), environment.now(), [] {});
    FloatingThumbnailCard* card = controller.currentCard();
    ASSERT_TRUE(card);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return card->slideOffset() == 0; }, 20000));
    expectIdle(card, "the floating thumbnail");
}

TEST_F(IdlePaint, TheWalkthroughIsStillBetweenItsIllustrationsRounds) {
    // The waiting dot breathes for as long as the walkthrough waits, and the switch illustration
    // plays again every 4 s: both by design. With reduced motion the dot rests and a round is
    // over at once, so a second between two rounds has nothing to paint.
    OnboardingTests::ReducedMotion reduced;
    OnboardingTests::FakePlatform platform;
    WalkthroughEnvironment environment = platform.environment();
    environment.clock = WalkthroughClock::real();
    PermissionOnboardingController controller(theme.theme, environment);
    controller.present();
    const auto* rounds = controller.window()->findChild<QTimer*>("toggleCycle");
    ASSERT_TRUE(rounds);
    expectIdle(controller.window(), "the walkthrough", [rounds](PaintCounter& counter) {
        // A slow start may have brought the next round close: the count begins after it.
        if (rounds->remainingTime() < kIdleMs + 200) {
            QTest::qWait(rounds->remainingTime() + 50);
            counter.settle();
        }
    });
}

TEST_F(IdlePaint, TheWalkthroughRepaintsOnlyItsDotAndSwitchAndNothingOnceClosed) {
    // In full motion the dot breathes and the switch replays every 4 s. A second or two of that,
    // a round of the switch included, repaints the dot and the switch's track and nothing beside
    // them (what lies under them, the glass, the cards, only there), each at most once a frame.
    OnboardingTests::FakePlatform platform;
    WalkthroughEnvironment environment = platform.environment();
    environment.clock = WalkthroughClock::real();
    PermissionOnboardingController controller(theme.theme, environment);
    controller.present();
    QWidget* window = controller.window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    ToggleRowIllustration* row = controller.view()->toggleRow();
    QWidget* dot = controller.view()->footer()->dot();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return row->knobPosition() == 1; }, 10000)) << "the switch never turned on";

    // From a little before the next round until well after it has come to rest.
    const int untilRound = row->cycleTimer().remainingTime();
    if (untilRound > 300) QTest::qWait(untilRound - 300);
    PaintCounter counter(window);
    const int countedMs = 2000;
    counter.countOver(countedMs);

    const QRect dotArea(dot->mapTo(window, QPoint()), dot->size());
    const QRect trackArea = row->trackRect().translated(row->mapTo(window, QPoint())).toAlignedRect();
    const QRegion allowed = QRegion(dotArea.adjusted(-1, -1, 1, 1)) + trackArea.adjusted(-2, -2, 2, 2);
    const QRect beyond = (counter.region() - allowed).boundingRect();
    EXPECT_TRUE(beyond.isEmpty()) << "painted beyond the dot and the switch: " << beyond.x() << "," << beyond.y() << " "
                                  << beyond.width() << "x" << beyond.height() << " (" << counter.painted() << ")";
    // One paint a frame at most: the dot's frames are its own; the switch moves for 0.9 s of a round.
    EXPECT_GT(counter.paintsOf(dot), 0) << "the dot stood still";
    EXPECT_LE(counter.paintsOf(dot), countedMs / OnboardingFooter::dotFrameMs + 2);
    EXPECT_GT(counter.paintsOf(row), 0) << "no round of the switch in the count";
    EXPECT_LE(counter.paintsOf(row), 900 / ToggleRowIllustration::frameMs + 4);

    // Closed, nothing of it runs any more: no timer, no animation, no question about access.
    window->close();
    QApplication::processEvents();
    for (const QTimer* timer : window->findChildren<QTimer*>())
        EXPECT_FALSE(timer->isActive()) << timer->objectName().toStdString() << " runs on";
    const int checks = platform.accessChecks;
    EXPECT_EQ(counter.countOver(ScreenRecordingOnboardingView::pollMs + 200), 0) << counter.painted();
    EXPECT_EQ(platform.accessChecks, checks) << "the poll asked after the window closed";
}
