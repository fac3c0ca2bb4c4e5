#pragma once

#include "BrindlecastApp/Editor/StylePicker.h"

#include <QList>

#include <optional>

class QAction;

namespace BrindlecastApp {

// The strip's six colour swatches and, after them, the custom colour well. The value is the
// active colour; a swatch whose colour it is (compared without regard to case) wears the accent
// ring, and the well wears it when no swatch does. A swatch click reports the swatch's colour as
// listed; a click on the well asks the owner for the shared colour chooser.
class SwatchPicker : public StylePicker {
    Q_OBJECT
public:
    explicit SwatchPicker(const QStringList& swatches, QWidget* parent = nullptr);

    void setActiveColor(const QString& hex);
    const QString& activeColor() const { return active_; }

    QAbstractButton* swatch(int index) const { return swatches_.value(index); }
    int swatchCount() const { return int(swatches_.size()); }
    QAbstractButton* customWell() const { return well_; }
    // Whether the ring of a swatch (or, for -1, of the custom well) shows.
    bool ringShown(int index) const;

signals:
    void colorPicked(const QString& hex);
    void customColorRequested();

private:
    QString active_;
    QList<QAbstractButton*> swatches_;
    QAbstractButton* well_;
};

// The outline colour well: a dot in the outline colour, or split black and white for the
// automatic contrast colour. It is dimmed and takes no click while the outline is off. A click asks
// the owner for the colour chooser; its context menu's "Auto (contrast)" asks for the automatic
// colour.
class OutlineColorWell : public StylePicker {
    Q_OBJECT
public:
    explicit OutlineColorWell(QWidget* parent = nullptr);

    // None: the automatic contrast colour.
    void setOutlineColor(const std::optional<QString>& hex);
    const std::optional<QString>& outlineColor() const { return hex_; }
    void setOutlineOn(bool on);
    QAbstractButton* button() const { return button_; }
    QAction* autoAction() const { return auto_; }

signals:
    void colorRequested();
    void automaticRequested();

private:
    std::optional<QString> hex_;
    QAbstractButton* button_;
    QAction* auto_;
};

} // namespace BrindlecastApp
