#pragma once

#include "AuditKit/AuditLog.h"
#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "BrindlecastApp/Pipeline/WatermarkStamp.h"
#include "DetectionKit/Detection.h"
#include "ExportKit/ExportTypes.h"

#include <QImage>
#include <QString>
#include <optional>
#include <vector>

namespace BrindlecastApp::Pipeline {

// A capture's working copy before it is written: the mandatory redactions (in the scramble look)
// and the watermark burnt in, encoded as PNG. Suggested detections stay visible: the editor
// hides them.
struct RenderedWorkingCopy {
    QImage image;
    ExportKit::Export png;
    std::optional<WatermarkStamp> stamp;
    // The capture's time: the watermark shows it and the file is named for it, so that reopening
    // can tell the mark for the capture's own however long the encoding took.
    QDateTime takenAt;
};

// Any thread. `mark`, when it shows a time, shows `takenAt`. Throws ExportError.
RenderedWorkingCopy renderWorkingCopy(const QImage& captured, const std::vector<DetectionKit::Detection>& detections,
                                      const std::optional<ExportKit::Watermark>& mark, const QDateTime& takenAt);

// A working copy in the library folder.
struct SavedWorkingCopy {
    QImage image;
    QString path;
    std::optional<WatermarkStamp> stamp;
};

// GUI thread. Writes the rendered copy as a new "Screenshot ... .png" (of its `takenAt`) in the library folder
// (made first when missing), records its "workingCopy" export and announces it to the library
// and the floating thumbnail. Throws Support::IoError; nothing is recorded or announced then.
SavedWorkingCopy saveWorkingCopy(const PipelineEnvironment& env, const RenderedWorkingCopy& rendered,
                                 AuditKit::AuditLog& audit);

// GUI thread. Lists the new file in the library and shows the floating thumbnail when the
// settings ask for it; a tap opens the capture in the editor while the library still lists it.
void registerCapture(const PipelineEnvironment& env, const QString& path, const QImage& image);

} // namespace BrindlecastApp::Pipeline
