#pragma once

#include "BrindlecastApp/Editor/EditorToolbarActions.h"
#include "BrindlecastApp/Editor/ToolbarPopover.h"
#include "BrindlecastApp/Review/AnnotationTool.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <map>
#include <vector>

class QHBoxLayout;
class QSpacerItem;

namespace BrindlecastApp {

class FlatButton;
class FlatToolButton;
class GlassPanel;
class MoreMenuPanel;
class ReviewViewModel;

// The floating glass pill over the editor's canvas: select and crop, the annotation tools, the
// backdrop popover, undo and redo, the More menu, settings, and the two ways out, Copy and Done.
// Tools, undo and redo go to the review model; everything else is an action of the capture. The
// full pill is shown whenever its measured width fits the width the toolbar is given; otherwise
// the compact pill, whose Copy and Done show only their symbols; where even that does not fit (a
// small screen shown at 2x), the compact pill is shrunk as a whole, every part of it to one scale,
// until it does. It binds no keys and takes no keyboard focus. Its popovers are popup windows of
// its own, so they go with it.
class EditorToolbar : public QWidget {
    Q_OBJECT
public:
    // Above and below the pill.
    static constexpr int kPadding = 10;
    static constexpr int kCopiedResetMs = 1500;
    // The tools with a button of their own in the tool row (select leads the pill).
    static const std::array<AnnotationTool, 10>& toolbarRow();

    EditorToolbar(ReviewViewModel& model, EditorToolbarActions actions, QWidget* parent = nullptr);
    ~EditorToolbar() override;

    bool isCompact() const { return compact_; }
    // The scale of the pill on show: 1 unless the compact pill is shrunk to fit.
    double pillScale() const { return shown().scale; }
    // The scale the pill takes in a toolbar `width` wide.
    double scaleFor(int width) const;
    // "Copied!" shows from a successful copy until the reset 1.5 s later.
    bool justCopied() const { return justCopied_; }
    // Copies started here that have not ended yet (Copy shows that they wait).
    int copiesWaiting() const { return copiesWaiting_; }

    // The pill on show and its controls (the compact pill's while it shows).
    GlassPanel* pill() const;
    GlassPanel* fullPill() const { return full_.panel; }
    FlatToolButton* toolButton(AnnotationTool tool) const;
    FlatToolButton* cropButton() const { return shown().crop; }
    FlatToolButton* backdropButton() const { return shown().backdrop; }
    FlatToolButton* undoButton() const { return shown().undo; }
    FlatToolButton* redoButton() const { return shown().redo; }
    FlatToolButton* moreButton() const { return shown().more; }
    FlatToolButton* settingsButton() const { return shown().settings; }
    FlatButton* copyButton() const { return shown().copy; }
    FlatButton* doneButton() const { return shown().done; }

    // The open popovers, null while closed.
    ToolbarPopover* backdropPopover() const { return backdropPopover_; }
    ToolbarPopover* morePopover() const { return morePopover_; }
    MoreMenuPanel* moreMenu() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // A shrunk pill is lower: the height follows the width.
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Pill {
        GlassPanel* panel = nullptr;
        std::map<AnnotationTool, FlatToolButton*> tools;
        FlatToolButton* crop = nullptr;
        FlatToolButton* backdrop = nullptr;
        FlatToolButton* undo = nullptr;
        FlatToolButton* redo = nullptr;
        FlatToolButton* more = nullptr;
        FlatToolButton* settings = nullptr;
        FlatButton* copy = nullptr;
        FlatButton* done = nullptr;
        QHBoxLayout* row = nullptr;
        QSpacerItem* gap = nullptr; // before Copy
        std::vector<QWidget*> dividers;
        double scale = 1;
    };

    Pill buildPill(bool compact);
    void setScale(Pill& pill, double scale);
    FlatToolButton* makeToolButton(AnnotationTool tool, QWidget* parent);
    const Pill& shown() const { return compact_ ? compactPill_ : full_; }
    void refresh();
    void refreshCopy();
    void place();
    void copyWithFeedback();
    void toggleBackdrop();
    void toggleMore();
    void closePopovers();

    QPointer<ReviewViewModel> model_;
    EditorToolbarActions actions_;
    Pill full_;
    Pill compactPill_;
    QSize compactNatural_; // the compact pill's size unscaled
    bool compact_ = false;
    bool justCopied_ = false;
    int copiesWaiting_ = 0;
    QPointer<ToolbarPopover> backdropPopover_;
    QPointer<ToolbarPopover> morePopover_;
};

} // namespace BrindlecastApp
