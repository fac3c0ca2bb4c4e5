#pragma once

#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "DetectionKit/Detection.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
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
// its own. It shows the capture's windows at the same places, so it is searched again only where
// it shows what the capture does not (what lay under docks and panels, what changed between the
// two captures), and only when a pattern can be mandatory at all: faces never are.
// Any thread. Throws ExportError when a redaction cannot be drawn.
PreparedCompanion prepareCompanion(const PipelineEnvironment& env, const QImage& companion, const QImage& capture,
                                   const std::vector<DetectionKit::Detection>& captureDetections,
                                   const std::vector<DetectionKit::PatternInput>& patterns);

// The full-width bands of rows, `margin` rows wider on either side (so a line of text only partly
// covered is read whole), in which the companion shows a pixel the capture does not. Where the
// companion is transparent (the desktop's place) it shows nothing. Images of one size.
std::vector<QRect> changedBands(const QImage& capture, const QImage& companion, int margin);

} // namespace BrindlecastApp::Pipeline
