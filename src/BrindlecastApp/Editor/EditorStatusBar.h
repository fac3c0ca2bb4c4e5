#pragma once

#include "BrindlecastApp/Design/GlassPanel.h"

#include <QPointer>

#include <optional>

class QAbstractButton;

namespace BrindlecastApp {

class ReviewViewModel;
class SymbolLabel;

// The glass strip along the bottom of the editor's canvas, one row as wide as its content: the
// privacy chips (mandatory redactions; suggested ones still hidden over all, a click releasing or
// restoring them all), the image's size in pixels, zoom out, the zoom in percent, zoom in, and
// the "Fit", "50%" and "100%" snaps. It keeps no state: everything is read from the review model
// on each change, and its buttons write zoom through the model only. Its figures are tabular, so a
// number that changes keeps its width and the row does not jump about.
class EditorStatusBar : public GlassPanel {
    Q_OBJECT
public:
    explicit EditorStatusBar(ReviewViewModel& model, QWidget* parent = nullptr);

    // What the bar shows, as derived from the model now.
    // fitScale x zoom.
    double displayScale() const;
    // The display scale in percent, rounded half away from zero; nothing when it is not finite.
    std::optional<long long> percent() const;
    QString percentText() const;
    QString dimensionsText() const;
    bool isNear(double scale) const;
    // zoom within 0.001 of 1.
    bool fitActive() const;

    // The pieces, for whoever drives the bar as a user would.
    SymbolLabel* mandatoryChip() const { return mandatoryChip_; }
    QAbstractButton* suggestedChip() const { return suggestedChip_; }
    QAbstractButton* zoomOutButton() const { return zoomOut_; }
    QAbstractButton* zoomInButton() const { return zoomIn_; }
    QAbstractButton* fitButton() const { return fit_; }
    QAbstractButton* halfButton() const { return half_; }
    QAbstractButton* actualSizeButton() const { return actual_; }
    // The separator after the chips; hidden with them.
    QWidget* chipSeparator() const { return chipSeparator_; }

    // The step of the zoom buttons, added to or taken from the display scale.
    static constexpr double kZoomStep = 0.15;

private:
    void refresh();

    QPointer<ReviewViewModel> model_;
    QWidget* chips_;
    SymbolLabel* mandatoryChip_;
    QAbstractButton* suggestedChip_;
    QWidget* chipSeparator_;
    QWidget* dimensions_;
    QAbstractButton* zoomOut_;
    QWidget* percent_;
    QAbstractButton* zoomIn_;
    QAbstractButton* fit_;
    QAbstractButton* half_;
    QAbstractButton* actual_;
};

} // namespace BrindlecastApp
