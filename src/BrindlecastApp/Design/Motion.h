#pragma once

#include "BrindlecastApp/Design/Animation.h"

#include <QEasingCurve>

class QVariantAnimation;

namespace BrindlecastApp::Motion {

// With reduce motion on, every animation, whatever its kind, runs as this one.
Animation reduced(); // ease-in-out over 0.01 s

// The animation actually run: `animation`, or `reduced()` when motion is reduced.
Animation effective(const Animation& animation, bool reduceMotion);

// Position of a unit step answered by a damped spring, `seconds` after the step. Overshoots
// above 1 when the damping fraction is below 1.
double springPosition(const Animation& spring, double seconds);

// How long a spring takes until it stays within a thousandth of its target.
double settlingSeconds(const Animation& spring);

// Run time in whole milliseconds (at least 1).
int durationMs(const Animation& animation);

// The curve over normalised time 0..1 (for a spring, 1 is its settling time).
QEasingCurve easingCurve(const Animation& animation);

// Gives `target` the duration and curve of `animation`, or of `reduced()` when motion is reduced.
void configure(QVariantAnimation& target, const Animation& animation, bool reduceMotion);

} // namespace BrindlecastApp::Motion
