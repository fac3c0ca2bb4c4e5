#pragma once

#include <QPointer>
#include <QWidget>

namespace BrindlecastApp {

class WindowSurface;

// Shows a widget's tool tip in the design system's look (a small rounded card in the scheme's
// colours and the interface font) instead of the toolkit's default box.
class ToolTip : public QWidget {
    Q_OBJECT
public:
    // From now on `widget`'s tool tip (QWidget::toolTip) is shown as a ToolTip; an empty text
    // shows nothing. Leaving the widget, pressing on it or hiding it closes the tip.
    static void install(QWidget* widget);

    // The tip on screen now, or null.
    static ToolTip* visibleTip();

    // Shows `text` for `owner`, its top-left corner at `globalPosition`.
    static void showText(const QString& text, QWidget* owner, const QPoint& globalPosition);
    static void hideText();

    const QString& text() const { return text_; }
    QWidget* owner() const { return owner_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ToolTip();
    QString text_;
    QPointer<QWidget> owner_;
    WindowSurface* surface_;
};

} // namespace BrindlecastApp
