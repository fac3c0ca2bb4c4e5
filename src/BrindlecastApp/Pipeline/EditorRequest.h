#pragma once

#include "AuditKit/AuditLog.h"
#include "BrindlecastApp/Pipeline/WatermarkStamp.h"
#include "DetectionKit/Detection.h"
#include "PolicyKit/EffectivePolicy.h"
#include "SidecarKit/Annotation.h"

#include <QImage>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace BrindlecastApp::Pipeline {

// One capture handed to the editor: a new capture's working copy, or one opened again.
struct EditorRequest {
    // The working copy's pixels (mandatory redactions and watermark drawn).
    QImage image;
    std::vector<DetectionKit::Detection> detections;
    PolicyKit::EffectivePolicy policy;
    std::shared_ptr<AuditKit::AuditLog> audit;
    QString modeName;
    QString path;
    std::vector<SidecarKit::Annotation> seedAnnotations;
    // The desktop-less companion, for backdrops.
    std::optional<QImage> contentImage;
    // The companion is still being prepared; EditSession::companionReady brings it.
    bool contentImagePending = false;
    // The watermark `image` carries, when this run drew it.
    std::optional<WatermarkStamp> stamp;
    // The stored annotations exist but could not be read: this edit must never write over them.
    bool storedAnnotationsUnreadable = false;
};

} // namespace BrindlecastApp::Pipeline
