#pragma once

#include "DetectionKit/Detection.h"
#include "ExportKit/ExportTypes.h"
#include "SidecarKit/Annotation.h"

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
    };
    struct Cancel {};

    std::variant<Export, Cancel> value = Cancel{};

    static ReviewDecision cancel() { return {Cancel{}}; }
    static ReviewDecision exportTo(std::vector<DetectionKit::Detection> redact,
                                   std::vector<SidecarKit::Annotation> annotations,
                                   ExportKit::DestinationKind destination) {
        return {Export{std::move(redact), std::move(annotations), destination}};
    }
    bool isCancel() const { return std::holds_alternative<Cancel>(value); }
};

} // namespace BrindlecastApp
