#pragma once

#include <QMargins>
#include <QWidgetItem>

namespace BrindlecastApp {

// A layout item whose widget reaches `overhang` beyond the place the layout gives it, so that what
// the widget draws there (a selection ring, a hover growth) takes no room from its neighbours. The
// widget must already be a child of the layout's widget.
class OverhangItem : public QWidgetItem {
public:
    OverhangItem(QWidget* widget, QMargins overhang);

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    QSize maximumSize() const override;
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& rect) override;
    QRect geometry() const override;

private:
    QMargins overhang_;
};

} // namespace BrindlecastApp
