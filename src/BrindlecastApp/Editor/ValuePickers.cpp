#include "BrindlecastApp/Editor/ValuePickers.h"

#include "BrindlecastApp/Design/SchemePopup.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/TabularDigits.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "Support/Fonts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

// A figure readout in tabular digits, placed left, centred or right in a fixed width.
class Readout : public QWidget {
public:
    Readout(int width, double size, QFont::Weight weight, bool secondary, Qt::Alignment alignment, QWidget* parent)
        : QWidget(parent), font_(Support::Fonts::interfaceFontOfSize(size, weight)), secondary_(secondary),
          alignment_(alignment) {
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedSize(width, StripLook::kChipHeight);
    }
    void setText(const QString& text) {
        if (text == text_) return;
        text_ = text;
        update();
    }
    const QString& text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font_);
        const Tokens t = tokensFor(this);
        painter.setPen(secondary_ ? t.secondaryText() : t.primaryText());
        const double advance = TabularDigits::horizontalAdvance(font_, text_);
        double x = 0;
        if (alignment_ & Qt::AlignHCenter) x = (width() - advance) / 2;
        else if (alignment_ & Qt::AlignRight) x = width() - advance;
        TabularDigits::draw(painter, QRectF(x, 0, advance + 1, height()), text_);
    }

private:
    QFont font_;
    QString text_;
    bool secondary_;
    Qt::Alignment alignment_;
};

// A symbol alone, in the secondary text colour.
class Glyph : public QWidget {
public:
    Glyph(QString symbol, double size, QWidget* parent) : QWidget(parent), symbol_(std::move(symbol)) {
        setAttribute(Qt::WA_TranslucentBackground);
        const int side = int(Symbols::sideForPointSize(size));
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        Symbols::paint(painter, symbol_, QRectF(rect()), tokensFor(this).secondaryText());
    }

private:
    QString symbol_;
};

// "minus" or "plus" at 10 points, medium, in a 22 x 24 frame that takes clicks everywhere.
class StepButton : public QAbstractButton {
public:
    StepButton(QString symbol, QWidget* parent) : QAbstractButton(parent), symbol_(std::move(symbol)) {
        setObjectName(symbol_);
        setFocusPolicy(Qt::NoFocus);
        setFixedSize(22, StripLook::kChipHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double side = Symbols::sideForPointSize(10);
        Symbols::paint(painter, symbol_, QRectF((width() - side) / 2, (height() - side) / 2, side, side),
                       tokensFor(this).primaryText(), SymbolWeight::medium);
    }

private:
    QString symbol_;
};

} // namespace

WidthPicker::WidthPicker(QWidget* parent) : StylePicker(6, parent), slider_(new QSlider(Qt::Horizontal, this)) {
    setObjectName(QStringLiteral("widthDots"));
    row()->addWidget(new Glyph(QStringLiteral("lineweight"), 11, this));
    slider_->setObjectName(QStringLiteral("widthSlider"));
    slider_->setFixedWidth(110);
    slider_->setFocusPolicy(Qt::NoFocus);
    slider_->setAttribute(Qt::WA_MacSmallSize);
    row()->addWidget(slider_);
    auto* caption = new Readout(34, 10.5, QFont::Medium, true, Qt::AlignRight, this);
    caption->setObjectName(QStringLiteral("widthCaption"));
    caption_ = caption;
    row()->addWidget(caption_);
    connect(slider_, &QSlider::valueChanged, this,
            [this](int steps) { emit widthPicked(double(steps) / kStepsPerPoint); });
    setUpperBound(upper_);
}

void WidthPicker::setUpperBound(double points) {
    if (!std::isfinite(points) || points < 1) return;
    upper_ = points;
    const QSignalBlocker quiet(slider_);
    slider_->setRange(kStepsPerPoint, int(std::lround(points * kStepsPerPoint)));
    showValue();
}

void WidthPicker::setValue(double points) {
    if (!std::isfinite(points)) return;
    value_ = points;
    showValue();
}

QString WidthPicker::caption() const { return QStringLiteral("%1 pt").arg(std::llround(value_)); }

void WidthPicker::showValue() {
    {
        // The knob shows the value, pinned to an end when it lies outside; the value stays as set.
        const QSignalBlocker quiet(slider_);
        const double steps = std::clamp(value_ * kStepsPerPoint, double(slider_->minimum()), double(slider_->maximum()));
        slider_->setValue(int(std::lround(steps)));
    }
    static_cast<Readout*>(caption_)->setText(caption());
}

ChipToggle::ChipToggle(OptionChip::LabelKind kind, const QString& label, int width, double size, QFont::Weight weight,
                       const QString& help, QWidget* parent)
    : StylePicker(0, parent), chip_(new OptionChip(kind, label, width, size, weight, this)) {
    row()->addWidget(chip_);
    setStripHelp(chip_, help);
    connect(chip_, &QAbstractButton::clicked, this, [this] { emit switched(!chip_->isOn()); });
}

ChipSegment::ChipSegment(OptionChip::LabelKind kind, const QList<Option>& options, int chipWidth, double size,
                         QFont::Weight weight, QWidget* parent)
    : StylePicker(2, parent) {
    for (int i = 0; i < options.size(); ++i) {
        auto* chip = new OptionChip(kind, options[i].label, chipWidth, size, weight, this);
        if (!options[i].help.isEmpty()) setStripHelp(chip, options[i].help);
        connect(chip, &QAbstractButton::clicked, this, [this, i] { emit chosen(i); });
        row()->addWidget(chip);
        chips_ << chip;
    }
}

void ChipSegment::setCurrent(std::optional<int> index) {
    current_ = index;
    for (int i = 0; i < chips_.size(); ++i) chips_[i]->setOn(index == i);
}

NumberStepper::NumberStepper(int readoutWidth, QWidget* parent)
    : StylePicker(0, parent), minus_(new StepButton(QStringLiteral("minus"), this)),
      readout_(new Readout(readoutWidth, 11, QFont::DemiBold, false, Qt::AlignHCenter, this)),
      plus_(new StepButton(QStringLiteral("plus"), this)) {
    row()->addWidget(minus_);
    row()->addWidget(readout_);
    row()->addWidget(plus_);
    connect(minus_, &QAbstractButton::clicked, this, [this] { emit stepped(-1); });
    connect(plus_, &QAbstractButton::clicked, this, [this] { emit stepped(+1); });
}

void NumberStepper::setText(const QString& text) { static_cast<Readout*>(readout_)->setText(text); }

QString NumberStepper::text() const { return static_cast<Readout*>(readout_)->text(); }

FontPicker::FontPicker(const QList<Font>& fonts, QWidget* parent)
    : StylePicker(0, parent), fonts_(fonts), menu_(new QComboBox(this)) {
    menu_->setObjectName(QStringLiteral("fontMenu"));
    SchemePopup::follow(*menu_);
    menu_->setFixedWidth(128);
    menu_->setFocusPolicy(Qt::NoFocus);
    menu_->setFont(Support::Fonts::interfaceFontOfSize(11));
    menu_->setAttribute(Qt::WA_MacSmallSize);
    for (const Font& font : fonts_) menu_->addItem(font.name);
    setStripHelp(menu_, QStringLiteral("Font"));
    row()->addWidget(menu_);
    connect(menu_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < fonts_.size()) emit fontChosen(fonts_[index].family);
    });
}

void FontPicker::setFamily(const std::optional<QString>& family) {
    int row = -1;
    for (int i = 0; i < fonts_.size(); ++i)
        if (fonts_[i].family == family) row = i;
    const QSignalBlocker quiet(menu_);
    menu_->setCurrentIndex(row);
}

std::optional<QString> FontPicker::family() const {
    const int index = menu_->currentIndex();
    if (index < 0 || index >= fonts_.size()) return std::nullopt;
    return fonts_[index].family;
}

} // namespace BrindlecastApp
