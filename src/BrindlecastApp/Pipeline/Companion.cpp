#include "BrindlecastApp/Pipeline/Companion.h"

#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "ExportKit/Exporter.h"

#include <algorithm>
#include <cstring>

namespace BrindlecastApp::Pipeline {

namespace {

// Rows around a change that are read with it: more than the tallest line of text on a screen.
constexpr int kBandMargin = 96;

QString sizeText(QSize size) { return QStringLiteral("%1x%2").arg(size.width()).arg(size.height()); }

bool anyMandatory(const std::vector<DetectionKit::PatternInput>& patterns) {
    return std::any_of(patterns.begin(), patterns.end(), [](const DetectionKit::PatternInput& p) {
        return p.action == DetectionKit::PatternAction::blurMandatory;
    });
}

// The mandatory findings of the companion's own that the capture could not have: those in the
// bands where it shows something else.
std::vector<DetectionKit::Detection> ownMandatoryFindings(const PipelineEnvironment& env, const QImage& companion,
                                                          const QImage& capture,
                                                          const std::vector<DetectionKit::PatternInput>& patterns) {
    std::vector<DetectionKit::Detection> found;
    if (!anyMandatory(patterns)) return found;
    const auto& detect = env.detectText ? env.detectText : env.detect;
    for (const QRect& band : changedBands(capture, companion, kBandMargin)) {
        const DetectionKit::DetectionResult own = detect(companion.copy(band), patterns);
        for (const DetectionKit::Detection& detection : mandatoryDetections(own.detections))
            found.push_back(detection.translated(band.x(), band.y()));
    }
    return found;
}

} // namespace

std::vector<QRect> changedBands(const QImage& capture, const QImage& companion, int margin) {
    const QImage shown = capture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage content = companion.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = content.width(), height = content.height();
    std::vector<QRect> bands;
    for (int y = 0; y < height; ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(content.constScanLine(y));
        if (std::memcmp(a, b, std::size_t(width) * sizeof(QRgb)) == 0) continue;
        bool changed = false;
        for (int x = 0; x < width && !changed; ++x) changed = qAlpha(b[x]) != 0 && a[x] != b[x];
        if (!changed) continue;
        const int top = std::max(0, y - margin), bottom = std::min(height - 1, y + margin);
        if (!bands.empty() && top <= bands.back().bottom() + 1)
            bands.back().setBottom(bottom);
        else
            bands.push_back(QRect(0, top, width, bottom - top + 1));
    }
    return bands;
}

PreparedCompanion prepareCompanion(const PipelineEnvironment& env, const QImage& companion, const QImage& capture,
                                   const std::vector<DetectionKit::Detection>& captureDetections,
                                   const std::vector<DetectionKit::PatternInput>& patterns) {
    if (companion.size() != capture.size()) {
        env.log.error("desktop-less image left out: " + sizeText(companion.size()) + " does not match the capture's " +
                      sizeText(capture.size()));
        return {};
    }
    std::vector<DetectionKit::Detection> hidden = mandatoryDetections(captureDetections);
    try {
        for (DetectionKit::Detection& own : ownMandatoryFindings(env, companion, capture, patterns))
            hidden.push_back(std::move(own));
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
