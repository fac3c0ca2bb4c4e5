#pragma once

#include "BrindlecastApp/Design/Tokens.h"

#include <QColor>
#include <QFont>
#include <QRectF>

class QPainter;

namespace BrindlecastApp::OnboardingStyle {

// The walkthrough's text in the interface family: `points` design points at a weight.
QFont font(double points, QFont::Weight weight = QFont::Normal);

// The pictures' shared palette, by the tokens' scheme.
QColor cardFill(const Tokens& t);   // #F8F8FA at 0.98 light, #0E0E12 at 0.985 dark
QColor cardBorder(const Tokens& t); // black at 0.08 light, white at 0.10 dark
QColor quietFill(const Tokens& t);  // black at 0.10 light, white at 0.16 dark
// The step cards behind each step: black at 0.05 light, white at 0.09 dark.
QColor stepCardFill(const Tokens& t);

// The desktop's system colours the pictures borrow, by scheme.
QColor systemIndigo(const Tokens& t);
QColor systemBlue(const Tokens& t);
QColor systemGreen(const Tokens& t);

// A rounded shape (a capsule when `radius` is half the height) in card fill with the card border
// drawn 1 point wide inside its edge.
void paintCard(QPainter& painter, const QRectF& rect, double radius, const Tokens& t);

} // namespace BrindlecastApp::OnboardingStyle
