#include "BrindlecastApp/Design/Tokens.h"

#include <algorithm>

namespace BrindlecastApp {

namespace {

QColor rgb(int r, int g, int b) { return QColor::fromRgb(r, g, b); }

} // namespace

namespace Design {

QColor withOpacity(const QColor& color, double opacity) {
    QColor result = color;
    result.setAlphaF(static_cast<float>(std::clamp(opacity, 0.0, 1.0))); // a spring may overshoot past 0 or 1
    return result;
}

QColor white(double opacity) { return withOpacity(Qt::white, opacity); }
QColor black(double opacity) { return withOpacity(Qt::black, opacity); }

QColor hairline() {
    static const QColor color = white(0.12);
    return color;
}

} // namespace Design

QLinearGradient Tokens::CanvasMat::gradient(const QRectF& rect) const {
    QLinearGradient result(QPointF(rect.center().x(), rect.top()), QPointF(rect.center().x(), rect.bottom()));
    result.setColorAt(0, top);
    result.setColorAt(1, bottom);
    return result;
}

Tokens::Tokens(ColorScheme scheme_, const QColor& accent_)
    : scheme(scheme_),
      accent(accent_),
      toggleGreen(rgb(52, 199, 89)),
      trafficLights{rgb(255, 95, 87), rgb(254, 188, 46), rgb(40, 200, 64)},
      applePalette{rgb(255, 59, 48),  rgb(255, 149, 0),  rgb(255, 204, 0),  rgb(52, 199, 89),  rgb(0, 199, 190),
                   rgb(48, 176, 199), rgb(50, 173, 230), rgb(0, 122, 255),  rgb(88, 86, 214),  rgb(175, 82, 222),
                   rgb(255, 45, 85),  rgb(162, 132, 94), rgb(142, 142, 147), rgb(29, 29, 31), rgb(255, 255, 255)},
      material{40, 1.8},
      radii{20, 16, 14, 10, 7},
      windowShadow{{Design::black(0.6), 55, 0, 44}, {Design::black(0.28), 17, 0, 12}},
      toolbarShadow{Design::black(0.45), 27, 0, 22},
      thumbnailShadow{Design::black(0.65), 27, 0, 22},
      motion{Animation::spring(0.18, 0.7), Animation::spring(0.15, 0.55), Animation::easeOut(0.12), 0.85} {}

const Tokens& Tokens::defaults() {
    static const Tokens tokens(ColorScheme::light, rgb(0, 122, 255));
    return tokens;
}

QColor Tokens::primaryText() const { return isDark() ? rgb(245, 245, 247) : rgb(29, 29, 31); }

QColor Tokens::secondaryText() const { return isDark() ? rgb(196, 196, 204) : rgb(76, 76, 82); }

Tokens::CanvasMat Tokens::canvasMat() const {
    return isDark() ? CanvasMat{Design::black(0.25), Design::black(0.35)}
                    : CanvasMat{Design::black(0.02), Design::black(0.05)};
}

} // namespace BrindlecastApp
