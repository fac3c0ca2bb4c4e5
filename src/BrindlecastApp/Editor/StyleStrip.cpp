#include "BrindlecastApp/Editor/StyleStrip.h"

#include "BrindlecastApp/Design/Fade.h"
#include "BrindlecastApp/Design/FadingSnapshot.h"
#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/SpringValue.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Editor/ColorPickers.h"
#include "BrindlecastApp/Editor/CustomColorPanel.h"
#include "BrindlecastApp/Editor/FlatButton.h"
#include "BrindlecastApp/Editor/ValuePickers.h"
#include "BrindlecastApp/Review/CanvasRenderer.h"
#include "BrindlecastApp/Review/Color.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <limits>

namespace BrindlecastApp {

namespace {

using Annotation = SidecarKit::Annotation;
using Kind = Annotation::Kind;

bool isStyleTool(AnnotationTool tool) {
    switch (tool) {
    case AnnotationTool::arrow:
    case AnnotationTool::line:
    case AnnotationTool::box:
    case AnnotationTool::ellipse:
    case AnnotationTool::freeform:
    case AnnotationTool::text:
    case AnnotationTool::badge:
    case AnnotationTool::highlighter: return true;
    default: return false;
    }
}

bool hasNoWidth(AnnotationTool tool) { return tool == AnnotationTool::text || tool == AnnotationTool::badge; }

// The kind of the single selected annotation, when there is one and it is in the list.
std::optional<Kind> selectedKind(const ReviewViewModel& model) {
    const std::optional<Annotation> selected = model.selectedAnnotation();
    return selected ? std::optional(selected->kind) : std::nullopt;
}

bool selectionTakesWidth(const ReviewViewModel& model) {
    const auto kind = selectedKind(model);
    return kind && !std::holds_alternative<Annotation::Text>(*kind) && !std::holds_alternative<Annotation::Badge>(*kind);
}

bool selectionIsShape(const ReviewViewModel& model) {
    const auto kind = selectedKind(model);
    return kind && (std::holds_alternative<Annotation::Box>(*kind) || std::holds_alternative<Annotation::Ellipse>(*kind));
}

const QList<Annotation::RedactionStyle> kRedactionLooks{Annotation::RedactionStyle::scramble,
                                                        Annotation::RedactionStyle::blur, Annotation::RedactionStyle::solid};
const QList<Annotation::TextAlignment> kAlignments{Annotation::TextAlignment::left, Annotation::TextAlignment::center,
                                                   Annotation::TextAlignment::right};
// The fill options' opacities: none, tint, solid.
const QList<std::optional<double>> kFillOpacities{std::nullopt, 0.25, 1.0};

QString lookName(Annotation::RedactionStyle style) {
    switch (style) {
    case Annotation::RedactionStyle::scramble: return QStringLiteral("Scramble");
    case Annotation::RedactionStyle::blur: return QStringLiteral("Blur");
    case Annotation::RedactionStyle::solid: return QStringLiteral("Solid");
    }
    return {};
}

} // namespace

StyleStrip::StyleStrip(ReviewViewModel& model, QWidget* parent)
    : GlassPanel(GlassVariant::toolbar, cornerRadiusFor(Tokens::defaults().radii.toolbar), parent), model_(&model),
      fade_(new SpringValue(this, 1)) {
    setObjectName(QStringLiteral("styleStrip"));
    connect(fade_, &SpringValue::valueChanged, this, [this](double opacity) {
        Fade::setOpacity(*this, opacity);
        repaintShadow();
    });
    build();
    connectControls();
    connect(&model, &ReviewViewModel::changed, this, &StyleStrip::refresh);
    refresh();
}

double StyleStrip::cornerRadiusFor(double toolbarRadius) { return std::max(toolbarRadius - 4, 3.0); }

const QList<StyleStrip::FontChoice>& StyleStrip::fontChoices() {
    static const QList<FontChoice> choices{
        {QStringLiteral("System"), std::nullopt},
        {QStringLiteral("Rounded"), QStringLiteral("SF Pro Rounded")},
        {QStringLiteral("Helvetica Neue"), QStringLiteral("Helvetica Neue")},
        {QStringLiteral("New York"), QStringLiteral("New York")},
        {QStringLiteral("Georgia"), QStringLiteral("Georgia")},
        {QStringLiteral("Menlo"), QStringLiteral("Menlo")},
    };
    return choices;
}

const QList<StyleStrip::RatioChoice>& StyleStrip::ratioChoices() {
    static const QList<RatioChoice> choices{
        {QStringLiteral("Free"), std::nullopt},
        {QStringLiteral("1:1"), 1.0},
        {QStringLiteral("4:3"), 4.0 / 3.0},
        {QStringLiteral("3:2"), 1.5},
        {QStringLiteral("16:9"), 16.0 / 9.0},
    };
    return choices;
}

std::vector<StripSection> StyleStrip::sectionsFor(const ReviewViewModel& model) {
    using S = StripSection;
    const AnnotationTool tool = model.tool();
    if (tool == AnnotationTool::select && model.selectedStyle()) {
        std::vector<S> shown{S::swatches};
        if (model.selectedIsText()) shown.push_back(S::text);
        else if (selectionTakesWidth(model)) shown.push_back(S::width);
        if (selectionIsShape(model)) shown.push_back(S::fill);
        if (model.selectedLineDashed()) shown.push_back(S::dashed);
        shown.push_back(S::decor);
        return shown;
    }
    if (tool == AnnotationTool::text) return {S::swatches, S::text, S::decor};
    if (isStyleTool(tool)) {
        std::vector<S> shown{S::swatches};
        if (!hasNoWidth(tool)) shown.push_back(S::width);
        if (tool == AnnotationTool::box || tool == AnnotationTool::ellipse) shown.push_back(S::fill);
        if (tool == AnnotationTool::line) shown.push_back(S::dashed);
        if (tool == AnnotationTool::badge) shown.push_back(S::badge);
        shown.push_back(S::decor);
        return shown;
    }
    if (tool == AnnotationTool::crop) return {S::ratio, S::cropButtons};
    if (tool == AnnotationTool::blur || model.selectedRedactionStyle()) return {S::redaction, S::detectPII};
    return {};
}

void StyleStrip::applyColor(ReviewViewModel& model, const QString& hex) {
    model.setDefaultStrokeColorHex(hex);
    if (const auto& fill = model.defaultFill()) model.setDefaultFill(Annotation::Fill(hex, fill->opacity));
    model.updateSelectedStyle(hex, std::nullopt, std::nullopt);
}

// --- Derived values -----------------------------------------------------------------------------

QString StyleStrip::activeColorHex() const {
    if (!model_) return {};
    if (model_->tool() == AnnotationTool::select)
        if (const auto style = model_->selectedStyle()) return style->colorHex;
    return model_->defaultStrokeColorHex();
}

double StyleStrip::activeWidth() const {
    if (!model_) return 0;
    if (model_->tool() == AnnotationTool::select)
        if (const auto style = model_->selectedStyle()) return style->lineWidth;
    return model_->defaultStrokeWidth();
}

bool StyleStrip::activeOutline() const {
    if (!model_) return false;
    const auto style = model_->tool() == AnnotationTool::select ? model_->selectedStyle() : std::nullopt;
    return style ? style->outline : model_->defaultStrokeOutline();
}

bool StyleStrip::activeShadow() const {
    if (!model_) return false;
    const auto style = model_->tool() == AnnotationTool::select ? model_->selectedStyle() : std::nullopt;
    return style ? style->shadow : model_->defaultStrokeShadow();
}

std::optional<QString> StyleStrip::activeOutlineColorHex() const {
    if (!model_) return std::nullopt;
    const auto style = model_->tool() == AnnotationTool::select ? model_->selectedStyle() : std::nullopt;
    return style ? style->outlineColorHex : model_->defaultOutlineColorHex();
}

double StyleStrip::currentTextSize() const {
    if (!model_) return 0;
    if (const auto style = model_->selectedStyle()) return style->lineWidth;
    return std::max(model_->image().height() * 0.04, 28.0);
}

std::vector<StripSection> StyleStrip::shownSections() const {
    std::vector<StripSection> shown;
    if (isHidden()) return shown;
    for (auto it = sections_.cbegin(); it != sections_.cend(); ++it)
        if (!it.value()->isHidden()) shown.push_back(it.key());
    return shown;
}

// --- Building -----------------------------------------------------------------------------------

void StyleStrip::addSection(StripSection which, QWidget* content) {
    auto* separator = new QWidget(this);
    separator->setAttribute(Qt::WA_TranslucentBackground);
    auto* rule = new QHBoxLayout(separator);
    // 2 points on each side: 10 between the rule and each neighbour with the row's spacing.
    rule->setContentsMargins(2, 0, 2, 0);
    rule->addWidget(new Hairline(Qt::Vertical, std::nullopt, separator));
    layout()->addWidget(separator);
    layout()->addWidget(content);
    separators_.insert(which, separator);
    sections_.insert(which, content);
}

void StyleStrip::build() {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(8);
    row->setSizeConstraint(QLayout::SetFixedSize);

    swatches_ = new SwatchPicker(ReviewViewModel::colorSwatches(), this);
    addSection(StripSection::swatches, swatches_);

    auto* text = new StylePicker(8, this);
    text->setObjectName(QStringLiteral("textControls"));
    QList<FontPicker::Font> fonts;
    for (const FontChoice& choice : fontChoices()) fonts << FontPicker::Font{choice.name, choice.family};
    font_ = new FontPicker(fonts, text);
    textSize_ = new NumberStepper(42, text);
    textSize_->setHelp(QStringLiteral("Text size in points"));
    alignment_ = new ChipSegment(OptionChip::LabelKind::symbol,
                                 {{QStringLiteral("text.alignleft"), {}},
                                  {QStringLiteral("text.aligncenter"), {}},
                                  {QStringLiteral("text.alignright"), {}}},
                                 24, 11, QFont::Normal, text);
    for (QWidget* piece : {static_cast<QWidget*>(font_), static_cast<QWidget*>(textSize_), static_cast<QWidget*>(alignment_)})
        text->layout()->addWidget(piece);
    addSection(StripSection::text, text);

    width_ = new WidthPicker(this);
    width_->setHelp(QStringLiteral("Stroke width in points"));
    addSection(StripSection::width, width_);

    const QString inStroke = QStringLiteral(" fill in the stroke color");
    fill_ = new ChipSegment(OptionChip::LabelKind::text,
                            {{QStringLiteral("None"), QStringLiteral("Outline only")},
                             {QStringLiteral("Tint"), QStringLiteral("Tint") + inStroke},
                             {QStringLiteral("Solid"), QStringLiteral("Solid") + inStroke}},
                            40, 11, QFont::Medium, this);
    fill_->setObjectName(QStringLiteral("fillSegment"));
    addSection(StripSection::fill, fill_);

    dashed_ = new ChipToggle(OptionChip::LabelKind::text, QStringLiteral("Dashed"), 52, 11, QFont::Medium,
                             QStringLiteral("Dashed line"), this);
    addSection(StripSection::dashed, dashed_);

    badge_ = new NumberStepper(26, this);
    badge_->setObjectName(QStringLiteral("badgeStartStepper"));
    badge_->setHelp(QStringLiteral("Next badge number"));
    addSection(StripSection::badge, badge_);

    auto* decor = new StylePicker(2, this);
    decor->setObjectName(QStringLiteral("decorToggles"));
    outline_ = new ChipToggle(OptionChip::LabelKind::symbol, QStringLiteral("circle.circle"), 26, 11.5, QFont::Normal,
                              QStringLiteral("Contrast outline"), decor);
    outlineWell_ = new OutlineColorWell(decor);
    shadow_ = new ChipToggle(OptionChip::LabelKind::symbol, QStringLiteral("square.fill.on.square"), 26, 11.5,
                             QFont::Normal, QStringLiteral("Drop shadow"), decor);
    for (QWidget* piece : {static_cast<QWidget*>(outline_), static_cast<QWidget*>(outlineWell_), static_cast<QWidget*>(shadow_)})
        decor->layout()->addWidget(piece);
    addSection(StripSection::decor, decor);

    QList<ChipSegment::Option> ratios;
    for (const RatioChoice& choice : ratioChoices())
        ratios << ChipSegment::Option{choice.label, choice.ratio ? QStringLiteral("Lock ") + choice.label
                                                                 : QStringLiteral("Free-form crop")};
    ratio_ = new ChipSegment(OptionChip::LabelKind::figures, ratios, 40, 11, QFont::Medium, this);
    ratio_->setObjectName(QStringLiteral("ratioSegment"));
    addSection(StripSection::ratio, ratio_);

    auto* cropButtons = new StylePicker(8, this);
    cropButtons->setObjectName(QStringLiteral("cropButtons"));
    cancel_ = new StripActionButton(QStringLiteral("Cancel"), QString(), Design::withOpacity(CanvasRenderer::systemRed(), 0.9),
                                    QFont::Medium, cropButtons);
    setStripHelp(cancel_, QStringLiteral("Cancel crop (Esc)"));
    confirm_ = new StripActionButton(QStringLiteral("Crop"), QStringLiteral("crop"), std::nullopt, QFont::DemiBold, cropButtons);
    setStripHelp(confirm_, QStringLiteral("Apply crop (Enter)"));
    cropButtons->layout()->addWidget(cancel_);
    cropButtons->layout()->addWidget(confirm_);
    addSection(StripSection::cropButtons, cropButtons);

    QList<ChipSegment::Option> looks;
    for (Annotation::RedactionStyle look : kRedactionLooks)
        looks << ChipSegment::Option{lookName(look),
                                     lookName(look) + QStringLiteral(" \u2014 destroys the covered pixels; only the look differs")};
    redaction_ = new ChipSegment(OptionChip::LabelKind::text, looks, 66, 11, QFont::Medium, this);
    redaction_->setObjectName(QStringLiteral("redactionSegment"));
    addSection(StripSection::redaction, redaction_);

    // It does no more than start a run: the model ignores a click while one is under way.
    detect_ = new FlatButton(QStringLiteral("Detect PII"), QStringLiteral("sparkles"), false, std::nullopt, [this] {
        if (model_) model_->runDetectPII();
    }, this);
    detect_->setObjectName(QStringLiteral("detectPII"));
    setStripHelp(detect_, QStringLiteral("Scan the image for PII and add suggested redactions"));
    addSection(StripSection::detectPII, detect_);
}

void StyleStrip::connectControls() {
    connect(swatches_, &SwatchPicker::colorPicked, this, [this](const QString& hex) {
        if (model_) applyColor(*model_, hex);
    });
    connect(swatches_, &SwatchPicker::customColorRequested, this, &StyleStrip::openColorChooser);
    connect(width_, &WidthPicker::widthPicked, this, [this](double points) {
        // Whole points, stored in pixels.
        if (model_) model_->setStrokeWidth(double(std::llround(points)) * model_->pixelsPerPoint());
    });
    connect(fill_, &ChipSegment::chosen, this, [this](int index) {
        if (!model_) return;
        const std::optional<double> opacity = kFillOpacities.value(index);
        std::optional<Annotation::Fill> fill;
        if (opacity) fill = Annotation::Fill(model_->defaultStrokeColorHex(), *opacity);
        model_->setDefaultFill(fill);
        model_->updateSelectedFill(fill);
    });
    connect(dashed_, &ChipToggle::switched, this, [this](bool on) {
        if (model_) model_->setLineDashed(on);
    });
    connect(badge_, &NumberStepper::stepped, this, &StyleStrip::stepBadge);
    // The decoration toggles read the active value again when pressed.
    connect(outline_, &ChipToggle::switched, this, [this] {
        if (model_) model_->setOutline(!activeOutline());
    });
    connect(shadow_, &ChipToggle::switched, this, [this] {
        if (model_) model_->setShadow(!activeShadow());
    });
    connect(outlineWell_, &OutlineColorWell::colorRequested, this, &StyleStrip::openOutlineColorChooser);
    connect(outlineWell_, &OutlineColorWell::automaticRequested, this, [this] {
        if (model_) model_->setOutlineColor(std::nullopt);
    });
    connect(font_, &FontPicker::fontChosen, this, [this](const std::optional<QString>& family) {
        if (!model_) return;
        model_->setDefaultFontFamily(family);
        model_->updateSelectedText(std::optional(family), std::nullopt);
    });
    connect(textSize_, &NumberStepper::stepped, this, &StyleStrip::stepTextSize);
    connect(alignment_, &ChipSegment::chosen, this, [this](int index) {
        if (!model_ || index < 0 || index >= kAlignments.size()) return;
        model_->setDefaultTextAlignment(kAlignments[index]);
        model_->updateSelectedText(std::nullopt, kAlignments[index]);
    });
    connect(ratio_, &ChipSegment::chosen, this, [this](int index) {
        if (model_ && index >= 0 && index < ratioChoices().size()) model_->setCropDraftRatio(ratioChoices()[index].ratio);
    });
    connect(cancel_, &QAbstractButton::clicked, this, [this] {
        if (model_) model_->cancelCropDraft();
    });
    connect(confirm_, &QAbstractButton::clicked, this, [this] {
        if (model_) model_->applyCropDraft();
    });
    connect(redaction_, &ChipSegment::chosen, this, [this](int index) {
        if (model_ && index >= 0 && index < kRedactionLooks.size()) model_->setRedactionStyle(kRedactionLooks[index]);
    });
}

void StyleStrip::openColorChooser() {
    if (!model_) return;
    CustomColorPanel::open(Color::fromHex(activeColorHex()).toQColor(), *model_,
                           [](ReviewViewModel& model, const QString& hex) { applyColor(model, hex); });
}

void StyleStrip::openOutlineColorChooser() {
    if (!model_ || !activeOutline()) return;
    const std::optional<QString> hex = activeOutlineColorHex();
    CustomColorPanel::open(hex ? Color::fromHex(*hex).toQColor() : QColor(Qt::white), *model_,
                           [](ReviewViewModel& model, const QString& chosen) { model.setOutlineColor(chosen); });
}

void StyleStrip::stepBadge(int direction) {
    if (!model_) return;
    const std::int64_t next = model_->nextBadgeNumber();
    if (direction < 0) model_->setBadgeStart(std::max<std::int64_t>(1, next - 1));
    // The largest number there is has no successor: it stays.
    else model_->setBadgeStart(next == std::numeric_limits<std::int64_t>::max() ? next : next + 1);
}

void StyleStrip::stepTextSize(int direction) {
    if (!model_) return;
    const double current = currentTextSize();
    const double upper = std::max(model_->image().height() * 0.2, 64.0);
    const double stepped = std::min(std::max(current + direction * model_->pixelsPerPoint(), 8.0), upper);
    model_->updateSelectedStyle(std::nullopt, stepped, std::nullopt);
}

void StyleStrip::repaintShadow() {
    // The shadow is painted beneath, by the window's panel, and reaches beyond the strip: what it
    // falls on is painted again as the strip fades.
    QWidget* parent = parentWidget();
    if (!parent) return;
    const Layer& layer = shadowLayer(devicePixelRatioF());
    if (layer.image.isNull()) return;
    parent->update(QRectF(QPointF(pos()) + layer.origin, layer.image.deviceIndependentSize()).toAlignedRect());
}

bool StyleStrip::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange) refresh();
    return GlassPanel::event(event);
}

// --- Refreshing ---------------------------------------------------------------------------------

void StyleStrip::showSections(const std::vector<StripSection>& shown) {
    bool first = true;
    for (auto it = sections_.cbegin(); it != sections_.cend(); ++it) {
        const bool visible = std::find(shown.begin(), shown.end(), it.key()) != shown.end();
        it.value()->setVisible(visible);
        separators_.value(it.key())->setVisible(visible && !first);
        if (visible) first = false;
    }
}

void StyleStrip::fadeToNextPanel(bool nextShows) {
    // Only a strip in a window on screen fades; elsewhere it changes at once.
    if (!parentWidget() || !parentWidget()->isVisible()) return;
    const Animation animation = tokensFor(this).motion.quick;
    if (isVisible()) {
        // The panel shown now leaves as a picture, from as far as it had faded in.
        const double shownAt = fade_->value();
        fade_->jumpTo(1);
        FadingSnapshot::fadeOut(*this, animation, shownAt);
    }
    if (nextShows) {
        fade_->jumpTo(0);
        fade_->animateTo(1, animation);
    }
}

void StyleStrip::refresh() {
    if (!model_) return;
    const ReviewViewModel& model = *model_;
    const std::vector<StripSection> shown = sectionsFor(model);
    // Another panel (or none) for the new tool or selection: the old one fades out, the new in.
    if (shown != shownSections()) fadeToNextPanel(!shown.empty());
    showSections(shown);
    // Without a parent a shown strip would become a window of its own; it is refreshed again when
    // it joins the editor.
    if (parentWidget()) setVisible(!shown.empty());
    else if (shown.empty()) hide();
    if (shown.empty()) return;

    const double ppp = model.pixelsPerPoint();
    swatches_->setActiveColor(activeColorHex());

    width_->setUpperBound(std::max(model.image().height() / ppp * 0.03, 32.0));
    width_->setValue(activeWidth() / ppp);

    const std::optional<Annotation::Fill>& fill = model.defaultFill();
    std::optional<int> fillOption;
    // Within a hundredth, that hundredth included (0.26 is a tint, in spite of binary fractions).
    const auto near = [](double opacity, double option) { return std::abs(opacity - option) < 0.01 + 1e-9; };
    if (!fill) fillOption = 0;
    else if (near(fill->opacity, 0.25)) fillOption = 1;
    else if (near(fill->opacity, 1.0)) fillOption = 2;
    fill_->setCurrent(fillOption);

    dashed_->setOn(model.selectedLineDashed().value_or(model.defaultLineDashed()));
    badge_->setText(QString::number(model.nextBadgeNumber()));

    outline_->setOn(activeOutline());
    shadow_->setOn(activeShadow());
    outlineWell_->setOutlineColor(activeOutlineColorHex());
    outlineWell_->setOutlineOn(activeOutline());

    const bool text = model.selectedIsText();
    const std::optional<QString> selectedFamily = text ? model.selectedTextFontFamily() : std::nullopt;
    font_->setFamily(selectedFamily ? selectedFamily : model.defaultFontFamily());
    textSize_->setText(QStringLiteral("%1 pt").arg(std::llround(currentTextSize() / ppp)));
    const Annotation::TextAlignment alignment =
        text ? model.selectedTextAlignment().value_or(model.defaultTextAlignment()) : model.defaultTextAlignment();
    alignment_->setCurrent(int(kAlignments.indexOf(alignment)));

    std::optional<int> ratioOption;
    for (int i = 0; i < ratioChoices().size(); ++i)
        if (ratioChoices()[i].ratio == model.cropRatio()) ratioOption = i;
    ratio_->setCurrent(ratioOption);

    const Annotation::RedactionStyle look = model.selectedRedactionStyle().value_or(model.redactionStyle());
    redaction_->setCurrent(int(kRedactionLooks.indexOf(look)));
}

} // namespace BrindlecastApp
