// The detections of ReviewViewModel: what an export redacts, releasing suggested redactions,
// running detection again off the GUI thread, and the once-only tamper report.

#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "Support/Log.h"
#include "Support/WorkerPool.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <algorithm>

namespace BrindlecastApp {

using DetectionKit::Detection;

namespace {

using Found = std::optional<DetectionKit::DetectionResult>;

// Two detections are the same finding when their boxes agree in all four values and their
// matched texts are equal.
bool sameFinding(const Detection& a, const Detection& b) {
    return a.boundingBox() == b.boundingBox() && a.matchedText() == b.matchedText();
}

const Support::Logger& reviewLog() {
    static const Support::Logger log("app.brindlecast", "review");
    return log;
}

} // namespace

std::vector<Detection> ReviewViewModel::detectionsToRedact() const {
    std::vector<Detection> redact = mandatory_;
    for (std::size_t i = 0; i < suggested_.size(); ++i) {
        if (!releasedSuggested_.contains(int(i))) redact.push_back(suggested_[i]);
    }
    return redact;
}

void ReviewViewModel::toggleSuggested(int index) {
    if (index < 0 || index >= int(suggested_.size())) return;
    std::set<int> released = releasedSuggested_;
    if (!released.erase(index)) released.insert(index);
    setReleasedSuggested(std::move(released));
}

void ReviewViewModel::toggleAllSuggested() {
    std::set<int> released;
    if (releasedSuggested_.size() < suggested_.size()) {
        for (int i = 0; i < int(suggested_.size()); ++i) released.insert(i);
    }
    setReleasedSuggested(std::move(released));
}

void ReviewViewModel::reportMandatoryTamper() {
    if (tamperReported_) return;
    tamperReported_ = true;
    if (onMandatoryTamper_) onMandatoryTamper_();
}

void ReviewViewModel::setDetectingPII(bool detecting) {
    if (detectingPII_ == detecting) return;
    detectingPII_ = detecting;
    announce(&ReviewViewModel::detectingPIIChanged);
}

void ReviewViewModel::runDetectPII() {
    if (detectingPII_) return;
    startDetection(piiPatterns_);
}

void ReviewViewModel::startDetection(std::vector<DetectionKit::PatternInput> patterns) {
    setDetectingPII(true);
    const DetectionKit::PIIDetector::MandatoryPatterns looksFor = DetectionKit::PIIDetector::mandatoryPatterns(patterns);

    // The watcher belongs to the model: a model destroyed while detection runs takes it along,
    // and the result is never delivered to it.
    auto* watcher = new QFutureWatcher<Found>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, looksFor] {
        const Found found = watcher->result();
        watcher->deleteLater();
        if (found) {
            mergeDetections(found->detections);
            mandatoryCovered_.insert(looksFor.begin(), looksFor.end());
        }
        setDetectingPII(false);
        auto waiters = std::move(settledWaiters_);
        settledWaiters_.clear();
        for (auto& then : waiters) then();
        // Last: the owner learns of it with the model settled.
        if (found && !found->unfinished.empty() && onUnfinishedPatterns_) onUnfinishedPatterns_(found->unfinished);
    });
    watcher->setFuture(QtConcurrent::run(&Support::workerPool(), [detect = detect_, image = image_, patterns = std::move(patterns)]() -> Found {
        try {
            return detect(image, patterns);
        } catch (const std::exception& error) {
            reviewLog().error(QStringLiteral("detection run failed, detections unchanged: %1").arg(error.what()));
        } catch (...) {
            reviewLog().error(QStringLiteral("detection run failed, detections unchanged"));
        }
        return std::nullopt;
    }));
}

void ReviewViewModel::whenDetectionsSettled(std::function<void()> then) {
    if (!then) return;
    if (!detectingPII_) {
        then();
        return;
    }
    settledWaiters_.push_back(std::move(then));
}

PolicyKit::EffectivePolicy ReviewViewModel::currentPolicy() const { return currentPolicy_(); }

void ReviewViewModel::setCurrentPolicySource(std::function<PolicyKit::EffectivePolicy()> source) {
    if (source) currentPolicy_ = std::move(source);
}

bool ReviewViewModel::detectionsCover(const PolicyKit::EffectivePolicy& policy) const {
    const auto wanted = DetectionKit::PIIDetector::mandatoryPatterns(patternInputsOf(policy));
    return std::includes(mandatoryCovered_.begin(), mandatoryCovered_.end(), wanted.begin(), wanted.end());
}

void ReviewViewModel::whenDetectionsCover(const PolicyKit::EffectivePolicy& policy, std::function<void(bool covered)> then) {
    if (!then) return;
    whenDetectionsSettled([this, policy, then = std::move(then)] {
        if (detectionsCover(policy)) return then(true);
        // Several waiters may ask at once: the first starts the run, the others wait for it.
        if (!detectingPII_) startDetection(patternInputsOf(policy));
        whenDetectionsSettled([this, policy, then] { then(detectionsCover(policy)); });
    });
}

std::vector<Detection> ReviewViewModel::detectionsPresent() const {
    std::vector<Detection> present = mandatory_;
    present.insert(present.end(), suggested_.begin(), suggested_.end());
    return present;
}

void ReviewViewModel::mergeDetections(const std::vector<Detection>& found) {
    // Only what was present before counts as known, so equal new findings are all kept; appending
    // keeps every released index on its detection. A mandatory finding is known only as a
    // mandatory one: a suggestion the user released becomes mandatory when a pattern now says so.
    const std::vector<Detection> known = detectionsPresent();
    const std::vector<Detection> knownMandatory = mandatory_;
    bool added = false;
    for (const Detection& d : found) {
        const std::vector<Detection>& among =
            d.action() == DetectionKit::PatternAction::blurMandatory ? knownMandatory : known;
        if (std::any_of(among.begin(), among.end(), [&](const Detection& k) { return sameFinding(k, d); })) continue;
        (d.action() == DetectionKit::PatternAction::blurMandatory ? mandatory_ : suggested_).push_back(d);
        added = true;
    }
    if (added) announce(&ReviewViewModel::detectionsChanged);
}

} // namespace BrindlecastApp
