#include "BrindlecastApp/Editor/EditorCanvasStage.h"

#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace BrindlecastApp {

EditorCanvasStage::EditorCanvasStage(ReviewViewModel& model, QWidget* toolbar, QWidget* statusBar, QWidget* parent)
    : QWidget(parent), model_(&model), canvas_(new ReviewCanvasView(model, this)), toolbar_(toolbar), statusBar_(statusBar) {
    setObjectName(QStringLiteral("canvasStage"));
    setMinimumHeight(kMinimumHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // The stage paints the mat; the canvas lies over it.
    canvas_->setMatColor(std::nullopt);
    for (QWidget* slot : {toolbar, statusBar}) adopt(slot);
    canvas_->lower();
    connect(&model, &ReviewViewModel::detectingPIIChanged, this, &EditorCanvasStage::showWhetherFindingsAreAwaited);
    showWhetherFindingsAreAwaited();
    place();
}

void EditorCanvasStage::showWhetherFindingsAreAwaited() {
    // Copy, Export and Copy Text wait for the findings: the chrome they are started from shows
    // the busy arrow as the canvas does (which sets its own pointer).
    if (model_ && model_->isDetectingPII()) setCursor(Qt::BusyCursor);
    else unsetCursor();
}

void EditorCanvasStage::adopt(QWidget* slot) {
    if (!slot) return;
    slot->setParent(this);
    slot->installEventFilter(this);
    slot->raise();
}

void EditorCanvasStage::setStyleStrip(QWidget* strip) {
    if (styleStrip_) {
        styleStrip_->removeEventFilter(this);
        delete styleStrip_.data();
    }
    styleStrip_ = strip;
    adopt(strip);
    place();
}

int EditorCanvasStage::toolbarHeight() const {
    const bool toolbarShown = toolbar_ && !toolbar_->isHidden();
    const bool stripShown = styleStrip_ && !styleStrip_->isHidden();
    int height = toolbarShown ? toolbar_->height() : 0;
    if (stripShown) height += (toolbarShown ? kStripSpacing : 0) + styleStrip_->height();
    return height;
}

void EditorCanvasStage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect();
    // The stage fills the window's bottom-right corner: a see-through window rounds it.
    const auto* chrome = qobject_cast<const EditorWindowChrome*>(window());
    const double radius = chrome ? chrome->cornerRadius() : 0;
    QPainterPath shape;
    shape.addRoundedRect(area.adjusted(-radius, -radius, 0, 0), radius, radius);
    painter.fillPath(shape.intersected([&] {
        QPainterPath bounds;
        bounds.addRect(area);
        return bounds;
    }()), tokensFor(this).canvasMat().gradient(area));
}

void EditorCanvasStage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

bool EditorCanvasStage::eventFilter(QObject* watched, QEvent* event) {
    // A slot whose content changed asks for a new size: lay it out again and measure it.
    if ((watched == toolbar_ || watched == styleStrip_ || watched == statusBar_) &&
        (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show || event->type() == QEvent::Hide))
        place();
    return QWidget::eventFilter(watched, event);
}

void EditorCanvasStage::place() {
    canvas_->setGeometry(rect());
    int top = 0;
    for (QWidget* slot : {toolbar_.data(), styleStrip_.data()}) {
        if (!slot) continue;
        const QSize hint = slot->sizeHint();
        const int width = std::max(0, std::min(hint.width(), this->width() - 2 * kToolbarPadding));
        if (slot == styleStrip_ && top > 0) top += kStripSpacing;
        // A slot whose height follows its width (a toolbar shrunk to a narrow window) says so.
        const int height = slot->hasHeightForWidth() ? slot->heightForWidth(width) : hint.height();
        slot->setGeometry((this->width() - width) / 2, top, width, height);
        // As placed: a slot of a fixed size may have no size hint.
        if (!slot->isHidden()) top += slot->height();
    }
    if (statusBar_) {
        const QSize hint = statusBar_->sizeHint();
        statusBar_->setGeometry((width() - hint.width()) / 2, height() - kStatusBarPadding - hint.height(), hint.width(),
                                hint.height());
    }
    // Only a measured toolbar tells the model; an empty or hidden slot leaves the height as it is.
    const int measured = toolbarHeight();
    if (model_ && measured > 0 && measured != model_->topChromeHeight()) model_->setTopChromeHeight(measured);
    canvas_->update();
}

} // namespace BrindlecastApp
