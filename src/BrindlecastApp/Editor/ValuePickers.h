#pragma once

#include "BrindlecastApp/Editor/StylePicker.h"

#include <QList>

#include <optional>

class QComboBox;
class QSlider;

namespace BrindlecastApp {

// The stroke width in points: the line-weight glyph, a continuous slider from 1 to an upper
// bound, and the width rounded to whole points ("7 pt"). The value is kept as set: a width
// between the slider's steps or above its top reads back unchanged (the knob then shows the
// nearest step, or pinned at the end). Only the user's movements of the slider are reported.
class WidthPicker : public StylePicker {
    Q_OBJECT
public:
    // Slider steps per point: fine enough that a drag feels continuous.
    static constexpr int kStepsPerPoint = 100;

    explicit WidthPicker(QWidget* parent = nullptr);

    void setUpperBound(double points);
    double upperBound() const { return upper_; }
    void setValue(double points);
    double value() const { return value_; }
    QString caption() const;
    QSlider* slider() const { return slider_; }

signals:
    void widthPicked(double points);

private:
    void showValue();

    double upper_ = 32;
    double value_ = 1;
    QSlider* slider_;
    QWidget* caption_;
};

// One option chip that is on or off; a click reports the opposite of what it shows.
class ChipToggle : public StylePicker {
    Q_OBJECT
public:
    ChipToggle(OptionChip::LabelKind kind, const QString& label, int width, double size, QFont::Weight weight,
               const QString& help, QWidget* parent = nullptr);

    void setOn(bool on) { chip_->setOn(on); }
    bool isOn() const { return chip_->isOn(); }
    OptionChip* chip() const { return chip_; }

signals:
    void switched(bool on);

private:
    OptionChip* chip_;
};

// Option chips side by side, 2 points apart, of which at most one is on. A click reports the
// option's index.
class ChipSegment : public StylePicker {
    Q_OBJECT
public:
    struct Option {
        QString label;
        QString help; // none when empty
    };

    ChipSegment(OptionChip::LabelKind kind, const QList<Option>& options, int chipWidth, double size,
                QFont::Weight weight, QWidget* parent = nullptr);

    // None: every option is off.
    void setCurrent(std::optional<int> index);
    std::optional<int> current() const { return current_; }
    OptionChip* chip(int index) const { return chips_.value(index); }
    int count() const { return int(chips_.size()); }

signals:
    void chosen(int index);

private:
    QList<OptionChip*> chips_;
    std::optional<int> current_;
};

// A minus button, a readout and a plus button with no space between them. The value is the
// readout's text; a click reports -1 or +1, and the owner works out what follows.
class NumberStepper : public StylePicker {
    Q_OBJECT
public:
    NumberStepper(int readoutWidth, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;
    QAbstractButton* minusButton() const { return minus_; }
    QAbstractButton* plusButton() const { return plus_; }

signals:
    void stepped(int direction);

private:
    QAbstractButton* minus_;
    QWidget* readout_;
    QAbstractButton* plus_;
};

// The font menu of text annotations: a row per family of `fonts`, shown by its display name.
// The value is a family; none is the system font.
class FontPicker : public StylePicker {
    Q_OBJECT
public:
    struct Font {
        QString name;
        std::optional<QString> family;
    };

    FontPicker(const QList<Font>& fonts, QWidget* parent = nullptr);

    // A family that is not among the rows shows no row as chosen.
    void setFamily(const std::optional<QString>& family);
    std::optional<QString> family() const;
    QComboBox* menu() const { return menu_; }

signals:
    void fontChosen(const std::optional<QString>& family);

private:
    QList<Font> fonts_;
    QComboBox* menu_;
};

} // namespace BrindlecastApp
