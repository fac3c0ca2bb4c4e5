#include "BrindlecastApp/Design/SpringHover.h"

#include "BrindlecastApp/Design/SpringValue.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QEvent>
#include <QWidget>

namespace BrindlecastApp {

SpringHover::SpringHover(QWidget* target, std::optional<Animation> animation)
    : QObject(target), target_(target), animation_(animation), amount_(new SpringValue(target, 0)) {
    target->setAttribute(Qt::WA_Hover);
    target->installEventFilter(this);
}

double SpringHover::amount() const { return amount_->value(); }

bool SpringHover::eventFilter(QObject* watched, QEvent* event) {
    if (watched == target_) {
        if (event->type() == QEvent::Enter) setHovering(true);
        else if (event->type() == QEvent::Leave) setHovering(false);
    }
    return QObject::eventFilter(watched, event);
}

void SpringHover::setHovering(bool hovering) {
    if (hovering == hovering_) return;
    hovering_ = hovering;
    amount_->animateTo(hovering ? 1 : 0, animation_.value_or(tokensFor(target_).motion.quick));
    emit hoveringChanged(hovering);
}

} // namespace BrindlecastApp
