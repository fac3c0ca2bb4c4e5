#include "BrindlecastApp/Overlay/OverlayView.h"

#include "BrindlecastApp/Overlay/OverlayGeometry.h"
#include "BrindlecastApp/Design/TabularDigits.h"
#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace BrindlecastApp {

namespace {

const QColor capsuleFill(0, 0, 0, qRound(0.72 * 255));
const QColor capsuleEdge(255, 255, 255, qRound(0.15 * 255));

// The interface's sans-serif at a size in points, where a point is a pixel of the panel.
QFont labelFont(const QWidget& view, double size) {
    QFont font = Support::Fonts::interfaceFont(QFont::DemiBold);
    font.setPointSizeF(size * 72.0 / view.logicalDpiY());
    return font;
}

void paintCapsule(QPainter& painter, const QRectF& capsule) {
    QPainterPath path;
    path.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    painter.fillPath(path, capsuleFill);
    painter.setPen(QPen(capsuleEdge, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

} // namespace

OverlayView::OverlayView(QScreen* screen, const Support::Rect& monitor, QPixmap frozenFrame, QColor accent)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                           Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint),
      screen_(screen), monitor_(monitor), frozenFrame_(std::move(frozenFrame)), accent_(std::move(accent)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    setWindowTitle("Brindlecast Selection");
    setGeometry(panelGeometry());
}

// Qt keeps each screen's origin in device pixels and scales only within a screen.
QRect OverlayView::panelGeometry() const {
    const QPointF screenOrigin = screen_ ? QPointF(screen_->geometry().topLeft()) : QPointF();
    const QPointF topLeft = screenOrigin + (QPointF(monitor_.x(), monitor_.y()) - screenOrigin) / scale();
    return QRectF(topLeft, QSizeF(monitor_.width(), monitor_.height()) / scale()).toAlignedRect();
}

double OverlayView::scale() const { return screen_ ? screen_->devicePixelRatio() : 1.0; }

Support::Point OverlayView::toRoot(QPointF local) const {
    return {monitor_.x() + local.x() * scale(), monitor_.y() + local.y() * scale()};
}

QPointF OverlayView::fromRoot(Support::Point root) const {
    return {(root.x - monitor_.x()) / scale(), (root.y - monitor_.y()) / scale()};
}

Support::Rect OverlayView::toRoot(const QRectF& local) const {
    const Support::Point topLeft = toRoot(local.topLeft());
    return {topLeft.x, topLeft.y, local.width() * scale(), local.height() * scale()};
}

void OverlayView::enterMode(bool windowPick) {
    windowPickMode_ = windowPick;
    dragStart_.reset();
    selection_ = QRectF();
    hoverPoint_.reset();
    if (!windowPick) pickTarget_.reset();
    update();
}

void OverlayView::setPickTarget(const std::optional<PickTarget>& target) {
    pickTarget_ = target;
    update();
}

void OverlayView::setHoverPoint(const std::optional<QPointF>& local) {
    hoverPoint_ = local;
    update();
}

void OverlayView::beginDrag(QPointF local) {
    if (windowPickMode_) return;
    dragStart_ = local;
    selection_ = QRectF();
    hoverPoint_.reset();
    update();
}

void OverlayView::dragTo(QPointF local) {
    if (windowPickMode_ || !dragStart_) return;
    const Support::Rect clipped = OverlayGeometry::dragSelection(*dragStart_, local, bounds());
    selection_ = clipped.isNull() ? QRectF() : clipped.toQRectF();
    update();
}

std::optional<Support::Rect> OverlayView::endDrag(QPointF local) {
    if (windowPickMode_ || !dragStart_) return std::nullopt;
    dragTo(local);
    dragStart_.reset();
    if (!OverlayGeometry::isReportable(Support::Rect::fromQRectF(selection_))) {
        selection_ = QRectF();
        update();
        return std::nullopt;
    }
    return toRoot(selection_); // the selection stays drawn
}

QRectF OverlayView::pickHighlight() const {
    if (!pickTarget_) return {};
    const Support::Rect& frame = pickTarget_->frame;
    const QPointF topLeft = fromRoot(frame.origin);
    const Support::Rect local(topLeft.x(), topLeft.y(), frame.width() / scale(), frame.height() / scale());
    const Support::Rect shown = local.intersection(Support::Rect::fromQRectF(bounds()));
    return shown.isEmpty() ? QRectF() : shown.toQRectF();
}

OverlayView::Layout OverlayView::layout() const {
    Layout layout;
    const QRectF highlight = windowPickMode_ ? pickHighlight() : selection_;
    if (!highlight.isEmpty()) {
        layout.highlight = highlight;
        if (windowPickMode_) return layout;
        layout.handles = OverlayGeometry::handleCentres(highlight);
        layout.readout = OverlayGeometry::readoutText(highlight, scale());
        const QFont font = labelFont(*this, 11.5);
        const QSizeF textSize(TabularDigits::horizontalAdvance(font, layout.readout), QFontMetricsF(font).height());
        layout.readoutCapsule = OverlayGeometry::readoutLayout(highlight, textSize, bounds()).capsule;
        return layout;
    }
    if (!windowPickMode_ && !dragStart_ && hoverPoint_) {
        const Support::Point global = toRoot(*hoverPoint_);
        layout.badge = OverlayGeometry::badgeText(QPointF(global.x, global.y));
        const QFont font = labelFont(*this, 11);
        const QSizeF textSize(TabularDigits::horizontalAdvance(font, layout.badge), QFontMetricsF(font).height());
        layout.badgeCapsule = OverlayGeometry::badgeLayout(*hoverPoint_, textSize, bounds()).capsule;
    }
    return layout;
}

void OverlayView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF all = bounds();
    if (frozenFrame_.isNull())
        painter.fillRect(all, Qt::black);
    else
        painter.drawPixmap(all, frozenFrame_, QRectF(frozenFrame_.rect()));
    painter.fillRect(all, QColor(0, 0, 0, qRound(0.3 * 255)));

    const Layout shown = layout();
    if (shown.highlight) {
        const QRectF r = *shown.highlight;
        // The hole shows the frozen picture undimmed; a picked window gets a light accent tint.
        if (frozenFrame_.isNull()) {
            painter.fillRect(r, Qt::black);
        } else {
            const double pixels = frozenFrame_.width() / std::max(all.width(), 1.0);
            painter.drawPixmap(r, frozenFrame_,
                               QRectF(r.x() * pixels, r.y() * pixels, r.width() * pixels, r.height() * pixels));
        }
        if (windowPickMode_) painter.fillRect(r, QColor(accent_.red(), accent_.green(), accent_.blue(), qRound(0.12 * 255)));
        painter.setPen(QPen(accent_, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(-0.75, -0.75, 0.75, 0.75));

        for (const QPointF& centre : shown.handles) {
            const double half = OverlayGeometry::handleSide / 2;
            painter.setPen(QPen(accent_, 1));
            painter.setBrush(Qt::white);
            painter.drawEllipse(QRectF(centre.x() - half, centre.y() - half, 2 * half, 2 * half));
        }
        if (shown.readoutCapsule) {
            paintCapsule(painter, *shown.readoutCapsule);
            painter.setFont(labelFont(*this, 11.5));
            painter.setPen(Qt::white);
            TabularDigits::draw(painter, shown.readoutCapsule->adjusted(10, 5, -10, -5), shown.readout);
        }
        return;
    }
    if (shown.badgeCapsule) {
        paintCapsule(painter, *shown.badgeCapsule);
        painter.setFont(labelFont(*this, 11));
        painter.setPen(Qt::white);
        TabularDigits::draw(painter, shown.badgeCapsule->adjusted(8, 4, -8, -4), shown.badge);
    }
}

void OverlayView::leaveEvent(QEvent* event) {
    setHoverPoint(std::nullopt);
    QWidget::leaveEvent(event);
}

} // namespace BrindlecastApp
