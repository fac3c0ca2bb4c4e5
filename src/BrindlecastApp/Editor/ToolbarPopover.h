#pragma once

#include <QMargins>
#include <QPointer>
#include <QWidget>

namespace BrindlecastApp {

class GlassPanel;
class WindowSurface;

// A popover of the editor's toolbar: a popup window holding a popover glass panel, opened below
// the button it belongs to and closed by a click anywhere off the panel. Being a child of the
// toolbar, it goes with the toolbar. A click on its own button closes it and is not handed on to
// the button, so that button does not open it again at once. With a compositor the window leaves
// a clear margin around the panel where the panel's shadow falls, its corners are clear and the
// compositor may blur behind the panel; without one the window is cut to the panel's rounded
// outline and casts nothing. The panel stays where it is as a compositor starts or stops, and on
// the anchor's screen.
class ToolbarPopover : public QWidget {
    Q_OBJECT
public:
    // `content` (may be null: an empty panel) goes into the glass panel; `owner` is the toolbar.
    ToolbarPopover(QWidget* content, QWidget* owner);

    QWidget* content() const { return content_; }
    GlassPanel* panel() const { return panel_; }
    QWidget* anchor() const { return anchor_; }
    // The clear room around the panel now: its shadow's reach with a compositor, else none.
    QMargins shadowMargins() const;

    // Shows the popover with its panel centred under `anchor`, 6 points below it.
    void openBelow(QWidget* anchor);

signals:
    // The popover closed, whatever closed it.
    void closed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Sets the margin the surface asks for, keeping the panel where it is on screen.
    void followSurface();

    GlassPanel* panel_;
    QWidget* content_;
    WindowSurface* surface_;
    QPointer<QWidget> anchor_;
};

} // namespace BrindlecastApp
