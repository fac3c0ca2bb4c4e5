#include "BrindlecastApp/Design/OverhangItem.h"

#include <QWidget>

namespace BrindlecastApp {

OverhangItem::OverhangItem(QWidget* widget, QMargins overhang) : QWidgetItem(widget), overhang_(overhang) {}

QSize OverhangItem::sizeHint() const { return QWidgetItem::sizeHint().shrunkBy(overhang_).expandedTo({0, 0}); }

QSize OverhangItem::minimumSize() const { return QWidgetItem::minimumSize().shrunkBy(overhang_).expandedTo({0, 0}); }

QSize OverhangItem::maximumSize() const {
    // An unbounded side stays unbounded.
    const QSize most = QWidgetItem::maximumSize();
    return {most.width() >= QWIDGETSIZE_MAX ? most.width() : std::max(0, most.width() - overhang_.left() - overhang_.right()),
            most.height() >= QWIDGETSIZE_MAX ? most.height() : std::max(0, most.height() - overhang_.top() - overhang_.bottom())};
}

int OverhangItem::heightForWidth(int width) const {
    const int height = QWidgetItem::heightForWidth(width + overhang_.left() + overhang_.right());
    return height < 0 ? height : std::max(0, height - overhang_.top() - overhang_.bottom());
}

void OverhangItem::setGeometry(const QRect& rect) {
    // The widget takes the whole enlarged rectangle, beyond the maximum the layout was told.
    if (!isEmpty()) widget()->setGeometry(rect.marginsAdded(overhang_));
}

QRect OverhangItem::geometry() const { return QWidgetItem::geometry().marginsRemoved(overhang_); }

} // namespace BrindlecastApp
