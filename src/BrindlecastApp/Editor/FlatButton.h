#pragma once

#include "BrindlecastApp/Design/IconPainter.h"

#include <QAbstractButton>
#include <QColor>

#include <functional>
#include <optional>

namespace BrindlecastApp {

// The editor's flat buttons: a rounded fill (the button token radius) that shows or deepens at
// once when the pointer enters, leaves or presses; nothing is animated. Neither button changes
// its look when disabled: the caller dims it with setDimming(). They take no keyboard focus, so
// the canvas keeps the keys.

// The fill behind a flat button: `rest` while it is not held down, `pressed` while it is, a
// rounded rectangle of `radius` (the button token radius).
struct FlatFillStyle {
    QColor rest;
    QColor pressed;
    double radius = 0;
    friend bool operator==(const FlatFillStyle&, const FlatFillStyle&) = default;
};

// A 36 x 34 square icon button (tools, crop, backdrop, undo, redo, More, settings). Active: the
// accent fill with a white icon. A submenu button shows a small chevron 4 points from its
// bottom and trailing edges.
class FlatToolButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr QSize kSize{36, 34};

    FlatToolButton(bool isActive, bool hasSubmenu, std::function<void()> action, IconPainter icon,
                   QWidget* parent = nullptr);

    bool isActive() const { return active_; }
    void setActive(bool active);
    bool hasSubmenu() const { return hasSubmenu_; }
    bool isHovering() const { return hovering_; }
    // The whole button is drawn at this opacity (1 by default).
    void setDimming(double opacity);
    double dimming() const { return dimming_; }

    // What the button draws now.
    FlatFillStyle fill() const;
    QColor foreground() const;
    // Where the chevron is drawn, when there is one.
    QRectF chevronBox() const;

    // The button at `scale` times its designed size, everything in it drawn to that scale (a
    // toolbar shrunk to a window too narrow for it). Sizes round down, so a row of scaled buttons
    // is never wider than the row scaled.
    void setScale(double scale);
    double scale() const { return scale_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool active_;
    bool hasSubmenu_;
    IconPainter icon_;
    bool hovering_ = false;
    double dimming_ = 1;
    double scale_ = 1;
};

// A 34-point-high text and symbol button (Copy, Done, the style strip's Detect PII). The plain
// form always shows a faint fill; the prominent one is filled with the accent and draws white.
class FlatButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kHeight = 34;

    FlatButton(std::optional<QString> title, std::optional<QString> systemImage, bool prominent,
               std::optional<double> fixedWidth, std::function<void()> action, QWidget* parent = nullptr);

    const std::optional<QString>& title() const { return title_; }
    const std::optional<QString>& systemImage() const { return systemImage_; }
    bool isProminent() const { return prominent_; }
    // A label change keeps a fixed width as it is and otherwise asks the layout for the new size.
    void setLabel(std::optional<QString> title, std::optional<QString> systemImage);
    bool isHovering() const { return hovering_; }
    void setDimming(double opacity);
    double dimming() const { return dimming_; }
    // While what a click started still waits (a copy for the capture's findings), the button
    // keeps its pressed fill and the pointer over it is the busy arrow.
    void setWaiting(bool waiting);
    bool isWaiting() const { return waiting_; }
    // As FlatToolButton::setScale.
    void setScale(double scale);
    double scale() const { return scale_; }

    FlatFillStyle fill() const;
    QColor foreground() const;
    // 15 with a title when prominent, 12 with a title otherwise, 10 without a title.
    double sidePadding() const;
    QFont titleFont() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The symbol and title side by side, 6 points apart, before padding.
    QSizeF contentSize() const;

    std::optional<QString> title_;
    std::optional<QString> systemImage_;
    bool prominent_;
    std::optional<double> fixedWidth_;
    bool hovering_ = false;
    bool waiting_ = false;
    double dimming_ = 1;
    double scale_ = 1;
};

namespace FlatLook {
// A designed length at `scale`, rounded down to whole points.
int scaled(double length, double scale);
// White at 0.16 in the dark scheme, black at 0.10 in the light one: hover and press feedback.
QColor hoverTint(const QWidget* widget);
} // namespace FlatLook

} // namespace BrindlecastApp
