#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QSlider;

namespace BrindlecastApp {

class ReviewViewModel;
class WindowSurface;

// The small popover that edits the colour and the width (or text size) of the selected
// annotations. Every movement of a control is one write to the model.
class StyleInspector : public QWidget {
    Q_OBJECT
public:
    explicit StyleInspector(ReviewViewModel& model, QWidget* parent = nullptr);

    // What the controls show: the selected style's colour and width, or red and 3 without one.
    QColor shownColor() const;
    double shownWidth() const;
    QString sizeCaption() const;

    // The slider's width, as the model receives it.
    void pickWidth(double width);

    // Opens the colour chooser over the selected annotations' colour. The popover closes (as it
    // would anyway when the chooser takes focus); the chooser belongs to the popover's window and
    // writes into the model as its colour moves.
    void chooseColor();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    QPointer<ReviewViewModel> model_;
    QWidget* well_;
    QLabel* caption_;
    QSlider* slider_;
    WindowSurface* surface_ = nullptr;
    bool refreshing_ = false;
};

} // namespace BrindlecastApp
