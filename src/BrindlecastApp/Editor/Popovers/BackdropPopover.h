#pragma once

#include "ExportKit/ExportTypes.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <optional>

class QSlider;
class QVBoxLayout;

namespace BrindlecastApp {

class PaletteGrid;
class PillToggle;
class ReviewViewModel;
class TextLabel;

// What the backdrop popover shows: the switch, five gradient presets, the palette, the custom
// colour and, while a backdrop is on, its padding and corner radius. Every change goes straight
// into the capture's backdrop; the last backdrop that was on is remembered for as long as the
// popover lives, so switching off and on brings it back exactly. Put it in a popover glass panel;
// the panel makes the popovers' entrance when shown. GUI thread only.
class BackdropPopover : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 214;
    static constexpr double kMaximumCorner = 48;

    struct Preset {
        const char* a;
        const char* b;
    };
    static const std::array<Preset, 5>& gradients();
    // The angle every gradient chosen here carries: 315 degrees.
    static double gradientAngle();
    // What switching on restores until another backdrop has been on: the first preset, padding 64,
    // corners 12.
    static ExportKit::Backdrop startingBackdrop();
    // Padding runs up to 0.3 of the captured image's shorter side.
    static double maximumPadding(const ReviewViewModel& model);

    explicit BackdropPopover(ReviewViewModel& model, QWidget* parent = nullptr);

    // What the controls show, for tests and the toolbar.
    PillToggle* toggle() const { return toggle_; }
    PaletteGrid* palette() const { return palette_; }
    QWidget* presetTile(int index) const;
    bool isPresetMarked(int index) const;
    QSlider* paddingSlider() const { return padding_.slider; }
    QSlider* cornerSlider() const { return corners_.slider; }
    QString paddingText() const;
    QString cornerText() const;
    bool slidersShown() const;
    const ExportKit::Backdrop& lastBackdrop() const { return lastBackdrop_; }
    // The colour the custom row hands to the chooser: the solid colour, else sRGB (88, 86, 214).
    QColor customColor() const;

    // Makes `style` the capture's backdrop, keeping its padding and corner radius. The custom
    // colour arrives this way too, from a chooser that may outlive the popover.
    static void apply(ReviewViewModel& model, const ExportKit::Backdrop::Style& style);

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct SliderRow {
        QWidget* row = nullptr;
        TextLabel* name = nullptr;
        QSlider* slider = nullptr;
        TextLabel* value = nullptr;
        double maximum = 0;
    };
    SliderRow makeSliderRow(const QString& label, double maximum, void (BackdropPopover::*write)(double));
    void switchBackdrop(bool on);
    void setPadding(double padding);
    void setCornerRadius(double radius);
    void refresh();
    void showSlider(SliderRow& row, double value);
    bool isGradient(const QString& a, const QString& b) const;

    QPointer<ReviewViewModel> model_;
    QVBoxLayout* column_ = nullptr;
    ExportKit::Backdrop lastBackdrop_;
    PillToggle* toggle_ = nullptr;
    std::array<QWidget*, 5> tiles_{};
    PaletteGrid* palette_ = nullptr;
    QWidget* sliderDivider_ = nullptr;
    SliderRow padding_;
    SliderRow corners_;
    bool updating_ = false;
};

} // namespace BrindlecastApp
