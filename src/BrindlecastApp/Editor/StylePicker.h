#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QWidget>

#include <optional>

class QHBoxLayout;

namespace BrindlecastApp {

// One control of the style strip: a row that shows one value its owner sets and reports the
// user's choice through a signal of its own. A picker never writes the review model and never
// echoes a value its owner set: setting the value emits nothing.
class StylePicker : public QWidget {
    Q_OBJECT
public:
    // A row whose pieces stand `spacing` points apart, vertically centred.
    explicit StylePicker(int spacing, QWidget* parent = nullptr);

    // The help text of the whole picker.
    void setHelp(const QString& text);

protected:
    QHBoxLayout* row() const { return row_; }

private:
    QHBoxLayout* row_;
};

// Gives `widget` the design system's tool tip with `text`.
void setStripHelp(QWidget* widget, const QString& text);

// The strip's option chip: a label (a text or a symbol) centred in a frame 24 points high and
// `width` wide, in front of a rounded plate of the accent colour at 0.22 while the option is on.
// The whole frame takes clicks. No hover or press look.
class OptionChip : public QAbstractButton {
    Q_OBJECT
public:
    // `figures` is text whose figures all take one width (a ratio such as "16:9").
    enum class LabelKind { text, figures, symbol };

    // `size` is the label's size in points (a symbol takes the side of text of that size).
    OptionChip(LabelKind kind, QString label, int width, double size, QFont::Weight weight, QWidget* parent = nullptr);

    bool isOn() const { return on_; }
    void setOn(bool on);
    const QString& label() const { return label_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LabelKind kind_;
    QString label_;
    int width_;
    double size_;
    QFont::Weight weight_;
    bool on_ = false;
};

// A filled action button of the crop panel: white text (after a symbol, when given) 12 points
// in from each side, 24 points high, on a plate of `fill` (the accent when none is given).
class StripActionButton : public QAbstractButton {
    Q_OBJECT
public:
    StripActionButton(QString title, QString symbol, std::optional<QColor> fill, QFont::Weight weight,
                      QWidget* parent = nullptr);

    QColor fill() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    std::optional<QColor> fill_;
    QFont font_;
    static constexpr double kTitleSize = 12;
};

namespace StripLook {
// Rounded plates inside the strip's chips and buttons.
inline constexpr double kChipRadius = 6;
inline constexpr int kChipHeight = 24;
} // namespace StripLook

} // namespace BrindlecastApp
