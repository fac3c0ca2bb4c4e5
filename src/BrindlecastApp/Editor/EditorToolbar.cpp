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
#include <QSpacerItem>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double kToolSymbolSize = 15;
constexpr double kGlyphSize = 19;
constexpr double kCopyWidth = 104;
constexpr double kUndoDimming = 0.35;
constexpr double kPolicyDimming = 0.4;
// The pill's padding and spacing, and the room on either side of a divider's rule.
constexpr int kPillSides = 9;
constexpr int kPillTopBottom = 7;
constexpr int kPillSpacing = 3;
constexpr int kDividerSides = 3;
constexpr int kDividerLength = 22;

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
    layout->setContentsMargins(kDividerSides, 0, kDividerSides, 0);
    layout->addWidget(new Hairline(Qt::Vertical, std::nullopt, holder));
    return holder;
}

// A divider at `scale`: the rule stays one point wide, its length and the room beside it shrink,
// together never wider than the divider scaled.
void scaleDivider(QWidget* holder, double scale) {
    const int room = 2 * kDividerSides + 1;
    const int side = scale >= 1 ? kDividerSides : std::max(0, int(std::floor((room * scale - 1) / 2)));
    holder->layout()->setContentsMargins(side, 0, side, 0);
    if (auto* rule = holder->findChild<Hairline*>())
        rule->setFixedHeight(scale >= 1 ? kDividerLength : FlatLook::scaled(kDividerLength, scale));
    holder->updateGeometry();
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
    compactNatural_ = compactPill_.panel->sizeHint();
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
    row->setContentsMargins(kPillSides, kPillTopBottom, kPillSides, kPillTopBottom);
    row->setSpacing(kPillSpacing);
    row->setSizeConstraint(QLayout::SetFixedSize);
    pill.row = row;
    const auto addDivider = [&] {
        pill.dividers.push_back(divider(pill.panel));
        row->addWidget(pill.dividers.back());
    };
    QWidget* panel = pill.panel;

    pill.tools[AnnotationTool::select] = makeToolButton(AnnotationTool::select, panel);
    row->addWidget(pill.tools[AnnotationTool::select]);
    pill.crop = new FlatToolButton(false, false, [this] {
        if (model_) model_->setTool(AnnotationTool::crop);
    }, glyph(Icon::Glyph::crop), panel);
    withHelp(pill.crop, "Crop");
    row->addWidget(pill.crop);
    addDivider();
    for (AnnotationTool tool : toolbarRow()) {
        if (tool == AnnotationTool::select) continue;
        pill.tools[tool] = makeToolButton(tool, panel);
        row->addWidget(pill.tools[tool]);
    }
    addDivider();
    // Never shown active, whether its popover is open or a backdrop is set.
    pill.backdrop = new FlatToolButton(false, true, [this] { toggleBackdrop(); }, glyph(Icon::Glyph::backdrop), panel);
    withHelp(pill.backdrop, "Backdrop");
    row->addWidget(pill.backdrop);
    addDivider();
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
    addDivider();
    pill.more = new FlatToolButton(false, true, [this] { toggleMore(); }, symbol("ellipsis"), panel);
    withHelp(pill.more, "More");
    row->addWidget(pill.more);
    pill.settings = new FlatToolButton(false, false, [this] {
        if (actions_.onSettings) actions_.onSettings();
    }, symbol("gearshape"), panel);
    withHelp(pill.settings, "Settings");
    row->addWidget(pill.settings);
    pill.gap = new QSpacerItem(1, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    row->addSpacerItem(pill.gap);

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

void EditorToolbar::setScale(Pill& pill, double scale) {
    if (scale == pill.scale) return;
    pill.scale = scale;
    const auto length = [scale](int designed) { return scale >= 1 ? designed : FlatLook::scaled(designed, scale); };
    pill.row->setContentsMargins(length(kPillSides), length(kPillTopBottom), length(kPillSides), length(kPillTopBottom));
    pill.row->setSpacing(length(kPillSpacing));
    pill.gap->changeSize(length(1), 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    for (QWidget* holder : pill.dividers) scaleDivider(holder, scale);
    for (const auto& [tool, button] : pill.tools) button->setScale(scale);
    for (FlatToolButton* button : {pill.crop, pill.backdrop, pill.undo, pill.redo, pill.more, pill.settings})
        button->setScale(scale);
    pill.copy->setScale(scale);
    pill.done->setScale(scale);
    pill.panel->setRadius(std::nullopt);
    if (scale < 1) pill.panel->setRadius(pill.panel->cornerRadius() * scale);
    pill.row->invalidate();
}

double EditorToolbar::scaleFor(int width) const {
    if (full_.panel->sizeHint().width() <= width || compactNatural_.width() <= width) return 1;
    // Every length of the pill rounds down at a scale, so the pill scaled is never wider than
    // its natural width times that scale.
    return std::max(width, 1) / double(compactNatural_.width());
}

int EditorToolbar::heightForWidth(int width) const {
    const double scale = scaleFor(width);
    if (scale >= 1) return sizeHint().height();
    // The buttons are the row's tallest items.
    return FlatLook::scaled(FlatToolButton::kSize.height(), scale) + 2 * FlatLook::scaled(kPillTopBottom, scale) +
           2 * kPadding;
}

QSize EditorToolbar::sizeHint() const {
    const QSize pill = full_.panel->sizeHint();
    return {pill.width(), pill.height() + 2 * kPadding};
}

QSize EditorToolbar::minimumSizeHint() const {
    // Narrower than this, the compact pill shrinks.
    return {compactNatural_.width(), compactNatural_.height() + 2 * kPadding};
}

void EditorToolbar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void EditorToolbar::place() {
    // The full pill whenever its own width fits; the compact one otherwise, even when it does not.
    compact_ = full_.panel->sizeHint().width() > width();
    // The compact pill shrinks where even it does not fit.
    setScale(compactPill_, compact_ ? scaleFor(width()) : 1);
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
