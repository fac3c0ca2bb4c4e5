#pragma once

#include "BrindlecastApp/Design/Icon.h"
#include "BrindlecastApp/Design/TextLabel.h"

#include <QAbstractButton>
#include <QString>
#include <QWidget>

#include <functional>

namespace BrindlecastApp {

// The small pieces the settings rows share.

// A named symbol at a text size in the secondary text colour, such as the lock of a managed
// row; its tool tip, when given, is shown in the design's look.
class SettingsSymbol : public QWidget {
    Q_OBJECT
public:
    SettingsSymbol(QString symbol, double pointSize, const QString& help = QString(), QWidget* parent = nullptr);

    const QString& symbol() const { return symbol_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    double pointSize_;
};

// A symbol that is a plain button: the remove button of a user's list entry.
class SettingsSymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    SettingsSymbolButton(QString symbol, double pointSize, const QString& help, std::function<void()> action,
                         QWidget* parent = nullptr);

    const QString& symbol() const { return symbol_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    double pointSize_;
};

// The row that ends a list: "plus.circle" and a title in the accent colour, the whole row one
// button ("Add Application…", "Add Pattern…").
class SettingsAddRow : public QAbstractButton {
    Q_OBJECT
public:
    SettingsAddRow(const QString& title, std::function<void()> action, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A glyph centred on a square rounded tile (black 0.05 in light, white 0.09 in dark): the
// library's folder and the not-managed shield. The glyph is in the accent or the secondary text.
class SettingsIconTile : public QWidget {
    Q_OBJECT
public:
    enum class Ink { accent, secondary };
    SettingsIconTile(Icon::Glyph glyph, double glyphSize, int side, double radius, Ink ink, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Icon::Glyph glyph_;
    double glyphSize_;
    double radius_;
    Ink ink_;
};

// One line of a row's text, cut with an ellipsis rather than widening the page.
TextLabel* makeSettingsText(const QString& text, const QFont& font, TextLabel::Tone tone);

// A page section: its header, the card of its rows and, when given, a caption in the secondary
// text colour below (plain text, named "caption" so the page can change it).
QWidget* makeSettingsSection(const QString& title, QWidget* card, const QString& caption = QString());

// A horizontal row with the settings' row margins (left and right 14, top and bottom as given)
// and 11 points between its items.
QWidget* makeSettingsRow(int verticalPadding, QWidget* parent = nullptr);

} // namespace BrindlecastApp
