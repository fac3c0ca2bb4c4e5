#pragma once

#include <QRect>
#include <QSize>

class QScreen;
class QWidget;

// Where a top-level window goes on the screen that shows it. Sizes and places are in the
// screen's points (Qt's logical pixels), so a screen shown at 2x holds half as many of them: a
// window whose designed size does not fit is shrunk to the work area (the screen less its panels),
// and no window is placed off it.
namespace BrindlecastApp::ScreenPlacement {

// `wanted`, shrunk on each axis to what `area` holds.
QSize fitted(QSize wanted, const QRect& area);
// `frame` moved the least distance that puts it inside `area`; a frame wider or taller than the
// area keeps its left or top edge on the area's.
QRect keptInside(const QRect& frame, const QRect& area);
// A frame of `size`, shrunk to fit, centred on `area`.
QRect centred(QSize size, const QRect& area);

// The screen that shows `window`: the one holding the centre of its frame, else its own, else
// the primary; null without screens.
QScreen* screenOf(const QWidget& window);
// The work area of that screen; an empty rectangle without screens.
QRect workArea(const QWidget& window);

// Gives `window` the size `wanted` (shrunk to its screen's work area) centred there. A window
// whose size is fixed (minimum equal to maximum) keeps that pin at the fitted size.
void centre(QWidget& window, QSize wanted);
// Moves `window` back inside its screen's work area where it lies partly off it.
void keepOnScreen(QWidget& window);

} // namespace BrindlecastApp::ScreenPlacement
