#pragma once

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Editor/StylePicker.h"
#include "BrindlecastApp/Review/AnnotationTool.h"

#include <QMap>
#include <QPointer>

#include <optional>
#include <vector>

class QAbstractButton;

namespace BrindlecastApp {

class ChipSegment;
class ChipToggle;
class FontPicker;
class NumberStepper;
class OutlineColorWell;
class ReviewViewModel;
class SpringValue;
class StripActionButton;
class SwatchPicker;
class WidthPicker;

// The sections of the style strip, in the order in which they stand when shown.
enum class StripSection {
    swatches,    // six colour swatches and the custom colour well
    text,        // font, text size and alignment
    width,       // stroke width
    fill,        // fill of boxes and ellipses
    dashed,      // dashed lines
    badge,       // the next badge's number
    decor,       // contrast outline, its colour and drop shadow
    ratio,       // crop ratio
    cropButtons, // cancel and apply the crop
    redaction,   // the look of redactions
    detectPII,   // run detection again
};

// The editor's context bar under the toolbar: the controls that fit the current tool, or the
// single selected annotation under the select tool, on one glass panel that hugs them. When
// nothing fits it is hidden altogether, so the top chrome it belongs to shrinks to the toolbar.
// When the tool or the selection calls for other sections, the panel shown fades out and the new
// one fades in (with the quick motion token, or at once where motion is reduced).
//
// It keeps no state: every control shows what the review model says now and writes back into the
// model, setting the default for new annotations and, in the same action, the selected ones. Only a
// change of look of a selected redaction records an undo step. The colour chooser opened from its
// wells writes into this capture's model only, also after a tool switch, and never once the
// capture was let go (see CustomColorPanel). GUI thread only.
class StyleStrip : public GlassPanel {
    Q_OBJECT
public:
    explicit StyleStrip(ReviewViewModel& model, QWidget* parent = nullptr);

    // What shows for the model's tool and selection, left to right; empty: the strip is absent.
    static std::vector<StripSection> sectionsFor(const ReviewViewModel& model);
    // The panel's corner radius: the toolbar's token radius less 4, at least 3.
    static double cornerRadiusFor(double toolbarRadius);

    // A colour pick, from a swatch or the colour chooser: it becomes the default colour, a default
    // fill follows it with its opacity, and every selected annotation with a stroke style takes it.
    static void applyColor(ReviewViewModel& model, const QString& hex);

    // The font menu's rows: display name and family (none: the system font).
    struct FontChoice {
        QString name;
        std::optional<QString> family;
    };
    static const QList<FontChoice>& fontChoices();
    // The crop ratio chips: label and width / height (none: free).
    struct RatioChoice {
        QString label;
        std::optional<double> ratio;
    };
    static const QList<RatioChoice>& ratioChoices();

    std::vector<StripSection> shownSections() const;
    QWidget* section(StripSection which) const { return sections_.value(which); }

    // What the controls show as current, derived from the model now.
    QString activeColorHex() const;
    double activeWidth() const;
    bool activeOutline() const;
    bool activeShadow() const;
    std::optional<QString> activeOutlineColorHex() const;
    // The text size the size control shows and steps from, in image pixels.
    double currentTextSize() const;

    // The controls, for whoever drives the strip as a user would.
    SwatchPicker* swatchRow() const { return swatches_; }
    WidthPicker* widthControl() const { return width_; }
    ChipSegment* fillSegment() const { return fill_; }
    ChipToggle* dashedToggle() const { return dashed_; }
    NumberStepper* badgeStepper() const { return badge_; }
    ChipToggle* outlineToggle() const { return outline_; }
    OutlineColorWell* outlineColorWell() const { return outlineWell_; }
    ChipToggle* shadowToggle() const { return shadow_; }
    FontPicker* fontPicker() const { return font_; }
    NumberStepper* textSizeStepper() const { return textSize_; }
    ChipSegment* alignmentSegment() const { return alignment_; }
    ChipSegment* ratioSegment() const { return ratio_; }
    QAbstractButton* cancelButton() const { return cancel_; }
    QAbstractButton* cropConfirmButton() const { return confirm_; }
    ChipSegment* redactionSegment() const { return redaction_; }
    QAbstractButton* detectPIIButton() const { return detect_; }

protected:
    bool event(QEvent* event) override;

private:
    void build();
    void addSection(StripSection which, QWidget* content);
    void connectControls();
    void refresh();
    void fadeToNextPanel(bool nextShows);
    void repaintShadow();
    void showSections(const std::vector<StripSection>& shown);
    void openColorChooser();
    void openOutlineColorChooser();
    void stepBadge(int direction);
    void stepTextSize(int direction);

    QPointer<ReviewViewModel> model_;
    SpringValue* fade_; // the panel's own fade in: 0 clear to 1 shown
    QMap<StripSection, QWidget*> sections_;
    QMap<StripSection, QWidget*> separators_;
    SwatchPicker* swatches_ = nullptr;
    WidthPicker* width_ = nullptr;
    ChipSegment* fill_ = nullptr;
    ChipToggle* dashed_ = nullptr;
    NumberStepper* badge_ = nullptr;
    ChipToggle* outline_ = nullptr;
    OutlineColorWell* outlineWell_ = nullptr;
    ChipToggle* shadow_ = nullptr;
    FontPicker* font_ = nullptr;
    NumberStepper* textSize_ = nullptr;
    ChipSegment* alignment_ = nullptr;
    ChipSegment* ratio_ = nullptr;
    StripActionButton* cancel_ = nullptr;
    StripActionButton* confirm_ = nullptr;
    ChipSegment* redaction_ = nullptr;
    QAbstractButton* detect_ = nullptr;
};

} // namespace BrindlecastApp
