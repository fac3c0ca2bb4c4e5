#include "BrindlecastApp/Design/SpringValue.h"

#include "BrindlecastApp/Design/Motion.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QWidget>

namespace BrindlecastApp {

SpringValue::SpringValue(QWidget* owner, double initial)
    : QObject(owner), owner_(owner), value_(initial), target_(initial) {
    connect(&animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        value_ = v.toDouble();
        owner_->update();
        emit valueChanged(value_);
    });
    connect(&animation_, &QVariantAnimation::finished, this, [this] {
        // A spring's curve reaches its target only within a thousandth; it rests exactly there.
        if (value_ != target_) {
            value_ = target_;
            owner_->update();
            emit valueChanged(value_);
        }
        emit settled();
    });
}

void SpringValue::jumpTo(double value) {
    animation_.stop();
    target_ = value;
    if (value_ == value) return;
    value_ = value;
    owner_->update();
    emit valueChanged(value_);
}

void SpringValue::animateTo(double target, const Animation& animation) {
    if (target == target_) return;
    target_ = target;
    animation_.stop();
    Motion::configure(animation_, animation, reduceMotionFor(owner_));
    animation_.setStartValue(value_);
    animation_.setEndValue(target);
    animation_.start();
}

} // namespace BrindlecastApp
