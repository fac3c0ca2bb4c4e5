#pragma once

#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"

#include <QPointer>
#include <QStringList>
#include <memory>
#include <optional>

namespace BrindlecastApp {
class Theme;
}

namespace BrindlecastApp::Pipeline {

class EditorPresenter;
class ReviewPresenter;

// What the application delegate hands the live wiring; everything else is the real thing.
struct LiveWiring {
    // The running application (usually an ApplicationHost); absent: nothing is listed or shown.
    std::shared_ptr<PipelineHost> host;
    // The editor window; absent: captures are written and listed, but no editor opens.
    std::shared_ptr<EditorPresenter> editor;
    // The review window of "--legacy-review"; the real one when absent.
    std::shared_ptr<ReviewPresenter> review;
    // The command line; the application's own when absent.
    std::optional<QStringList> arguments;
    // The appearance the alerts take, as every other window of the app does; the light one when
    // absent.
    QPointer<Theme> theme;
};

// The pipeline over the real modules: the policy of "app.brindlecast", the audit trail (journal
// and webhook), X11 capture, Tesseract and OpenCV detection, the system clipboard, message-box
// alerts, the freedesktop Trash. It also stores the editor's open capture once as the
// application quits or the desktop session ends. Call on the GUI thread of a running application.
Environment makeLiveEnvironment(LiveWiring wiring = {});

// The audit trail of one capture: the journal, and the policy's webhook when it names one (its
// undelivered records wait in "$XDG_DATA_HOME/Brindlecast/audit-buffer").
std::shared_ptr<AuditKit::AuditLog> makeAuditLog(const PolicyKit::EffectivePolicy& policy);

// The application ID of the active window (_NET_ACTIVE_WINDOW) as the screen content lists it.
std::optional<QString> x11FrontmostApplicationID();

} // namespace BrindlecastApp::Pipeline
