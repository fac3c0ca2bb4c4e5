#include "BrindlecastApp/Settings/MiniSegmented.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"

#include <QMouseEvent>
#include <QPainter>


namespace BrindlecastApp {

namespace {

constexpr double kLabelSize = 11.5;
constexpr double kSidePadding = 10;
constexpr double kSegmentHeight = 24;
constexpr double kLockedOpacity = 0.55;

QFont labelFont() { return SettingsControlStyle::font(kLabelSize, QFont::Medium); }

} // namespace

using namespace SettingsControlStyle;

MiniSegmentedView::MiniSegmentedView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void MiniSegmentedView::setSegments(QStringList labels, QList<bool> selected) {
    const bool resized = labels != labels_;
    labels_ = std::move(labels);
    selected_ = std::move(selected);
    if (resized) updateGeometry();
    update();
}

void MiniSegmentedView::setLockedState(bool locked) {
    locked_ = locked;
    setEnabled(!locked);
    update();
}

QList<QRectF> MiniSegmentedView::segments() const {
    return segmentRects(labels_, labelFont(), kSidePadding, kSegmentHeight);
}

QRectF MiniSegmentedView::segmentRect(int index) const { return segments().value(index); }

QSize MiniSegmentedView::sizeHint() const { return trackSize(segments(), kSegmentHeight); }

int MiniSegmentedView::segmentAt(const QPointF& point) const { return SettingsControlStyle::segmentAt(segments(), point); }

void MiniSegmentedView::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton ? segmentAt(event->position()) : -1;
    event->setAccepted(pressed_ >= 0);
}

void MiniSegmentedView::mouseReleaseEvent(QMouseEvent* event) {
    const int pressed = std::exchange(pressed_, -1);
    if (event->button() != Qt::LeftButton || pressed < 0 || segmentAt(event->position()) != pressed) return;
    emit segmentClicked(pressed);
}

void MiniSegmentedView::paintEvent(QPaintEvent*) {
    const Tokens t = tokensFor(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(locked_ ? kLockedOpacity : 1.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(trackFill(t));
    painter.drawPath(continuousRoundedRect(QRectF(QPointF(0, 0), QSizeF(sizeHint())), kTrackRadius));

    painter.setFont(labelFont());
    for (int i = 0; i < count(); ++i) {
        const QRectF segment = segmentRect(i);
        const bool selected = isSegmentSelected(i);
        if (selected) {
            const QPainterPath plate = continuousRoundedRect(segment, kSegmentRadius);
            plateShadow_.paint(painter, plate, selectedSegmentShadow());
            painter.setPen(Qt::NoPen);
            painter.setBrush(selectedSegmentFill(t));
            painter.drawPath(plate);
        }
        painter.setPen(selected ? t.primaryText() : t.secondaryText());
        painter.drawText(segment, Qt::AlignCenter, labels_.at(i));
    }
}

} // namespace BrindlecastApp
