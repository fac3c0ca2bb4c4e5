#include "BrindlecastApp/Editor/SidebarToggle.h"

#include "BrindlecastApp/Design/Icon.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolTip.h"

#include <QPainter>

namespace BrindlecastApp {

namespace {
constexpr double kGlyphSize = 18;
}

SidebarToggle::SidebarToggle(QWidget* parent) : QAbstractButton(parent) {
    setFixedSize(sizeHint());
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(kHideHelp);
    ToolTip::install(this);
}

void SidebarToggle::setSidebarVisible(bool visible) {
    sidebarVisible_ = visible;
    setToolTip(visible ? kHideHelp : kShowHelp);
    update();
}

void SidebarToggle::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Tokens t = tokensFor(this);
    const QPointF origin((width() - kGlyphSize) / 2, (height() - kGlyphSize) / 2);
    Icon::paint(painter, Icon::Glyph::sidebarToggle, origin, kGlyphSize, sidebarVisible_ ? t.primaryText() : t.secondaryText());
}

} // namespace BrindlecastApp
