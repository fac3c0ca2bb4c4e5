#pragma once

#include "BrindlecastApp/Design/Animation.h"
#include "BrindlecastApp/Editor/CustomColorPanel.h"

#include <QAbstractButton>
#include <QColor>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace BrindlecastApp {

class SpringHover;

// The small kit the editor's popovers are built from: a caption, a rule, the fifteen-colour
// palette, the row that opens the shared colour chooser, and the entrance a popover's panel
// makes. None keeps model state: what they show comes from their fields and the tokens of their
// themed root, and what a click does is the caller's callback.
namespace PopoverControls {

// The palette every grid shows, in order, as "#RRGGBB" with upper-case digits.
const QStringList& palette();

// How a panel comes in: from transparent, 14 pt low and at 98.5 % about its top centre, to rest.
struct FloatInFrame {
    double opacity = 1;
    double offset = 0;
    double scale = 1;
};
// The entrance's curve: an ease-out of 0.16 s (the reduced animation while motion is reduced).
Animation floatInAnimation();
// Gives `panel` the entrance, played each time it is shown (not for a top-level window: give it
// to the panel inside).
void floatIn(QWidget* panel);
// Where `panel`'s entrance stands now; at rest for a widget without one.
FloatInFrame floatInFrame(const QWidget* panel);

} // namespace PopoverControls

// A popover's caption: the title in capitals, small, bold and spaced, in the secondary text colour,
// taking the whole width on offer.
class PopoverHeader : public QWidget {
    Q_OBJECT
public:
    explicit PopoverHeader(QString title, QWidget* parent = nullptr);
    QString shownText() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
};

// A 1-pt rule across the popover: white at 10 % in the dark scheme, black at 8 % in the light one.
class PopoverDivider : public QWidget {
    Q_OBJECT
public:
    explicit PopoverDivider(QWidget* parent = nullptr);
    QColor color() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// One colour of the palette: a 22-pt disc with a faint edge and, when selected, an accent ring
// 3 pt outside it; it springs to 1.18 while hovered. The widget leaves room around the disc for
// the ring and the growth; only the disc takes clicks.
class Swatch : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kDisc = 22;
    static constexpr int kSide = 34;

    Swatch(QString hex, bool selected, std::function<void()> action, QWidget* parent = nullptr);

    const QString& hex() const { return hex_; }
    bool isSelectedSwatch() const { return selected_; }
    void setSelectedSwatch(bool selected);
    // The scale the swatch is drawn at now (1 at rest, 1.18 hovered).
    double drawnScale() const;
    QRectF discRect() const;
    QSize sizeHint() const override { return {kSide, kSide}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QString hex_;
    bool selected_;
    SpringHover* hover_;
};

// Five flexible columns of swatches, 9 pt apart both ways, after an optional leading widget that
// takes the first cell. The swatch whose colour equals `selection` (any letter case) is marked;
// a pick passes the palette's own string.
class PaletteGrid : public QWidget {
    Q_OBJECT
public:
    PaletteGrid(std::optional<QString> selection, std::function<void(const QString&)> onPick,
                QWidget* leading = nullptr, QWidget* parent = nullptr);

    void setSelection(const std::optional<QString>& selection);
    const std::vector<Swatch*>& swatches() const { return swatches_; }
    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place();
    int cellCount() const;

    QWidget* leading_;
    std::vector<Swatch*> swatches_;
    std::function<void(const QString&)> onPick_;
};

// "Custom Color…" beside a colour wheel: opens the shared colour chooser preset to what `current`
// gives, bound to the capture of `model`; every colour set there goes to `onChange` with that
// capture's model, so it lands in the capture even after the popover has closed.
class CustomColorRow : public QAbstractButton {
    Q_OBJECT
public:
    CustomColorRow(std::function<QColor()> current, ReviewViewModel& model, CustomColorPanel::OnChange onChange,
                   QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<QColor()> current_;
    ReviewViewModel& model_;
    CustomColorPanel::OnChange onChange_;
};

} // namespace BrindlecastApp
