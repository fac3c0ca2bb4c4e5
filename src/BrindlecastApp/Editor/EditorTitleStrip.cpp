#include "BrindlecastApp/Editor/EditorTitleStrip.h"

#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Editor/SidebarToggle.h"
#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>

namespace BrindlecastApp {

EditorTitleStrip::EditorTitleStrip(QString filename, QWidget* parent)
    : WindowDragArea(parent), filename_(std::move(filename)), toggle_(new SidebarToggle(this)) {
    setObjectName(QStringLiteral("titleStrip"));
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    toggle_->setSidebarVisible(false);
    toggle_->hide();
}

void EditorTitleStrip::setSidebarVisible(bool visible) {
    toggle_->setVisible(!visible);
    update();
}

void EditorTitleStrip::resizeEvent(QResizeEvent* event) {
    WindowDragArea::resizeEvent(event);
    toggle_->move(kPadding + kToggleLead, (height() - toggle_->height()) / 2);
}

void EditorTitleStrip::paintEvent(QPaintEvent*) {
    // The name is painted, not a child, so a press on it reaches the drag area.
    QPainter painter(this);
    const QFont font = Support::Fonts::interfaceFont(13, QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(tokensFor(this).primaryText());
    const QRectF area = QRectF(rect()).adjusted(kPadding, 0, -kPadding, 0);
    const QString shown = QFontMetricsF(font).elidedText(filename_, Qt::ElideMiddle, area.width());
    painter.drawText(area, Qt::AlignCenter, shown);
}

} // namespace BrindlecastApp
