#pragma once

#include "BrindlecastApp/Onboarding/WalkthroughEnvironment.h"
#include "BrindlecastApp/Overlay/OverlayController.h"
#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "BrindlecastApp/Pipeline/PipelineMode.h"
#include "BrindlecastApp/Shell/PreviewFlags.h"
#include "BrindlecastApp/Shell/StatusMenu.h"
#include "PolicyKit/EffectivePolicy.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace BrindlecastApp::Pipeline {
class EditorPresenter;
class EditorWindowPresenter;
} // namespace BrindlecastApp::Pipeline

namespace BrindlecastApp {

class AboutWindow;
class AppSettings;
class CaptureLibrary;
class EditMenu;
class FloatingThumbnailController;
class GlobalHotKeys;
class PermissionOnboardingController;
class SettingsWindowController;
class SingleInstance;
class Theme;

// The one application object of the tray app. At launch it guards against a second running copy,
// puts up the tray icon whose menu is built afresh each time it opens, installs the hidden Edit
// menu, grabs the three global hot keys and opens what the developer flags ask for. It owns the
// long-lived parts of the shell: the tray, the selection overlay of the capture under way, the
// theme and the windows it opens; its commands are what the menu, the hot keys and the flags run.
// GUI thread only.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // What the shell needs of the rest of the app; live() wires the real modules, tests fakes.
    struct Services {
        // The policy as it stands now.
        std::function<PolicyKit::EffectivePolicy()> resolvePolicy;
        std::function<bool()> captureAuthorized;
        // The update channel's menu item title; none shows no item.
        std::function<std::optional<QString>()> updaterMenuTitle;
        std::function<void()> checkForUpdates;
        // The windows on screen, for window picking, and the monitors the overlay covers.
        OverlayController::WindowList windowList;
        OverlayController::MonitorList monitorList;
        // Builds the capture pipeline over the running app, its host, its editor window, and the
        // theme its alerts take.
        std::function<Pipeline::Environment(std::shared_ptr<Pipeline::PipelineHost> host,
                                            std::shared_ptr<Pipeline::EditorPresenter> editor, Theme* theme)>
            makePipeline;
        // Runs one capture; `finished` learns on the GUI thread whether it went through.
        std::function<void(const Pipeline::Environment&, const Pipeline::Mode&, std::function<void(bool)> finished)>
            runCapture;
        // Opens a library capture in the editor again.
        std::function<void(const Pipeline::Environment&, const QString& path)> openExisting;
        // Shows a folder in the desktop's file manager.
        std::function<void(const QString& folder)> showFolder;
        // Where the single-instance lock and socket live.
        QString instanceFolder;
        // The walkthrough's clock, access request and settings opener; it reads the access state
        // through `captureAuthorized`.
        WalkthroughEnvironment walkthrough = WalkthroughEnvironment::live();

        static Services live();
    };

    AppDelegate(QStringList arguments, Services services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The running delegate once launching has passed the single-instance guard; null before.
    static AppDelegate* shared();

    // The launch sequence. False when another copy is running: it was asked to come forward and
    // this one should end (with success) without having created anything.
    bool applicationDidFinishLaunching();

    // --- Commands of the tray menu, the hot keys and the developer flags -----------------------
    void captureRegion();
    void captureWindowPick();
    void captureDisplay();
    void captureFrontmostWindow();
    void openEditorFromMenu();
    // Brings the editor forward when it shows that capture already, else opens it there.
    void openRecentInEditor(const QString& path);
    void showScreenshotsFolder();
    void showPermissionWalkthrough();
    void showScreenRecordingOnboarding();
    void showSettings();
    void showDiagnostics();
    void checkForUpdates();
    void showAbout();
    // Quit: the open edit is stored first (when that fails the user decides, Retry or Discard),
    // then the application ends.
    void quit();
    // A termination signal (a logout, `kill`): nobody is there to answer a question. The open
    // edit is stored with one try (a failure is logged), and the application ends at once, with
    // any alert still up.
    void endOnSignal();
    void run(StatusCommand command);
    // A global hot key: 3 picks a window, 2 selects a region, anything else takes the display.
    void handleHotKey(int id);

    // What the tray menu shows when it opens now.
    StatusMenuState statusMenuState() const;
    // Refills the tray menu from statusMenuState().
    void populateMenu();

    QMenu* statusMenu() const { return menu_.get(); }
    QSystemTrayIcon* statusItem() const { return statusItem_.get(); }
    OverlayController* overlayController() const { return overlay_; }
    Theme& theme() const { return *theme_; }
    AppSettings& settings() const { return *settings_; }
    // The capture pipeline over this app; null until launching has passed the guard.
    const Pipeline::Environment& pipeline() const { return pipeline_; }
    // Over the library folder the settings name when it is first asked for; a folder chosen later
    // is taken at the next launch.
    CaptureLibrary& library();
    // The post-capture thumbnail over the app's theme, made when first asked for and kept.
    FloatingThumbnailController& floatingThumbnail();
    const PreviewPlan& previewPlan() const { return plan_; }
    // The one editor window, as the pipeline and the design preview show captures in it; null
    // until launching has passed the guard.
    Pipeline::EditorWindowPresenter* editorWindow() const { return editorWindow_.get(); }
    // The walkthrough opened last, kept after its window closed until the next one replaces it.
    PermissionOnboardingController* permissionController() const { return permissionController_.get(); }
    // The one About window once it was asked for.
    AboutWindow* aboutWindow() const;
    // The settings window last opened by showSettings(), and the diagnostics window; null before.
    SettingsWindowController* settingsController() const { return settingsController_.get(); }
    QWidget* diagnosticsWindow() const { return diagnosticsWindow_.get(); }

signals:
    // Another launch asked this copy to come forward, and its windows were raised.
    void broughtForward(qint64 requesterPid);

private:
    void startCapture(const Pipeline::Mode& mode);
    void captureFromOverlay(OverlayController* overlay, const Pipeline::Mode& mode);
    void wirePipeline();
    // Tells the user, through the pipeline's alerts, when the preferences file cannot be written.
    void watchPreferenceWrites();
    void tellPreferencesNotSaved();
    void openOverlay(bool windowPick);
    void dropOverlay();
    void handlePreviewFlags();
    void startReviewPreview();
    void startEditorPreview();
    void bringForward(qint64 requesterPid);
    void createStatusItem();
    void installEditMenu();
    void registerHotkey();
    WalkthroughEnvironment walkthroughEnvironment() const;
    void presentWalkthrough(std::unique_ptr<PermissionOnboardingController> controller);

    QStringList arguments_;
    Services services_;
    PreviewPlan plan_;
    std::unique_ptr<Theme> theme_;
    std::unique_ptr<AppSettings> settings_;
    std::unique_ptr<CaptureLibrary> library_;
    std::unique_ptr<FloatingThumbnailController> floatingThumbnail_;
    std::shared_ptr<Pipeline::PipelineHost> host_;
    std::shared_ptr<Pipeline::EditorWindowPresenter> editorWindow_;
    Pipeline::Environment pipeline_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<EditMenu> editMenu_;
    std::unique_ptr<GlobalHotKeys> hotKeys_;
    QPointer<OverlayController> overlay_;
    std::unique_ptr<PermissionOnboardingController> permissionController_;
    QPointer<AboutWindow> about_;
    std::unique_ptr<SettingsWindowController> settingsController_;
    std::unique_ptr<QWidget> diagnosticsWindow_;
    bool watchingPreferenceWrites_ = false;
};

} // namespace BrindlecastApp
