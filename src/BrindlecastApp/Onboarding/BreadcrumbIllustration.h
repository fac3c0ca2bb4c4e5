#pragma once

#include <QWidget>

namespace BrindlecastApp {

// The path to the capture setting, "System Settings › Privacy & Security › Screen Recording", as
// three chips joined by chevrons, at its natural width. Where the desktop's font sets it wider than
// the column, the whole picture is drawn that little smaller rather than cut. Draws from the
// tokens of its themed root.
class BreadcrumbIllustration : public QWidget {
    Q_OBJECT
public:
    explicit BreadcrumbIllustration(QWidget* parent = nullptr);

    struct Chip {
        QString symbol;
        QString title;
    };
    static const QList<Chip>& chips();
    // The chips' frames, left to right, in widget coordinates as drawn.
    QList<QRectF> chipFrames() const;
    // 1 at the natural width; below 1 when the widget is narrower.
    double drawingScale() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace BrindlecastApp
