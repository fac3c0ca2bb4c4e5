#pragma once

#include <QWidget>

namespace BrindlecastApp {

// A container that paints the drop shadows of the ShadowCaster widgets laid out inside it, through
// any plain rows and columns between. Shadows end at its edges.
class ShadowHost : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace BrindlecastApp
