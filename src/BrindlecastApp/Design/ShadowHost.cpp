#include "BrindlecastApp/Design/ShadowHost.h"

#include "BrindlecastApp/Design/ShadowCaster.h"

#include <QPainter>

namespace BrindlecastApp {

void ShadowHost::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    ShadowPainter::paintChildShadows(painter, *this);
}

} // namespace BrindlecastApp
