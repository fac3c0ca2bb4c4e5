#pragma once

#include "BrindlecastApp/Design/Animation.h"

#include <QImage>
#include <QWidget>

namespace BrindlecastApp {

class SpringValue;

// A picture of a widget as it looks now, with the shadows it casts, left in the widget's place
// above its siblings and faded out; it takes no input and deletes itself once gone. This is how
// content that changes at once still leaves with a fade: the widget itself is free to change, move
// or hide while its picture fades.
class FadingSnapshot : public QWidget {
    Q_OBJECT
public:
    // Pictures `widget` (drawn fully opaque: clear its own fade first) and fades the picture from
    // `startOpacity` to nothing with `animation`. Null when the widget has no parent to stay in.
    static FadingSnapshot* fadeOut(QWidget& widget, const Animation& animation, double startOpacity = 1);

    double opacity() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FadingSnapshot(QWidget& widget, double startOpacity);

    QImage picture_;
    SpringValue* opacity_;
};

} // namespace BrindlecastApp
