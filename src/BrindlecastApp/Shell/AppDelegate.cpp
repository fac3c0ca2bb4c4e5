#include "BrindlecastApp/Shell/AppDelegate.h"

#include "BrindlecastApp/Channel/Channel.h"
#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/DesignGallery.h"
#include "BrindlecastApp/Editor/FloatingThumbnailController.h"
#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "BrindlecastApp/Onboarding/PermissionOnboardingController.h"
#include "BrindlecastApp/Pipeline/ApplicationHost.h"
#include "BrindlecastApp/Pipeline/CaptureRun.h"
#include "BrindlecastApp/Pipeline/DesktopWorkspace.h"
#include "BrindlecastApp/Pipeline/EditSession.h"
#include "BrindlecastApp/Pipeline/EditorWindowPresenter.h"
#include "BrindlecastApp/Pipeline/EditorWiring.h"
#include "BrindlecastApp/Pipeline/LegacyReview.h"
#include "BrindlecastApp/Pipeline/LiveEnvironment.h"
#include "BrindlecastApp/Pipeline/Reopen.h"
#include "BrindlecastApp/Pipeline/UserNotices.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Shell/AboutWindow.h"
#include "BrindlecastApp/Settings/GeneralTab.h"
#include "BrindlecastApp/Settings/PolicyDiagnosticsView.h"
#include "BrindlecastApp/Settings/SettingsWindow.h"
#include "BrindlecastApp/Shell/EditMenu.h"
#include "BrindlecastApp/Shell/EditorPreview.h"
#include "BrindlecastApp/Shell/GlobalHotKeys.h"
#include "BrindlecastApp/Shell/ReviewPreview.h"
#include "BrindlecastApp/Logging/AppLog.h"
#include "BrindlecastApp/Shell/SingleInstance.h"
#include "CaptureKit/CaptureAuthorization.h"
#include "CaptureKit/CaptureError.h"
#include "CaptureKit/X11Connection.h"
#include "CaptureKit/X11ScreenContentProvider.h"
#include "PolicyKit/PreferenceStore.h"
#include "Support/IoError.h"
#include "Support/UserDefaults.h"

#include <QApplication>
#include <QCursor>
#include <QFutureWatcher>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QtConcurrent/QtConcurrentRun>

namespace BrindlecastApp {

namespace {

AppDelegate* sharedDelegate = nullptr;

// What is on the screens now; nothing (logged) when the display cannot be read.
CaptureKit::ShareableSnapshot liveSnapshot() {
    try {
        return CaptureKit::X11ScreenContentProvider().shareableContent();
    } catch (const CaptureKit::CaptureError& error) {
        appLog().error(QString("screen content: %1").arg(error.description()));
    } catch (const CaptureKit::X11Error& error) {
        appLog().error(QString("screen content: %1").arg(error.what()));
    }
    return {};
}

} // namespace

AppDelegate::Services AppDelegate::Services::live() {
    Services services;
    services.resolvePolicy = [] {
        return PolicyKit::EffectivePolicy::resolve(PolicyKit::PreferenceStore::live("app.brindlecast")).policy;
    };
    services.captureAuthorized = [] {
        return CaptureKit::CaptureAuthorization::current() == CaptureKit::CaptureAuthorization::authorized;
    };
    services.updaterMenuTitle = [] { return Channel::current().updater->menuItemTitle(); };
    services.checkForUpdates = [] { Channel::current().updater->checkForUpdates(); };
    services.showFolder = [](const QString& folder) { Pipeline::DesktopWorkspace().showFolder(folder); };
    services.windowList = [] { return liveSnapshot().windows; };
    services.monitorList = [] {
        std::vector<Support::Rect> monitors;
        for (const CaptureKit::DisplayInfo& display : liveSnapshot().displays) monitors.push_back(display.frame);
        return monitors;
    };
    services.makePipeline = [](std::shared_ptr<Pipeline::PipelineHost> host,
                               std::shared_ptr<Pipeline::EditorPresenter> editor, Theme* theme) {
        Pipeline::LiveWiring wiring;
        wiring.host = std::move(host);
        wiring.editor = std::move(editor);
        wiring.theme = theme;
        return Pipeline::makeLiveEnvironment(std::move(wiring));
    };
    services.runCapture = [](const Pipeline::Environment& env, const Pipeline::Mode& mode,
                             std::function<void(bool)> finished) { Pipeline::run(env, mode, std::move(finished)); };
    services.openExisting = Pipeline::openExisting;
    services.instanceFolder = SingleInstance::defaultFolder();
    return services;
}

AppDelegate::AppDelegate(QStringList arguments, Services services, QObject* parent)
    : QObject(parent), arguments_(std::move(arguments)), services_(std::move(services)),
      plan_(PreviewPlan::fromArguments(arguments_)), theme_(std::make_unique<Theme>()),
      settings_(std::make_unique<AppSettings>()), instance_(std::make_unique<SingleInstance>(services_.instanceFolder)) {}

AppDelegate::~AppDelegate() {
    if (watchingPreferenceWrites_) Support::UserDefaults::standard().setWriteFailureObserver({});
    if (overlay_) delete overlay_.data();
    // The pipeline may outlive the delegate by a little; the window goes now, while the
    // application object still exists.
    if (editorWindow_) editorWindow_->releaseWindow();
    permissionController_.reset();
    if (about_) delete about_.data();
    floatingThumbnail_.reset();
    if (sharedDelegate == this) sharedDelegate = nullptr;
}

AppDelegate* AppDelegate::shared() { return sharedDelegate; }

FloatingThumbnailController& AppDelegate::floatingThumbnail() {
    if (!floatingThumbnail_) floatingThumbnail_ = std::make_unique<FloatingThumbnailController>(*theme_);
    return *floatingThumbnail_;
}

CaptureLibrary& AppDelegate::library() {
    if (!library_) library_ = std::make_unique<CaptureLibrary>(settings_->libraryLocation());
    return *library_;
}

bool AppDelegate::applicationDidFinishLaunching() {
    const bool previewOrTest = PreviewPlan::isPreviewOrTestLaunch(arguments_);
    if (!previewOrTest) {
        if (instance_->activateExistingInstance()) return false;
    } else {
        // Not guarded, but a later plain launch still finds this copy when none other runs.
        instance_->claim();
    }
    connect(instance_.get(), &SingleInstance::activationRequested, this, &AppDelegate::bringForward);
    sharedDelegate = this;

    settings_->followLoginLock(GeneralTab::startAtLoginLocked(services_.resolvePolicy()));
    wirePipeline();
    watchPreferenceWrites();
    createStatusItem();
    installEditMenu();
    // The keys are taken before the library folder is read: whatever it holds, they answer.
    registerHotkey();
    library().reload();
    handlePreviewFlags();
    if (!previewOrTest && !services_.captureAuthorized()) showScreenRecordingOnboarding();
    return true;
}

// --- Start-up pieces ---------------------------------------------------------------------------

void AppDelegate::wirePipeline() {
    QPointer<AppDelegate> self(this);
    Pipeline::ApplicationHost::Windows windows;
    windows.showFloatingThumbnail = [self](const QImage& image, const QDateTime& time, std::function<void()> onTap) {
        if (self) self->floatingThumbnail().show(image, time, std::move(onTap));
    };
    windows.showScreenRecordingOnboarding = [self] {
        if (self) self->showScreenRecordingOnboarding();
    };
    windows.showSettings = [self] {
        if (self) self->showSettings();
    };
    windows.openRecentInEditor = [self](const QString& path) {
        if (self) self->openRecentInEditor(path);
    };
    host_ = std::make_shared<Pipeline::ApplicationHost>(*settings_, library(), std::move(windows));
    editorWindow_ = std::make_shared<Pipeline::EditorWindowPresenter>(theme_.get(), [self]() -> CaptureLibrary* {
        return self ? &self->library() : nullptr;
    });
    pipeline_ = services_.makePipeline(host_, editorWindow_, theme_.get());
}

void AppDelegate::watchPreferenceWrites() {
    QPointer<AppDelegate> self(this);
    // Told from the event loop, never inside the change that failed; the store hands out one
    // failure per streak, so a setting changed again and again while the disk is full is told once.
    Support::UserDefaults::standard().setWriteFailureObserver([self] {
        QMetaObject::invokeMethod(
            qApp, [self] {
                if (self) self->tellPreferencesNotSaved();
            },
            Qt::QueuedConnection);
    });
    watchingPreferenceWrites_ = true;
}

void AppDelegate::tellPreferencesNotSaved() {
    Support::UserDefaults& store = Support::UserDefaults::standard();
    for (const QString& reason : store.takeWriteFailures()) {
        const Pipeline::AlertText alert = Pipeline::preferencesNotSavedAlert(store.path(), reason);
        pipeline_->alerts->show(alert.message, alert.informativeText);
    }
}

void AppDelegate::createStatusItem() {
    menu_ = std::make_unique<QMenu>();
    connect(menu_.get(), &QMenu::aboutToShow, this, &AppDelegate::populateMenu);
    statusItem_ = std::make_unique<QSystemTrayIcon>();
    const auto paintIcon = [this] {
        statusItem_->setIcon(StatusMenu::trayIcon(StatusMenu::templateArtwork(), DesktopSettings::instance().colorScheme()));
    };
    paintIcon();
    connect(&DesktopSettings::instance(), &DesktopSettings::colorSchemeChanged, this, paintIcon);
    statusItem_->setToolTip("Brindlecast");
    statusItem_->setContextMenu(menu_.get());
    // A click opens the menu as a right click does: the tray item is the app's only door.
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
    });
    statusItem_->show();
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        appLog().notice("this desktop shows no tray icons; the global hot keys still capture");
}

void AppDelegate::installEditMenu() { editMenu_ = std::make_unique<EditMenu>(); }

void AppDelegate::registerHotkey() {
    hotKeys_ = std::make_unique<GlobalHotKeys>();
    connect(hotKeys_.get(), &GlobalHotKeys::pressed, this, &AppDelegate::handleHotKey);
    hotKeys_->registerKeys();
}

StatusMenuState AppDelegate::statusMenuState() const {
    StatusMenuState state;
    state.lockAgent = services_.resolvePolicy().lockAgent;
    state.captureAuthorized = services_.captureAuthorized();
    state.updaterTitle = services_.updaterMenuTitle();
    return state;
}

void AppDelegate::populateMenu() {
    if (!menu_) return;
    StatusMenu::render(*menu_, StatusMenu::rows(statusMenuState()), menu_->palette().color(QPalette::Text),
                       [this](StatusCommand command) { run(command); });
}

void AppDelegate::bringForward(qint64 requesterPid) {
    appLog().info(QString("single-instance guard: pid %1 asked this copy to come forward").arg(requesterPid));
    QWidget* last = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window == menu_.get() || window->windowType() == Qt::Popup ||
            window->windowType() == Qt::ToolTip)
            continue;
        window->raise();
        last = window;
    }
    if (last) last->activateWindow();
    emit broughtForward(requesterPid);
}

// --- Developer flags ---------------------------------------------------------------------------

void AppDelegate::handlePreviewFlags() {
    using Window = PreviewPlan::Window;
    const bool dark = plan_.dark;
    switch (plan_.window) {
    case Window::testWindowPick:
        QTimer::singleShot(0, this, &AppDelegate::captureWindowPick);
        return;
    case Window::gallery:
        QTimer::singleShot(0, this, [dark] { DesignGallery::show(dark); });
        return;
    case Window::about:
        QTimer::singleShot(0, this, &AppDelegate::showAbout);
        return;
    case Window::permissions: {
        // The preview's theme is stored at once, as the walkthrough preview always does; the
        // walkthrough keeps it. Access is not asked for first.
        auto previewTheme = std::make_shared<Theme>();
        previewTheme->setMode(dark ? ThemeMode::dark : ThemeMode::light);
        QTimer::singleShot(0, this, [this, previewTheme] {
            auto controller = std::make_unique<PermissionOnboardingController>(*previewTheme, walkthroughEnvironment());
            controller->keepTheme(previewTheme);
            presentWalkthrough(std::move(controller));
        });
        return;
    }
    case Window::editor:
        // The preview's scheme is stored as the theme's mode, as any change of mode is.
        theme_->setMode(dark ? ThemeMode::dark : ThemeMode::light);
        QTimer::singleShot(0, this, &AppDelegate::startEditorPreview);
        return;
    case Window::thumbnail:
        QTimer::singleShot(0, this, [dark] { FloatingThumbnailController::presentPreview(dark); });
        return;
    case Window::settings:
        QTimer::singleShot(0, this, [this, dark, page = plan_.settingsPage] {
            SettingsWindowOptions options;
            options.openDiagnostics = [this] { showDiagnostics(); };
            SettingsWindowController::presentPreview(dark, SettingsTabs::fromRawValue(page).value_or(SettingsTab::general),
                                                     std::move(options));
        });
        return;
    case Window::none:
        break;
    }
    if (plan_.diagnostics) showDiagnostics();
    if (plan_.review) startReviewPreview();
}

void AppDelegate::startReviewPreview() {
    const QImage sample = ReviewPreview::syntheticScreenshot();
    // Detection runs on a worker; the review window opens once it is done and ends the app when
    // the user has decided.
    auto* watcher = new QFutureWatcher<std::vector<DetectionKit::Detection>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, sample] {
        watcher->deleteLater();
        pipeline_->review->present(sample, watcher->result(), services_.resolvePolicy(),
                                   ReviewPreview::seedAnnotations(sample), [] {},
                                   [](const ReviewDecision&) { QCoreApplication::quit(); });
    });
    watcher->setFuture(QtConcurrent::run([sample] { return ReviewPreview::detections(sample); }));
}

void AppDelegate::startEditorPreview() {
    const QImage sample = EditorPreview::syntheticScreenshot();
    const PolicyKit::EffectivePolicy policy = services_.resolvePolicy();
    const Pipeline::Environment env = pipeline_;
    // The real detection, without custom patterns, runs on a worker; the editor opens on its
    // findings (none when it fails).
    auto* watcher = new QFutureWatcher<std::vector<DetectionKit::Detection>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, sample, policy, env] {
        watcher->deleteLater();
        ReviewViewModel::Environment modelEnvironment;
        modelEnvironment.detect = [env](const QImage& image, const std::vector<DetectionKit::PatternInput>& patterns) {
            return env->detect(image, patterns).detections;
        };
        auto model = std::make_shared<ReviewViewModel>(sample, watcher->result(), policy, std::nullopt, [] {},
                                                       modelEnvironment);
        if (const std::optional<AnnotationTool> tool = EditorPreview::toolFromArguments(arguments_)) model->setTool(*tool);
        QPointer<AppDelegate> self(this);
        editorWindow_->presentPreview(std::move(model), EditorPreview::kFilename, [self] {
            if (self) self->showSettings();
        });
    });
    watcher->setFuture(QtConcurrent::run([sample, env] {
        try {
            return env->detect(sample, {}).detections;
        } catch (const std::exception& error) {
            appLog().error(QString("detection: %1").arg(error.what()));
            return std::vector<DetectionKit::Detection>{};
        }
    }));
}


// --- Commands ------------------------------------------------------------------------------------

void AppDelegate::run(StatusCommand command) {
    switch (command) {
    case StatusCommand::none: return;
    case StatusCommand::captureRegion: return captureRegion();
    case StatusCommand::captureWindowPick: return captureWindowPick();
    case StatusCommand::captureDisplay: return captureDisplay();
    case StatusCommand::openEditor: return openEditorFromMenu();
    case StatusCommand::showScreenshotsFolder: return showScreenshotsFolder();
    case StatusCommand::showPermissionWalkthrough: return showPermissionWalkthrough();
    case StatusCommand::showSettings: return showSettings();
    case StatusCommand::checkForUpdates: return checkForUpdates();
    case StatusCommand::showAbout: return showAbout();
    case StatusCommand::quit: return quit();
    }
}

void AppDelegate::quit() {
    if (!pipeline_) return QCoreApplication::quit();
    Pipeline::storeOpenEditBeforeLeaving(pipeline_, [] { QCoreApplication::quit(); });
}

void AppDelegate::endOnSignal() {
    if (pipeline_) Pipeline::storeOpenEditBeforeSignalEnd(pipeline_);
    // Every event loop ends, an alert's own included; quit() would wait for windows to agree.
    QCoreApplication::exit(0);
}

void AppDelegate::handleHotKey(int id) {
    if (id == GlobalHotKeys::windowPick) return captureWindowPick();
    if (id == GlobalHotKeys::region) return captureRegion();
    if (services_.captureAuthorized())
        startCapture(Pipeline::Mode::display());
    else
        showScreenRecordingOnboarding();
}

void AppDelegate::captureRegion() { openOverlay(false); }

void AppDelegate::captureWindowPick() { openOverlay(true); }

void AppDelegate::openOverlay(bool windowPick) {
    if (!services_.captureAuthorized()) return showScreenRecordingOnboarding();
    if (overlay_) return; // a selection is up: it keeps its mode
    auto* overlay = new OverlayController(services_.windowList, services_.monitorList, theme_->accent(), this);
    QPointer<AppDelegate> self(this);
    overlay->onRegion = [self, overlay](const Support::Rect& rect) {
        if (self) self->captureFromOverlay(overlay, Pipeline::Mode::region(rect));
    };
    overlay->onWindow = [self, overlay](const PickTarget& target) {
        if (self) self->captureFromOverlay(overlay, Pipeline::Mode::window(target.windowID, target.bundleID));
    };
    overlay->onCancel = [self, overlay] {
        if (self && self->overlay_ == overlay) self->dropOverlay();
    };
    overlay_ = overlay;
    // The detection engines load while the user selects, when the capture will look for findings.
    if (pipeline_) Pipeline::prepareDetection(pipeline_);
    overlay->begin();
    if (windowPick && !overlay->isWindowPickMode()) overlay->toggleMode();
}

void AppDelegate::dropOverlay() {
    if (!overlay_) return;
    OverlayController* overlay = overlay_;
    overlay_ = nullptr;
    overlay->close();
    overlay->deleteLater();
}

void AppDelegate::captureFromOverlay(OverlayController* overlay, const Pipeline::Mode& mode) {
    // The panels leave the screen (and the X server has unmapped them) before the capture starts.
    overlay->orderOut();
    QPointer<AppDelegate> self(this);
    QPointer<OverlayController> started(overlay);
    services_.runCapture(pipeline_, mode, [self, started](bool wentThrough) {
        // Only the overlay this run started from: a newer one may be up by now.
        if (!self || !started) return;
        if (wentThrough) {
            if (self->overlay_ == started)
                self->dropOverlay();
            else {
                started->close();
                started->deleteLater();
            }
        } else if (self->overlay_ == started) {
            started->orderIn(); // the user may select again, or cancel
        }
    });
}

void AppDelegate::captureDisplay() {
    if (!services_.captureAuthorized()) return showScreenRecordingOnboarding();
    startCapture(Pipeline::Mode::display());
}

void AppDelegate::captureFrontmostWindow() {
    if (!services_.captureAuthorized()) return showScreenRecordingOnboarding();
    startCapture(Pipeline::Mode::frontmostWindow());
}

void AppDelegate::startCapture(const Pipeline::Mode& mode) {
    // The pipeline shows the outcome itself; nobody waits for it here.
    services_.runCapture(pipeline_, mode, [](bool) {});
}

void AppDelegate::openEditorFromMenu() {
    // The library lists the newest capture first; it is not read again for this.
    const QList<CaptureEntry>& entries = library().entries();
    if (entries.isEmpty()) {
        pipeline_->alerts->show("No screenshots yet", "Take a capture first — the editor opens on your latest screenshot.");
        return;
    }
    openRecentInEditor(entries.first().path());
}

void AppDelegate::openRecentInEditor(const QString& path) {
    Pipeline::EditorPresenter& editor = *pipeline_->editor;
    if (editor.isShowing())
        if (const std::shared_ptr<Pipeline::EditSession> edit = editor.currentEdit(); edit && edit->path() == path) {
            editor.bringToFront();
            return;
        }
    services_.openExisting(pipeline_, path);
}

void AppDelegate::showScreenshotsFolder() {
    QString folder = settings_->libraryLocation();
    try {
        folder = settings_->ensureLibraryLocation();
    } catch (const Support::IoError&) {
        // Opened all the same: the file manager says what is wrong with it.
    }
    services_.showFolder(folder);
}

void AppDelegate::showPermissionWalkthrough() { showScreenRecordingOnboarding(); }

WalkthroughEnvironment AppDelegate::walkthroughEnvironment() const {
    WalkthroughEnvironment environment = services_.walkthrough;
    environment.accessGranted = services_.captureAuthorized;
    return environment;
}

void AppDelegate::showScreenRecordingOnboarding() {
    const WalkthroughEnvironment environment = walkthroughEnvironment();
    environment.requestAccess();
    if (permissionController_ && permissionController_->isVisible()) {
        permissionController_->present(); // one walkthrough at a time: the shown one comes forward
        return;
    }
    presentWalkthrough(std::make_unique<PermissionOnboardingController>(*theme_, environment));
}

void AppDelegate::presentWalkthrough(std::unique_ptr<PermissionOnboardingController> controller) {
    controller->present();
    // The one before (its window closed) goes now, with its poll and any close it had scheduled.
    permissionController_ = std::move(controller);
}

void AppDelegate::showSettings() {
    // The organisation's agent lock keeps start at login on whenever the settings are shown.
    settings_->followLoginLock(GeneralTab::startAtLoginLocked(services_.resolvePolicy()));
    if (settingsController_ && settingsController_->isShowing()) {
        settingsController_->present();
        return;
    }
    SettingsWindowOptions options;
    options.openDiagnostics = [this] { showDiagnostics(); };
    settingsController_ =
        std::make_unique<SettingsWindowController>(theme_.get(), settings_.get(), SettingsTab::general, std::move(options));
    settingsController_->present();
}

void AppDelegate::showDiagnostics() {
    const PolicyKit::PolicyResolution resolution = PolicyKit::EffectivePolicy::resolve(PolicyKit::PreferenceStore::live("app.brindlecast"));
    auto* view = new PolicyDiagnosticsView(resolution.policy, resolution.diagnostics);
    if (diagnosticsWindow_ && diagnosticsWindow_->isVisible() && !diagnosticsWindow_->isMinimized()) {
        // The same window, size and place, now showing this resolution.
        QLayout* layout = diagnosticsWindow_->layout();
        while (QLayoutItem* item = layout->takeAt(0)) {
            if (QWidget* old = item->widget()) old->deleteLater();
            delete item;
        }
        layout->addWidget(view);
    } else {
        diagnosticsWindow_ = std::make_unique<QWidget>();
        diagnosticsWindow_->setObjectName("diagnosticsWindow");
        diagnosticsWindow_->setWindowTitle(tr("Policy Diagnostics"));
        auto* layout = new QVBoxLayout(diagnosticsWindow_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
    }
    diagnosticsWindow_->show();
    diagnosticsWindow_->raise();
    diagnosticsWindow_->activateWindow();
}

void AppDelegate::checkForUpdates() { services_.checkForUpdates(); }

AboutWindow* AppDelegate::aboutWindow() const { return about_.data(); }

void AppDelegate::showAbout() {
    if (!about_) about_ = new AboutWindow(theme_.get());
    about_->show();
    about_->raise();
    about_->activateWindow();
}

} // namespace BrindlecastApp
