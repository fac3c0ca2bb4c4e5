#include "BrindlecastApp/Editor/ToolbarPopover.h"

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/WindowSurface.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace BrindlecastApp {

namespace {
constexpr int kGap = 6;
constexpr QSize kEmptySize{240, 120};
} // namespace

ToolbarPopover::ToolbarPopover(QWidget* content, QWidget* owner)
    : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      panel_(new GlassPanel(GlassVariant::popover, std::nullopt, this)), content_(content) {
    surface_ = WindowSurface::attach(
        // The panel fills the window (asked before the layout follows a resize).
        this, [this] { return continuousRoundedRect(QRectF(rect()), panel_->cornerRadius()); },
        WindowSurface::Kind::glass);
    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(panel_);
    auto* inside = new QVBoxLayout(panel_);
    inside->setContentsMargins(0, 0, 0, 0);
    if (content_) inside->addWidget(content_);
    else panel_->setFixedSize(kEmptySize);
}

void ToolbarPopover::openBelow(QWidget* anchor) {
    anchor_ = anchor;
    adjustSize();
    QPoint topLeft = anchor->mapToGlobal(QPoint(anchor->width() / 2, anchor->height() + kGap));
    topLeft.rx() -= width() / 2;
    // Kept on the anchor's screen.
    if (QScreen* screen = anchor->screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() + 1 - width())));
    }
    move(topLeft);
    show();
}

void ToolbarPopover::mousePressEvent(QMouseEvent* event) {
    const QPoint global = event->globalPosition().toPoint();
    if (!rect().contains(event->position().toPoint()) && anchor_ &&
        QRect(anchor_->mapToGlobal(QPoint(0, 0)), anchor_->size()).contains(global)) {
        // Closed by its own button: that press must not reach the button and open it again.
        setAttribute(Qt::WA_NoMouseReplay);
    }
    QWidget::mousePressEvent(event);
}

void ToolbarPopover::paintEvent(QPaintEvent*) {
    // Cut to the panel's outline without a compositor: the glass lies on its opaque base there, as
    // a clear pixel would show black.
    if (surface_->isSeeThrough()) return;
    QPainter painter(this);
    painter.fillRect(rect(), Glass::opaqueBase(tokensFor(this)));
}

void ToolbarPopover::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit closed();
}

} // namespace BrindlecastApp
