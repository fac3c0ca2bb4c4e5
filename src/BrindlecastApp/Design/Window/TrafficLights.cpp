#include "BrindlecastApp/Design/Window/TrafficLights.h"

#include <QWidget>

#include <cmath>

namespace BrindlecastApp::TrafficLights {

namespace {

constexpr double tolerance = 1.0;
constexpr double spacing = 20.0;

bool near(const QPointF& actual, const QPointF& target) {
    return std::abs(actual.x() - target.x()) <= tolerance && std::abs(actual.y() - target.y()) <= tolerance;
}

Frames framesOf(const Buttons& buttons) {
    Frames frames;
    for (size_t k = 0; k < buttons.size(); ++k) {
        if (buttons[k] && buttons[k]->parentWidget()) frames[k] = QRectF(buttons[k]->geometry());
    }
    return frames;
}

} // namespace

QPointF targetOrigin(int index, const QSizeF& size, double stripHeight, double cornerInset) {
    const double middle = cornerInset + stripHeight / 2;
    return {middle - size.width() / 2 + spacing * index, middle - size.height() / 2};
}

bool aligned(const Frames& frames, double stripHeight, double cornerInset) {
    for (size_t k = 0; k < frames.size(); ++k) {
        if (!frames[k]) continue;
        if (!near(frames[k]->topLeft(), targetOrigin(static_cast<int>(k), frames[k]->size(), stripHeight, cornerInset)))
            return false;
    }
    return true;
}

bool aligned(const Buttons& buttons, double stripHeight, double cornerInset) {
    return aligned(framesOf(buttons), stripHeight, cornerInset);
}

int align(const Buttons& buttons, double stripHeight, double cornerInset) {
    int moved = 0;
    const Frames frames = framesOf(buttons);
    for (size_t k = 0; k < buttons.size(); ++k) {
        if (!frames[k]) continue;
        const QPointF target = targetOrigin(static_cast<int>(k), frames[k]->size(), stripHeight, cornerInset);
        if (near(frames[k]->topLeft(), target)) continue;
        buttons[k]->move(target.toPoint());
        ++moved;
    }
    return moved;
}

} // namespace BrindlecastApp::TrafficLights
