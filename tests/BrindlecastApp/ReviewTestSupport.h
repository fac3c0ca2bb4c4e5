#pragma once

#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "DetectionKit/DetectionTesting.h"

#include <QImage>
#include <QString>

#include <memory>
#include <ostream>

// Readable failure messages for the values the review tests compare.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace Support {
inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << ", " << r.height() << ")";
}
inline void PrintTo(const Point& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }
} // namespace Support

namespace ReviewTesting {

using BrindlecastApp::ReviewViewModel;
using DetectionKit::Detection;
using DetectionKit::PatternAction;

inline QImage blankImage(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

inline Detection detection(PatternAction action, Support::Rect box, QString text = "x", QString detector = "email") {
    return DetectionKit::DetectionTesting::make(std::move(detector), action, box, std::move(text));
}
inline Detection suggestedAt(double x, QString text = "x") {
    return detection(PatternAction::blurSuggested, {x, 0, 10, 10}, std::move(text));
}
inline Detection mandatoryAt(double x, QString text = "x") {
    return detection(PatternAction::blurMandatory, {x, 0, 10, 10}, std::move(text));
}

// A model over a blank image of the given size, on a screen of the given scale, with a detector
// that finds nothing unless one is given.
struct ModelOptions {
    int width = 1600;
    int height = 900;
    double screenScale = 2;
    std::vector<Detection> detections = {};
    PolicyKit::EffectivePolicy policy = PolicyKit::EffectivePolicy::safeDefaults();
    std::optional<QImage> contentImage = std::nullopt;
    std::function<void()> onTamper = [] {};
    ReviewViewModel::DetectFunction detect = [](const QImage&, const std::vector<DetectionKit::PatternInput>&) {
        return std::vector<Detection>{};
    };
};

inline std::unique_ptr<ReviewViewModel> makeModel(ModelOptions options = {}) {
    return std::make_unique<ReviewViewModel>(blankImage(options.width, options.height), options.detections,
                                             options.policy, options.contentImage, options.onTamper,
                                             ReviewViewModel::Environment{options.screenScale, options.detect});
}

} // namespace ReviewTesting
