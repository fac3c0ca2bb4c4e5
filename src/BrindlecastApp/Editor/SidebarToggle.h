#pragma once

#include <QAbstractButton>

namespace BrindlecastApp {

// The button that hides and shows the editor's sidebar: the sidebar glyph, 18 points, in a
// 31 x 26 frame that takes clicks everywhere. Primary text colour while the sidebar shows, the
// secondary one while it is hidden; its help says what a click will do.
class SidebarToggle : public QAbstractButton {
    Q_OBJECT
public:
    explicit SidebarToggle(QWidget* parent = nullptr);

    void setSidebarVisible(bool visible);
    bool sidebarVisible() const { return sidebarVisible_; }

    QSize sizeHint() const override { return {31, 26}; }

    static inline const QString kHideHelp = QStringLiteral("Hide screenshots");
    static inline const QString kShowHelp = QStringLiteral("Show screenshots");

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool sidebarVisible_ = true;
};

} // namespace BrindlecastApp
