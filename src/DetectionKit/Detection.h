#pragma once

#include "Support/Geometry.h"

#include <QString>
#include <QStringList>
#include <exception>
#include <optional>
#include <vector>

namespace DetectionKit {

// What happens to a finding: always hidden, or hidden until the user releases it.
enum class PatternAction {
    blurMandatory, // "blur-mandatory"
    blurSuggested, // "blur-suggested"
};

QString rawValue(PatternAction action);
// Exact, case-sensitive; any other string gives nothing.
std::optional<PatternAction> patternActionFromRawValue(const QString& raw);

// A custom pattern handed to detection. When `name` equals a built-in detector's name it only
// changes that detector's action, and `regex` is ignored.
struct PatternInput {
    QString name;
    QString regex; // ICU syntax
    PatternAction action = PatternAction::blurSuggested;
};

class PIIDetector;
struct DetectionTesting;

// One finding. Only detection makes them (and `translated`), so the fields are read-only.
class Detection {
public:
    // A built-in name ("email", "ssn", "phone", "card", "iban", "ipv4"), a custom pattern's
    // name, or "face".
    const QString& detectorName() const { return detectorName_; }
    PatternAction action() const { return action_; }
    // Image pixels, origin at the top-left corner, y growing downwards.
    const Support::Rect& boundingBox() const { return boundingBox_; }
    // The text the pattern matched (not widened to the whole word); empty for faces. For a line a
    // mandatory pattern could not finish in time, the whole line.
    const QString& matchedText() const { return matchedText_; }

    // A copy whose box is moved by (dx, dy), e.g. into a cropped image's coordinates.
    Detection translated(double dx, double dy) const;

private:
    friend class PIIDetector;
    friend struct DetectionTesting;
    Detection(QString detectorName, PatternAction action, Support::Rect boundingBox, QString matchedText)
        : detectorName_(std::move(detectorName)), action_(action), boundingBox_(boundingBox),
          matchedText_(std::move(matchedText)) {}

    QString detectorName_;
    PatternAction action_;
    Support::Rect boundingBox_;
    QString matchedText_;
};

// A detector that could not finish some lines in time.
struct UnfinishedPattern {
    QString name;
    // Mandatory: those lines are hidden whole as its findings. Suggested: they were not searched
    // to the end.
    PatternAction action = PatternAction::blurSuggested;
    int lines = 0;
    friend bool operator==(const UnfinishedPattern&, const UnfinishedPattern&) = default;
};

// The outcome of one detection run.
struct DetectionResult {
    DetectionResult(std::vector<Detection> detections = {}, QStringList diagnostics = {},
                    std::vector<UnfinishedPattern> unfinished = {})
        : detections(std::move(detections)), diagnostics(std::move(diagnostics)), unfinished(std::move(unfinished)) {}

    std::vector<Detection> detections;
    // One line per skipped or unfinished pattern; never holds recognised text.
    QStringList diagnostics;
    // In detector order (built-ins, then custom patterns).
    std::vector<UnfinishedPattern> unfinished;
};

// The text extractor's failure: the censored copy of the image could not be made.
class DetectionError : public std::exception {
public:
    enum class Code { contextUnavailable };

    explicit DetectionError(Code code = Code::contextUnavailable) : code_(code) {}
    Code code() const { return code_; }
    QString description() const;
    const char* what() const noexcept override;

    friend bool operator==(const DetectionError& a, const DetectionError& b) { return a.code_ == b.code_; }

private:
    Code code_;
};

} // namespace DetectionKit
