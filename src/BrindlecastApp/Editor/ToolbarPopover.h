#pragma once

#include <QPointer>
#include <QWidget>

namespace BrindlecastApp {

class GlassPanel;
class WindowSurface;

// A popover of the editor's toolbar: a popup window holding a popover glass panel, opened below
// the button it belongs to and closed by a click anywhere else. Being a child of the toolbar, it
// goes with the toolbar. A click on its own button closes it and is not handed on to the button,
// so that button does not open it again at once. With a compositor its corners are clear and the
// compositor may blur behind it; without one the window is cut to the panel's rounded outline.
class ToolbarPopover : public QWidget {
    Q_OBJECT
public:
    // `content` (may be null: an empty panel) goes into the glass panel; `owner` is the toolbar.
    ToolbarPopover(QWidget* content, QWidget* owner);

    QWidget* content() const { return content_; }
    GlassPanel* panel() const { return panel_; }
    QWidget* anchor() const { return anchor_; }

    // Shows the popover centred under `anchor`, 6 points below it.
    void openBelow(QWidget* anchor);

signals:
    // The popover closed, whatever closed it.
    void closed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    GlassPanel* panel_;
    QWidget* content_;
    WindowSurface* surface_;
    QPointer<QWidget> anchor_;
};

} // namespace BrindlecastApp
