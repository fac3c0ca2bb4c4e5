#pragma once

#include "BrindlecastApp/Design/IconPainter.h"
#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Design/Tokens.h"

#include <QAbstractButton>
#include <functional>

namespace BrindlecastApp {

class SpringHover;
class SpringValue;

// A 36 x 34 tool button showing an icon. Active: accent fill with a white sheen, white icon, lit
// top edge and an accent glow. Hovered: a faint tint, the lit edge and a 1-point shadow. Held
// down: drawn at the press scale. Active wins over hover; clicking never changes `isActive`.
class ToolButton : public QAbstractButton, public ShadowCaster {
    Q_OBJECT
public:
    ToolButton(bool isActive, std::function<void()> action, IconPainter icon, QWidget* parent = nullptr);

    bool isActive() const { return active_; }
    void setActive(bool active);
    bool isHovering() const;

    // What the button draws now, for callers and tests that look at the state's colours.
    QColor foreground() const;
    Tokens::Shadow shadow() const;
    double scale() const; // the press scale while held down, 1 otherwise
    double drawnScale() const; // the scale drawn now, on its way to `scale()`

    QList<Tokens::Shadow> castShadows() const override;
    QPainterPath shadowShape() const override;

    QSize sizeHint() const override { return {36, 34}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool active_;
    IconPainter icon_;
    SpringValue* activeAmount_;
    SpringHover* hover_;
    SpringValue* pressScale_;
};

} // namespace BrindlecastApp
