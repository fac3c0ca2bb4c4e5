#pragma once

#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "DetectionKit/Detection.h"

#include <QByteArray>
#include <QImage>
#include <optional>
#include <vector>

namespace BrindlecastApp::Pipeline {

// The desktop-less companion of a capture, ready to be written beside the working copy and
// handed to the editor for backdrops.
struct PreparedCompanion {
    // Nothing when it cannot be used: another pixel size than the capture, or its own detection
    // failed (so nobody can say what it shows).
    std::optional<QImage> image;
    // Its PNG bytes; nothing when encoding failed (the image still goes to the editor).
    std::optional<QByteArray> png;
};

// Hides in the companion every mandatory finding of the capture and every mandatory finding of
// its own: it shows what lay under docks and panels, and what changed between the two captures.
// Any thread. Throws ExportError when a redaction cannot be drawn.
PreparedCompanion prepareCompanion(const PipelineEnvironment& env, const QImage& companion, QSize captureSize,
                                   const std::vector<DetectionKit::Detection>& captureDetections,
                                   const std::vector<DetectionKit::PatternInput>& patterns);

} // namespace BrindlecastApp::Pipeline
