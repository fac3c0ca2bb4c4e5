#include "BrindlecastApp/Pipeline/ExportDelivery.h"

#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "Support/Folders.h"
#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "ExportKit/Exporter.h"

#include <QFileInfo>

namespace BrindlecastApp::Pipeline {

namespace Exporter = ExportKit::Exporter;
using ExportKit::DestinationKind;

std::map<QString, qint64> detectorCounts(const std::vector<DetectionKit::Detection>& detections) {
    std::map<QString, qint64> counts;
    for (const DetectionKit::Detection& detection : detections) ++counts[detection.detectorName()];
    return counts;
}

ExportKit::Export renderExport(const ExportRequest& request, const ExportKit::ImageFormat& format,
                               const std::optional<ExportKit::Watermark>& mark, AuditKit::AuditLog& audit) {
    QImage image = request.image;
    std::vector<DetectionKit::Detection> redact = request.redact;
    std::vector<SidecarKit::Annotation> annotations = request.annotations;
    // Where the source's pixel (0, 0) lies in the output.
    QPoint sourceOrigin(0, 0);

    if (request.crop) {
        // The pixels the crop really keeps: rounded outward and clipped to the image. Everything
        // drawn later moves by that origin.
        if (const std::optional<QRect> kept = Exporter::effectiveCropRect(image.size(), *request.crop)) {
            image = Exporter::crop(image, *request.crop);
            const double dx = -kept->x(), dy = -kept->y();
            for (auto& detection : redact) detection = detection.translated(dx, dy);
            for (auto& annotation : annotations) annotation = annotation.translated(dx, dy);
            sourceOrigin = -kept->topLeft();
        }
    }

    image = Exporter::redact(image, redact, request.redactionStyle);
    audit.record(AuditKit::AuditEvent::redaction(detectorCounts(redact)));

    if (!annotations.empty()) image = Exporter::flatten(image, annotations);

    const QSize beforeBackdrop = image.size();
    image = Exporter::applyBackdrop(image, request.backdrop);
    sourceOrigin += QPoint((image.width() - beforeBackdrop.width()) / 2, (image.height() - beforeBackdrop.height()) / 2);

    const bool markAlreadyShown = request.sourceStamp && request.sourceStamp->sameParts(mark) &&
                                  request.sourceStamp->isWholeIn(image, sourceOrigin);
    if (!markAlreadyShown) image = Exporter::watermark(image, mark);

    return Exporter::encode(image, format);
}

std::optional<QString> deliver(const PipelineEnvironment& env, const ExportKit::Export& exported,
                               const ExportKit::ImageFormat& format, std::optional<DestinationKind> destination,
                               const PolicyKit::EffectivePolicy& policy, AuditKit::AuditLog& audit) {
    const ExportKit::DestinationSet allowed = allowedDestinations(policy);
    const DestinationKind road =
        destination.value_or(allowed.count(DestinationKind::clipboard) ? DestinationKind::clipboard : DestinationKind::folder);

    if (road == DestinationKind::clipboard) {
        Exporter::copyToClipboard(exported, format, allowed, *env.clipboard);
        audit.record(AuditKit::AuditEvent::export_("clipboard", exported.sha256Hex()));
        return std::nullopt;
    }

    const QString folder = env.libraryFolder();
    Support::Folders::create(folder);
    const QString extension = format.isPng() ? "png" : "jpg";
    const QString filename = QFileInfo(uniquePath(folder, screenshotFilename(env.now(), extension))).fileName();
    const Exporter::FolderDelivery written = Exporter::writeToFolder(exported, filename, folder, allowed);
    audit.record(AuditKit::AuditEvent::export_("folder", exported.sha256Hex()));
    env.log.notice("exported to " + written.path);
    return written.path;
}

void exportAndDeliver(const Environment& env, ExportRequest request, const PolicyKit::EffectivePolicy& policy,
                      std::shared_ptr<AuditKit::AuditLog> audit, ExportFinished finished) {
    const ExportKit::ImageFormat format = env->exportFormat();
    const std::optional<DestinationKind> destination = request.destination;
    inBackground<ExportKit::Export>(
        [env, request = std::move(request), policy, audit, format] {
            const auto mark = watermark(policy, env->userName, env->deviceName, env->now());
            return renderExport(request, format, mark, *audit);
        },
        [env, policy, audit, format, destination,
         finished = std::move(finished)](Outcome<ExportKit::Export> rendered) {
            Outcome<std::optional<QString>> outcome;
            if (!rendered.succeeded()) {
                outcome.error = rendered.error;
            } else {
                try {
                    outcome.value.emplace(deliver(*env, *rendered.value, format, destination, policy, *audit));
                } catch (...) {
                    outcome.error = std::current_exception();
                }
            }
            finished(std::move(outcome));
        });
}

} // namespace BrindlecastApp::Pipeline
