#include "BrindlecastApp/Pipeline/WorkingCopy.h"

#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "Support/Folders.h"
#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "ExportKit/Exporter.h"

namespace BrindlecastApp::Pipeline {

RenderedWorkingCopy renderWorkingCopy(const QImage& captured, const std::vector<DetectionKit::Detection>& detections,
                                      const std::optional<ExportKit::Watermark>& mark, const QDateTime& takenAt) {
    const std::vector<DetectionKit::Detection> mandatory = mandatoryDetections(detections);
    const QImage redacted =
        mandatory.empty() ? captured
                          : ExportKit::Exporter::redact(captured, mandatory, SidecarKit::Annotation::RedactionStyle::scramble);
    MarkedImage marked = applyWatermark(redacted, mark);
    ExportKit::Export png = ExportKit::Exporter::encode(marked.image, ExportKit::ImageFormat::png());
    return {std::move(marked.image), std::move(png), std::move(marked.stamp), takenAt};
}

SavedWorkingCopy saveWorkingCopy(const PipelineEnvironment& env, const RenderedWorkingCopy& rendered,
                                 AuditKit::AuditLog& audit) {
    const QString folder = env.libraryFolder();
    Support::Folders::create(folder);
    const QString path = writeNewFile(folder, screenshotFilename(rendered.takenAt, "png"), rendered.png.data());
    audit.record(AuditKit::AuditEvent::export_("workingCopy", rendered.png.sha256Hex()));
    registerCapture(env, path, rendered.image);
    return {rendered.image, path, rendered.stamp};
}

void registerCapture(const PipelineEnvironment& env, const QString& path, const QImage& image) {
    if (!env.host) return;
    env.host->addWrittenToLibrary(path, image);
    if (!env.host->settings().showFloatingThumbnail) return;
    std::weak_ptr<PipelineHost> weakHost = env.host;
    env.host->showFloatingThumbnail(image, env.now(), [weakHost, path] {
        const std::shared_ptr<PipelineHost> host = weakHost.lock();
        if (host && host->libraryPaths().contains(path)) host->openRecentInEditor(path);
    });
}

} // namespace BrindlecastApp::Pipeline
