#pragma once

#include <QColor>
#include <QString>

#include <functional>

class QColorDialog;

namespace BrindlecastApp {

class ReviewViewModel;

// The one colour chooser the editor's controls share: a non-modal chooser without an opacity
// control that stays open until the user closes it. Whoever opened it last receives every later
// colour change, as "#RRGGBB" with upper-case digits, together with the review model of the
// capture it was opened for. A binding never outlives its capture: it ends when another control
// opens the chooser, when the capture's window lets the capture go (detach), and when the model
// goes away. The chooser itself stays on screen then, writing nowhere. GUI thread only.
namespace CustomColorPanel {

using OnChange = std::function<void(ReviewViewModel& model, const QString& hex)>;

// Shows the chooser preset to `current` and binds it to `model` and `onChange`. Opening writes
// nothing: the colour is preset before the new binding exists.
void open(const QColor& current, ReviewViewModel& model, OnChange onChange);

// The capture of `model` was replaced or its window closed: a binding to it ends. A binding to
// another model stays.
void detach(const ReviewViewModel* model);

// The model the chooser writes into now; null when it writes nowhere.
ReviewViewModel* boundModel();

// The shared chooser; null until the first open (or after it was deleted).
QColorDialog* panel();

} // namespace CustomColorPanel

} // namespace BrindlecastApp
