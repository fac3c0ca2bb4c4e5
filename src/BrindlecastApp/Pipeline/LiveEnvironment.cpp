#include "BrindlecastApp/Pipeline/LiveEnvironment.h"

#include "AuditKit/AuditRecord.h"
#include "AuditKit/WebhookSink.h"
#include "BrindlecastApp/Pipeline/DesktopWorkspace.h"
#include "BrindlecastApp/Pipeline/EditSession.h"
#include "BrindlecastApp/Pipeline/EditorWiring.h"
#include "BrindlecastApp/Pipeline/LegacyReview.h"
#include "BrindlecastApp/Pipeline/MessageBoxAlerts.h"
#include "BrindlecastApp/Pipeline/Reopen.h"
#include "BrindlecastApp/Pipeline/ReviewWindowPresenter.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "CaptureKit/X11Connection.h"
#include "CaptureKit/X11ScreenContentProvider.h"
#include "DetectionKit/PIIDetector.h"
#include "DetectionKit/SharedRecognizers.h"
#include "ExportKit/Clipboard.h"
#include "PolicyKit/PreferenceStore.h"
#include "Support/UserDefaults.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>

namespace BrindlecastApp::Pipeline {

namespace {

constexpr const char* kPreferenceDomain = "app.brindlecast";

// Text detection alone: the face search is left out.
class NoFaces final : public DetectionKit::FaceDetector {
public:
    std::vector<Support::Rect> detectFaces(const QImage&) override { return {}; }
};

} // namespace

std::shared_ptr<AuditKit::AuditLog> makeAuditLog(const PolicyKit::EffectivePolicy& policy) {
    if (!policy.auditWebhookURL) return std::make_shared<AuditKit::AuditLog>();
    // Every capture gets its own sink; sinks on one folder share its buffer and its delivery worker.
    auto webhook = std::make_shared<AuditKit::WebhookSink>(*policy.auditWebhookURL,
                                                           AuditKit::WebhookSink::defaultBufferDirectory());
    return std::make_shared<AuditKit::AuditLog>(std::move(webhook));
}

std::optional<QString> x11FrontmostApplicationID() {
    std::optional<std::uint32_t> active;
    try {
        CaptureKit::X11Connection x;
        active = x.cardinalProperty(x.root(), "_NET_ACTIVE_WINDOW");
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!active || *active == 0) return std::nullopt;
    const CaptureKit::ShareableSnapshot snapshot = CaptureKit::X11ScreenContentProvider().shareableContent();
    for (const CaptureKit::WindowInfo& window : snapshot.windows) {
        if (window.windowID == *active) return window.bundleID;
    }
    return std::nullopt;
}

Environment makeLiveEnvironment(LiveWiring wiring) {
    auto env = std::make_shared<PipelineEnvironment>();
    env->resolvePolicy = [] { return PolicyKit::EffectivePolicy::resolve(PolicyKit::PreferenceStore::live(kPreferenceDomain)); };
    env->makeAuditLog = makeAuditLog;
    env->makeScreenProvider = [] { return std::make_shared<CaptureKit::X11ScreenContentProvider>(); };
    env->frontmostApplicationID = x11FrontmostApplicationID;
    env->detect = [](const QImage& image, const std::vector<DetectionKit::PatternInput>& patterns) {
        // The recognition engines (a few hundred megabytes with all cores) start with the first
        // detection, not with the application.
        static const DetectionKit::PIIDetector detector;
        return detector.detect(image, patterns);
    };
    env->detectText = [](const QImage& image, const std::vector<DetectionKit::PatternInput>& patterns) {
        static const DetectionKit::PIIDetector detector(DetectionKit::sharedTextRecognizer(), std::make_shared<NoFaces>());
        return detector.detect(image, patterns);
    };
    env->prepareDetection = DetectionKit::prepareSharedRecognizers;
    env->now = [] { return QDateTime::currentDateTime(); };
    // The process's one preference file object: settings, theme and policy all read through it.
    env->takePreferencesMovedAside = [] { return Support::UserDefaults::standard().takeFilesMovedAside(); };
    env->clipboard = std::make_shared<ExportKit::SystemClipboard>();
    env->alerts = std::make_shared<MessageBoxAlerts>(wiring.theme);
    env->editor = std::move(wiring.editor);
    env->review = wiring.review ? wiring.review : std::make_shared<ReviewWindowPresenter>();
    env->trash = std::make_shared<DesktopWorkspace>();
    env->host = std::move(wiring.host);
    env->reopenRequests = std::make_shared<ReopenRequests>();
    env->arguments = wiring.arguments.value_or(QCoreApplication::arguments());
    env->userName = AuditKit::AuditRecord::shortUser();
    env->deviceName = AuditKit::AuditRecord::shortHost();
    env->fallbackLibraryFolder = AppSettings::defaultLibraryLocation();

    const Environment shared = env;
    if (QCoreApplication* application = QCoreApplication::instance()) {
        // An edit still open when the application ends keeps what the user did to it.
        QObject::connect(application, &QCoreApplication::aboutToQuit, application,
                         [shared] { persistOpenEditBeforeQuit(shared); });
        if (auto* gui = qobject_cast<QGuiApplication*>(application)) {
            QObject::connect(gui, &QGuiApplication::commitDataRequest, gui,
                             [shared](QSessionManager&) { persistOpenEdit(shared); });
        }
    }
    return shared;
}

} // namespace BrindlecastApp::Pipeline
