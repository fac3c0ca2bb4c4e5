#pragma once

class QWidget;

namespace BrindlecastApp::Fade {

// Shows `widget` with its children at `opacity` (held within 0...1) through an opacity effect that
// exists only while the opacity is below 1, so a widget at rest draws straight to its window.
void setOpacity(QWidget& widget, double opacity);

// The opacity `widget` is drawn at through the effects on it and on its parents below `upTo`
// (null: up to its window). Shadows painted for it by a container take it too.
double opacityOf(const QWidget& widget, const QWidget* upTo = nullptr);

} // namespace BrindlecastApp::Fade
