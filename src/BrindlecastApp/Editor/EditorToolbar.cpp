#include "BrindlecastApp/Editor/EditorToolbar.h"

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/IconPainter.h"
#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Editor/FlatButton.h"
#include "BrindlecastApp/Editor/MoreMenu.h"
#include "BrindlecastApp/Editor/Popovers/BackdropPopover.h"
#include "BrindlecastApp/Editor/ToolbarPopover.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QHBoxLayout>
#include <QTimer>

#include <algorithm>

namespace BrindlecastApp {

namespace {

constexpr double kToolSymbolSize = 15;
constexpr double kGlyphSize = 19;
constexpr double kCopyWidth = 104;
constexpr double kUndoDimming = 0.35;
constexpr double kPolicyDimming = 0.4;

IconPainter symbol(const QString& name) { return IconPainter::symbol(name, kToolSymbolSize, SymbolWeight::medium); }
IconPainter glyph(Icon::Glyph glyph) { return IconPainter::glyph(glyph, kGlyphSize); }

// The icon of a tool's button: a few tools show a symbol, the others their own glyph.
IconPainter toolIcon(AnnotationTool tool) {
    switch (tool) {
    case AnnotationTool::arrow: return symbol("arrow.up.right");
    case AnnotationTool::line: return symbol("line.diagonal");
    case AnnotationTool::ellipse: return symbol("circle");
    case AnnotationTool::badge: return symbol("1.circle");
    case AnnotationTool::highlighter: return symbol("highlighter");
    default: break;
    }
    return glyph(Icon::fromRawValue(AnnotationTools::iconName(tool)).value_or(Icon::Glyph::cursor));
}

void withHelp(QWidget* widget, const QString& text) {
    widget->setToolTip(text);
    ToolTip::install(widget);
}

// A vertical rule with 3 points on either side.
QWidget* divider(QWidget* parent) {
    auto* holder = new QWidget(parent);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(3, 0, 3, 0);
    layout->addWidget(new Hairline(Qt::Vertical, std::nullopt, holder));
    return holder;
}

} // namespace

const std::array<AnnotationTool, 10>& EditorToolbar::toolbarRow() {
    static const std::array<AnnotationTool, 10> row{
        AnnotationTool::select, AnnotationTool::arrow,       AnnotationTool::line, AnnotationTool::box,
        AnnotationTool::ellipse, AnnotationTool::text,       AnnotationTool::badge, AnnotationTool::highlighter,
        AnnotationTool::blur,   AnnotationTool::copyText};
    return row;
}

EditorToolbar::EditorToolbar(ReviewViewModel& model, EditorToolbarActions actions, QWidget* parent)
    : QWidget(parent), model_(&model), actions_(std::move(actions)) {
    setObjectName(QStringLiteral("editorToolbar"));
    setFocusPolicy(Qt::NoFocus);
    full_ = buildPill(false);
    compactPill_ = buildPill(true);
    connect(&model, &ReviewViewModel::toolChanged, this, &EditorToolbar::refresh);
    connect(&model, &ReviewViewModel::undoStackChanged, this, &EditorToolbar::refresh);
    connect(&model, &ReviewViewModel::redoStackChanged, this, &EditorToolbar::refresh);
    refresh();
    place();
}

EditorToolbar::~EditorToolbar() = default;

FlatToolButton* EditorToolbar::makeToolButton(AnnotationTool tool, QWidget* parent) {
    auto* button = new FlatToolButton(false, false, [this, tool] {
        if (model_) model_->setTool(tool);
    }, toolIcon(tool), parent);
    withHelp(button, AnnotationTools::label(tool));
    return button;
}

EditorToolbar::Pill EditorToolbar::buildPill(bool compact) {
    Pill pill;
    pill.panel = new GlassPanel(GlassVariant::toolbar, std::nullopt, this);
    pill.panel->setObjectName(compact ? QStringLiteral("compactPill") : QStringLiteral("fullPill"));
    auto* row = new QHBoxLayout(pill.panel);
    row->setContentsMargins(9, 7, 9, 7);
    row->setSpacing(3);
    row->setSizeConstraint(QLayout::SetFixedSize);
    QWidget* panel = pill.panel;

    pill.tools[AnnotationTool::select] = makeToolButton(AnnotationTool::select, panel);
    row->addWidget(pill.tools[AnnotationTool::select]);
    pill.crop = new FlatToolButton(false, false, [this] {
        if (model_) model_->setTool(AnnotationTool::crop);
    }, glyph(Icon::Glyph::crop), panel);
    withHelp(pill.crop, "Crop");
    row->addWidget(pill.crop);
    row->addWidget(divider(panel));
    for (AnnotationTool tool : toolbarRow()) {
        if (tool == AnnotationTool::select) continue;
        pill.tools[tool] = makeToolButton(tool, panel);
        row->addWidget(pill.tools[tool]);
    }
    row->addWidget(divider(panel));
    // Never shown active, whether its popover is open or a backdrop is set.
    pill.backdrop = new FlatToolButton(false, true, [this] { toggleBackdrop(); }, glyph(Icon::Glyph::backdrop), panel);
    withHelp(pill.backdrop, "Backdrop");
    row->addWidget(pill.backdrop);
    row->addWidget(divider(panel));
    pill.undo = new FlatToolButton(false, false, [this] {
        if (model_) model_->undo();
    }, glyph(Icon::Glyph::undo), panel);
    withHelp(pill.undo, "Undo");
    row->addWidget(pill.undo);
    pill.redo = new FlatToolButton(false, false, [this] {
        if (model_) model_->redo();
    }, glyph(Icon::Glyph::redo), panel);
    withHelp(pill.redo, "Redo");
    row->addWidget(pill.redo);
    row->addWidget(divider(panel));
    pill.more = new FlatToolButton(false, true, [this] { toggleMore(); }, symbol("ellipsis"), panel);
    withHelp(pill.more, "More");
    row->addWidget(pill.more);
    pill.settings = new FlatToolButton(false, false, [this] {
        if (actions_.onSettings) actions_.onSettings();
    }, symbol("gearshape"), panel);
    withHelp(pill.settings, "Settings");
    row->addWidget(pill.settings);
    row->addSpacing(1);

    // The full pill's Copy keeps its width while its label changes between "Copy" and "Copied!".
    pill.copy = new FlatButton(compact ? std::nullopt : std::optional<QString>("Copy"), QStringLiteral("doc.on.doc"), false,
                               compact ? std::nullopt : std::optional<double>(kCopyWidth), [this] { copyWithFeedback(); },
                               panel);
    ToolTip::install(pill.copy);
    row->addWidget(pill.copy);
    pill.done = new FlatButton(compact ? std::nullopt : std::optional<QString>("Done"), QStringLiteral("checkmark"), true,
                               std::nullopt, [this] {
                                   if (actions_.onDone) actions_.onDone();
                               },
                               panel);
    withHelp(pill.done, "Done");
    row->addWidget(pill.done);
    return pill;
}

GlassPanel* EditorToolbar::pill() const { return shown().panel; }

FlatToolButton* EditorToolbar::toolButton(AnnotationTool tool) const {
    const auto found = shown().tools.find(tool);
    return found == shown().tools.end() ? nullptr : found->second;
}

MoreMenuPanel* EditorToolbar::moreMenu() const {
    return morePopover_ ? qobject_cast<MoreMenuPanel*>(morePopover_->content()) : nullptr;
}

void EditorToolbar::refresh() {
    if (!model_) return;
    const AnnotationTool tool = model_->tool();
    const bool canUndo = !model_->undoStack().empty();
    const bool canRedo = !model_->redoStack().empty();
    for (Pill* pill : {&full_, &compactPill_}) {
        for (const auto& [buttonTool, button] : pill->tools) button->setActive(buttonTool == tool);
        pill->crop->setActive(tool == AnnotationTool::crop);
        pill->undo->setEnabled(canUndo);
        pill->undo->setDimming(canUndo ? 1 : kUndoDimming);
        pill->redo->setEnabled(canRedo);
        pill->redo->setDimming(canRedo ? 1 : kUndoDimming);
    }
    refreshCopy();
}

void EditorToolbar::refreshCopy() {
    const bool allowed = actions_.allowedDestinations.count(ExportKit::DestinationKind::clipboard) > 0;
    const QString symbolName = justCopied_ ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc");
    for (Pill* pill : {&full_, &compactPill_}) {
        const bool compact = pill == &compactPill_;
        pill->copy->setLabel(compact ? std::nullopt : std::optional<QString>(justCopied_ ? "Copied!" : "Copy"), symbolName);
        pill->copy->setEnabled(allowed);
        pill->copy->setWaiting(copiesWaiting_ > 0);
        pill->copy->setDimming(allowed ? 1 : kPolicyDimming);
        pill->copy->setToolTip(allowed ? QStringLiteral("Copy") : QStringLiteral("Clipboard export blocked by policy"));
    }
}

QSize EditorToolbar::sizeHint() const {
    const QSize pill = full_.panel->sizeHint();
    return {pill.width(), pill.height() + 2 * kPadding};
}

QSize EditorToolbar::minimumSizeHint() const {
    const QSize pill = compactPill_.panel->sizeHint();
    return {pill.width(), pill.height() + 2 * kPadding};
}

void EditorToolbar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void EditorToolbar::place() {
    // The full pill whenever its own width fits; the compact one otherwise, even when it does not.
    compact_ = full_.panel->sizeHint().width() > width();
    const Pill& on = shown();
    const Pill& off = compact_ ? full_ : compactPill_;
    off.panel->hide();
    const QSize size = on.panel->sizeHint();
    on.panel->setGeometry((width() - size.width()) / 2, kPadding, size.width(), size.height());
    on.panel->show();
}

void EditorToolbar::hideEvent(QHideEvent* event) {
    // A toolbar put away (its capture replaced) leaves no menu behind that could still act.
    closePopovers();
    QWidget::hideEvent(event);
}

void EditorToolbar::closePopovers() {
    for (ToolbarPopover* popover : {backdropPopover_.data(), morePopover_.data()})
        if (popover) popover->close();
}

void EditorToolbar::copyWithFeedback() {
    if (!actions_.onCopy) return;
    // The copy may wait for the capture's findings: until it ends, Copy shows that it waits.
    ++copiesWaiting_;
    refreshCopy();
    QPointer<EditorToolbar> self(this);
    actions_.onCopy([self](bool copied) {
        if (!self) return;
        self->copiesWaiting_ = std::max(0, self->copiesWaiting_ - 1);
        self->refreshCopy();
        // A failed copy leaves the button as it was: the pipeline's alert tells the user.
        if (!copied) return;
        self->justCopied_ = true;
        self->refreshCopy();
        // Never cancelled: an earlier copy's reset clears a later copy's feedback too.
        QTimer::singleShot(kCopiedResetMs, self, [self] {
            self->justCopied_ = false;
            self->refreshCopy();
        });
    });
}

void EditorToolbar::toggleBackdrop() {
    if (backdropPopover_) {
        backdropPopover_->close();
        return;
    }
    if (!model_) return;
    auto* popover = new ToolbarPopover(new BackdropPopover(*model_), this);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover->setObjectName(QStringLiteral("backdropPopover"));
    backdropPopover_ = popover;
    popover->openBelow(backdropButton());
}

void EditorToolbar::toggleMore() {
    if (morePopover_) {
        morePopover_->close();
        return;
    }
    MoreMenuPanel::Actions menu;
    menu.exportEnabled = actions_.allowedDestinations.count(ExportKit::DestinationKind::folder) > 0;
    menu.onShowInFinder = actions_.onShowInFinder;
    menu.onExportFolder = actions_.onExportFolder;
    menu.onFlatten = actions_.onFlatten;
    menu.onDeleteImage = actions_.onDeleteImage;
    QPointer<EditorToolbar> self(this);
    menu.closeMenu = [self] {
        if (self && self->morePopover_) self->morePopover_->close();
    };
    // The panel and its rows are made afresh at every opening.
    auto* popover = new ToolbarPopover(new MoreMenuPanel(std::move(menu)), this);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover->setObjectName(QStringLiteral("morePopover"));
    morePopover_ = popover;
    popover->openBelow(moreButton());
}

} // namespace BrindlecastApp
