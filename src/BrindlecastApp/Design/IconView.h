#pragma once

#include "BrindlecastApp/Design/Icon.h"

#include <QColor>
#include <QWidget>
#include <optional>

namespace BrindlecastApp {

// One glyph drawn in a size x size square centred in the widget, in the given colour or,
// without one, in the primary text colour of its tokens.
class IconView : public QWidget {
    Q_OBJECT
public:
    IconView(Icon::Glyph glyph, double size, QWidget* parent = nullptr);

    Icon::Glyph glyph() const { return glyph_; }
    void setColor(const QColor& color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Icon::Glyph glyph_;
    double size_;
    std::optional<QColor> color_;
};

} // namespace BrindlecastApp
