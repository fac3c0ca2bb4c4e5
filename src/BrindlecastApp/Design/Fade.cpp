#include "BrindlecastApp/Design/Fade.h"

#include <QGraphicsOpacityEffect>
#include <QWidget>

#include <algorithm>

namespace BrindlecastApp::Fade {

void setOpacity(QWidget& widget, double opacity) {
    opacity = std::clamp(opacity, 0.0, 1.0);
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget.graphicsEffect());
    if (opacity >= 1) {
        if (effect) widget.setGraphicsEffect(nullptr);
        return;
    }
    if (!effect) {
        effect = new QGraphicsOpacityEffect(&widget);
        widget.setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
}

double opacityOf(const QWidget& widget, const QWidget* upTo) {
    double opacity = 1;
    for (const QWidget* w = &widget; w && w != upTo; w = w->isWindow() ? nullptr : w->parentWidget()) {
        if (const auto* effect = qobject_cast<const QGraphicsOpacityEffect*>(w->graphicsEffect()))
            if (effect->isEnabled()) opacity *= effect->opacity();
    }
    return opacity;
}

} // namespace BrindlecastApp::Fade
