#pragma once

#include "BrindlecastApp/Pipeline/Background.h"
#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "DetectionKit/PIIDetector.h"

#include <QImage>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace BrindlecastApp::Pipeline {

// A capture's findings and the mandatory patterns they were looked for with.
struct SearchedFindings {
    std::vector<DetectionKit::Detection> detections;
    DetectionKit::PIIDetector::MandatoryPatterns searchedWith;
};

// The policy of the moment something leaves, and the capture's findings under it.
struct LeavingFindings {
    PolicyKit::EffectivePolicy policy;
    SearchedFindings findings;
    // The findings were looked for again: the policy made a pattern mandatory meanwhile.
    bool searchedAgain = false;
};

// Whether `findings` hold everything `policy` makes mandatory.
bool findingsCover(const SearchedFindings& findings, const PolicyKit::EffectivePolicy& policy);

// The policy as it stands now, and the findings as they stand under it: when it makes a pattern
// mandatory that the findings were not looked for with (it was written after the capture began),
// `image` is searched again with its patterns, and their findings replace the old ones; a policy
// changed again meanwhile is read again. Any thread; throws when detection fails, or when the
// policy keeps changing faster than the capture can be searched.
LeavingFindings findingsUnderCurrentPolicy(const PipelineEnvironment& env, const QImage& image,
                                           SearchedFindings findings);

// The same on a worker (the policy's files are not ours to read on the GUI thread); `then` gets
// the outcome on the GUI thread. Call on the GUI thread.
void whenCheckedAgainstCurrentPolicy(const Environment& env, QImage image, SearchedFindings findings,
                                     std::function<void(Outcome<LeavingFindings>)> then);

// Why the policy keeps the automatic copy from going to the clipboard, or nothing when it lets it
// go: the clipboard is not allowed, or every capture must be reviewed first. Mandatory findings,
// which keep it back too, are the caller's to look at.
std::optional<QString> automaticCopyWithheldBy(const PolicyKit::EffectivePolicy& policy);

} // namespace BrindlecastApp::Pipeline
