#include "BrindlecastApp/Pipeline/Companion.h"

#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "ExportKit/Exporter.h"

namespace BrindlecastApp::Pipeline {

namespace {

QString sizeText(QSize size) { return QStringLiteral("%1x%2").arg(size.width()).arg(size.height()); }

} // namespace

PreparedCompanion prepareCompanion(const PipelineEnvironment& env, const QImage& companion, QSize captureSize,
                                   const std::vector<DetectionKit::Detection>& captureDetections,
                                   const std::vector<DetectionKit::PatternInput>& patterns) {
    if (companion.size() != captureSize) {
        env.log.error("desktop-less image left out: " + sizeText(companion.size()) + " does not match the capture's " +
                      sizeText(captureSize));
        return {};
    }
    std::vector<DetectionKit::Detection> hidden = mandatoryDetections(captureDetections);
    try {
        const DetectionKit::DetectionResult own = env.detect(companion, patterns);
        for (const DetectionKit::Detection& detection : mandatoryDetections(own.detections)) hidden.push_back(detection);
    } catch (...) {
        env.log.error("desktop-less detection failed: " + describe(std::current_exception()));
        return {};
    }

    const QImage redacted =
        hidden.empty() ? companion
                       : ExportKit::Exporter::redact(companion, hidden, SidecarKit::Annotation::RedactionStyle::scramble);
    PreparedCompanion prepared{redacted, std::nullopt};
    try {
        prepared.png = ExportKit::Exporter::encode(redacted, ExportKit::ImageFormat::png()).data();
    } catch (const ExportKit::ExportError&) {
        // Not written then; the editor still gets the image.
    }
    return prepared;
}

} // namespace BrindlecastApp::Pipeline
