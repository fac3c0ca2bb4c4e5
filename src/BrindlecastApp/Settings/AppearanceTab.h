#pragma once

#include <QList>
#include <QWidget>

namespace BrindlecastApp {

class AccentSwatch;
class ThemeSegmented;

// The Appearance page: the colour scheme (light, dark or the desktop's) and the accent colour.
// Both controls write the theme of the window's themed root, which stores them at once and
// repaints every themed window.
class AppearanceTab : public QWidget {
    Q_OBJECT
public:
    explicit AppearanceTab(QWidget* parent = nullptr);

    ThemeSegmented* modeControl() const { return mode_; }
    const QList<AccentSwatch*>& swatches() const { return swatches_; }

private:
    ThemeSegmented* mode_;
    QList<AccentSwatch*> swatches_;
};

} // namespace BrindlecastApp
