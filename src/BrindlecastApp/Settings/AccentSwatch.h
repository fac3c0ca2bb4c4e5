#pragma once

#include <QAbstractButton>
#include <QColor>

namespace BrindlecastApp {

// One round accent choice: a 26-point disc with a thin white edge, ringed in its own colour
// while it is the theme's accent. A click makes it the theme's accent (which stores it).
class AccentSwatch : public QAbstractButton {
    Q_OBJECT
public:
    explicit AccentSwatch(const QColor& color, QWidget* parent = nullptr);

    const QColor& color() const { return color_; }
    // Whether the theme's accent and this colour have the same 8-bit sRGB red, green and blue.
    bool isSelected() const;

    QSize sizeHint() const override { return {32, 32}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
};

} // namespace BrindlecastApp
