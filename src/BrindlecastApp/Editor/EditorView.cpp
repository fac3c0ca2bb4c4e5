#include "BrindlecastApp/Editor/EditorView.h"

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Editor/EditorCanvasStage.h"
#include "BrindlecastApp/Editor/EditorSidebarPane.h"
#include "BrindlecastApp/Editor/EditorTitleStrip.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Editor/SidebarToggle.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace BrindlecastApp {

EditorView::EditorView(QString filename, ReviewViewModel& model, bool sidebarVisible, QWidget* sidebar, QWidget* toolbar,
                       QWidget* statusBar, std::optional<double> cornerRadius, QWidget* parent)
    : QWidget(parent), filename_(std::move(filename)), model_(&model), sidebarVisible_(sidebarVisible),
      panel_(new GlassPanel(GlassVariant::window, cornerRadius, this)),
      sidebarPane_(new EditorSidebarPane(sidebar, panel_)), titleStrip_(new EditorTitleStrip(filename_, panel_)),
      stage_(new EditorCanvasStage(model, toolbar, statusBar, panel_)) {
    setObjectName(QStringLiteral("editorView"));
    setAttribute(Qt::WA_TranslucentBackground);
    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(panel_);

    auto* row = new QHBoxLayout(panel_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(sidebarPane_);
    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(titleStrip_);
    column->addWidget(stage_, 1);
    row->addLayout(column, 1);

    connect(sidebarPane_, &EditorSidebarPane::toggleClicked, this, &EditorView::toggleSidebar);
    connect(titleStrip_->toggle(), &QAbstractButton::clicked, this, &EditorView::toggleSidebar);
    setSidebarVisible(sidebarVisible_);
}

ReviewCanvasView* EditorView::canvas() const { return stage_->canvas(); }

void EditorView::setStyleStrip(QWidget* strip) { stage_->setStyleStrip(strip); }

double EditorView::cornerInset() const { return sidebarVisible_ ? EditorSidebarPane::kInset : 0; }

ReviewViewModel* EditorView::shownReviewModel() const { return model_.data(); }

void EditorView::setSidebarVisible(bool visible, bool animated) {
    sidebarVisible_ = visible;
    sidebarPane_->present(visible, animated);
    titleStrip_->setSidebarVisible(visible);
    placeWindowButtons();
}

void EditorView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    placeWindowButtons();
}

void EditorView::placeWindowButtons() {
    if (auto* chrome = qobject_cast<EditorWindowChrome*>(window())) {
        chrome->setStripHeight(kStripHeight);
        chrome->setCornerInset(cornerInset());
    }
}

} // namespace BrindlecastApp
