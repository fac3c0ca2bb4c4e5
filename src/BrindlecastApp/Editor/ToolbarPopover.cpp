#include "BrindlecastApp/Editor/ToolbarPopover.h"

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/WindowSurface.h"
#include "BrindlecastApp/Design/Window/ScreenPlacement.h"

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
        // The panel inside the margin (asked before the layout follows a resize).
        this, [this] { return continuousRoundedRect(QRectF(rect().marginsRemoved(shadowMargins())), panel_->cornerRadius()); },
        WindowSurface::Kind::glass);
    auto* fill = new QVBoxLayout(this);
    fill->setContentsMargins(shadowMargins());
    fill->addWidget(panel_);
    auto* inside = new QVBoxLayout(panel_);
    inside->setContentsMargins(0, 0, 0, 0);
    if (content_) inside->addWidget(content_);
    else panel_->setFixedSize(kEmptySize);
    connect(surface_, &WindowSurface::changed, this, &ToolbarPopover::followSurface);
}

QMargins ToolbarPopover::shadowMargins() const {
    return surface_ && surface_->isSeeThrough() ? ShadowPainter::reach(panel_->castShadows()) : QMargins();
}

void ToolbarPopover::followSurface() {
    const QMargins margins = shadowMargins();
    if (layout()->contentsMargins() == margins) return;
    const QPoint panelOrigin = mapToGlobal(panel_->pos());
    layout()->setContentsMargins(margins);
    // The layout's floor follows its margins only once it is laid out again.
    layout()->activate();
    resize(sizeHint());
    move(panelOrigin - QPoint(margins.left(), margins.top()));
    surface_->reshape();
}

void ToolbarPopover::openBelow(QWidget* anchor) {
    anchor_ = anchor;
    adjustSize();
    const QMargins margins = shadowMargins();
    const QSize card = size().shrunkBy(margins);
    QPoint topLeft = anchor->mapToGlobal(QPoint(anchor->width() / 2, anchor->height() + kGap));
    topLeft.rx() -= card.width() / 2;
    // The card is kept on the anchor's screen; its shadow may fall past the edge.
    if (QScreen* screen = anchor->screen())
        topLeft = ScreenPlacement::keptInside(QRect(topLeft, card), screen->availableGeometry()).topLeft();
    move(topLeft - QPoint(margins.left(), margins.top()));
    show();
}

void ToolbarPopover::mousePressEvent(QMouseEvent* event) {
    if (panel_->geometry().contains(event->position().toPoint())) return QWidget::mousePressEvent(event);
    // Off the card (its shadow's margin counts as outside): the popover closes. Closed by its
    // own button, that press must not reach the button and open it again.
    const QPoint global = event->globalPosition().toPoint();
    if (anchor_ && QRect(anchor_->mapToGlobal(QPoint(0, 0)), anchor_->size()).contains(global))
        setAttribute(Qt::WA_NoMouseReplay);
    event->accept();
    close();
}

void ToolbarPopover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (surface_->isSeeThrough()) {
        // The margin is clear but for the panel's shadow.
        ShadowPainter::paintChildShadows(painter, *this);
        return;
    }
    // Cut to the panel's outline without a compositor: the glass lies on its opaque base there,
    // as a clear pixel would show black.
    painter.fillRect(rect(), Glass::opaqueBase(tokensFor(this)));
}

void ToolbarPopover::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit closed();
}

} // namespace BrindlecastApp
