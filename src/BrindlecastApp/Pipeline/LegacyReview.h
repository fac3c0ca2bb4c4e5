#pragma once

#include "BrindlecastApp/Pipeline/Background.h"
#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "BrindlecastApp/Review/ReviewDecision.h"
#include "SidecarKit/Annotation.h"

#include <functional>

namespace BrindlecastApp::Pipeline {

// The stand-alone review window: one decision per capture, export or cancel. GUI thread only.
class ReviewPresenter {
public:
    virtual ~ReviewPresenter() = default;
    // Shows the capture for review and calls `decided` exactly once with the user's decision
    // (closing the window is a cancel). `onMandatoryTamper` is called on the first attempt to
    // release a mandatory redaction.
    virtual void present(const QImage& image, const std::vector<DetectionKit::Detection>& detections,
                         const PolicyKit::EffectivePolicy& policy, const std::vector<SidecarKit::Annotation>& seed,
                         std::function<void()> onMandatoryTamper, std::function<void(const ReviewDecision&)> decided) = 0;
};

// The capture road of "--legacy-review": without mandatory findings or mandatory review the
// capture is exported at once with every finding hidden (nobody saw them); otherwise the review
// window decides. Both go by the policy of the moment they leave (`policy` is the one the
// capture began with, and `detections` were looked for under it): what it made mandatory since
// is looked for again and hidden. No working copy is written and the library is not told.
// `finished` gets true when an export was made, false when the user cancelled, or the failure
// of the export or of looking again. GUI thread.
void runLegacyReview(const Environment& env, const QImage& image, const std::vector<DetectionKit::Detection>& detections,
                     const PolicyKit::EffectivePolicy& policy, const std::shared_ptr<AuditKit::AuditLog>& audit,
                     std::function<void(Outcome<bool>)> finished);

} // namespace BrindlecastApp::Pipeline
