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
    });
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
