#pragma once

#include "BrindlecastApp/Design/Tokens.h"

#include <QObject>
#include <QPalette>
#include <QPointer>

#include <optional>

class QWidget;

namespace BrindlecastApp {

class DesktopSettings;
class Theme;

// Marks a window's root widget as themed: every widget below it reads its tokens, its theme and
// the reduce-motion and reduce-transparency wishes from the nearest themed root above it. A change
// of the theme or of the desktop's settings repaints the whole tree and gives it the palette of the
// effective scheme, so plain Qt controls follow along.
class ThemedRoot : public QObject {
    Q_OBJECT
public:
    // Installs (or re-points) the themed root on `root`. The theme stays owned by the caller.
    static ThemedRoot* install(QWidget* root, Theme* theme, DesktopSettings* desktop = nullptr);
    // The nearest themed root at or above `widget`, or null.
    static ThemedRoot* find(const QWidget* widget);

    Theme* theme() const;
    Tokens tokens() const;
    // Shows the tree in this scheme whatever the theme's mode, keeping the theme's accent (a
    // view that always asks for the dark look); nothing follows the theme's mode again.
    void setPreferredScheme(std::optional<ColorScheme> scheme);
    bool reduceMotion() const;
    bool reduceTransparency() const;

signals:
    void tokensChanged();

private:
    ThemedRoot(QWidget* root, Theme* theme, DesktopSettings* desktop);
    void refresh();

    QWidget* root_;
    QPointer<Theme> theme_;
    QPointer<DesktopSettings> desktop_;
    std::optional<ColorScheme> preferredScheme_;
};

// The palette plain Qt controls get under a themed root showing `tokens`. A window of its own (a
// popup) does not inherit its parent's palette, so what it holds takes this where it shows them.
QPalette paletteFor(const Tokens& tokens);

// What a widget sees: the values of its nearest themed root, else the light tokens with the
// default accent, no theme, and motion and transparency as they are.
Tokens tokensFor(const QWidget* widget);
Theme* themeFor(const QWidget* widget);
bool reduceMotionFor(const QWidget* widget);
bool reduceTransparencyFor(const QWidget* widget);
// The thin rim of a colour dot, in the secondary text colour: it keeps a dot whose colour is
// close to what lies behind it (the near-black swatch in the dark scheme) in sight.
QColor swatchRimFor(const QWidget* widget);

} // namespace BrindlecastApp
