#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

namespace BrindlecastApp {

class GlassPanel;
class SidebarResizeGrip;
class SidebarToggle;
class SpringValue;

// The editor's left pane: a sidebar glass panel inset 8 points from the window's leading, top
// and bottom edges, holding a 46-point header (which moves the window, with the sidebar toggle at
// its trailing end) over the sidebar slot. The grip along its trailing edge resizes it within
// 180...340 points from where the drag began; the width is stored when the drag ends and shared
// by every editor window. It comes and goes with a move from the leading edge and a fade: the room
// it takes in the row grows or shrinks with it.
class EditorSidebarPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kInset = 8;
    static constexpr int kHeaderHeight = 46;

    explicit EditorSidebarPane(QWidget* slot, QWidget* parent = nullptr);

    double sidebarWidth() const { return sidebarWidth_; }
    QWidget* slotWidget() const { return slot_; }
    SidebarToggle* toggle() const { return toggle_; }
    SidebarResizeGrip* grip() const { return grip_; }
    GlassPanel* panel() const { return panel_; }

    // Shows or hides the pane: at once, or sliding and fading with the quick motion token (at once
    // too where motion is reduced). A pane on its way out is hidden once it has gone.
    void present(bool shown, bool animated);
    // How far the pane has come in: 0 gone, 1 in place (a spring may overshoot a little).
    double presence() const;
    // The pane's width in place: the inset and the panel.
    int fullWidth() const;

signals:
    void toggleClicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setSidebarWidth(double width);
    void place();

    double sidebarWidth_;
    // The width a drag began from; set only while a drag is under way.
    std::optional<double> resizeBaseWidth_;
    QPointer<QWidget> slot_;
    GlassPanel* panel_;
    SidebarToggle* toggle_;
    SidebarResizeGrip* grip_;
    SpringValue* presence_;
};

} // namespace BrindlecastApp
