#include "BrindlecastApp/Editor/Popovers/BackdropPopover.h"

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/OverhangItem.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Editor/CustomColorPanel.h"
#include "BrindlecastApp/Editor/Popovers/PopoverControls.h"
#include "BrindlecastApp/Review/Color.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Design/PillToggle.h"
#include "Support/Fonts.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace BrindlecastApp {

namespace {

using ExportKit::Backdrop;

constexpr int kPadding = 13;
constexpr int kSliderSteps = 1000;
constexpr int kTile = 30;
constexpr int kRing = 3;

// One gradient preset: its two colours on the top-leading to bottom-trailing diagonal, whatever
// angle the backdrop carries, with an accent ring 3 pt outside when it is the backdrop.
class GradientTile : public QAbstractButton {
public:
    GradientTile(QString a, QString b, std::function<void()> action, QWidget* parent)
        : QAbstractButton(parent), a_(std::move(a)), b_(std::move(b)) {
        setFixedSize(kTile + 2 * kRing, kTile + 2 * kRing);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setAccessibleName(a_ + " " + b_);
        connect(this, &QAbstractButton::clicked, this, std::move(action));
    }
    void setMarked(bool marked) {
        if (marked_ == marked) return;
        marked_ = marked;
        update();
    }
    bool marked() const { return marked_; }

protected:
    bool hitButton(const QPoint& pos) const override { return tileRect().contains(pos); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF tile = tileRect();
        QLinearGradient fill(tile.topLeft(), tile.bottomRight());
        fill.setColorAt(0, Color::fromHex(a_).toQColor());
        fill.setColorAt(1, Color::fromHex(b_).toQColor());
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(tile, 8, 8);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0, 0, 0, int(0.12 * 255)), 1));
        p.drawRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), 7.5, 7.5);
        if (marked_) {
            p.setPen(QPen(tokensFor(this).accent, 2));
            p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 9, 9);
        }
    }

private:
    QRectF tileRect() const { return QRectF(kRing, kRing, kTile, kTile); }

    QString a_;
    QString b_;
    bool marked_ = false;
};

bool isNone(const Backdrop& backdrop) { return std::holds_alternative<Backdrop::None>(backdrop.style); }

QString valueText(double value) { return QString::asprintf("%lld px", static_cast<long long>(std::llround(value))); }

} // namespace

const std::array<BackdropPopover::Preset, 5>& BackdropPopover::gradients() {
    static const std::array<Preset, 5> presets{{{"#F9CF93", "#3A3F78"},
                                                {"#8EC5FF", "#1B2A6B"},
                                                {"#C8F7D4", "#155E4A"},
                                                {"#FFB6C9", "#5B247A"},
                                                {"#3A3F47", "#15171B"}}};
    return presets;
}

double BackdropPopover::gradientAngle() { return 7 * std::numbers::pi / 4; }

Backdrop BackdropPopover::startingBackdrop() {
    return Backdrop{Backdrop::Gradient{gradients()[0].a, gradients()[0].b, gradientAngle()}, 64, 12};
}

double BackdropPopover::maximumPadding(const ReviewViewModel& model) {
    return 0.3 * std::min(model.image().width(), model.image().height());
}

void BackdropPopover::apply(ReviewViewModel& model, const Backdrop::Style& style) {
    Backdrop next = model.backdrop();
    next.style = style;
    model.setBackdrop(next);
}

BackdropPopover::BackdropPopover(ReviewViewModel& model, QWidget* parent)
    : QWidget(parent), model_(&model), lastBackdrop_(startingBackdrop()) {
    setObjectName("BackdropPopover");
    setFixedWidth(kWidth);
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column_->setSpacing(10);

    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(0, 0, 0, 0);
    headerRow->setSpacing(8);
    headerRow->addWidget(new PopoverHeader(tr("Backdrop"), header), 1);
    toggle_ = new PillToggle(false, [this](bool on) { switchBackdrop(on); }, header);
    headerRow->addWidget(toggle_);
    column_->addWidget(header);

    // The tiles' rings and the swatches' rings and growth reach past their rows into the spacing
    // and the padding: a row is as high as its tiles or discs.
    auto* presets = new QWidget(this);
    auto* presetRow = new QHBoxLayout(presets);
    presetRow->setContentsMargins(0, 0, 0, 0);
    presetRow->setSpacing(9 - 2 * kRing);
    for (std::size_t i = 0; i < gradients().size(); ++i) {
        const QString a = gradients()[i].a;
        const QString b = gradients()[i].b;
        tiles_[i] = new GradientTile(a, b, [this, a, b] {
            if (model_) apply(*model_, Backdrop::Gradient{a, b, gradientAngle()});
        }, presets);
        presetRow->addWidget(tiles_[i]);
    }
    presetRow->addStretch(1);
    column_->addItem(new OverhangItem(presets, QMargins(kRing, kRing, kRing, kRing)));

    column_->addWidget(new PopoverDivider(this));

    palette_ = new PaletteGrid(std::nullopt, [this](const QString& hex) {
        if (model_) apply(*model_, Backdrop::Solid{hex});
    }, nullptr, this);
    const int reach = (Swatch::kSide - Swatch::kDisc) / 2;
    column_->addItem(new OverhangItem(palette_, QMargins(reach, reach, reach, reach)));

    // The chooser writes into the capture it was opened for, through the model it hands back, so
    // a colour set after the popover closed still lands there.
    column_->addWidget(new CustomColorRow([this] { return customColor(); }, model,
                                          [](ReviewViewModel& target, const QString& hex) { apply(target, Backdrop::Solid{hex}); },
                                          this));

    sliderDivider_ = new PopoverDivider(this);
    column_->addWidget(sliderDivider_);
    padding_ = makeSliderRow(tr("Padding"), maximumPadding(model), &BackdropPopover::setPadding);
    column_->addWidget(padding_.row);
    corners_ = makeSliderRow(tr("Corners"), kMaximumCorner, &BackdropPopover::setCornerRadius);
    column_->addWidget(corners_.row);

    connect(&model, &ReviewViewModel::backdropChanged, this, &BackdropPopover::refresh);
    refresh();
}

BackdropPopover::SliderRow BackdropPopover::makeSliderRow(const QString& label, double maximum,
                                                          void (BackdropPopover::*write)(double)) {
    SliderRow row;
    row.maximum = maximum;
    row.row = new QWidget(this);
    auto* layout = new QHBoxLayout(row.row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    row.name = new TextLabel(label, Support::Fonts::interfaceFontOfSize(11.5, QFont::Normal), TextLabel::Tone::secondary,
                             row.row);
    layout->addWidget(row.name);
    row.slider = new QSlider(Qt::Horizontal, row.row);
    row.slider->setRange(0, kSliderSteps);
    row.slider->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(row.slider, 1);
    // Figures of one width in a fixed frame: the slider keeps its length as the number changes.
    row.value = new TextLabel(QString(), Support::Fonts::interfaceFontOfSize(12, QFont::DemiBold),
                              TextLabel::Tone::primary, row.row);
    row.value->setTabularDigits();
    row.value->setAlignment(Qt::AlignRight);
    row.value->setMinimumWidth(42);
    layout->addWidget(row.value);
    // Only the user's own moves write: showing a value beyond the range never rewrites it.
    connect(row.slider, &QSlider::valueChanged, this, [this, write, maximum](int position) {
        if (!updating_) (this->*write)(maximum * position / kSliderSteps);
    });
    return row;
}

void BackdropPopover::switchBackdrop(bool on) {
    if (!model_) return;
    if (on) {
        model_->setBackdrop(lastBackdrop_);
    } else {
        if (!isNone(model_->backdrop())) lastBackdrop_ = model_->backdrop();
        model_->setBackdrop(Backdrop::none());
    }
}

void BackdropPopover::setPadding(double padding) {
    if (!model_) return;
    Backdrop next = model_->backdrop();
    next.padding = padding;
    model_->setBackdrop(next);
}

void BackdropPopover::setCornerRadius(double radius) {
    if (!model_) return;
    Backdrop next = model_->backdrop();
    next.cornerRadius = radius;
    model_->setBackdrop(next);
}

bool BackdropPopover::isGradient(const QString& a, const QString& b) const {
    if (!model_) return false;
    const auto* gradient = std::get_if<Backdrop::Gradient>(&model_->backdrop().style);
    return gradient && gradient->colorHexA.compare(a, Qt::CaseInsensitive) == 0 &&
           gradient->colorHexB.compare(b, Qt::CaseInsensitive) == 0;
}

QColor BackdropPopover::customColor() const {
    if (model_) {
        if (const auto* solid = std::get_if<Backdrop::Solid>(&model_->backdrop().style))
            return Color::fromHex(solid->colorHex).toQColor();
    }
    return QColor(88, 86, 214);
}

void BackdropPopover::refresh() {
    if (!model_) return;
    const Backdrop& backdrop = model_->backdrop();
    const bool on = !isNone(backdrop);
    // Every backdrop that is on is the one switching on brings back, whoever wrote it (a preset,
    // the palette, a slider or the colour chooser).
    if (on) lastBackdrop_ = backdrop;
    updating_ = true;
    toggle_->setOn(on);
    for (std::size_t i = 0; i < tiles_.size(); ++i)
        static_cast<GradientTile*>(tiles_[i])->setMarked(isGradient(gradients()[i].a, gradients()[i].b));
    const auto* solid = std::get_if<Backdrop::Solid>(&backdrop.style);
    palette_->setSelection(solid ? std::optional<QString>(solid->colorHex) : std::nullopt);
    sliderDivider_->setVisible(on);
    padding_.row->setVisible(on);
    corners_.row->setVisible(on);
    showSlider(padding_, backdrop.padding);
    showSlider(corners_, backdrop.cornerRadius);
    updating_ = false;
    // 214 wide whatever shows; as high as the rows that show.
    column_->invalidate();
    setFixedHeight(column_->totalHeightForWidth(kWidth));
    // A popover window follows the rows that came or went.
    if (window() != this) window()->adjustSize();
}

void BackdropPopover::showSlider(SliderRow& row, double value) {
    const QSignalBlocker blocker(row.slider);
    const double fraction = row.maximum > 0 ? std::clamp(value / row.maximum, 0.0, 1.0) : 0;
    row.slider->setValue(int(std::lround(fraction * kSliderSteps)));
    row.value->setText(valueText(value));
    // The popover is a window of its own, which takes no palette from the editor's: its sliders
    // get the scheme's look (and the accent) here, as the style strip's get it from the window.
    row.slider->setPalette(paletteFor(tokensFor(this)));
}

void BackdropPopover::showEvent(QShowEvent* event) {
    // The glass panel around the popover makes the entrance; its own showing comes after this.
    for (QWidget* up = parentWidget(); up && !up->isWindow(); up = up->parentWidget()) {
        if (auto* panel = qobject_cast<GlassPanel*>(up)) {
            PopoverControls::floatIn(panel);
            break;
        }
    }
    QWidget::showEvent(event);
    refresh();
}

QWidget* BackdropPopover::presetTile(int index) const { return tiles_.at(std::size_t(index)); }

bool BackdropPopover::isPresetMarked(int index) const {
    return static_cast<GradientTile*>(tiles_.at(std::size_t(index)))->marked();
}

QString BackdropPopover::paddingText() const { return padding_.value->text(); }
QString BackdropPopover::cornerText() const { return corners_.value->text(); }
bool BackdropPopover::slidersShown() const { return !padding_.row->isHidden(); }

} // namespace BrindlecastApp
