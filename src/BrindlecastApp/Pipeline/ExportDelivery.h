#pragma once

#include "AuditKit/AuditLog.h"
#include "BrindlecastApp/Pipeline/Background.h"
#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "BrindlecastApp/Pipeline/WatermarkStamp.h"
#include "DetectionKit/Detection.h"
#include "ExportKit/ExportTypes.h"
#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <QImage>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace BrindlecastApp::Pipeline {

// One export: what to render and where it goes. Rectangles are image pixels, top-left origin.
struct ExportRequest {
    QImage image;
    std::vector<DetectionKit::Detection> redact;
    std::vector<SidecarKit::Annotation> annotations;
    ExportKit::Backdrop backdrop = ExportKit::Backdrop::none();
    std::optional<Support::Rect> crop;
    SidecarKit::Annotation::RedactionStyle redactionStyle = SidecarKit::Annotation::RedactionStyle::scramble;
    // Nothing: the clipboard when the policy allows it, else the folder.
    std::optional<ExportKit::DestinationKind> destination;
    // The watermark `image` already carries, when it is this capture's own marked working copy.
    std::optional<WatermarkStamp> sourceStamp;
};

// The redaction count per detector name.
std::map<QString, qint64> detectorCounts(const std::vector<DetectionKit::Detection>& detections);

// Crops, redacts, records the "redaction" event, flattens the annotations, lays the backdrop,
// draws the watermark and encodes. The watermark is left off only when the output still shows
// the source's own mark whole and that mark has the parts the policy asks for now; so no export
// of a watermarking policy leaves without a mark, and none gets two. Any thread. Throws
// ExportError (the redaction event stays recorded when a later step fails).
ExportKit::Export renderExport(const ExportRequest& request, const ExportKit::ImageFormat& format,
                               const std::optional<ExportKit::Watermark>& mark, AuditKit::AuditLog& audit);

// Delivers the encoded image to the clipboard or into the library folder (made first, even when
// the policy then refuses the folder) within what the policy allows, and records the "export"
// event. Returns the written file's path for a folder delivery. GUI thread. Throws ExportError or
// Support::IoError.
std::optional<QString> deliver(const PipelineEnvironment& env, const ExportKit::Export& exported,
                               const ExportKit::ImageFormat& format,
                               std::optional<ExportKit::DestinationKind> destination,
                               const PolicyKit::EffectivePolicy& policy, AuditKit::AuditLog& audit);

using ExportFinished = std::function<void(Outcome<std::optional<QString>>)>;

// The whole export: the settings' image format is read now, the image is rendered on a worker
// and delivered back on the GUI thread; `finished` gets the path (folder) or nothing
// (clipboard), or the failure. Call on the GUI thread.
void exportAndDeliver(const Environment& env, ExportRequest request, const PolicyKit::EffectivePolicy& policy,
                      std::shared_ptr<AuditKit::AuditLog> audit, ExportFinished finished);

} // namespace BrindlecastApp::Pipeline
