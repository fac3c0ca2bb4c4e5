#include "BrindlecastApp/Editor/StylePicker.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/TabularDigits.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolTip.h"
#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

StylePicker::StylePicker(int spacing, QWidget* parent) : QWidget(parent), row_(new QHBoxLayout(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(spacing);
    row_->setAlignment(Qt::AlignVCenter);
}

void StylePicker::setHelp(const QString& text) { setStripHelp(this, text); }

void setStripHelp(QWidget* widget, const QString& text) {
    widget->setToolTip(text);
    ToolTip::install(widget);
}

OptionChip::OptionChip(LabelKind kind, QString label, int width, double size, QFont::Weight weight, QWidget* parent)
    : QAbstractButton(parent), kind_(kind), label_(std::move(label)), width_(width), size_(size), weight_(weight) {
    setFocusPolicy(Qt::NoFocus);
    setObjectName(label_);
    setFixedSize(sizeHint());
}

void OptionChip::setOn(bool on) {
    if (on == on_) return;
    on_ = on;
    update();
}

QSize OptionChip::sizeHint() const { return {width_, StripLook::kChipHeight}; }

void OptionChip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Tokens t = tokensFor(this);
    if (on_)
        painter.fillPath(continuousRoundedRect(QRectF(rect()), StripLook::kChipRadius), Design::withOpacity(t.accent, 0.22));
    if (kind_ == LabelKind::symbol) {
        const double side = Symbols::sideForPointSize(size_);
        const QRectF box((width() - side) / 2, (height() - side) / 2, side, side);
        Symbols::paint(painter, label_, box, t.primaryText(), weight_ >= QFont::Medium ? SymbolWeight::medium : SymbolWeight::regular);
    } else {
        painter.setFont(Support::Fonts::interfaceFontOfSize(size_, weight_));
        painter.setPen(t.primaryText());
        if (kind_ == LabelKind::figures) TabularDigits::draw(painter, rect(), label_, Qt::AlignHCenter);
        else painter.drawText(rect(), Qt::AlignCenter, label_);
    }
}

StripActionButton::StripActionButton(QString title, QString symbol, std::optional<QColor> fill, QFont::Weight weight,
                                     QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)), fill_(fill),
      font_(Support::Fonts::interfaceFontOfSize(kTitleSize, weight)) {
    setText(title);
    setObjectName(title);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
}

QColor StripActionButton::fill() const { return fill_.value_or(tokensFor(this).accent); }

QSize StripActionButton::sizeHint() const {
    const QFontMetricsF metrics(font_);
    double content = metrics.horizontalAdvance(text());
    if (!symbol_.isEmpty()) content += Symbols::sideForPointSize(kTitleSize) + 6;
    return {int(std::ceil(content + 24)), StripLook::kChipHeight};
}

void StripActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(continuousRoundedRect(QRectF(rect()), StripLook::kChipRadius), fill());
    const QFontMetricsF metrics(font_);
    double x = 12;
    if (!symbol_.isEmpty()) {
        const double side = Symbols::sideForPointSize(kTitleSize);
        Symbols::paint(painter, symbol_, QRectF(x, (height() - side) / 2, side, side), Qt::white, SymbolWeight::semibold);
        x += side + 6;
    }
    painter.setFont(font_);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

} // namespace BrindlecastApp
