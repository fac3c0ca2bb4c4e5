#include "BrindlecastApp/Editor/RecentRow.h"

#include "BrindlecastApp/Design/SizedText.h"
#include "BrindlecastApp/Design/SpringHover.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double kPaddingX = 7;
constexpr double kPaddingY = 6;
constexpr double kSpacing = 10;

QFont nameFont() { return Support::Fonts::interfaceFont(12, QFont::DemiBold); }
SizedText timeText() { return SizedText(Support::Fonts::interfaceFont(), 10.5); }

QPainterPath rounded(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

double RecentRow::rowRadius(double windowRadius) {
    return std::max(std::max(windowRadius - 8, 3.0) - 5, 3.0);
}

double RecentRow::thumbnailRadius(double windowRadius) { return std::max(rowRadius(windowRadius) - 3, 3.0); }

RecentRow::RecentRow(CaptureEntry entry, QString relativeTime, bool isSelected, QWidget* parent)
    : QAbstractButton(parent), entry_(std::move(entry)), relativeTime_(std::move(relativeTime)), selected_(isSelected),
      hover_(new SpringHover(this)) {
    setObjectName(entry_.filename);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(hover_, &SpringHover::hoveringChanged, this, qOverload<>(&QWidget::update));
}

void RecentRow::setEntry(CaptureEntry entry) {
    entry_ = std::move(entry);
    update();
}

void RecentRow::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    update();
}

bool RecentRow::isHovering() const { return hover_->hovering(); }

QColor RecentRow::background() const {
    const Tokens t = tokensFor(this);
    if (selected_) return Design::withOpacity(t.accent, 0.15);
    const QColor tint = t.isDark() ? Design::white(0.16) : Design::black(0.10);
    return Design::withOpacity(tint, tint.alphaF() * hover_->amount());
}

QSize RecentRow::sizeHint() const {
    const double text = QFontMetricsF(nameFont()).height() + 1 + timeText().height();
    const double height = std::max(kThumbnailSize.height(), text) + 2 * kPaddingY;
    return {int(std::ceil(2 * kPaddingX + kThumbnailSize.width() + kSpacing + 60)), int(std::ceil(height))};
}

QSize RecentRow::minimumSizeHint() const { return {0, sizeHint().height()}; }

void RecentRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Tokens t = tokensFor(this);
    const QColor fill = background();
    if (fill.alpha() > 0) painter.fillPath(rounded(QRectF(rect()), rowRadius(t.radii.window)), fill);

    const QRectF thumbnail(kPaddingX, (height() - kThumbnailSize.height()) / 2, kThumbnailSize.width(), kThumbnailSize.height());
    paintThumbnail(painter, thumbnail, thumbnailRadius(t.radii.window));

    const double textLeft = thumbnail.right() + kSpacing;
    const double textWidth = std::max(0.0, width() - kPaddingX - textLeft);
    const QFontMetricsF nameMetrics(nameFont());
    const SizedText time = timeText();
    const double textHeight = nameMetrics.height() + 1 + time.height();
    const double top = (height() - textHeight) / 2;
    painter.setFont(nameFont());
    painter.setPen(t.primaryText());
    painter.drawText(QPointF(textLeft, top + nameMetrics.ascent()),
                     nameMetrics.elidedText(entry_.filename, Qt::ElideMiddle, textWidth));
    painter.setPen(t.secondaryText());
    time.draw(painter, QPointF(textLeft, top + nameMetrics.height() + 1 + time.ascent()),
              time.elided(relativeTime_, Qt::ElideRight, textWidth));
}

void RecentRow::paintThumbnail(QPainter& painter, const QRectF& box, double radius) const {
    const Tokens t = tokensFor(this);
    const QPainterPath shape = rounded(box, radius);
    // A soft shadow a point below.
    painter.fillPath(shape.translated(0, 1), Design::black(0.12));
    painter.fillPath(rounded(box.adjusted(-0.5, 0, 0.5, 1.5), radius + 0.5), Design::black(0.06));
    painter.fillPath(shape, t.isDark() ? Design::white(0.09) : Design::black(0.05));
    if (!entry_.thumbnail.isNull()) {
        // Scaled to cover the box, its aspect kept, the overflow cut off evenly.
        const QSizeF image = entry_.thumbnail.size();
        const double scale = std::max(box.width() / image.width(), box.height() / image.height());
        const QSizeF drawn = image * scale;
        const QRectF target(box.center().x() - drawn.width() / 2, box.center().y() - drawn.height() / 2, drawn.width(),
                            drawn.height());
        painter.save();
        painter.setClipPath(shape);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, entry_.thumbnail);
        painter.restore();
    }
    QPen border(Design::white(0.2), 1);
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(rounded(box.adjusted(0.5, 0.5, -0.5, -0.5), std::max(radius - 0.5, 0.0)));
}

} // namespace BrindlecastApp
