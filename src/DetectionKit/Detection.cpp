#include "DetectionKit/Detection.h"

namespace DetectionKit {

QString rawValue(PatternAction action) {
    switch (action) {
    case PatternAction::blurMandatory:
        return QStringLiteral("blur-mandatory");
    case PatternAction::blurSuggested:
        return QStringLiteral("blur-suggested");
    }
    return {};
}

std::optional<PatternAction> patternActionFromRawValue(const QString& raw) {
    if (raw == QLatin1String("blur-mandatory")) return PatternAction::blurMandatory;
    if (raw == QLatin1String("blur-suggested")) return PatternAction::blurSuggested;
    return std::nullopt;
}

Detection Detection::translated(double dx, double dy) const {
    Detection copy = *this;
    copy.boundingBox_ = boundingBox_.offsetBy(dx, dy);
    return copy;
}

namespace {
// An error with no message of its own reads the way the platform words any such error.
constexpr const char* kContextUnavailableText =
    "The operation couldn\u2019t be completed. (DetectionKit.DetectionError error 0.)";
} // namespace

QString DetectionError::description() const {
    return QString::fromUtf8(kContextUnavailableText);
}

const char* DetectionError::what() const noexcept {
    return kContextUnavailableText;
}

} // namespace DetectionKit
