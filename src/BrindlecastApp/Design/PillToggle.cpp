#include "BrindlecastApp/Design/PillToggle.h"

#include "BrindlecastApp/Design/SpringValue.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace BrindlecastApp {

namespace {

constexpr double kKnob = 20;
constexpr double kInset = 2;

QColor mix(const QColor& from, const QColor& to, double amount) {
    const double a = std::clamp(amount, 0.0, 1.0);
    const auto lerp = [a](double x, double y) { return x + (y - x) * a; };
    return QColor::fromRgbF(float(lerp(from.redF(), to.redF())), float(lerp(from.greenF(), to.greenF())),
                            float(lerp(from.blueF(), to.blueF())), float(lerp(from.alphaF(), to.alphaF())));
}

} // namespace

PillToggle::PillToggle(bool isOn, std::function<void(bool)> onToggle, QWidget* parent)
    : QAbstractButton(parent), on_(isOn), onToggle_(std::move(onToggle)), position_(new SpringValue(this, isOn ? 1 : 0)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (onToggle_) onToggle_(!on_);
    });
}

void PillToggle::setOn(bool on) {
    on_ = on;
    position_->animateTo(on ? 1 : 0, tokensFor(this).motion.quick);
}

QRectF PillToggle::knobRect() const {
    const double travel = width() - 2 * kInset - kKnob;
    return QRectF(kInset + travel * position_->value(), (height() - kKnob) / 2, kKnob, kKnob);
}

QColor PillToggle::trackColor() const {
    const Tokens t = tokensFor(this);
    const QColor off = t.isDark() ? Design::white(0.16) : Design::black(0.1);
    return mix(off, t.toggleGreen, position_->value());
}

void PillToggle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(trackColor());
    const QRectF track = rect();
    painter.drawRoundedRect(track, track.height() / 2, track.height() / 2);

    QPainterPath knob;
    knob.addEllipse(knobRect());
    knobShadow_.paint(painter, knob, {Design::black(0.18), 1, 0, 0.5});
    painter.fillPath(knob, Qt::white);
}

} // namespace BrindlecastApp
