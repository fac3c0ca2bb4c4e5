#include "BrindlecastApp/Settings/ThemeSegmented.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/SpringValue.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

using namespace SettingsControlStyle;

namespace {

constexpr double kLabelSize = 12;
constexpr double kSidePadding = 12;
constexpr double kSegmentHeight = 26;

QFont labelFont() { return SettingsControlStyle::font(kLabelSize, QFont::Medium); }

} // namespace

ThemeSegmented::ThemeSegmented(std::vector<Item> items, QWidget* parent) : QWidget(parent), items_(std::move(items)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    for (size_t i = 0; i < items_.size(); ++i) amounts_ << new SpringValue(this, 0);
}

std::vector<ThemeSegmented::Item> ThemeSegmented::standardItems() {
    return {{ThemeMode::light, tr("Light")}, {ThemeMode::dark, tr("Dark")}, {ThemeMode::system, tr("System")}};
}

QList<QRectF> ThemeSegmented::segments() const {
    QStringList labels;
    for (const Item& item : items_) labels << item.second;
    return segmentRects(labels, labelFont(), kSidePadding, kSegmentHeight);
}

QRectF ThemeSegmented::segmentRect(int index) const { return segments().value(index); }

QSize ThemeSegmented::sizeHint() const { return trackSize(segments(), kSegmentHeight); }

double ThemeSegmented::selectionAmount(int index) const {
    const_cast<ThemeSegmented*>(this)->followTheme();
    return index >= 0 && index < amounts_.size() ? amounts_[index]->value() : 0;
}

int ThemeSegmented::segmentAt(const QPointF& point) const { return SettingsControlStyle::segmentAt(segments(), point); }

void ThemeSegmented::followTheme() {
    const Theme* theme = themeFor(this);
    if (!theme) return;
    const Animation quick = tokensFor(this).motion.quick;
    for (int i = 0; i < amounts_.size(); ++i) {
        const double target = items_[size_t(i)].first == theme->mode() ? 1 : 0;
        if (!placed_) {
            delete amounts_[i];
            amounts_[i] = new SpringValue(this, target);
        } else {
            amounts_[i]->animateTo(target, quick);
        }
    }
    placed_ = true;
}

void ThemeSegmented::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton ? segmentAt(event->position()) : -1;
    event->setAccepted(pressed_ >= 0);
}

void ThemeSegmented::mouseReleaseEvent(QMouseEvent* event) {
    const int pressed = std::exchange(pressed_, -1);
    if (event->button() != Qt::LeftButton || pressed < 0 || segmentAt(event->position()) != pressed) return;
    if (Theme* theme = themeFor(this)) theme->setMode(items_[size_t(pressed)].first);
}

void ThemeSegmented::paintEvent(QPaintEvent*) {
    followTheme();
    const Tokens t = tokensFor(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(trackFill(t));
    painter.drawPath(continuousRoundedRect(QRectF(QPointF(0, 0), QSizeF(sizeHint())), kTrackRadius));
    painter.setFont(labelFont());
    for (int i = 0; i < int(items_.size()); ++i) {
        const QRectF segment = segmentRect(i);
        const double amount = std::clamp(amounts_[i]->value(), 0.0, 1.0);
        if (amount > 0) {
            const QPainterPath plate = continuousRoundedRect(segment, kSegmentRadius);
            painter.save();
            painter.setOpacity(amount);
            plateShadow_.paint(painter, plate, selectedSegmentShadow());
            painter.fillPath(plate, selectedSegmentFill(t));
            painter.restore();
        }
        const bool selected = amounts_[i]->target() == 1;
        painter.setPen(selected ? t.primaryText() : t.secondaryText());
        painter.drawText(segment, Qt::AlignCenter, items_[size_t(i)].second);
    }
}

} // namespace BrindlecastApp
