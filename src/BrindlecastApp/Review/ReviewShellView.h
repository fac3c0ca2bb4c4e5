#pragma once

#include "BrindlecastApp/Review/AnnotationTool.h"
#include "BrindlecastApp/Review/ShowsReviewModel.h"
#include "BrindlecastApp/Review/StyleInspector.h"
#include "ExportKit/ExportTypes.h"

#include <QPointer>
#include <QWidget>

#include <map>

namespace BrindlecastApp {

class ActionButton;
class FrostedCard;
class PillButton;
class ReviewCanvasView;
class ReviewViewModel;
class WindowDragArea;
class SymbolLabel;

// The review window's content: the canvas over the whole window, and three dark floating cards
// above it: the tool pill at the top centre (a button per tool and the style button), the status
// chip at the bottom left (the mandatory and kept suggested redactions) and the action bar at the
// bottom right ("Cancel", "Copy", "Export"). The action bar's buttons hand the model's `finish` its
// decision. The shell always shows the dark scheme.
class ReviewShellView : public QWidget, public ShowsReviewModel {
    Q_OBJECT
public:
    explicit ReviewShellView(ReviewViewModel& model, QWidget* parent = nullptr);
    ReviewShellView(ReviewViewModel& model, ReviewCanvasView* canvas, QWidget* parent = nullptr);

    ReviewViewModel& viewModel() const { return *model_; }
    ReviewViewModel* shownReviewModel() const override { return model_; }
    ReviewCanvasView* canvas() const { return canvas_; }

    PillButton* toolButton(AnnotationTool tool) const;
    PillButton* styleButton() const { return styleButton_; }
    ActionButton* cancelButton() const { return cancel_; }
    ActionButton* destinationButton(ExportKit::DestinationKind kind) const;
    SymbolLabel* mandatoryLabel() const { return mandatoryLabel_; }
    SymbolLabel* suggestedLabel() const { return suggestedLabel_; }
    FrostedCard* toolPill() const { return pill_; }
    FrostedCard* statusChip() const { return chip_; }
    FrostedCard* actionBar() const { return actions_; }
    // The style popover while it is shown.
    StyleInspector* styleInspector() const { return inspector_; }

    // The three decisions, as the buttons and the Return and Escape keys give them. An export
    // writes the open text edit into the model first and waits for a detection run in flight.
    void cancel();
    void exportTo(ExportKit::DestinationKind destination);

    // Where the window's own buttons end along the top, in this view's coordinates: the tool pill
    // stays centred but never starts left of it, and the minimum width leaves room for both.
    void setButtonsClearance(int right);
    QSize minimumSizeHint() const override;

    static QString symbolFor(AnnotationTool tool);
    static inline const QString kManaged = QStringLiteral("Managed by your organization");

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    void refresh();
    void place();
    void toggleInspector();

    QPointer<ReviewViewModel> model_;
    ReviewCanvasView* canvas_;
    FrostedCard* pill_ = nullptr;
    FrostedCard* chip_ = nullptr;
    FrostedCard* actions_ = nullptr;
    std::map<AnnotationTool, PillButton*> tools_;
    PillButton* styleButton_ = nullptr;
    ActionButton* cancel_ = nullptr;
    ActionButton* copy_ = nullptr;
    ActionButton* export_ = nullptr;
    SymbolLabel* mandatoryLabel_ = nullptr;
    SymbolLabel* suggestedLabel_ = nullptr;
    QPointer<StyleInspector> inspector_;
    WindowDragArea* dragStrip_ = nullptr;
    int buttonsClearance_ = 0;
};

} // namespace BrindlecastApp
