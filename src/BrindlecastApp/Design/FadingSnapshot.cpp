#include "BrindlecastApp/Design/FadingSnapshot.h"

#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Design/SpringValue.h"

#include <QPainter>

#include <algorithm>

namespace BrindlecastApp {

FadingSnapshot* FadingSnapshot::fadeOut(QWidget& widget, const Animation& animation, double startOpacity) {
    if (!widget.parentWidget() || startOpacity <= 0) return nullptr;
    auto* snapshot = new FadingSnapshot(widget, startOpacity);
    connect(snapshot->opacity_, &SpringValue::settled, snapshot, &QObject::deleteLater);
    snapshot->show();
    snapshot->raise();
    snapshot->opacity_->animateTo(0, animation);
    return snapshot;
}

FadingSnapshot::FadingSnapshot(QWidget& widget, double startOpacity)
    : QWidget(widget.parentWidget()), opacity_(new SpringValue(this, std::clamp(startOpacity, 0.0, 1.0))) {
    setObjectName(QStringLiteral("fadingSnapshot"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    const double scale = widget.devicePixelRatioF();
    QRectF area(QPointF(0, 0), QSizeF(widget.size()));
    const ShadowCaster::Layer* shadow = nullptr;
    if (const auto* caster = dynamic_cast<const ShadowCaster*>(&widget)) {
        shadow = &caster->shadowLayer(scale);
        if (shadow->image.isNull()) shadow = nullptr;
        else area |= QRectF(shadow->origin, QSizeF(shadow->image.size()) / scale);
    }
    const QRect bounds = area.toAlignedRect();
    picture_ = QImage(bounds.size() * scale, QImage::Format_ARGB32_Premultiplied);
    picture_.setDevicePixelRatio(scale);
    picture_.fill(Qt::transparent);
    {
        QPainter painter(&picture_);
        if (shadow) painter.drawImage(shadow->origin - QPointF(bounds.topLeft()), shadow->image);
        painter.drawPixmap(-bounds.topLeft(), widget.grab());
    }
    setGeometry(bounds.translated(widget.pos()));
}

double FadingSnapshot::opacity() const { return std::clamp(opacity_->value(), 0.0, 1.0); }

void FadingSnapshot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setOpacity(opacity());
    painter.drawImage(QPointF(0, 0), picture_);
}

} // namespace BrindlecastApp
