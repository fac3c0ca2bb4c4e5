#pragma once

#include "BrindlecastApp/Design/ShadowCaster.h"

#include <QAbstractButton>
#include <QWidget>

#include <optional>

namespace BrindlecastApp {

// The review window's floating card: a dark frosted surface with a hairline edge and a soft
// shadow (painted by whatever lies beneath it, see ReviewCanvasView::setFloatingCards).
class FrostedCard : public QWidget, public ShadowCaster {
    Q_OBJECT
public:
    explicit FrostedCard(double cornerRadius, QWidget* parent = nullptr);

    double cornerRadius() const { return radius_; }
    QList<Tokens::Shadow> castShadows() const override;
    QPainterPath shadowShape() const override;

    static QColor material();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double radius_;
};

// A button of the tool pill: a symbol 13 points high in a 34 x 26 frame, white on the accent
// colour while its tool is the current one, else in the secondary colour.
class PillButton : public QAbstractButton {
    Q_OBJECT
public:
    PillButton(QString symbol, QString toolTip, QWidget* parent = nullptr);

    const QString& symbol() const { return symbol_; }
    void setCurrent(bool current);
    bool isCurrent() const { return current_; }
    QColor foreground() const;
    QSize sizeHint() const override { return {34, 26}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    bool current_ = false;
};

// A button of the action bar: plain text ("Cancel"), bordered, or bordered in the accent colour,
// with an optional symbol before the title. Disabled buttons are drawn faded.
class ActionButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Look { plain, bordered, prominent };

    ActionButton(QString title, std::optional<QString> symbol, Look look, QWidget* parent = nullptr);

    Look look() const { return look_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont titleFont() const;

    std::optional<QString> symbol_;
    Look look_;
};

// A symbol and a text side by side in one colour, as the status chip shows its counts.
class SymbolLabel : public QWidget {
    Q_OBJECT
public:
    SymbolLabel(QString symbol, QColor color, QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }
    QColor color() const { return color_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    QColor color_;
    QString text_;
};

} // namespace BrindlecastApp
