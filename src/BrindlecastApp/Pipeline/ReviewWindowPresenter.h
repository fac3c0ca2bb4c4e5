#pragma once

#include "BrindlecastApp/Pipeline/LegacyReview.h"
#include "BrindlecastApp/Review/ReviewWindowController.h"

namespace BrindlecastApp {

// The review road's window: each capture the pipeline sends for review opens a review window of
// its own, whose decision goes back to the pipeline.
class ReviewWindowPresenter final : public Pipeline::ReviewPresenter {
public:
    explicit ReviewWindowPresenter(ReviewWindowOptions options = {}) : options_(std::move(options)) {}

    void present(const QImage& image, const std::vector<DetectionKit::Detection>& detections,
                 const PolicyKit::EffectivePolicy& policy, const std::vector<SidecarKit::Annotation>& seed,
                 std::function<void()> onMandatoryTamper, std::function<void(const ReviewDecision&)> decided) override {
        ReviewWindowController::present(image, detections, policy, seed, std::move(onMandatoryTamper), std::move(decided),
                                        options_);
    }

private:
    ReviewWindowOptions options_;
};

} // namespace BrindlecastApp
