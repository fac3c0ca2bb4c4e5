#pragma once

#include "BrindlecastApp/Design/ShadowCaster.h"

#include <QAbstractButton>
#include <functional>

namespace BrindlecastApp {

class SpringValue;

// The capsule on/off switch: a 40 x 24 track, green when on, with a white knob resting 2 points
// inside the end of its state. It holds no choice of its own: a click asks the owner for the
// opposite value, and the owner's `setOn` moves the knob and the colour with the quick spring.
class PillToggle : public QAbstractButton {
    Q_OBJECT
public:
    PillToggle(bool isOn, std::function<void(bool)> onToggle, QWidget* parent = nullptr);

    bool isOn() const { return on_; }
    void setOn(bool on);
    // Where the knob is drawn now, in the control's coordinates.
    QRectF knobRect() const;
    QColor trackColor() const;

    QSize sizeHint() const override { return {40, 24}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool on_;
    std::function<void(bool)> onToggle_;
    SpringValue* position_; // 0 off, 1 on: knob and colour move together
    ShapeShadow knobShadow_;
};

} // namespace BrindlecastApp
