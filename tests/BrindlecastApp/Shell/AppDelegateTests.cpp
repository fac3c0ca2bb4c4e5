#include "BrindlecastApp/Shell/AppDelegate.h"
#include "BrindlecastApp/Overlay/OverlayView.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Editor/EditorWindowChrome.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Settings/PolicyDiagnosticsView.h"
#include "BrindlecastApp/Settings/SettingsWindow.h"
#include "Support/UserDefaults.h"
#include "BrindlecastApp/Shell/GlobalHotKeys.h"

#include "../PipelineTestSupport.h"
#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

using Mode = Pipeline::Mode;

// The shell over fakes: captures are recorded and finish when the test says so; the pipeline's
// windows and alerts are the pipeline tests' fakes.
struct Shell {
    explicit Shell(QStringList arguments = {"brindlecast"}) {
        AppDelegate::Services services;
        services.resolvePolicy = [this] {
            PolicyKit::EffectivePolicy policy;
            policy.lockAgent = lockAgent;
            return policy;
        };
        services.captureAuthorized = [this] { return authorized; };
        services.updaterMenuTitle = [this] { return updaterTitle; };
        services.checkForUpdates = [this] { ++updateChecks; };
        services.windowList = [] { return std::vector<CaptureKit::WindowInfo>{}; };
        services.makePipeline = [this](std::shared_ptr<Pipeline::PipelineHost> host) {
            pipeline.env->host = std::move(host);
            return pipeline.environment();
        };
        services.runCapture = [this](const Pipeline::Environment&, const Mode& mode, std::function<void(bool)> finished) {
            requests.push_back(mode);
            pending.push_back(std::move(finished));
        };
        services.openExisting = [this](const Pipeline::Environment&, const QString& path) { reopened << path; };
        services.showFolder = [this](const QString& folder) { shownFolders << folder; };
        services.instanceFolder = TestSupport::makeTemporaryFolder("instance");
        delegate = std::make_unique<AppDelegate>(std::move(arguments), std::move(services));
    }

    bool launch() { return delegate->applicationDidFinishLaunching(); }
    OverlayController* overlay() const { return delegate->overlayController(); }
    void finish(std::size_t run, bool wentThrough) { pending.at(run)(wentThrough); }
    void dragOnOverlay() {
        OverlayView* view = overlay()->views().value(0);
        for (const auto& [type, point] : {std::pair{QEvent::MouseButtonPress, QPointF(10, 10)},
                                          std::pair{QEvent::MouseMove, QPointF(60, 40)},
                                          std::pair{QEvent::MouseButtonRelease, QPointF(60, 40)}}) {
            QMouseEvent event(type, point, view->mapToGlobal(point), Qt::LeftButton,
                              type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view, &event);
        }
    }

    bool authorized = true;
    bool lockAgent = false;
    std::optional<QString> updaterTitle;
    int updateChecks = 0;
    PipelineTests::Harness pipeline;
    std::vector<Mode> requests;
    std::vector<std::function<void(bool)>> pending;
    QStringList reopened;
    QStringList shownFolders;
    std::unique_ptr<AppDelegate> delegate;
};

QStringList menuTitles(QMenu* menu) {
    QStringList titles;
    for (QAction* action : menu->actions()) titles << (action->isSeparator() ? QString("---") : action->text());
    return titles;
}

} // namespace

TEST(AppDelegate, TheMenuIsRebuiltFromTheStateOfEachOpening) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    EXPECT_EQ(AppDelegate::shared(), shell.delegate.get());
    QMenu* menu = shell.delegate->statusMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions().isEmpty()) << "filled only when it opens";

    shell.lockAgent = true;
    emit menu->aboutToShow();
    EXPECT_EQ(menuTitles(menu).last(), "About Brindlecast");
    EXPECT_TRUE(menuTitles(menu).contains("Screen Recording: Allowed"));

    shell.lockAgent = false;
    shell.authorized = false;
    shell.updaterTitle = "Check for Updates…";
    emit menu->aboutToShow();
    const QStringList titles = menuTitles(menu);
    EXPECT_EQ(titles.mid(titles.size() - 6),
              QStringList({"Allow Screen Recording…", "Settings…", "Check for Updates…", "About Brindlecast", "---",
                           "Quit Brindlecast"}));
    menu->actions().at(titles.indexOf("Check for Updates…"))->trigger();
    EXPECT_EQ(shell.updateChecks, 1);
}

TEST(AppDelegate, HotKeysRunTheirCommands) {
    struct Case {
        int id;
        bool authorized;
        bool overlay, windowPick;
        std::optional<QString> capture; // the mode's name
    };
    const Case cases[] = {
        {GlobalHotKeys::region, true, true, false, std::nullopt},
        {GlobalHotKeys::windowPick, true, true, true, std::nullopt},
        {GlobalHotKeys::display, true, false, false, "display"},
        {0, true, false, false, "display"}, // an unreadable id takes the display
        {GlobalHotKeys::region, false, false, false, std::nullopt},
        {GlobalHotKeys::display, false, false, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "id " << c.id << (c.authorized ? "" : ", not authorised"));
        Shell shell;
        shell.authorized = c.authorized;
        ASSERT_TRUE(shell.launch());
        shell.delegate->handleHotKey(c.id);
        ASSERT_EQ(shell.overlay() != nullptr, c.overlay);
        if (c.overlay) {
            EXPECT_EQ(shell.overlay()->isWindowPickMode(), c.windowPick);
        }
        ASSERT_EQ(shell.requests.size(), c.capture ? 1u : 0u);
        if (c.capture) {
            EXPECT_EQ(shell.requests[0].name(), *c.capture);
        }
    }
}

TEST(AppDelegate, ASecondSelectionCommandLeavesTheOpenOneAsItIs) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    shell.delegate->captureRegion();
    OverlayController* first = shell.overlay();
    ASSERT_NE(first, nullptr);
    shell.delegate->captureWindowPick();
    shell.delegate->captureRegion();
    EXPECT_EQ(shell.overlay(), first);
    EXPECT_FALSE(first->isWindowPickMode());
}

TEST(AppDelegate, AFailedCaptureBringsTheSameOverlayBackAndSuccessClosesIt) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    shell.delegate->captureRegion();
    OverlayController* overlay = shell.overlay();
    shell.dragOnOverlay();
    ASSERT_EQ(shell.requests.size(), 1u);
    ASSERT_TRUE(std::holds_alternative<Mode::Region>(shell.requests[0].value));
    const QPoint origin = shell.overlay()->views().value(0)->geometry().topLeft();
    EXPECT_TRUE(std::get<Mode::Region>(shell.requests[0].value).rect.equalTo(Support::Rect(origin.x() + 10, origin.y() + 10, 50, 30)));
    EXPECT_FALSE(overlay->isShown()) << "ordered out while the capture runs";

    shell.finish(0, false);
    EXPECT_EQ(shell.overlay(), overlay);
    EXPECT_TRUE(overlay->isShown());

    shell.dragOnOverlay();
    ASSERT_EQ(shell.requests.size(), 2u);
    shell.finish(1, true);
    EXPECT_EQ(shell.overlay(), nullptr);
    EXPECT_TRUE(overlay->isClosed());
}

TEST(AppDelegate, EscapeAfterAFailedCaptureEndsTheSelection) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    shell.delegate->captureRegion();
    shell.dragOnOverlay();
    shell.finish(0, false);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(shell.overlay()->views().value(0), &escape);
    EXPECT_EQ(shell.overlay(), nullptr);
    shell.delegate->captureRegion();
    EXPECT_NE(shell.overlay(), nullptr) << "a new selection can start";
}

// A run finishing late acts on the overlay it started from only, never on a newer one.
TEST(AppDelegate, ARunsCompletionLeavesANewerOverlayAlone) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    shell.delegate->captureRegion();
    OverlayController* first = shell.overlay();
    first->onRegion(Support::Rect(0, 0, 10, 10));
    first->onRegion(Support::Rect(0, 0, 20, 20));
    ASSERT_EQ(shell.requests.size(), 2u);

    shell.finish(0, true);
    EXPECT_EQ(shell.overlay(), nullptr);
    shell.delegate->captureRegion();
    OverlayController* second = shell.overlay();
    ASSERT_NE(second, nullptr);

    shell.finish(1, true);
    EXPECT_EQ(shell.overlay(), second);
    EXPECT_TRUE(second->isShown());
    EXPECT_FALSE(second->isClosed());
}

TEST(AppDelegate, CapturesWithoutScreenAccessStartNothing) {
    Shell shell;
    shell.authorized = false;
    ASSERT_TRUE(shell.launch());
    shell.delegate->captureRegion();
    shell.delegate->captureWindowPick();
    shell.delegate->captureDisplay();
    shell.delegate->captureFrontmostWindow();
    EXPECT_EQ(shell.overlay(), nullptr);
    EXPECT_TRUE(shell.requests.empty());
}

TEST(AppDelegate, TheWindowPickTestFlagOpensTheOverlayInWindowPickMode) {
    Shell shell({"brindlecast", "--test-window-pick"});
    ASSERT_TRUE(shell.launch());
    EXPECT_EQ(shell.overlay(), nullptr) << "after launching has finished";
    QCoreApplication::processEvents();
    ASSERT_NE(shell.overlay(), nullptr);
    EXPECT_TRUE(shell.overlay()->isWindowPickMode());
}

TEST(AppDelegate, TheReviewPreviewOpensOnTheSampleWithItsSeeds) {
    Shell shell({"brindlecast", "--preview-diagnostics", "--preview-review"});
    ASSERT_TRUE(shell.launch());
    EXPECT_TRUE(QTest::qWaitFor([&] { return shell.pipeline.review->presentations == 1; }, 20000));
    EXPECT_EQ(shell.pipeline.review->shownImage.size(), QSize(1400, 900));
    EXPECT_EQ(shell.pipeline.review->shownSeed.size(), 3u);
}

TEST(AppDelegate, OpenEditorTakesTheNewestCaptureOrSaysThereIsNone) {
    Shell shell;
    const QString library = TestSupport::makeTemporaryFolder("pictures");
    AppSettings(nullptr).setLibraryLocation(library);
    ASSERT_TRUE(shell.launch());
    shell.delegate->run(StatusCommand::openEditor);
    EXPECT_EQ(shell.pipeline.alerts->shown,
              (std::vector<PipelineTests::ShownAlert>{
                  {"No screenshots yet", "Take a capture first — the editor opens on your latest screenshot."}}));
    EXPECT_TRUE(shell.reopened.isEmpty());

    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    for (const char* name : {"older.png", "newer.png"}) {
        ASSERT_TRUE(image.save(library + "/" + name));
        QTest::qWait(20);
        shell.delegate->library().add(library + "/" + name);
    }
    shell.delegate->run(StatusCommand::openEditor);
    EXPECT_EQ(shell.reopened, QStringList(library + "/newer.png"));

    // The editor shows that capture already: it only comes forward.
    Pipeline::EditorRequest request;
    request.image = image;
    request.path = library + "/newer.png";
    request.modeName = "region";
    request.audit = std::make_shared<AuditKit::AuditLog>();
    shell.pipeline.editor->present(Pipeline::EditSession::create(shell.delegate->pipeline(), request));
    shell.delegate->run(StatusCommand::openEditor);
    EXPECT_EQ(shell.pipeline.editor->broughtToFront, 1);
    EXPECT_EQ(shell.reopened.size(), 1);
    shell.delegate->openRecentInEditor(library + "/older.png");
    EXPECT_EQ(shell.reopened.last(), library + "/older.png");
}

TEST(AppDelegate, ShowingTheScreenshotsFolderMakesItFirst) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    const QString library = TestSupport::makeTemporaryFolder("pictures") + "/deeper/Brindlecast";
    shell.delegate->settings().setLibraryLocation(library);
    shell.delegate->run(StatusCommand::showScreenshotsFolder);
    EXPECT_TRUE(QFileInfo(library).isDir());

    // A file where the folder should be: the place is shown all the same.
    const QString blocked = TestSupport::makeTemporaryFolder("pictures") + "/file";
    TestSupport::writeFile(blocked, "not a folder");
    shell.delegate->settings().setLibraryLocation(blocked + "/Brindlecast");
    shell.delegate->run(StatusCommand::showScreenshotsFolder);
    EXPECT_EQ(shell.shownFolders, QStringList({library, blocked + "/Brindlecast"}));
}

// "Settings…" brings a shown window forward with its tab as it is; a closed or minimised one is
// replaced by a new window on General, and the delegate keeps only the newest.
TEST(AppDelegate, SettingsAreReusedOnlyWhileShown) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    shell.delegate->showSettings();
    SettingsWindowController* first = shell.delegate->settingsController();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->view()->tab(), SettingsTab::general);
    EXPECT_EQ(first->window()->windowTitle(), "Settings");
    first->view()->setTab(SettingsTab::export_);
    shell.delegate->run(StatusCommand::showSettings);
    EXPECT_EQ(shell.delegate->settingsController(), first);
    EXPECT_EQ(first->view()->tab(), SettingsTab::export_);

    first->window()->close();
    shell.delegate->showSettings();
    SettingsWindowController* second = shell.delegate->settingsController();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->view()->tab(), SettingsTab::general);
    EXPECT_TRUE(second->isShowing());

    second->window()->showMinimized();
    QCoreApplication::processEvents();
    if (second->window()->isMinimized()) { // the offscreen platform may refuse to minimise
        shell.delegate->showSettings();
        EXPECT_NE(shell.delegate->settingsController(), second);
    }
}

// The preview flag's window opens on the last page named, on settings of its own, and is not the
// window "Settings…" reuses.
TEST(AppDelegate, ThePreviewSettingsFlagOpensItsOwnWindowOnTheLastPageNamed) {
    const std::vector<std::pair<QStringList, SettingsTab>> cases{
        {{"--preview-settings", "privacy"}, SettingsTab::privacy},
        {{"--preview-settings", "Privacy"}, SettingsTab::general},
        {{"export", "--preview-settings", "managed"}, SettingsTab::managed},
        {{"--preview-settings", "--dark", "nothing"}, SettingsTab::general},
    };
    for (const auto& [arguments, tab] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        Shell shell(QStringList{"brindlecast"} + arguments);
        ASSERT_TRUE(shell.launch());
        SettingsWindowController* preview = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            for (SettingsWindowController* c : qApp->findChildren<SettingsWindowController*>(Qt::FindDirectChildrenOnly))
                if (c->isShowing()) preview = c;
            return preview != nullptr;
        }, 5000));
        EXPECT_EQ(preview->view()->tab(), tab);
        EXPECT_EQ(shell.delegate->settingsController(), nullptr);
        const bool dark = arguments.contains("--dark");
        EXPECT_EQ(Support::UserDefaults::standard().value("theme.mode"), nlohmann::json(dark ? "dark" : "light"));
        shell.delegate->showSettings();
        EXPECT_NE(shell.delegate->settingsController(), preview);
        delete preview;
    }
}

// Shown twice while visible, the diagnostics window keeps its place and shows the new
// resolution; closed, the next opening makes a new window.
TEST(AppDelegate, DiagnosticsReplaceTheirContentInPlaceWhileShown) {
    Shell shell({"brindlecast", "--preview-diagnostics"});
    ASSERT_TRUE(shell.launch());
    QWidget* window = shell.delegate->diagnosticsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Policy Diagnostics");
    EXPECT_TRUE(window->isVisible());
    auto* firstView = window->findChild<PolicyDiagnosticsView*>();
    ASSERT_NE(firstView, nullptr);
    EXPECT_GE(window->size().width(), 640);
    window->move(40, 50);
    const QRect frame = window->geometry();
    shell.delegate->showDiagnostics();
    EXPECT_EQ(shell.delegate->diagnosticsWindow(), window);
    EXPECT_EQ(window->geometry(), frame);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window->findChildren<PolicyDiagnosticsView*>().size(), 1);

    window->close();
    shell.delegate->showDiagnostics();
    EXPECT_NE(shell.delegate->diagnosticsWindow(), window);
    EXPECT_EQ(shell.delegate->diagnosticsWindow()->windowTitle(), "Policy Diagnostics");
}
