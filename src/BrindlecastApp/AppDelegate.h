#pragma once

#include "BrindlecastApp/Overlay/OverlayController.h"
#include "BrindlecastApp/Shell/CaptureRequest.h"
#include "BrindlecastApp/Shell/PreviewFlags.h"
#include "BrindlecastApp/Shell/StatusMenu.h"
#include "DetectionKit/Detection.h"
#include "PolicyKit/EffectivePolicy.h"
#include "SidecarKit/Annotation.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace BrindlecastApp {

class AppSettings;
class CaptureLibrary;
class EditMenu;
class GlobalHotKeys;
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
        // Runs one capture; `finished` learns on the GUI thread whether it went through.
        std::function<void(const CaptureRequest&, std::function<void(bool)> finished)> runCapture;
        // Shows a folder in the desktop's file manager.
        std::function<void(const QString& folder)> showFolder;
        // Where the single-instance lock and socket live.
        QString instanceFolder;
        // The stand-alone review window over an image; `decided` runs once the user exported or
        // cancelled. Absent while the review window is not part of the app.
        std::function<void(const QImage& image, const std::vector<DetectionKit::Detection>& detections,
                           const PolicyKit::EffectivePolicy& policy, const std::vector<SidecarKit::Annotation>& seeds,
                           std::function<void()> decided)>
            presentReview;

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
    void showScreenshotsFolder();
    void showPermissionWalkthrough();
    void showScreenRecordingOnboarding();
    void showSettings();
    void showDiagnostics();
    void checkForUpdates();
    void showAbout();
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
    // Over the library folder the settings name when it is first asked for; a folder chosen later
    // is taken at the next launch.
    CaptureLibrary& library();
    const PreviewPlan& previewPlan() const { return plan_; }

signals:
    // Another launch asked this copy to come forward, and its windows were raised.
    void broughtForward(qint64 requesterPid);

private:
    void startCapture(const CaptureRequest& request);
    void captureFromOverlay(OverlayController* overlay, const CaptureRequest& request);
    void openOverlay(bool windowPick);
    void dropOverlay();
    void handlePreviewFlags();
    void startReviewPreview();
    void bringForward(qint64 requesterPid);
    void createStatusItem();
    void installEditMenu();
    void registerHotkey();
    void windowNotAvailable(const QString& window) const;

    QStringList arguments_;
    Services services_;
    PreviewPlan plan_;
    std::unique_ptr<Theme> theme_;
    std::unique_ptr<AppSettings> settings_;
    std::unique_ptr<CaptureLibrary> library_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<EditMenu> editMenu_;
    std::unique_ptr<GlobalHotKeys> hotKeys_;
    QPointer<OverlayController> overlay_;
};

} // namespace BrindlecastApp
