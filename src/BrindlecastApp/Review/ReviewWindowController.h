#pragma once

#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Review/ReviewDecision.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSizeF>

#include <functional>
#include <memory>
#include <vector>

namespace BrindlecastApp {

class ReviewShellView;
class Theme;

// What a review window takes from its surroundings; the defaults are the real ones.
struct ReviewWindowOptions {
    Theme* theme = nullptr; // the application's theme, for its accent; the default accent without
    ReviewViewModel::Environment environment;
    ReviewCanvasView::Services services;
};

// The stand-alone "Review & Export" window: a capture reviewed on the canvas before it leaves the
// machine, ending in exactly one decision for its caller (export to one destination with its
// redactions, annotations and crop, or cancel). Every review has a window of its own and lives
// until its own decision, however many are open; closing the window in any way is a cancel. The
// window is not modal and is never reused.
class ReviewWindowController : public QObject {
    Q_OBJECT
public:
    using Decided = std::function<void(const ReviewDecision&)>;

    using Options = ReviewWindowOptions;

    // Opens the window over a new review model of `image` and `detections` under `policy`, with
    // `seed` annotations (the first selected). `decided` is called exactly once; `onMandatoryTamper`
    // on the first attempt to release a mandatory redaction. GUI thread.
    static ReviewWindowController* present(const QImage& image, const std::vector<DetectionKit::Detection>& detections,
                                           const PolicyKit::EffectivePolicy& policy,
                                           const std::vector<SidecarKit::Annotation>& seed,
                                           std::function<void()> onMandatoryTamper, Decided decided, Options options = {});

    // The content size asked for an image of `pixels`: half of it plus room for the cards,
    // at most 1000 x 700 points.
    static QSizeF contentSize(QSize pixels);

    // The reviews waiting for a decision, oldest first.
    static QList<ReviewWindowController*> openReviews();

    ~ReviewWindowController() override;

    EditorWindowChrome* window() const { return window_; }
    ReviewShellView* shell() const { return shell_; }
    ReviewViewModel& model() const { return *model_; }
    bool isDecided() const { return !decided_; }

    static inline const QString kTitle = QStringLiteral("Review & Export");

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ReviewWindowController(const QImage& image, const std::vector<DetectionKit::Detection>& detections,
                           const PolicyKit::EffectivePolicy& policy, std::function<void()> onMandatoryTamper,
                           Decided decided, Options options);
    // Hands `decision` to the caller once, then closes the window and lets the review go.
    void decide(const ReviewDecision& decision, bool closeWindow);
    void release();

    Decided decided_;
    std::unique_ptr<ReviewViewModel> model_;
    QPointer<EditorWindowChrome> window_;
    ReviewShellView* shell_ = nullptr;
};

} // namespace BrindlecastApp
