#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <array>
#include <optional>

class QWidget;

namespace BrindlecastApp::TrafficLights {

// Close, minimise and zoom sit on one line `cornerInset + stripHeight / 2` below the top of their
// container: the close button's centre that far from the left edge, each next one 20 points
// further right. `index` is 0, 1, 2; coordinates have their origin at the top left.
QPointF targetOrigin(int index, const QSizeF& buttonSize, double stripHeight, double cornerInset);

// Frames of the three buttons in their container; a missing button is nothing.
using Frames = std::array<std::optional<QRectF>, 3>;

// True when every button that exists lies within 1 point of its target on both axes (also when
// none exists).
bool aligned(const Frames& frames, double stripHeight, double cornerInset);

// The widget forms: missing (null) buttons and buttons without a parent are skipped. `align`
// moves only the buttons that are off, so calling it often costs nothing when all is in place.
// Returns how many buttons it moved.
using Buttons = std::array<QWidget*, 3>;
bool aligned(const Buttons& buttons, double stripHeight, double cornerInset);
int align(const Buttons& buttons, double stripHeight, double cornerInset);

} // namespace BrindlecastApp::TrafficLights
