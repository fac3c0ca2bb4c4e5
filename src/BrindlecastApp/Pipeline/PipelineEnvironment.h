#pragma once

#include "AuditKit/AuditLog.h"
#include "BrindlecastApp/Pipeline/PipelineHost.h"
#include "BrindlecastApp/Pipeline/PipelineLog.h"
#include "BrindlecastApp/Pipeline/Presenters.h"
#include "CaptureKit/ScreenContentProvider.h"
#include "DetectionKit/Detection.h"
#include "ExportKit/Clipboard.h"
#include "PolicyKit/EffectivePolicy.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace BrindlecastApp::Pipeline {

class EditorPresenter;
class ReviewPresenter;
class ReopenRequests;

// Everything a capture touches outside its own code, in one value: the application wires it to
// the real modules (makeLiveEnvironment), tests to fakes or to real local services.
//
// The functions marked "any thread" run on worker threads; everything else is used on the GUI
// thread only.
struct PipelineEnvironment {
    // The policy as the preference layers say now, with one line per value that was not used.
    // Any thread.
    std::function<PolicyKit::PolicyResolution()> resolvePolicy;
    // The audit trail of one capture or one reopened capture. Any thread.
    std::function<std::shared_ptr<AuditKit::AuditLog>(const PolicyKit::EffectivePolicy&)> makeAuditLog;
    // A fresh screen provider for one capture. Any thread.
    std::function<std::shared_ptr<CaptureKit::ScreenContentProvider>()> makeScreenProvider;
    // The application ID of the frontmost application; nothing when there is none or it has none.
    // Any thread.
    std::function<std::optional<QString>()> frontmostApplicationID;
    // Personal-data detection over one image; throws when the image cannot be examined. Any thread.
    std::function<DetectionKit::DetectionResult(const QImage&, const std::vector<DetectionKit::PatternInput>&)> detect;
    // The same over the image's text alone, no faces (they are never mandatory): what a companion
    // is searched with. Left empty, `detect` serves. Any thread.
    std::function<DetectionKit::DetectionResult(const QImage&, const std::vector<DetectionKit::PatternInput>&)> detectText;
    // Starts loading the detection engines and returns at once, so that they load while the
    // screen is read or the selection made. May be left empty. Any thread.
    std::function<void()> prepareDetection;
    // The current time, in the local time zone. Any thread.
    std::function<QDateTime()> now;
    // Where damaged preference files were moved aside since the last call, each given once; the
    // user is told before the next capture is written. May be left empty.
    std::function<QStringList()> takePreferencesMovedAside;

    std::shared_ptr<ExportKit::Clipboard> clipboard;
    std::shared_ptr<AlertPresenter> alerts;
    std::shared_ptr<EditorPresenter> editor;
    std::shared_ptr<ReviewPresenter> review;
    std::shared_ptr<Trash> trash;
    // Absent: no running application (no settings, library, thumbnail or windows).
    std::shared_ptr<PipelineHost> host;
    // Latest-wins bookkeeping of reopened captures.
    std::shared_ptr<ReopenRequests> reopenRequests;

    PipelineLog log;
    // The process's command line; "--legacy-review" sends captures to the review window.
    QStringList arguments;
    // The watermark's user and device parts.
    QString userName;
    QString deviceName;
    // The library folder when there is no host: "~/Pictures/Brindlecast".
    QString fallbackLibraryFolder;

    // The library folder a new file goes into at this moment.
    QString libraryFolder() const { return host ? host->settings().libraryLocation : fallbackLibraryFolder; }
    // The image format of exports at this moment (PNG without a host).
    ExportKit::ImageFormat exportFormat() const {
        return host ? host->settings().exportFormat : ExportKit::ImageFormat::png();
    }
    bool legacyReviewRequested() const { return arguments.contains(QStringLiteral("--legacy-review")); }
};

using Environment = std::shared_ptr<const PipelineEnvironment>;

} // namespace BrindlecastApp::Pipeline
