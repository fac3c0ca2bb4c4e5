#include "BrindlecastApp/Review/ReviewShellView.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Window/WindowDragArea.h"
#include "BrindlecastApp/Review/CanvasRenderer.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Review/ReviewDecision.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Review/ShellControls.h"
#include "BrindlecastApp/Review/StyleInspector.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

namespace BrindlecastApp {

namespace {

constexpr int kPillTop = 14;
constexpr int kEdgePadding = 16;
constexpr int kDragStripHeight = 44;
constexpr int kPillGap = 8; // between the pill and the window's buttons or its right edge
const QSize kCanvasMinimum(560, 380);

// The thin upright line between the tool buttons and the style button.
class PillDivider : public QWidget {
public:
    explicit PillDivider(QWidget* parent) : QWidget(parent) { setFixedSize(1 + 2 * 3, 18); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRectF(3, 0, 1, height()), Design::white(0.16));
    }
};

QString countOfMandatory(std::size_t count) { return QString::number(count); }

} // namespace

QString ReviewShellView::symbolFor(AnnotationTool tool) {
    switch (tool) {
    case AnnotationTool::select: return QStringLiteral("cursorarrow");
    case AnnotationTool::arrow: return QStringLiteral("arrow.up.right");
    case AnnotationTool::box: return QStringLiteral("rectangle");
    case AnnotationTool::text: return QStringLiteral("textformat");
    case AnnotationTool::blur: return QStringLiteral("circle.dotted");
    default: return QStringLiteral("square.dashed");
    }
}

ReviewShellView::ReviewShellView(ReviewViewModel& model, QWidget* parent)
    : ReviewShellView(model, nullptr, parent) {}

ReviewShellView::ReviewShellView(ReviewViewModel& model, ReviewCanvasView* canvas, QWidget* parent)
    : QWidget(parent), model_(&model), canvas_(canvas ? canvas : new ReviewCanvasView(model)) {
    setObjectName(QStringLiteral("reviewShell"));
    // Dark whatever the theme's mode; the accent still follows the theme.
    ThemedRoot::install(this, themeFor(parent))->setPreferredScheme(ColorScheme::dark);
    canvas_->setParent(this);
    canvas_->setMatColor(QColor::fromRgbF(0.11f, 0.11f, 0.11f, 1.0f));
    canvas_->setMinimumSize(kCanvasMinimum);
    build();
    connect(&model, &ReviewViewModel::changed, this, &ReviewShellView::refresh);
    refresh();
}

void ReviewShellView::build() {
    pill_ = new FrostedCard(11, this);
    pill_->setObjectName(QStringLiteral("toolPill"));
    auto* pillRow = new QHBoxLayout(pill_);
    pillRow->setContentsMargins(5, 5, 5, 5);
    pillRow->setSpacing(2);
    for (AnnotationTool tool : AnnotationTools::allCases) {
        auto* button = new PillButton(symbolFor(tool), AnnotationTools::rawValue(tool), pill_);
        button->setObjectName(QStringLiteral("tool:%1").arg(AnnotationTools::rawValue(tool)));
        connect(button, &QAbstractButton::clicked, this, [this, tool] {
            if (model_) model_->setTool(tool);
        });
        tools_[tool] = button;
        pillRow->addWidget(button);
    }
    pillRow->addWidget(new PillDivider(pill_));
    styleButton_ = new PillButton(QStringLiteral("paintpalette"), QStringLiteral("Style of the selected annotation"), pill_);
    styleButton_->setObjectName(QStringLiteral("style"));
    connect(styleButton_, &QAbstractButton::clicked, this, &ReviewShellView::toggleInspector);
    pillRow->addWidget(styleButton_);

    chip_ = new FrostedCard(10, this);
    chip_->setObjectName(QStringLiteral("statusChip"));
    auto* chipRow = new QHBoxLayout(chip_);
    chipRow->setContentsMargins(12, 7, 12, 7);
    chipRow->setSpacing(10);
    mandatoryLabel_ = new SymbolLabel(QStringLiteral("lock.fill"), CanvasRenderer::systemRed(), chip_);
    suggestedLabel_ = new SymbolLabel(QStringLiteral("sparkles"), CanvasRenderer::systemOrange(), chip_);
    suggestedLabel_->setToolTip(QStringLiteral("Suggested redactions kept \u2014 click one on the image to release it"));
    chipRow->addWidget(mandatoryLabel_);
    chipRow->addWidget(suggestedLabel_);

    actions_ = new FrostedCard(14, this);
    actions_->setObjectName(QStringLiteral("actionBar"));
    auto* actionRow = new QHBoxLayout(actions_);
    actionRow->setContentsMargins(8, 8, 8, 8);
    actionRow->setSpacing(8);
    cancel_ = new ActionButton(QStringLiteral("Cancel"), std::nullopt, ActionButton::Look::plain, actions_);
    copy_ = new ActionButton(QStringLiteral("Copy"), QStringLiteral("doc.on.clipboard"), ActionButton::Look::bordered, actions_);
    export_ = new ActionButton(QStringLiteral("Export"), QStringLiteral("square.and.arrow.down"), ActionButton::Look::prominent,
                               actions_);
    for (ActionButton* button : {cancel_, copy_, export_}) {
        button->setObjectName(button->text());
        actionRow->addWidget(button);
    }
    connect(cancel_, &QAbstractButton::clicked, this, &ReviewShellView::cancel);
    connect(copy_, &QAbstractButton::clicked, this, [this] { exportTo(ExportKit::DestinationKind::clipboard); });
    connect(export_, &QAbstractButton::clicked, this, [this] { exportTo(ExportKit::DestinationKind::folder); });

    // The strip along the top, clear of the image, moves the window.
    dragStrip_ = new WindowDragArea(this);
    dragStrip_->setObjectName(QStringLiteral("dragStrip"));

    canvas_->setFloatingCards({pill_, chip_, actions_});
    canvas_->lower();
    pill_->raise();
}

PillButton* ReviewShellView::toolButton(AnnotationTool tool) const {
    const auto it = tools_.find(tool);
    return it == tools_.end() ? nullptr : it->second;
}

ActionButton* ReviewShellView::destinationButton(ExportKit::DestinationKind kind) const {
    return kind == ExportKit::DestinationKind::clipboard ? copy_ : export_;
}

void ReviewShellView::refresh() {
    if (!model_) return;
    for (const auto& [tool, button] : tools_) button->setCurrent(tool == model_->tool());
    styleButton_->setEnabled(model_->selectedStyle().has_value());

    const std::size_t mandatory = model_->mandatory().size();
    const std::size_t suggested = model_->suggested().size();
    const std::size_t kept = suggested - std::min(suggested, model_->releasedSuggested().size());
    mandatoryLabel_->setVisible(mandatory > 0);
    mandatoryLabel_->setText(countOfMandatory(mandatory));
    mandatoryLabel_->setToolTip(QStringLiteral("%1 mandatory redactions \u2014 enforced by policy").arg(mandatory));
    suggestedLabel_->setVisible(suggested > 0);
    suggestedLabel_->setText(QStringLiteral("%1/%2").arg(kept).arg(suggested));
    // With nothing to count the chip keeps its place but shows nothing.
    chip_->setVisible(mandatory > 0 || suggested > 0);

    for (ExportKit::DestinationKind kind : ExportKit::allDestinationKinds) {
        ActionButton* button = destinationButton(kind);
        const bool allowed = model_->allowedDestinations().count(kind) > 0;
        button->setEnabled(allowed);
        button->setToolTip(allowed ? button->text() : kManaged);
    }
    place();
}

void ReviewShellView::place() {
    canvas_->setGeometry(rect());
    dragStrip_->setGeometry(0, 0, width(), kDragStripHeight);
    pill_->adjustSize();
    const int centred = (width() - pill_->width()) / 2;
    pill_->move(buttonsClearance_ > 0 ? std::max(centred, buttonsClearance_ + kPillGap) : centred, kPillTop);
    chip_->adjustSize();
    actions_->adjustSize();
    const int bottom = height() - kEdgePadding;
    // The chip and the action bar share a bottom edge.
    chip_->move(kEdgePadding, bottom - chip_->height());
    actions_->move(width() - kEdgePadding - actions_->width(), bottom - actions_->height());
    canvas_->update();
}

void ReviewShellView::setButtonsClearance(int right) {
    buttonsClearance_ = std::max(right, 0);
    updateGeometry();
    place();
}

QSize ReviewShellView::minimumSizeHint() const {
    const int besideButtons = buttonsClearance_ > 0 ? buttonsClearance_ + kPillGap + pill_->sizeHint().width() + kPillGap : 0;
    return {std::max(kCanvasMinimum.width(), besideButtons), kCanvasMinimum.height()};
}

void ReviewShellView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void ReviewShellView::keyPressEvent(QKeyEvent* event) {
    // Keys the canvas and the text editor leave alone: Return exports to the folder, Escape cancels.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        exportTo(ExportKit::DestinationKind::folder);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        cancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ReviewShellView::cancel() {
    if (model_ && model_->finish()) model_->finish()(ReviewDecision::cancel());
}

void ReviewShellView::exportTo(ExportKit::DestinationKind destination) {
    if (!model_ || !model_->allowedDestinations().count(destination)) return;
    canvas_->commitTextEditing();
    // Nothing leaves before the detections of a run in flight are in.
    model_->whenDetectionsSettled([model = model_, destination] {
        if (!model || !model->finish()) return;
        model->finish()(ReviewDecision::exportTo(model->detectionsToRedact(), model->annotations(), destination,
                                                 model->cropRect()));
    });
}

void ReviewShellView::toggleInspector() {
    if (inspector_ && inspector_->isVisible()) {
        inspector_->close();
        return;
    }
    if (!model_ || !model_->selectedStyle()) return;
    auto* inspector = new StyleInspector(*model_, this);
    inspector->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    inspector->setAttribute(Qt::WA_DeleteOnClose);
    ThemedRoot::install(inspector, themeFor(this))->setPreferredScheme(ColorScheme::dark);
    inspector->adjustSize();
    const QPoint below = styleButton_->mapToGlobal(QPoint(styleButton_->width() / 2, styleButton_->height() + 6));
    inspector->move(below.x() - inspector->width() / 2, below.y());
    inspector_ = inspector;
    inspector->show();
}

} // namespace BrindlecastApp
