#include "BrindlecastApp/Review/ReviewWindowController.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Design/Window/ScreenPlacement.h"
#include "BrindlecastApp/Design/Window/TrafficLightButton.h"
#include "BrindlecastApp/Review/ReviewShellView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double kStripHeight = 44;

QList<ReviewWindowController*>& reviews() {
    static QList<ReviewWindowController*> open;
    return open;
}

} // namespace

QSizeF ReviewWindowController::contentSize(QSize pixels) {
    return {std::min(pixels.width() / 2.0 + 40, 1000.0), std::min(pixels.height() / 2.0 + 110, 700.0)};
}

QList<ReviewWindowController*> ReviewWindowController::openReviews() { return reviews(); }

ReviewWindowController* ReviewWindowController::present(const QImage& image,
                                                        const std::vector<DetectionKit::Detection>& detections,
                                                        const PolicyKit::EffectivePolicy& policy,
                                                        const std::vector<SidecarKit::Annotation>& seed,
                                                        std::function<void()> onMandatoryTamper, Decided decided,
                                                        Options options) {
    auto* controller = new ReviewWindowController(image, detections, policy, std::move(onMandatoryTamper), std::move(decided),
                                                  std::move(options));
    if (!seed.empty()) {
        controller->model_->setAnnotations(seed);
        controller->model_->setSelectedAnnotationID(seed.front().id);
    }
    // Each review keeps its window and its caller until its own decision; a second review does
    // not take the first one's place.
    reviews().append(controller);

    EditorWindowChrome* window = controller->window_;
    const QSizeF size = contentSize(image.size());
    // Shrunk to a screen that holds less (a laptop at 2x), never placed off it.
    ScreenPlacement::centre(*window, QSize(int(std::ceil(size.width())), int(std::ceil(size.height()))));
    window->show();
    window->raise();
    window->activateWindow();
    return controller;
}

ReviewWindowController::ReviewWindowController(const QImage& image, const std::vector<DetectionKit::Detection>& detections,
                                               const PolicyKit::EffectivePolicy& policy,
                                               std::function<void()> onMandatoryTamper, Decided decided, Options options)
    : decided_(std::move(decided)),
      model_(std::make_unique<ReviewViewModel>(image, detections, policy, std::nullopt, std::move(onMandatoryTamper),
                                               options.environment)),
      window_(new EditorWindowChrome) {
    window_->setWindowTitle(kTitle);
    window_->setObjectName(QStringLiteral("reviewWindow"));
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(0.11f, 0.11f, 0.11f, 1.0f));
    window_->setPalette(palette);
    window_->setStripHeight(kStripHeight);
    ThemedRoot::install(window_, options.theme)->setPreferredScheme(ColorScheme::dark);

    auto* canvas = new ReviewCanvasView(*model_, options.services);
    shell_ = new ReviewShellView(*model_, canvas, window_);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(shell_);
    // The window's own buttons lie over the shell's top strip; the tool pill keeps clear of them.
    shell_->setButtonsClearance(window_->trafficLightGroup()->geometry().right() + 1);
    window_->setMinimumSize(shell_->minimumSizeHint());
    window_->installEventFilter(this);
    canvas->setFocus();

    model_->setFinish([self = QPointer<ReviewWindowController>(this)](const ReviewDecision& decision) {
        if (self) self->decide(decision, true);
    });
}

ReviewWindowController::~ReviewWindowController() {
    reviews().removeAll(this);
    if (window_) {
        window_->removeEventFilter(this);
        delete window_;
    }
}

bool ReviewWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Close) {
        // A close from the window's button, the window manager or the application is a cancel;
        // a text being typed is kept in the model first, like any other edit.
        shell_->canvas()->commitTextEditing();
        decide(ReviewDecision::cancel(), false);
    }
    return QObject::eventFilter(watched, event);
}

void ReviewWindowController::decide(const ReviewDecision& decision, bool closeWindow) {
    if (!decided_) return; // a decision was given already
    const Decided decided = std::exchange(decided_, nullptr);
    if (closeWindow && window_) window_->close();
    release();
    decided(decision);
}

void ReviewWindowController::release() {
    reviews().removeAll(this);
    deleteLater();
}

} // namespace BrindlecastApp
