#pragma once

#include "BrindlecastApp/Design/Window/WindowDragArea.h"

namespace BrindlecastApp {

class SidebarToggle;

// The 46-point strip over the editor's canvas: the capture's file name centred in it, and, while
// the sidebar is hidden, the sidebar toggle 78 points in from its 16-point padding, clear of the
// window buttons. Everything but the toggle moves the window.
class EditorTitleStrip : public WindowDragArea {
    Q_OBJECT
public:
    static constexpr int kHeight = 46;
    static constexpr int kPadding = 16;
    static constexpr int kToggleLead = 78;

    explicit EditorTitleStrip(QString filename, QWidget* parent = nullptr);

    const QString& filename() const { return filename_; }
    SidebarToggle* toggle() const { return toggle_; }
    // Shows the toggle while the sidebar is hidden.
    void setSidebarVisible(bool visible);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString filename_;
    SidebarToggle* toggle_;
};

} // namespace BrindlecastApp
