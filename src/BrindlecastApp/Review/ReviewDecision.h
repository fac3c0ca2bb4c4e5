#pragma once

#include "DetectionKit/Detection.h"
#include "ExportKit/ExportTypes.h"
#include "SidecarKit/Annotation.h"

#include "Support/Geometry.h"

#include <optional>
#include <variant>
#include <vector>

namespace BrindlecastApp {

// How a review in the review window ends: an export of the kept redactions and the annotations to
// one destination, or nothing at all.
struct ReviewDecision {
    struct Export {
        std::vector<DetectionKit::Detection> redact;
        std::vector<SidecarKit::Annotation> annotations;
        ExportKit::DestinationKind destination = ExportKit::DestinationKind::clipboard;
        // The crop the user committed in the window (image pixels); the export keeps only it.
        std::optional<Support::Rect> crop;
    };
    struct Cancel {};

    std::variant<Export, Cancel> value = Cancel{};

    static ReviewDecision cancel() { return {Cancel{}}; }
    static ReviewDecision exportTo(std::vector<DetectionKit::Detection> redact,
                                   std::vector<SidecarKit::Annotation> annotations,
                                   ExportKit::DestinationKind destination,
                                   std::optional<Support::Rect> crop = std::nullopt) {
        return {Export{std::move(redact), std::move(annotations), destination, crop}};
    }
    bool isCancel() const { return std::holds_alternative<Cancel>(value); }
};

} // namespace BrindlecastApp
