#include "BrindlecastApp/Shell/AppDelegate.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Pipeline/EditorWindowPresenter.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Shell/EditorPreview.h"
#include "DetectionKit/PIIDetector.h"
#include "Support/UserDefaults.h"
#include "BrindlecastApp/Overlay/OverlayView.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Settings/PolicyDiagnosticsView.h"
#include "BrindlecastApp/Settings/SettingsWindow.h"
#include "Support/UserDefaults.h"
#include "BrindlecastApp/Shell/GlobalHotKeys.h"
#include "BrindlecastApp/Shell/StatusMenu.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Shell/LaunchOptions.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Onboarding/PermissionOnboardingController.h"
#include "BrindlecastApp/Onboarding/ScreenRecordingOnboardingView.h"
#include "BrindlecastApp/Shell/AboutWindow.h"

#include "../PipelineTestSupport.h"
#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnvironment.h"
#include "../Onboarding/OnboardingTestSupport.h"

#include <QAction>
#include <QDir>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>

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
        services.makePipeline = [this](std::shared_ptr<Pipeline::PipelineHost> host,
                                       std::shared_ptr<Pipeline::EditorPresenter> editor, Theme*) {
            pipeline.env->host = std::move(host);
            if (realEditor) pipeline.env->editor = std::move(editor);
            return pipeline.environment();
        };
        services.runCapture = [this](const Pipeline::Environment&, const Mode& mode, std::function<void(bool)> finished) {
            requests.push_back(mode);
            pending.push_back(std::move(finished));
        };
        services.openExisting = [this](const Pipeline::Environment&, const QString& path) { reopened << path; };
        services.showFolder = [this](const QString& folder) { shownFolders << folder; };
        services.instanceFolder = TestSupport::makeTemporaryFolder("instance");
        services.walkthrough = walkthroughPlatform.environment();
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
    // The pipeline shows its captures in the app's own editor window rather than the fake.
    bool realEditor = false;
    std::optional<QString> updaterTitle;
    int updateChecks = 0;
    PipelineTests::Harness pipeline;
    std::vector<Mode> requests;
    std::vector<std::function<void(bool)>> pending;
    QStringList reopened;
    QStringList shownFolders;
    OnboardingTests::FakePlatform walkthroughPlatform; // its access state is `authorized`
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

namespace {

double relativeLuminance(const QColor& color) {
    const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) + 0.0722 * linear(color.blueF());
}

double contrast(const QColor& a, const QColor& b) {
    const double la = relativeLuminance(a), lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The icon at 22 points on a panel of `panel`.
QImage onPanel(const QIcon& icon, const QColor& panel) {
    QImage image(22, 22, QImage::Format_RGB32);
    image.fill(panel);
    QPainter painter(&image);
    painter.drawPixmap(0, 0, icon.pixmap(22, 22));
    return image;
}

} // namespace

// --- The walkthrough and the About window ---------------------------------------------------------

namespace {

QList<QWidget*> visibleWindowsTitled(const QString& title) {
    QList<QWidget*> windows;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowTitle() == title) windows << window;
    return windows;
}

QStringList labelTexts(QWidget* root) {
    QStringList texts;
    for (TextLabel* label : root->findChildren<TextLabel*>()) texts << label->text();
    return texts;
}

} // namespace

// --- The editor's design preview ---------------------------------------------------------------

namespace {

// Launches the preview with the app's own editor window and waits until it shows the sample.
ReviewViewModel* launchEditorPreview(Shell& shell) {
    shell.realEditor = true;
    if (!shell.launch()) return nullptr;
    Pipeline::EditorWindowPresenter* editor = shell.delegate->editorWindow();
    if (!QTest::qWaitFor([&] { return editor->shownModel() != nullptr; }, 60000)) return nullptr;
    return editor->shownModel();
}

} // namespace

// Nothing recolours the tray image for its panel, and the desktop seldom says how dark the panel
// is: the icon must read on a dark, a grey and a light one alike. The tray image the app installs
// is checked, and the other scheme's and the template artwork's; the picture is kept.
TEST(AppDelegate, TheTrayImageReadsOnDarkGreyAndLightPanels) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    ASSERT_NE(shell.delegate->statusItem(), nullptr);
    QImage artwork(18, 18, QImage::Format_ARGB32_Premultiplied);
    artwork.fill(Qt::transparent);
    QPainter(&artwork).fillRect(4, 3, 10, 12, Qt::red);
    const std::pair<const char*, QIcon> icons[] = {
        {"installed", shell.delegate->statusItem()->icon()},
        {"light scheme", StatusMenu::trayIcon(QImage(), ColorScheme::light)},
        {"dark scheme", StatusMenu::trayIcon(QImage(), ColorScheme::dark)},
        {"artwork", StatusMenu::trayIcon(artwork, ColorScheme::light)},
    };
    const QColor panels[] = {QColor(0, 0, 0), QColor(40, 40, 40), QColor(128, 128, 128), QColor(235, 235, 235), QColor(255, 255, 255)};
    QImage sheet(44 * std::size(panels), 44 * std::size(icons), QImage::Format_RGB32);
    QPainter painter(&sheet);
    for (std::size_t row = 0; row < std::size(icons); ++row) {
        const auto& [name, icon] = icons[row];
        ASSERT_FALSE(icon.isNull()) << name;
        for (std::size_t column = 0; column < std::size(panels); ++column) {
            const QColor panel = panels[column];
            const QImage shown = onPanel(icon, panel);
            int standingOut = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x) standingOut += contrast(shown.pixelColor(x, y), panel) >= 3.0;
            EXPECT_GE(standingOut, 40) << name << " on " << panel.name().toStdString();
            painter.fillRect(int(column) * 44, int(row) * 44, 44, 44, panel);
            painter.drawImage(int(column) * 44 + 11, int(row) * 44 + 11, shown);
        }
    }
    painter.end();
    const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(sheet.scaled(sheet.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(folder + "/tray-icon.png"));
    }
}

TEST(EditorPreview, TheToolNamedOnTheCommandLineIsTakenByItsExactName) {
    struct Case {
        QStringList arguments;
        AnnotationTool tool;
    };
    const Case cases[] = {
        {{"--tool", "Crop"}, AnnotationTool::crop},
        {{"--tool", "crop"}, AnnotationTool::select},
        {{"--tool"}, AnnotationTool::select},
        {{"--tool", "Arrow", "--tool", "Crop"}, AnnotationTool::arrow},
        {{}, AnnotationTool::select},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        Shell shell(QStringList{"brindlecast", "--preview-editor"} + c.arguments);
        ReviewViewModel* model = launchEditorPreview(shell);
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->tool(), c.tool);
        EXPECT_EQ(model->image().size(), QSize(1400, 900));
        EXPECT_EQ(shell.delegate->editorWindow()->controller()->window()->windowTitle(), EditorPreview::kFilename);
    }
}

// The preview runs the real detection over its sample; the grabs are kept for a person to look at.
TEST(EditorPreview, OpensInTheStoredSchemeWithTheSamplesFindings) {
    const QString folder = [] {
        QString path = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
        if (path.isEmpty()) path = TestSupport::makeTemporaryFolder("artefacts");
        QDir().mkpath(path);
        return path;
    }();
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QStringList arguments{"brindlecast", "--preview-editor"};
        if (dark) arguments << "--dark";
        Shell shell(arguments);
        shell.pipeline.detector = [](const QImage& image) { return DetectionKit::PIIDetector().detect(image, {}); };
        ReviewViewModel* model = launchEditorPreview(shell);
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(Support::UserDefaults::standard().value("theme.mode"), nlohmann::json(dark ? "dark" : "light"));
        EXPECT_EQ(shell.delegate->theme().effectiveScheme(), dark ? ColorScheme::dark : ColorScheme::light);
        // The e-mail address, the social security number and the phone number at least.
        EXPECT_GE(model->mandatory().size() + model->suggested().size(), 3u);

        EditorWindowChrome* window = shell.delegate->editorWindow()->controller()->window();
        QTest::qWait(100);
        const QImage grab = window->grab().toImage();
        EXPECT_EQ(grab.size(), QSize(1180, 760));
        ASSERT_TRUE(grab.save(folder + (dark ? "/editor-preview-dark.png" : "/editor-preview-light.png"), "PNG"));
        window->close();
    }
}

// A capture taken while the preview is up loads into its window; the sample is stored nowhere.
TEST(EditorPreview, ACaptureLoadsIntoThePreviewWindow) {
    Shell shell({"brindlecast", "--preview-editor"});
    ASSERT_NE(launchEditorPreview(shell), nullptr);
    Pipeline::EditorWindowPresenter* editor = shell.delegate->editorWindow();
    EXPECT_EQ(editor->currentEdit(), nullptr);
    EditorWindowController* previewWindow = editor->controller();

    const QString path = TestSupport::makeTemporaryFolder("pictures") + "/Screenshot a.png";
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::darkMagenta);
    ASSERT_TRUE(image.save(path));
    Pipeline::EditorRequest request;
    request.image = image;
    request.path = path;
    request.modeName = "region";
    request.audit = std::make_shared<AuditKit::AuditLog>();
    Pipeline::openEditor(shell.delegate->pipeline(), request);
    EXPECT_EQ(editor->controller(), previewWindow);
    ASSERT_NE(editor->currentEdit(), nullptr);
    EXPECT_EQ(editor->currentEdit()->path(), path);
    EXPECT_EQ(previewWindow->window()->windowTitle(), "Screenshot a.png");
}

TEST(AppDelegate, WithoutAccessTheWalkthroughOpensAtLaunchAndEveryRoadBringsTheSameOneForward) {
    Shell shell;
    shell.authorized = false;
    ASSERT_TRUE(shell.launch());
    PermissionOnboardingController* first = shell.delegate->permissionController();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(shell.walkthroughPlatform.calls, std::vector<std::string>{"request"});

    shell.delegate->handleHotKey(GlobalHotKeys::display);
    shell.delegate->captureRegion();
    shell.delegate->run(StatusCommand::showPermissionWalkthrough);
    shell.delegate->showScreenRecordingOnboarding();
    EXPECT_EQ(shell.delegate->permissionController(), first);
    EXPECT_EQ(visibleWindowsTitled("Screen Recording").size(), 1);
    EXPECT_TRUE(shell.requests.empty()) << "no capture without access";
    EXPECT_EQ(shell.overlay(), nullptr);
    EXPECT_EQ(shell.walkthroughPlatform.calls.size(), 5u) << "every opening asks for access again";
}

TEST(AppDelegate, WithAccessOrAPreviewFlagNoWalkthroughOpensAtLaunch) {
    for (const QStringList& arguments : {QStringList{"brindlecast"}, QStringList{"brindlecast", "--test-nothing"}}) {
        Shell shell(arguments);
        shell.authorized = arguments.size() == 1;
        ASSERT_TRUE(shell.launch());
        EXPECT_EQ(shell.delegate->permissionController(), nullptr) << arguments.join(' ').toStdString();
    }
}

// A walkthrough closed while its close was on the way is replaced by a fresh one, which the old
// close no longer reaches.
TEST(AppDelegate, AClosedWalkthroughIsReplacedAndItsLateCloseChangesNothing) {
    Shell shell;
    shell.authorized = false;
    ASSERT_TRUE(shell.launch());
    QPointer<PermissionOnboardingController> first = shell.delegate->permissionController();
    shell.authorized = true;
    first->view()->poll();
    ASSERT_EQ(first->view()->state(), ScreenRecordingOnboardingView::State::granted);
    first->window()->close();

    shell.delegate->showPermissionWalkthrough();
    PermissionOnboardingController* second = shell.delegate->permissionController();
    EXPECT_TRUE(first.isNull()) << "the previous one is released";
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->view()->state(), ScreenRecordingOnboardingView::State::granted) << "access was granted meanwhile";
    shell.walkthroughPlatform.clock->advance(5);
    EXPECT_TRUE(second->isVisible()) << "built with access, it never closes by itself";
}

// The preview keeps a theme of its own after the launch step, in the scheme the flags ask for;
// the grabs are kept for a person to look at.
TEST(AppDelegate, ThePermissionsPreviewShowsTheWalkthroughLightOrDark) {
    for (bool dark : {false, true}) {
        QStringList arguments{"brindlecast", "--preview-permissions"};
        if (dark) arguments << "--dark";
        Shell shell(arguments);
        shell.authorized = false;
        ASSERT_TRUE(shell.launch());
        QTRY_VERIFY_WITH_TIMEOUT(shell.delegate->permissionController() != nullptr, 5000);
        EXPECT_TRUE(shell.walkthroughPlatform.calls.empty()) << "the preview does not ask for access";
        EditorWindowChrome* window = shell.delegate->permissionController()->window();
        QApplication::processEvents();
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(tokensFor(window).scheme, dark ? ColorScheme::dark : ColorScheme::light);
        EXPECT_EQ(window->size(), QSize(470, 615));
        const QImage image = window->grab().toImage();
        const QString path = OnboardingTests::artefactsFolder() +
                             (dark ? "/walkthrough-preview-dark.png" : "/walkthrough-preview-light.png");
        ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
        const double lightness = QColor(image.pixel(image.width() / 2, image.height() - 4)).lightnessF();
        EXPECT_EQ(lightness > 0.5, !dark) << lightness;
    }
}

TEST(AppDelegate, AboutShowsOneWindowWithNameAndVersionAndRaisesItOnEveryCall) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    shell.delegate->run(StatusCommand::showAbout);
    AboutWindow* about = shell.delegate->aboutWindow();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), "About Brindlecast");
    const QStringList texts = labelTexts(about);
    EXPECT_TRUE(texts.contains("Brindlecast"));
    EXPECT_TRUE(texts.contains(AboutWindow::versionLine(AboutWindow::defaultVersion())));
    EXPECT_TRUE(LaunchOptions::versionText().contains(AboutWindow::defaultVersion()));

    shell.delegate->showAbout();
    about->close();
    shell.delegate->showAbout();
    EXPECT_EQ(shell.delegate->aboutWindow(), about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(visibleWindowsTitled("About Brindlecast").size(), 1);
    EXPECT_TRUE(about->isFixedSizeMode());

    shell.delegate->theme().setMode(ThemeMode::light);
    QApplication::setActiveWindow(about);
    const QImage image = about->grab().toImage();
    const QString path = OnboardingTests::artefactsFolder() + "/about-window.png";
    ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
}

TEST(AppDelegate, ThePreviewAboutFlagOpensTheAboutWindow) {
    Shell shell({"brindlecast", "--preview-about", "--dark"});
    ASSERT_TRUE(shell.launch());
    QTRY_VERIFY_WITH_TIMEOUT(shell.delegate->aboutWindow() != nullptr, 5000);
    EXPECT_TRUE(shell.delegate->aboutWindow()->isVisible());
    EXPECT_EQ(visibleWindowsTitled("About Brindlecast").size(), 1);
}

TEST(AboutWindow, TheCreditsLineIsOneLinkAndAMissingVersionLeavesItsLineOut) {
    OnboardingTests::ThemeFixture theme(true);
    QList<QUrl> opened;
    AboutWindow about(&theme.theme, QString(), [&](const QUrl& url) { opened << url; });
    about.show();
    QTest::mouseClick(about.creditsLink(), Qt::LeftButton);
    EXPECT_EQ(opened, QList<QUrl>{AboutWindow::kCreditsUrl});
    for (const QString& text : labelTexts(&about)) EXPECT_FALSE(text.startsWith("Version")) << text.toStdString();
    const QImage image = about.grab().toImage();
    ASSERT_TRUE(image.save(OnboardingTests::artefactsFolder() + "/about-window-dark.png", "PNG"));
}

// A setting changed while the preferences file cannot be written (a full disk) used to look saved
// and be gone at the next start. The user is told, from the event loop rather than inside the
// change, once for every streak of failures: again only after a change was saved.
TEST(AppDelegate, SettingsThatCannotBeSavedAreToldOncePerStreakOfFailures) {
    Shell shell;
    ASSERT_TRUE(shell.launch());
    AppSettings& settings = shell.delegate->settings();
    const std::vector<PipelineTests::ShownAlert>& shown = shell.pipeline.alerts->shown;
    int tool = 0;
    const auto changeFailing = [&](int times) {
        const TestSupport::FileSizeLimit full(16);
        for (int i = 0; i < times; ++i) {
            settings.setLastUsedTool(QString("tool %1").arg(++tool));
            QCoreApplication::processEvents();
        }
    };
    changeFailing(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].message, "Settings not saved");
    const QString expected = QString("Your preferences file %1 could not be written (%2).")
                                 .arg(Support::UserDefaults::standard().path(), std::strerror(EFBIG));
    EXPECT_TRUE(shown[0].informativeText.startsWith(expected)) << shown[0].informativeText.toStdString();
    EXPECT_EQ(settings.lastUsedTool(), "tool 1") << "the app goes on with the change";
    changeFailing(4);
    EXPECT_EQ(shown.size(), 1u) << "told again within the streak";

    settings.setLastUsedTool("saved");
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.size(), 1u);
    changeFailing(2);
    EXPECT_EQ(shown.size(), 2u);
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
