#pragma once

#include "BrindlecastApp/Review/ShowsReviewModel.h"

#include <QPointer>
#include <QWidget>

#include <optional>

namespace BrindlecastApp {

class EditorCanvasStage;
class EditorSidebarPane;
class EditorTitleStrip;
class GlassPanel;
class ReviewCanvasView;
class ReviewViewModel;

// The editor window's content: one window glass panel holding the collapsible, resizable sidebar
// on the left and, on the right, the title strip over the canvas stage. It knows nothing of what
// fills its three slots (sidebar, toolbar, status bar). Inside an EditorWindowChrome it keeps the
// window buttons centred in the sidebar's header (inset 8) while the sidebar shows, and in the
// window's top-left 46-point corner while it is hidden. The Edit menu's Undo and Redo reach its
// model through it.
class EditorView : public QWidget, public ShowsReviewModel {
    Q_OBJECT
public:
    static constexpr double kStripHeight = 46;

    // Each slot may be null. `cornerRadius` rounds the window panel; the window token radius when
    // nothing is given.
    EditorView(QString filename, ReviewViewModel& model, bool sidebarVisible, QWidget* sidebar, QWidget* toolbar,
               QWidget* statusBar, std::optional<double> cornerRadius = std::nullopt, QWidget* parent = nullptr);

    const QString& filename() const { return filename_; }
    bool sidebarVisible() const { return sidebarVisible_; }
    // Shows or hides the sidebar, at once or sliding and fading (the window buttons and the title
    // strip's toggle follow at once either way).
    void setSidebarVisible(bool visible, bool animated = false);
    // The toggles' action: the sidebar slides in or out with the quick motion token.
    void toggleSidebar() { setSidebarVisible(!sidebarVisible_, true); }

    EditorSidebarPane* sidebarPane() const { return sidebarPane_; }
    EditorTitleStrip* titleStrip() const { return titleStrip_; }
    EditorCanvasStage* stage() const { return stage_; }
    ReviewCanvasView* canvas() const;
    // Puts the style strip under the toolbar slot; the view takes it over.
    void setStyleStrip(QWidget* strip);
    GlassPanel* panel() const { return panel_; }
    // The window-button inset the view asks of its window now: 8 with the sidebar, else 0.
    double cornerInset() const;
    ReviewViewModel* shownReviewModel() const override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void placeWindowButtons();

    QString filename_;
    QPointer<ReviewViewModel> model_;
    bool sidebarVisible_;
    GlassPanel* panel_;
    EditorSidebarPane* sidebarPane_;
    EditorTitleStrip* titleStrip_;
    EditorCanvasStage* stage_;
};

} // namespace BrindlecastApp
