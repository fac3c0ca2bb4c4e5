#pragma once

#include "BrindlecastApp/Design/Animation.h"

#include <QObject>
#include <QVariantAnimation>

class QWidget;

namespace BrindlecastApp {

// A number a widget draws from, moved to each new target with one of the motion tokens (or the
// reduced animation when its themed root asks for less motion); the widget repaints on each step.
class SpringValue : public QObject {
    Q_OBJECT
public:
    SpringValue(QWidget* owner, double initial);

    double value() const { return value_; }
    double target() const { return target_; }
    // Starts an animation towards `target` unless it is already the target.
    void animateTo(double target, const Animation& animation);
    // Stops any animation and stands at `value` at once.
    void jumpTo(double value);
    bool isMoving() const { return animation_.state() == QAbstractAnimation::Running; }
    const QVariantAnimation& animation() const { return animation_; }

signals:
    // Each step of the way, and a jump.
    void valueChanged(double value);
    // The value came to rest at its target.
    void settled();

private:
    QWidget* owner_;
    double value_;
    double target_;
    QVariantAnimation animation_;
};

} // namespace BrindlecastApp
