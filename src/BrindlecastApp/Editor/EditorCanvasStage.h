#pragma once

#include <QPointer>
#include <QWidget>

namespace BrindlecastApp {

class ReviewCanvasView;
class ReviewViewModel;

// The editor's canvas with its floating chrome: the canvas over the tokens' canvas mat, the
// toolbar slot laid over its top (12 points in from each side) and the status-bar slot over its
// bottom (12 points up), both centred. The toolbar slot's height is what the canvas keeps the
// fitted image clear of: the stage tells the model whenever it changes, but never a height of 0.
class EditorCanvasStage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinimumHeight = 420;
    static constexpr int kToolbarPadding = 12;
    static constexpr int kStatusBarPadding = 12;

    // Either slot may be null (an empty slot, 0 points high).
    EditorCanvasStage(ReviewViewModel& model, QWidget* toolbar, QWidget* statusBar, QWidget* parent = nullptr);

    ReviewCanvasView* canvas() const { return canvas_; }
    QWidget* toolbar() const { return toolbar_; }
    QWidget* statusBar() const { return statusBar_; }
    // The toolbar slot's height as laid out now (0 for an empty slot).
    int toolbarHeight() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QPointer<ReviewViewModel> model_;
    ReviewCanvasView* canvas_;
    QPointer<QWidget> toolbar_;
    QPointer<QWidget> statusBar_;
};

} // namespace BrindlecastApp
