#pragma once

#include <QPointer>
#include <QWidget>

namespace BrindlecastApp {

class ReviewCanvasView;
class ReviewViewModel;

// The editor's canvas with its floating chrome: the canvas over the tokens' canvas mat, the
// toolbar slot laid over its top (12 points in from each side), the style strip 2 points under
// it, and the status-bar slot over its bottom (12 points up), all centred. The top chrome's height
// (the toolbar, and the strip while it shows) is what the canvas keeps the fitted image clear of:
// the stage tells the model whenever it changes, but never a height of 0.
//
// The floating chrome's shadows fall on the mat under the canvas (the window's glass panel paints
// them), never over the picture being edited: the picture shows as it will leave. While the
// capture's findings are still looked for, the pointer over the chrome is the busy arrow.
class EditorCanvasStage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinimumHeight = 420;
    static constexpr int kToolbarPadding = 12;
    static constexpr int kStatusBarPadding = 12;
    static constexpr int kStripSpacing = 2;

    // Either slot may be null (an empty slot, 0 points high).
    EditorCanvasStage(ReviewViewModel& model, QWidget* toolbar, QWidget* statusBar, QWidget* parent = nullptr);

    ReviewCanvasView* canvas() const { return canvas_; }
    QWidget* toolbar() const { return toolbar_; }
    QWidget* statusBar() const { return statusBar_; }
    // The style strip under the toolbar; null for none. The stage takes it over.
    void setStyleStrip(QWidget* strip);
    QWidget* styleStrip() const { return styleStrip_; }
    // The top chrome's height as laid out now: the toolbar, then the spacing and the style strip
    // while it shows (0 when neither shows).
    int toolbarHeight() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void adopt(QWidget* slot);
    void showWhetherFindingsAreAwaited();

    QPointer<ReviewViewModel> model_;
    ReviewCanvasView* canvas_;
    QPointer<QWidget> toolbar_;
    QPointer<QWidget> statusBar_;
    QPointer<QWidget> styleStrip_;
};

} // namespace BrindlecastApp
