#pragma once

#include "BrindlecastApp/Design/Animation.h"

#include <QColor>
#include <QLinearGradient>
#include <QList>
#include <QRectF>

namespace BrindlecastApp {

enum class ColorScheme { light, dark };

// The design vocabulary every view draws with. Only `scheme` and `accent` depend on the arguments;
// the text colours and the canvas backdrop are derived from the scheme on each read.
struct Tokens {
    struct TrafficLights {
        QColor close, minimize, zoom;
        friend bool operator==(const TrafficLights&, const TrafficLights&) = default;
    };
    struct Material {
        double blurRadius = 0;
        double saturation = 1;
        friend bool operator==(const Material&, const Material&) = default;
    };
    struct Radii {
        double window = 0, toolbar = 0, popover = 0, button = 0, small = 0;
        friend bool operator==(const Radii&, const Radii&) = default;
    };
    // One drop-shadow layer; y grows downwards.
    struct Shadow {
        QColor color;
        double radius = 0;
        double x = 0;
        double y = 0;
        friend bool operator==(const Shadow&, const Shadow&) = default;
    };
    struct Motion {
        Animation quick;
        Animation press;
        Animation ease;
        double pressScale = 1;
        friend bool operator==(const Motion&, const Motion&) = default;
    };
    // The two stops of the canvas backdrop, top to bottom.
    struct CanvasMat {
        QColor top, bottom;
        QLinearGradient gradient(const QRectF& rect) const; // top centre to bottom centre
        friend bool operator==(const CanvasMat&, const CanvasMat&) = default;
    };

    Tokens(ColorScheme scheme, const QColor& accent);

    // Light scheme with the default accent: what a widget outside every themed root sees.
    static const Tokens& defaults();

    ColorScheme scheme;
    QColor accent;
    QColor toggleGreen;
    TrafficLights trafficLights;
    QList<QColor> applePalette;
    Material material;
    Radii radii;
    QList<Shadow> windowShadow;
    Shadow toolbarShadow;
    Shadow thumbnailShadow;
    Motion motion;

    bool isDark() const { return scheme == ColorScheme::dark; }
    QColor primaryText() const;
    QColor secondaryText() const;
    CanvasMat canvasMat() const;

    friend bool operator==(const Tokens&, const Tokens&) = default;
};

namespace Design {
// White at 0.12: the thin edge of the frosted cards.
QColor hairline();
// A colour with its alpha replaced (white at 0.3 is white(0.3)).
QColor withOpacity(const QColor& color, double opacity);
QColor white(double opacity);
QColor black(double opacity);
} // namespace Design

} // namespace BrindlecastApp
